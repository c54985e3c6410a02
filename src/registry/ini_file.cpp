// The INI store's file format and its one-file, many-process discipline.
#include "registry/ini_file.h"

#include <algorithm>
#include <set>

#include "base/exception.h"
#include "os/os_error.h"
#include "os/os_file.h"
#include "registry/registry_names.h"

namespace qv::registry {

namespace {

constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;  // larger files are not read, so never saved over

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Spaces around a name or value go, unless there is nothing else.
std::u16string TrimSpaces(const std::u16string& s) {
  size_t first = s.find_first_not_of(u' ');
  if (first == std::u16string::npos) return s;
  size_t last = s.find_last_not_of(u' ');
  return s.substr(first, last - first + 1);
}

bool HasLineBreakOrZero(std::u16string_view s) {
  return s.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos;
}

}  // namespace

bool NoCaseLess::operator()(const std::u16string& a, const std::u16string& b) const {
  return Fold(a) < Fold(b);
}

bool Utf8ToUtf16(std::string_view in, std::u16string& out) {
  out.clear();
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    auto b = static_cast<unsigned char>(in[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (extra < 0 || b > 0xF4 || i + static_cast<size_t>(extra) >= in.size()) return false;
    uint32_t c = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      auto t = static_cast<unsigned char>(in[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += extra + 1;
  }
  return true;
}

bool Utf16ToUtf8(std::u16string_view in, std::string& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    uint32_t c = in[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c > 0xDBFF || i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

bool StorableSectionName(std::u16string_view name) {
  std::string narrow;
  return !HasLineBreakOrZero(name) && Utf16ToUtf8(name, narrow);
}

bool StorableKeyName(std::u16string_view name) {
  std::string narrow;
  if (HasLineBreakOrZero(name) || name.find(u'=') != std::u16string_view::npos) return false;
  if (!name.empty() && (name.front() < 0x80 && IsBlank(static_cast<unsigned char>(name.front())))) return false;
  if (!name.empty() && name.back() == u' ') return false;  // would be trimmed away
  return Utf16ToUtf8(name, narrow);
}

bool StorableValue(std::u16string_view value) {
  std::string narrow;
  if (HasLineBreakOrZero(value)) return false;
  bool allSpaces = value.find_first_not_of(u' ') == std::u16string_view::npos;
  if (!allSpaces && (value.front() == u' ' || value.back() == u' ')) return false;
  return Utf16ToUtf8(value, narrow);
}

bool ParseIni(std::string_view bytes, Sections& out) {
  out.clear();
  bool inSection = false;
  std::u16string sectionName;
  Section current;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    std::string_view line = bytes.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    // A zero byte ends the line as a C string would.
    size_t zero = line.find('\0');
    bool startsWithZero = zero == 0;
    if (zero != std::string_view::npos) line = line.substr(0, zero);
    std::u16string text;
    if (!inSection) {
      if (line.empty() || line.front() != '[') continue;
      if (!Utf8ToUtf16(line, text)) return false;
      size_t close = text.rfind(u']');
      if (close == std::u16string::npos || close == 0) return false;
      sectionName = text.substr(1, close - 1);
      current.clear();
      inSection = true;
      continue;
    }
    if (startsWithZero || line.empty() || IsBlank(static_cast<unsigned char>(line.front()))) {
      out[sectionName] = std::move(current);
      current.clear();
      inSection = false;
      continue;
    }
    if (!Utf8ToUtf16(line, text)) return false;
    size_t eq = text.find(u'=');
    if (eq == std::u16string::npos) return false;
    current[TrimSpaces(text.substr(0, eq))] = TrimSpaces(text.substr(eq + 1));
  }
  if (inSection) out[sectionName] = std::move(current);
  return true;
}

std::string FormatIni(const Sections& sections) {
  std::string out, part;
  for (const auto& [name, section] : sections) {
    Utf16ToUtf8(name, part);
    out.append("[").append(part).append("]\n");
    for (const auto& [key, value] : section) {
      Utf16ToUtf8(key, part);
      out.append(part).append("=");
      Utf16ToUtf8(value, part);
      out.append(part).append("\n");
    }
    out.append("\n");
  }
  return out;
}

IniFile::IniFile(std::u16string path) : m_path(std::move(path)) {
  m_lock = os::StoreLock::Open("QVCore_IniFileLock");
  if (m_lock == nullptr) base::ThrowLastError();
  Locked held(*this);
  Refresh();
}

IniFile::~IniFile() { delete m_lock; }

IniFile::Locked::Locked(IniFile& file) : m_file(file) { m_file.Take(); }
IniFile::Locked::~Locked() { m_file.Give(); }

void IniFile::Take() {
  if (!m_batch) m_lock->Take();
}
void IniFile::Give() {
  if (!m_batch) m_lock->Give();
}

void IniFile::Refresh() {
  if (m_batch) return;  // the lock is held since the batch began: memory is the file's content
  os::FileStamp stamp;
  if (!os::OsFileStampOf(m_path, &stamp)) {
    uint32_t error = os::LastError();
    // Gone (perhaps deleted by another process): nothing of it may come back.
    m_sections.clear();
    m_seenExists = false;
    m_loadFailure = (error == os::kErrorFileNotFound || error == os::kErrorPathNotFound) ? 0 : QVResultFromNative(error);
    return;
  }
  if (m_seenExists && stamp == m_seen) return;
  m_seen = stamp;
  m_seenExists = true;
  Load();
}

void IniFile::Load() {
  m_sections.clear();
  m_loadFailure = 0;
  if (m_seen.directory) {
    m_loadFailure = QVResultFromNative(os::kErrorAccessDenied);
    return;
  }
  if (m_seen.size > kMaxFileBytes) {
    m_loadFailure = kIniUnreadable;
    return;
  }
  os::FileOpenOptions options;
  options.access = os::kFileAccessRead;
  bool created = false;
  void* file = os::OsFileOpen(m_path, options, &created);
  if (file == nullptr) {
    uint32_t error = os::LastError();
    if (error != os::kErrorFileNotFound && error != os::kErrorPathNotFound) m_loadFailure = QVResultFromNative(error);
    return;
  }
  std::string bytes;
  bool ok = true;
  for (;;) {
    size_t had = bytes.size();
    bytes.resize(had + 65536);
    uint32_t done = 0;
    ok = os::OsFileReadBytes(file, bytes.data() + had, 65536, &done);
    bytes.resize(had + done);
    if (!ok || done == 0) break;
    if (bytes.size() > kMaxFileBytes) {
      ok = false;
      break;
    }
  }
  QVRESULT readFailure = ok ? 0 : (bytes.size() > kMaxFileBytes ? kIniUnreadable : base::LastErrorResult());
  os::OsFileClose(file);
  if (readFailure != 0) {
    m_loadFailure = readFailure;
    return;
  }
  if (!ParseIni(bytes, m_sections)) m_loadFailure = kIniUnreadable;
}

QVRESULT IniFile::Save() {
  if (m_loadFailure != 0) return m_loadFailure;
  std::string text = FormatIni(m_sections);
  std::u16string temporary = m_path + u".tmp";
  os::FileOpenOptions options;
  options.access = os::kFileAccessWrite;
  options.disposition = os::FileDisposition::kCreateAlways;
  bool created = false;
  void* file = os::OsFileOpen(temporary, options, &created);
  if (file == nullptr) return base::LastErrorResult();
  bool ok = true;
  for (size_t at = 0; ok && at < text.size();) {
    uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(text.size() - at, 1u << 30));
    uint32_t done = 0;
    ok = os::OsFileWriteBytes(file, text.data() + at, chunk, &done);
    at += done;
  }
  ok = ok && os::OsFileSyncData(file);
  QVRESULT failure = ok ? 0 : base::LastErrorResult();
  if (!os::OsFileClose(file) && failure == 0) failure = base::LastErrorResult();
  if (failure == 0 && !os::OsFileReplaceWith(temporary, m_path)) failure = base::LastErrorResult();
  if (failure != 0) {
    os::OsFileRemove(temporary);
    return failure;
  }
  m_seenExists = os::OsFileStampOf(m_path, &m_seen);
  return 0;
}

QVRESULT IniFile::GetValue(const std::u16string& section, const std::u16string& key, std::u16string& value) {
  Locked held(*this);
  Refresh();
  auto s = m_sections.find(section);
  if (s == m_sections.end()) return QV_RESULT(0x80070002u);
  auto k = s->second.find(key);
  if (k == s->second.end()) return QV_RESULT(0x80070002u);
  value = k->second;
  return 0;
}

QVRESULT IniFile::SetValue(const std::u16string& section, const std::u16string& key, const std::u16string& value) {
  if (!StorableSectionName(section) || !StorableKeyName(key) || !StorableValue(value)) return QV_RESULT(0x80070057u);
  Locked held(*this);
  Refresh();
  if (m_loadFailure != 0) return m_loadFailure;
  auto s = m_sections.find(section);
  bool hadSection = s != m_sections.end();
  if (!hadSection) s = m_sections.emplace(section, Section{}).first;
  auto k = s->second.find(key);
  bool hadKey = k != s->second.end();
  std::u16string old;
  if (hadKey) {
    old = k->second;
    k->second = value;
  } else {
    k = s->second.emplace(key, value).first;
  }
  if (m_batch) {
    m_batchDirty = true;
    return 0;
  }
  QVRESULT result = Save();
  if (result < 0) {  // memory keeps matching the file
    if (hadKey) {
      k->second = old;
    } else if (hadSection) {
      s->second.erase(k);
    } else {
      m_sections.erase(s);
    }
  }
  return result;
}

void IniFile::BeginBatch() {
  m_lock->Take();
  Refresh();
  m_batch = true;
  m_batchDirty = false;
}

QVRESULT IniFile::EndBatch() {
  QVRESULT result = m_batchDirty ? Save() : 0;
  if (result < 0) m_seenExists = false;  // memory no longer matches: read again next time
  m_batch = false;
  m_batchDirty = false;
  m_lock->Give();
  return result;
}

QVRESULT IniFile::RemoveSections(const Sections& carried) {
  Locked held(*this);
  Refresh();
  if (m_loadFailure != 0) return m_loadFailure;
  bool removed = false;
  for (const auto& [name, content] : carried) {
    auto s = m_sections.find(name);
    if (s != m_sections.end() && s->second == content) {
      m_sections.erase(s);
      removed = true;
    }
  }
  if (!removed) return 0;
  if (!m_sections.empty()) {
    QVRESULT result = Save();
    if (result < 0) m_seenExists = false;
    return result;
  }
  if (!os::OsFileRemove(m_path)) {
    m_seenExists = false;
    return base::LastErrorResult();
  }
  m_seenExists = false;
  return 0;
}

bool IniFile::HasSection(const std::u16string& name) const {
  if (m_sections.count(name) != 0) return true;
  std::u16string prefix = name + u'\\';
  for (const auto& entry : m_sections) {
    std::u16string t = entry.first + u'\\';
    if (t.size() > prefix.size() && t.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

std::vector<std::u16string> IniFile::GetSectionNames() const {
  std::vector<std::u16string> names;
  for (const auto& entry : m_sections) names.push_back(entry.first);
  return names;
}

std::u16string IniFileListIterator::Next() {
  if (!HasNext()) base::ThrowResult(kNoMoreItems);
  return m_items[m_pos++];
}

IniFileKeyIterator::IniFileKeyIterator(IniFile& store, const std::u16string& section)
    : IniFileListIterator(section) {
  IniFile::Locked held(store);
  store.Refresh();
  auto s = store.m_sections.find(section);
  if (s != store.m_sections.end()) {
    for (const auto& entry : s->second) m_items.push_back(entry.first);
  } else if (!store.HasSection(section)) {
    base::ThrowResult(QV_RESULT(0x80070002u));
  }
}

IniFileSetIterator::IniFileSetIterator(IniFile& store, const std::u16string& keyPath)
    : IniFileListIterator(keyPath) {
  IniFile::Locked held(store);
  store.Refresh();
  std::u16string prefix = keyPath + u'\\';
  std::set<std::u16string> children;
  for (const auto& entry : store.m_sections) {
    std::u16string t = entry.first + u'\\';
    if (t.size() <= prefix.size() || t.compare(0, prefix.size(), prefix) != 0) continue;
    size_t slash = t.find(u'\\', prefix.size());
    if (slash != std::u16string::npos) children.insert(t.substr(prefix.size(), slash - prefix.size()));
  }
  m_items.assign(children.begin(), children.end());
}

}  // namespace qv::registry
