// The exported host-name and address functions, the process-wide lists and
// the decision cache. Everything here lives until the process ends: a late
// thread may still ask while the library stops.
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <string_view>

#include "base/boundary.h"
#include "base/mutex_guard.h"
#include "base/wide.h"
#include "net/address_lists.h"
#include "os/os_error.h"
#include "os/os_net.h"
#include "os/os_thread.h"
#include "qvcore5/qv_encoding.h"
#include "qvcore5/qv_mutex.h"
#include "qvcore5/qv_net.h"
#include "qvcore5/qv_string.h"
#include "text/wide_narrow.h"

namespace qv::net {
namespace {

constexpr uint32_t kNameBuffer = 1026;  // 1,025 bytes of text and a terminator
constexpr size_t kCacheCap = 4096;

std::atomic<bool> g_creating{false};
std::atomic<QVMUTEX> g_addressMutex{reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)};
std::atomic<QVMUTEX> g_decisionMutex{reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)};

// Guarded by g_addressMutex.
bool g_listsBuilt = false;
OwnLists g_lists;

// Guarded by g_decisionMutex, apart from the seeded flag's first look.
using DecisionCache = std::map<std::string, uint16_t, std::less<>>;
DecisionCache* g_cache = nullptr;
std::atomic<bool> g_seeded{false};

bool IsValid(QVMUTEX m) noexcept { return m != reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE); }

// Creates the named mutex once: one process-wide flag serialises creators.
QVMUTEX NamedMutex(std::atomic<QVMUTEX>& slot, const char* name) noexcept {
  QVMUTEX m = slot.load(std::memory_order_acquire);
  if (IsValid(m)) return m;
  while (g_creating.exchange(true, std::memory_order_acquire)) os::SleepMs(1);
  m = slot.load(std::memory_order_acquire);
  if (!IsValid(m)) {
    QVMUTEX created = reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE);
    if (QVMutexCreate(name, 0, &created) >= 0) {
      slot.store(created, std::memory_order_release);
      m = created;
    }
  }
  g_creating.store(false, std::memory_order_release);
  return m;
}

void CacheEnter(std::string_view text, uint16_t answer) {
  if (g_cache->size() >= kCacheCap) return;  // answered, not kept
  g_cache->emplace(std::string(text), answer);
}

// Under the decision mutex: fills the cache with the machine's own names.
bool Seed() {
  if (!os::NetworkStart()) return false;
  char name[kNameBuffer];
  bool haveName = os::HostNameQuery(name, kNameBuffer);
  addrinfo* own = nullptr;
  addrinfo* localhost = nullptr;
  QVGetMyAddressInformation(&own, &localhost);
  if (haveName) {
    QVStrToLowerA(name);
    CacheEnter(name, 1);
  }
  for (const char* text : {"localhost", "127.0.0.1", "::1", ""}) CacheEnter(text, 1);
  g_seeded.store(true, std::memory_order_release);
  return true;
}

uint16_t Decide(const char* lowered) {
  addrinfo* found = nullptr;
  if (QVgetaddrinfo(lowered, nullptr, nullptr, &found) != 0) return 0;
  addrinfo* own = nullptr;
  addrinfo* localhost = nullptr;
  QVGetMyAddressInformation(&own, &localhost);
  uint16_t answer = 0;
  try {
    answer = (HasLoopback(found) || CommonAddress(found, localhost) || CommonAddress(found, own)) ? 1 : 0;
  } catch (...) {
    QVfreeaddrinfo(found);
    throw;
  }
  QVfreeaddrinfo(found);
  return answer;
}

}  // namespace
}  // namespace qv::net

using namespace qv::net;
namespace os = qv::os;

