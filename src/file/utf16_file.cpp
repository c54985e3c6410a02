// UTF-16 text files on ICU's Unicode file streams with its "UTF-16"
// converter. Lines are written with CR LF on every platform.
#include <unicode/ustdio.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <cstring>

#include "os/os_file.h"
#include "qvcore5/qv_file.h"

namespace {

UFILE* Stream(QVUTF16FILE file) noexcept { return reinterpret_cast<UFILE*>(file); }

// The converter for appending: a file that already has content continues in
// the byte order of its own mark (big-endian when it has none, as it is read)
// and gets no second mark in its middle.
const char* AppendCodepage(const char* path) noexcept {
  std::FILE* probe = std::fopen(path, "rb");
  if (probe == nullptr) return "UTF-16";
  qv::os::StreamKeepFromChildren(probe);
  unsigned char head[2];
  size_t n = std::fread(head, 1, sizeof head, probe);
  std::fclose(probe);
  if (n == 0) return "UTF-16";
  return n == 2 && head[0] == 0xFF && head[1] == 0xFE ? "UTF-16LE" : "UTF-16BE";
}

}  // namespace

extern "C" {

QV_API QVUTF16FILE QVFileOpenUTF16(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  const char* codepage = mode[0] == 'a' ? AppendCodepage(path) : "UTF-16";
  // Always binary: a runtime's text mode would turn the 0x0A byte of every
  // UTF-16 unit into two bytes (Windows), corrupting the file.
  char binaryMode[16];
  size_t length = std::strlen(mode);
  if (std::strchr(mode, 'b') == nullptr && length + 1 < sizeof binaryMode) {
    std::memcpy(binaryMode, mode, length);
    binaryMode[length] = 'b';
    binaryMode[length + 1] = '\0';
    mode = binaryMode;
  }
  UFILE* stream = u_fopen(path, mode, nullptr, codepage);
  if (stream != nullptr) qv::os::StreamKeepFromChildren(u_fgetfile(stream));
  return reinterpret_cast<QVUTF16FILE>(stream);
}

QV_API QVWCHAR* QVFileGetLineUTF16(QVWCHAR* buffer, int32_t capacity, QVUTF16FILE file) {
  // Capacity 1 leaves room for the terminator only: it would return an empty line for ever.
  if (buffer == nullptr || file == nullptr || capacity < 2) return nullptr;
  UChar* line = u_fgets(reinterpret_cast<UChar*>(buffer), capacity, Stream(file));
  if (line == nullptr) return nullptr;
  UChar* p = line;
  while (*p != 0 && *p != u'\r' && *p != u'\n') ++p;
  *p = 0;
  return buffer;
}

QV_API int32_t QVFileWriteLineUTF16(const QVWCHAR* line, QVUTF16FILE file) {
  if (line == nullptr || file == nullptr) return -1;
  static const UChar kLineEnd[] = {u'\r', u'\n'};
  const auto* text = reinterpret_cast<const UChar*>(line);
  int32_t written = u_file_write(text, u_strlen(text), Stream(file));
  written += u_file_write(kLineEnd, 2, Stream(file));
  // The runtime's stream remembers a failed write (a full disk among them).
  std::FILE* underlying = u_fgetfile(Stream(file));
  if (underlying != nullptr && std::ferror(underlying)) return -1;
  return written;
}

QV_API QVRESULT QVFileCloseUTF16(QVUTF16FILE file) {
  if (file == nullptr) return QV_S_OK;
  u_fflush(Stream(file));
  std::FILE* underlying = u_fgetfile(Stream(file));
  bool failed = underlying != nullptr && std::ferror(underlying);
  u_fclose(Stream(file));
  return failed ? QV_E_FAIL : QV_S_OK;
}

}  // extern "C"
