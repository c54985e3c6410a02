// Host name, resolver and interface addresses with Winsock 2.2. The socket
// library is started once per process and never stopped (a late thread may
// still resolve at exit); every entry point starts it first, so no caller
// meets "not started". Interface addresses come from the address-list query
// of WSAIoctl, IPv4 first and then IPv6.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "os/os_error.h"
#include "os/os_net.h"

namespace qv::os {

namespace {

std::atomic<uint64_t> g_resolverCalls{0};
std::atomic<bool> g_numericOnly{false};


bool FailFromSockets() noexcept {
  int error = ::WSAGetLastError();
  StoreLastError(error != 0 ? static_cast<uint32_t>(error) : kErrorGenFailure);
  return false;
}

// Appends the addresses of one family from the address-list query.
void QueryFamily(int family, std::vector<NetAddress>& out) {
  SOCKET s = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return;
  DWORD needed = 0;
  ::WSAIoctl(s, SIO_ADDRESS_LIST_QUERY, nullptr, 0, nullptr, 0, &needed, nullptr, nullptr);
  std::vector<unsigned char> buffer(needed > sizeof(SOCKET_ADDRESS_LIST) ? needed : sizeof(SOCKET_ADDRESS_LIST));
  DWORD got = 0;
  int rc = ::WSAIoctl(s, SIO_ADDRESS_LIST_QUERY, nullptr, 0, buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                      nullptr, nullptr);
  ::closesocket(s);
  if (rc != 0) return;
  const auto* list = reinterpret_cast<const SOCKET_ADDRESS_LIST*>(buffer.data());
  for (INT i = 0; i < list->iAddressCount; ++i) {
    const SOCKET_ADDRESS& a = list->Address[i];
    if (a.lpSockaddr == nullptr) continue;
    NetAddress address;
    if (a.lpSockaddr->sa_family == AF_INET && a.iSockaddrLength >= static_cast<INT>(sizeof(sockaddr_in))) {
      address.family = NetAddress::kV4;
      std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in*>(a.lpSockaddr)->sin_addr, 4);
    } else if (a.lpSockaddr->sa_family == AF_INET6 && a.iSockaddrLength >= static_cast<INT>(sizeof(sockaddr_in6))) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a.lpSockaddr);
      address.family = NetAddress::kV6;
      std::memcpy(address.bytes, &in6->sin6_addr, 16);
      address.scope = in6->sin6_scope_id;
    } else {
      continue;
    }
    out.push_back(address);
  }
}

}  // namespace

bool NetworkStart() noexcept {
  static std::once_flag once;
  static int status = 0;
  std::call_once(once, [] {
    WSADATA data;
    status = ::WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (status != 0) {
    StoreLastError(static_cast<uint32_t>(status));
    return false;
  }
  return true;
}

bool HostNameQuery(char* buffer, uint32_t capacity) noexcept {
  if (buffer == nullptr || capacity == 0) {
    StoreLastError(kErrorInvalidParameter);
    return false;
  }
  if (!NetworkStart()) return false;
  int length = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
  if (::gethostname(buffer, length) != 0) return FailFromSockets();
  buffer[capacity - 1] = '\0';
  return true;
}

int ResolveHostName(const char* host, const char* service, const addrinfo* hints, addrinfo** out) noexcept {
  if (out == nullptr) return EAI_FAIL;
  *out = nullptr;
  if (!NetworkStart()) return static_cast<int>(LastError());
  g_resolverCalls.fetch_add(1, std::memory_order_relaxed);
  if (g_numericOnly.load(std::memory_order_relaxed)) {
    addrinfo numeric{};
    if (hints != nullptr) numeric = *hints;
    numeric.ai_flags |= AI_NUMERICHOST;
    return ::getaddrinfo(host, service, &numeric, out);
  }
  return ::getaddrinfo(host, service, hints, out);
}

int ResolveWithCanonicalName(const char* host, addrinfo** out) noexcept {
  if (out == nullptr) return EAI_FAIL;
  *out = nullptr;
  if (!NetworkStart()) return static_cast<int>(LastError());
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  hints.ai_family = AF_UNSPEC;
  g_resolverCalls.fetch_add(1, std::memory_order_relaxed);
  return ::getaddrinfo(host, nullptr, &hints, out);
}

void ResolverListRelease(addrinfo* list) noexcept {
  if (list != nullptr) ::freeaddrinfo(list);
}

int ResolverStatusNoMemory() noexcept { return EAI_MEMORY; }
int ResolverStatusBadArgument() noexcept { return EAI_FAIL; }
uint64_t ResolverCallCount() noexcept { return g_resolverCalls.load(std::memory_order_relaxed); }
void ResolverNumericOnly(bool on) noexcept { g_numericOnly.store(on, std::memory_order_relaxed); }

bool InterfaceAddressQuery(std::vector<NetAddress>& out) {
  out.clear();
  if (!NetworkStart()) return false;
  QueryFamily(AF_INET, out);
  QueryFamily(AF_INET6, out);
  return true;
}

}  // namespace qv::os