extern "C" {

QV_API QVRESULT QVGetHostNameA(char* buffer, uint32_t capacity) {
  char name[kNameBuffer];
  if (!os::HostNameQuery(name, kNameBuffer)) return QVResultFromNative(os::LastError());
  if (capacity < std::strlen(name) + 1) return QV_E_FAIL;
  if (buffer == nullptr) return QV_E_INVALIDARG;
  std::memcpy(buffer, name, std::strlen(name) + 1);
  return QV_S_OK;
}

QV_API QVRESULT QVGetHostName(QVWCHAR* buffer, uint32_t capacity) {
  char name[kNameBuffer];
  QVRESULT r = QVGetHostNameA(name, kNameBuffer);
  if (r < 0) return r;
  if (capacity < std::strlen(name) + 1) return QV_E_FAIL;
  if (buffer == nullptr) return QV_E_INVALIDARG;
  if (QVAnsiToUnicode(buffer, name, capacity) == static_cast<size_t>(-1)) return QV_E_FAIL;
  return QV_S_OK;
}

QV_API int32_t QVgetaddrinfo(const char* host, const char* service, const struct addrinfo* hints,
                             struct addrinfo** result) {
  if (result == nullptr) return os::ResolverStatusBadArgument();
  *result = nullptr;
  if (host == nullptr) return os::ResolveHostName(nullptr, service, hints, result);
  try {
    std::string text = PrepareHostText(host);
    return os::ResolveHostName(text.c_str(), service, hints, result);
  } catch (...) {
    return os::ResolverStatusNoMemory();
  }
}

QV_API void QVfreeaddrinfo(struct addrinfo* list) { os::ResolverListRelease(list); }

QV_API QVRESULT QVGetMyAddressInformation(struct addrinfo** ownAddresses, struct addrinfo** localhostAddresses) {
  if (ownAddresses) *ownAddresses = nullptr;
  if (localhostAddresses) *localhostAddresses = nullptr;
  if (ownAddresses == nullptr || localhostAddresses == nullptr) return QV_E_INVALIDARG;
  QVMUTEX mutex = NamedMutex(g_addressMutex, "QVGetMyAddressInformation");
  if (!IsValid(mutex)) return QV_E_FAIL;
  qv::base::MutexGuard guard(mutex);
  return qv::base::Bounded([&]() -> QVRESULT {
    if (!g_listsBuilt) {
      if (!os::NetworkStart()) return QV_E_FAIL;
      addrinfo* localhost = nullptr;
      if (os::ResolveWithCanonicalName("localhost", &localhost) != 0) localhost = nullptr;
      std::vector<os::NetAddress> interfaces;
      os::InterfaceAddressQuery(interfaces);  // a failure leaves the list shorter
      static addrinfo* s_fixedEntry = MakeFixedEntry();
      g_lists = BuildOwnLists(interfaces, localhost, s_fixedEntry);
      g_listsBuilt = true;
    }
    *ownAddresses = g_lists.own;
    *localhostAddresses = g_lists.localhost;
    return QV_S_OK;
  });
}

QV_API int32_t QVCompareAddressInformation(const struct addrinfo* first, const struct addrinfo* second) {
  try {
    return CommonAddress(first, second);
  } catch (...) {
    return 0;
  }
}

QV_API int32_t QVIsThisMyComputerA(const char* host) {
  if (host == nullptr) return 0;
  size_t length = strnlen(host, kNameBuffer);
  if (length >= kNameBuffer) return 0;  // a longer text would be cut into another name
  QVMUTEX mutex = NamedMutex(g_decisionMutex, "QVIsThisMyComputerA");
  if (!IsValid(mutex)) return 0;
  uint16_t answer = 0;
  qv::base::MutexGuard guard(mutex);
  try {
    if (g_cache == nullptr) g_cache = new DecisionCache;
    if (!g_seeded.load(std::memory_order_acquire) && !Seed()) return 0;
    char lowered[kNameBuffer];
    std::memcpy(lowered, host, length + 1);
    QVStrToLowerA(lowered);
    std::string_view key(lowered, std::strlen(lowered));
    auto hit = g_cache->find(key);
    if (hit != g_cache->end()) return hit->second;
    answer = Decide(lowered);
    CacheEnter(key, answer);
  } catch (...) {
  }
  return answer;
}

QV_API int32_t QVIsThisMyComputerW(const QVWCHAR* host) {
  if (host == nullptr) return 0;
  try {
    std::string narrow;
    if (!qv::text::WideToNarrowExact(qv::Wide(host), narrow)) return 0;
    if (narrow.size() >= kNameBuffer || narrow.find('\0') != std::string::npos) return 0;
    return QVIsThisMyComputerA(narrow.c_str());
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
