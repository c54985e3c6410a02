// Host name, resolver and interface addresses. The resolver's record type is
// the one the public interface names (struct addrinfo); it stays incomplete
// outside the backend, which alone builds, reads and frees records.
#pragma once
#include <cstdint>
#include <vector>

struct addrinfo;

namespace qv::os {

// One address of a record or an interface, without the platform's layout.
struct NetAddress {
  enum Family : uint8_t { kOther = 0, kV4 = 4, kV6 = 6 };
  Family family = kOther;
  uint8_t bytes[16] = {};  // 4 used for kV4
  uint32_t scope = 0;      // IPv6 scope identifier
};

// Starts the socket library where the platform has one; false with the last error set.
bool NetworkStart() noexcept;
// The machine's host name, terminated, into buffer; false with the last error set.
bool HostNameQuery(char* buffer, uint32_t capacity) noexcept;

// The platform resolver, its own status passed through (0 success).
int ResolveHostName(const char* host, const char* service, const addrinfo* hints, addrinfo** out) noexcept;
// As above, asking for the canonical name, any family, no service (never numeric-only).
int ResolveWithCanonicalName(const char* host, addrinfo** out) noexcept;
void ResolverListRelease(addrinfo* list) noexcept;
// The resolver's own status for memory exhaustion and for an unusable argument.
int ResolverStatusNoMemory() noexcept;
int ResolverStatusBadArgument() noexcept;
// Test hooks: how many times the resolver was asked in this process; and
// numeric-only resolution for every later ResolveHostName call, so that a
// test never reaches a name server and a name fails at once, locally.
uint64_t ResolverCallCount() noexcept;
void ResolverNumericOnly(bool on) noexcept;

// Reads one record; false (out->family kOther) for another family or a short address.
bool AddressRecordRead(const addrinfo* record, NetAddress* out) noexcept;
const addrinfo* AddressRecordNext(const addrinfo* record) noexcept;
const char* AddressRecordCanonicalName(const addrinfo* record) noexcept;
// A zero-filled library record holding the address (and a copy of canonicalName
// when given); streamTcp also sets socket type stream and protocol TCP. Throws
// std::bad_alloc.
addrinfo* AddressRecordMake(const NetAddress& address, bool streamTcp, const char* canonicalName);
void AddressRecordLink(addrinfo* record, addrinfo* next) noexcept;
// Points the record's canonical name at text the caller keeps alive.
void AddressRecordShareCanonicalName(addrinfo* record, const char* name) noexcept;
// Frees a chain made only of AddressRecordMake records.
void AddressRecordChainFree(addrinfo* chain) noexcept;

// The addresses of the machine's interfaces in the platform's order; false
// with the last error set when they cannot be listed. Throws std::bad_alloc.
bool InterfaceAddressQuery(std::vector<NetAddress>& out);

}  // namespace qv::os
