// Host name, resolver and interface addresses on POSIX: there is no socket
// library to start; getifaddrs lists the interface addresses.
#include <arpa/inet.h>
#include <errno.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "os/os_error.h"
#include "os/os_net.h"
#include "os/posix/errno_map.h"

namespace qv::os {

namespace {

std::atomic<uint64_t> g_resolverCalls{0};
std::atomic<bool> g_numericOnly{false};


}  // namespace

bool NetworkStart() noexcept { return true; }

bool HostNameQuery(char* buffer, uint32_t capacity) noexcept {
  if (buffer == nullptr || capacity == 0) {
    StoreLastError(kErrorInvalidParameter);
    return false;
  }
  if (gethostname(buffer, capacity) != 0) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  buffer[capacity - 1] = '\0';  // POSIX leaves a cut name unterminated
  return true;
}

int ResolveHostName(const char* host, const char* service, const addrinfo* hints, addrinfo** out) noexcept {
  if (out == nullptr) return EAI_FAIL;
  *out = nullptr;
  g_resolverCalls.fetch_add(1, std::memory_order_relaxed);
  if (g_numericOnly.load(std::memory_order_relaxed)) {
    addrinfo numeric{};
    if (hints != nullptr) numeric = *hints;
    numeric.ai_flags |= AI_NUMERICHOST;
    return getaddrinfo(host, service, &numeric, out);
  }
  return getaddrinfo(host, service, hints, out);
}

int ResolveWithCanonicalName(const char* host, addrinfo** out) noexcept {
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  hints.ai_family = AF_UNSPEC;
  if (out == nullptr) return EAI_FAIL;
  *out = nullptr;
  g_resolverCalls.fetch_add(1, std::memory_order_relaxed);
  return getaddrinfo(host, nullptr, &hints, out);  // the numeric-only hook would lose "localhost"
}

void ResolverListRelease(addrinfo* list) noexcept {
  if (list != nullptr) freeaddrinfo(list);
}

int ResolverStatusNoMemory() noexcept { return EAI_MEMORY; }
int ResolverStatusBadArgument() noexcept { return EAI_FAIL; }
uint64_t ResolverCallCount() noexcept { return g_resolverCalls.load(std::memory_order_relaxed); }
void ResolverNumericOnly(bool on) noexcept { g_numericOnly.store(on, std::memory_order_relaxed); }

bool InterfaceAddressQuery(std::vector<NetAddress>& out) {
  out.clear();
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  try {
    for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
      if (i->ifa_addr == nullptr) continue;
      NetAddress a;
      if (i->ifa_addr->sa_family == AF_INET) {
        a.family = NetAddress::kV4;
        std::memcpy(a.bytes, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, 4);
      } else if (i->ifa_addr->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(i->ifa_addr);
        a.family = NetAddress::kV6;
        std::memcpy(a.bytes, &in6->sin6_addr, 16);
        a.scope = in6->sin6_scope_id;
      } else {
        continue;
      }
      out.push_back(a);
    }
  } catch (...) {
    freeifaddrs(list);
    throw;
  }
  freeifaddrs(list);
  return true;
}

}  // namespace qv::os
