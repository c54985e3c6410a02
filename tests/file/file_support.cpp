#include "file/file_support.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace filetest {

std::u16string W(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char b = utf8[i];
    char32_t c;
    size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < n; ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += n;
  }
  return out;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::u16string> ListNames(const std::string& dir) {
  std::vector<std::u16string> names;
  QVDIR handle;
  if (QVDirOpen(P(W(dir)), &handle) != 0) return names;
  QVDirEntry entry;
  while (QVDirRead(handle, &entry) == 0) names.emplace_back(reinterpret_cast<const char16_t*>(entry.name));
  QVDirClose(handle);
  return names;
}

}  // namespace filetest
