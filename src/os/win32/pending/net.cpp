// Placeholder until the Windows network backend exists: every call fails.
#include "os/os_error.h"
#include "os/os_net.h"

namespace qv::os {

namespace {
// The resolver's own failure numbers (EAI_FAIL and EAI_MEMORY of Winsock).
constexpr int kResolverFail = 11003;
constexpr int kResolverNoMemory = 8;
}  // namespace

bool NetworkStart() noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
bool HostNameQuery(char*, uint32_t) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
int ResolveHostName(const char*, const char*, const addrinfo*, addrinfo** out) noexcept {
  if (out != nullptr) *out = nullptr;
  return kResolverFail;
}
int ResolveWithCanonicalName(const char*, addrinfo** out) noexcept {
  if (out != nullptr) *out = nullptr;
  return kResolverFail;
}
void ResolverListRelease(addrinfo*) noexcept {}
int ResolverStatusNoMemory() noexcept { return kResolverNoMemory; }
int ResolverStatusBadArgument() noexcept { return kResolverFail; }
uint64_t ResolverCallCount() noexcept { return 0; }
void ResolverNumericOnly(bool) noexcept {}
bool AddressRecordRead(const addrinfo*, NetAddress*) noexcept { return false; }
const addrinfo* AddressRecordNext(const addrinfo*) noexcept { return nullptr; }
const char* AddressRecordCanonicalName(const addrinfo*) noexcept { return nullptr; }
addrinfo* AddressRecordMake(const NetAddress&, bool, const char*) { return nullptr; }
void AddressRecordLink(addrinfo*, addrinfo*) noexcept {}
void AddressRecordShareCanonicalName(addrinfo*, const char*) noexcept {}
void AddressRecordChainFree(addrinfo*) noexcept {}
bool InterfaceAddressQuery(std::vector<NetAddress>& out) {
  out.clear();
  StoreLastError(kErrorNotSupported);
  return false;
}

}  // namespace qv::os
