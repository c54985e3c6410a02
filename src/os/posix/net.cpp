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

// A library record: the resolver's layout followed by its own address storage.
struct OwnedRecord {
  addrinfo info;
  sockaddr_in6 address;  // large enough for either family
};

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

bool AddressRecordRead(const addrinfo* record, NetAddress* out) noexcept {
  *out = NetAddress{};
  if (record == nullptr || record->ai_addr == nullptr) return false;
  if (record->ai_family == AF_INET && record->ai_addrlen >= sizeof(sockaddr_in)) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(record->ai_addr);
    out->family = NetAddress::kV4;
    std::memcpy(out->bytes, &in->sin_addr, 4);
    return true;
  }
  if (record->ai_family == AF_INET6 && record->ai_addrlen >= sizeof(sockaddr_in6)) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(record->ai_addr);
    out->family = NetAddress::kV6;
    std::memcpy(out->bytes, &in6->sin6_addr, 16);
    out->scope = in6->sin6_scope_id;
    return true;
  }
  return false;
}

const addrinfo* AddressRecordNext(const addrinfo* record) noexcept { return record ? record->ai_next : nullptr; }
const char* AddressRecordCanonicalName(const addrinfo* record) noexcept {
  return record ? record->ai_canonname : nullptr;
}

addrinfo* AddressRecordMake(const NetAddress& address, bool streamTcp, const char* canonicalName) {
  size_t nameBytes = canonicalName ? std::strlen(canonicalName) + 1 : 0;
  void* block = std::calloc(1, sizeof(OwnedRecord) + nameBytes);
  if (block == nullptr) throw std::bad_alloc();
  auto* r = static_cast<OwnedRecord*>(block);
  if (address.family == NetAddress::kV4) {
    auto* in = reinterpret_cast<sockaddr_in*>(&r->address);
    in->sin_family = AF_INET;
    std::memcpy(&in->sin_addr, address.bytes, 4);
    r->info.ai_family = AF_INET;
    r->info.ai_addrlen = sizeof(sockaddr_in);
  } else {
    r->address.sin6_family = AF_INET6;
    std::memcpy(&r->address.sin6_addr, address.bytes, 16);
    r->address.sin6_scope_id = address.scope;
    r->info.ai_family = AF_INET6;
    r->info.ai_addrlen = sizeof(sockaddr_in6);
  }
  r->info.ai_addr = reinterpret_cast<sockaddr*>(&r->address);
  if (streamTcp) {
    r->info.ai_socktype = SOCK_STREAM;
    r->info.ai_protocol = IPPROTO_TCP;
  }
  if (canonicalName) {
    char* name = reinterpret_cast<char*>(r + 1);
    std::memcpy(name, canonicalName, nameBytes);
    r->info.ai_canonname = name;
  }
  return &r->info;
}

void AddressRecordLink(addrinfo* record, addrinfo* next) noexcept { record->ai_next = next; }
void AddressRecordShareCanonicalName(addrinfo* record, const char* name) noexcept {
  record->ai_canonname = const_cast<char*>(name);
}

void AddressRecordChainFree(addrinfo* chain) noexcept {
  while (chain != nullptr) {
    addrinfo* next = chain->ai_next;
    std::free(chain);  // info is the first member of its OwnedRecord block
    chain = next;
  }
}

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
