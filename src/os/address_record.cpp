// The library's own address records, shaped as the resolver's (struct
// addrinfo), so that callers free and walk both kinds alike. The layout is
// the same in both socket interfaces; only the headers differ.
#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdlib>
#include <cstring>
#include <new>

#include "os/os_net.h"

namespace qv::os {

namespace {

// A library record: the resolver's layout followed by its own address storage.
struct OwnedRecord {
  addrinfo info;
  sockaddr_in6 address;  // large enough for either family
};

}  // namespace

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

}  // namespace qv::os
