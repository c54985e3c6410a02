#include "text/path_expand.h"

#include <vector>

#include "base/boundary.h"
#include "os/os_path.h"
#include "qvcore5/qv_path.h"

namespace qv::text {

namespace {

void AppendComponents(std::u16string_view path, std::vector<std::u16string_view>& parts) {
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = pos;
    while (end < path.size() && !os::IsPathSeparator(path[end])) ++end;
    std::u16string_view part = path.substr(pos, end - pos);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    pos = end + 1;
  }
}

}  // namespace

std::u16string CombineFullPath(std::u16string_view directory, std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  // The root comes from the path when it has one, else from the directory.
  size_t pathRoot = os::PathRootLength(path);
  std::u16string_view root = path.substr(0, pathRoot);
  if (pathRoot == 0) {
    root = directory.substr(0, os::PathRootLength(directory));
    AppendComponents(directory.substr(root.size()), parts);
  }
  AppendComponents(path.substr(pathRoot), parts);
  const char16_t separator = os::PreferredPathSeparator();
  std::u16string full(root);
  if (full.empty() || !os::IsPathSeparator(full.back())) full += separator;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) full += separator;
    full += parts[i];
  }
  if (!parts.empty() && !path.empty() && os::IsPathSeparator(path.back())) full += separator;
  return full;
}

}  // namespace qv::text

using namespace qv;

extern "C" QV_API QVRESULT QVPathExpand(const QVWCHAR* path, QVWCHAR* buffer, uint32_t capacity) {
  return base::Bounded([&]() -> QVRESULT {
    if (path == nullptr || buffer == nullptr || path[0] == 0) return QV_E_INVALIDARG;
    std::u16string_view relative(reinterpret_cast<const char16_t*>(path));
    std::u16string directory;
    if (os::PathRootLength(relative) == 0 && !os::CurrentDirectory(directory)) base::ThrowLastError();
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
