#include "sync/lock_stat_manager.h"

#include <charconv>
#include <ctime>

#include "base/exception.h"
#include "base/mutex_guard.h"
#include "os/os_append_file.h"
#include "os/os_error.h"
#include "qvcore5/qv_time.h"

namespace qv::sync {

namespace {

constexpr size_t kChunkBytes = 64 * 1024;

uintptr_t Address(CQVMutex* mutex) noexcept { return reinterpret_cast<uintptr_t>(mutex); }

// Upper-case hexadecimal, zero-padded to the full width of an address.
std::string AddressDigits(uintptr_t value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string digits(sizeof(uintptr_t) * 2, '0');
  for (size_t i = digits.size(); i-- > 0; value >>= 4) digits[i] = kHex[value & 0xF];
  return digits;
}

// Collects whole lines and hands them to the file in chunks that end at a
// line end. Each chunk is one append: a line of the report never mixes with
// another writer's output, and what was handed over stays in the file if a
// later write fails.
class ReportWriter {
 public:
  explicit ReportWriter(os::AppendFile& file) : m_file(file) { m_text.reserve(kChunkBytes + 1024); }

  void Append(std::string_view s) { m_text.append(s); }
  void Append(int64_t value) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    m_text.append(digits, end);
  }
  // A field holding a separator, a quote or a line break is quoted as CSV
  // does (inner quotes doubled); any other field is written as it is.
  void AppendField(std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
      m_text.append(field);
      return;
    }
    m_text.push_back('"');
    for (char c : field) {
      if (c == '"') m_text.push_back('"');
      m_text.push_back(c);
    }
    m_text.push_back('"');
  }
  void EndLine() {
    m_text.push_back('\n');
    if (m_text.size() >= kChunkBytes) Flush();
  }
  void Flush() {
    if (!m_text.empty() && !m_file.Append(m_text.data(), m_text.size())) base::ThrowResult(QV_E_FAIL);
    m_text.clear();
  }

 private:
  os::AppendFile& m_file;
  std::string m_text;
};

}  // namespace

const char* LockStatKindLabel(int32_t kind) noexcept {
  switch (kind) {
    case CQVLockStatManager::kLiveMutex: return "QV_MUTEX";
    case CQVLockStatManager::kDestroyedMutex: return "QV_DEL_MUTEX";
    default: return "UNKNOWN";
  }
}

CQVLockStatManager::CQVLockStatManager() : m_mutex(reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)) {
  base::ThrowIfFailed(QVMutexCreate("CQVLockStatManager::m_mutex", QV_MUTEX_NOSTATS, &m_mutex));
}

CQVLockStatManager::~CQVLockStatManager() {
  {
    base::MutexGuard guard(m_mutex);
    while (!m_entries.empty()) {
      auto first = m_entries.begin();
      int32_t kind = first->first.first;
      CQVMutex* mutex = first->second;
      m_entries.erase(first);
      if (kind == kDestroyedMutex) mutex->ReleaseReference();
    }
  }
  QVMutexDestroy(m_mutex);
}

void CQVLockStatManager::Register(int32_t kind, CQVMutex* mutex) {
  base::MutexGuard guard(m_mutex);
  m_entries[Key{kind, Address(mutex)}] = mutex;
}

bool CQVLockStatManager::Retire(CQVMutex* mutex) noexcept {
  base::MutexGuard guard(m_mutex);
  // The live entry goes in any case: should the destroyed entry not fit, the
  // caller deletes the mutex and no entry may point at it.
  m_entries.erase(Key{kLiveMutex, Address(mutex)});
  try {
    m_entries[Key{kDestroyedMutex, Address(mutex)}] = mutex;
    return true;
  } catch (...) {
    return false;
  }
}

void CQVLockStatManager::Reset() noexcept {
  base::MutexGuard guard(m_mutex);
  for (auto it = m_entries.begin(); it != m_entries.end();) {
    if (it->first.first == kDestroyedMutex) {
      CQVMutex* mutex = it->second;
      it = m_entries.erase(it);
      mutex->ReleaseReference();
    } else {
      it->second->ResetLockStats();
      ++it;
    }
  }
}

size_t CQVLockStatManager::EntryCount() {
  base::MutexGuard guard(m_mutex);
  return m_entries.size();
}

QVRESULT CQVLockStatManager::Dump(const char* label, std::u16string_view fileName) {
  base::MutexGuard guard(m_mutex);
  os::AppendFile file;
  if (!file.Open(fileName)) {
    // A name the platform cannot spell exactly would name another file.
    base::ThrowResult(os::LastError() == os::kErrorNoUnicodeTranslation ? QV_E_INVALIDARG : QV_E_FAIL);
  }

  QVTime now;
  QVTimeGetLocal(&now);
  QVTM local;
  QVRESULT converted = QVTimeToTM(&now, &local);
  char stamp[81] = "";
  if (converted >= 0) {
    std::tm t{};
    t.tm_sec = local.tm_sec;
    t.tm_min = local.tm_min;
    t.tm_hour = local.tm_hour;
    t.tm_mday = local.tm_mday;
    t.tm_mon = local.tm_mon;
    t.tm_year = local.tm_year;
    t.tm_wday = local.tm_wday;
    t.tm_yday = local.tm_yday;
    t.tm_isdst = local.tm_isdst;
    std::strftime(stamp, sizeof stamp, "%m/%d/%Y %H:%M:%S", &t);
  }

  ReportWriter out(file);
  out.Append("BeginLockStatistics: ");
  out.Append(label);
  out.Append(" - ");
  out.Append(stamp);
  out.EndLine();
  out.Append("CPU Frequency,1000000");
  out.EndLine();
  out.Append("Name/Handle,Held Count,Total Held Time,Max Held Time,Acquire Count,Total Acquire Time,Max Acquire Time,"
             "Contention Count");
  out.EndLine();
  for (const auto& [key, mutex] : m_entries) {
    QVLockStats stats{};
    mutex->GetLockStats(&stats);
    std::string field = LockStatKindLabel(key.first);
    field += ":0x";
    field += AddressDigits(key.second);
    field += '(';
    field += mutex->GetName();
    field += ')';
    out.AppendField(field);
    for (int64_t value : {stats.heldCount, stats.totalHeldTime, stats.maxHeldTime, stats.acquireCount,
                          stats.totalAcquireTime, stats.maxAcquireTime, stats.contentionCount}) {
      out.Append(",");
      out.Append(value);
    }
    out.EndLine();
  }
  out.Append("EndLockStatistics: ");
  out.Append(label);
  out.Append(" - ");
  out.Append(stamp);
  out.EndLine();
  out.EndLine();
  out.EndLine();
  out.Flush();

  if (!file.Close()) base::ThrowResult(QV_E_FAIL);
  return converted;
}

}  // namespace qv::sync
