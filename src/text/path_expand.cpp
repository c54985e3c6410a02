#include "text/path_expand.h"

#include <vector>

#include "base/boundary.h"
#include "os/os_path.h"
#include "qvcore5/qv_path.h"
#include "text/wide_narrow.h"

namespace qv::text {

namespace {

void AppendComponents(std::u16string_view path, std::vector<std::u16string_view>& parts) {
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find(u'/', pos);
    if (slash == std::u16string_view::npos) slash = path.size();
    std::u16string_view part = path.substr(pos, slash - pos);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    pos = slash + 1;
  }
}

}  // namespace

std::u16string CombineFullPath(std::u16string_view directory, std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  if (path.empty() || path.front() != u'/') AppendComponents(directory, parts);
  AppendComponents(path, parts);
  std::u16string full;
  for (std::u16string_view part : parts) {
    full += u'/';
    full += part;
  }
  if (full.empty() || (!path.empty() && path.back() == u'/')) full += u'/';
  return full;
}

}  // namespace qv::text

using namespace qv;

extern "C" QV_API QVRESULT QVPathExpand(const QVWCHAR* path, QVWCHAR* buffer, uint32_t capacity) {
  return base::Bounded([&]() -> QVRESULT {
    if (path == nullptr || buffer == nullptr || path[0] == 0) return QV_E_INVALIDARG;
    std::u16string_view relative(reinterpret_cast<const char16_t*>(path));
    std::u16string directory;
    if (relative.front() != u'/') {
      std::string narrow;
      if (!os::GetCurrentDirectory(narrow)) base::ThrowLastError();
      directory = text::NarrowToWide(narrow);
    }
    std::u16string full = text::CombineFullPath(directory, relative);
    // Unlike the platform call this stands for, a short buffer is a failure,
    // never a success with nothing written.
    if (full.size() >= capacity) {
      if (capacity > 0) buffer[0] = 0;
      return QV_E_BUFFERTOOSMALL;
    }
    full.copy(reinterpret_cast<char16_t*>(buffer), full.size());
    buffer[full.size()] = 0;
    return QV_S_OK;
  });
}
