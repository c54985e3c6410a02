// The pure parts of the network identity: host text preparation, the
// own-address and localhost lists, and address matching.
#pragma once
#include <string>
#include <vector>

#include "os/os_net.h"

namespace qv::net {

// Lower-cases the text; only a text containing ".ipv6-literal.net" is cut
// there and has '-' read as ':' and 's' as '%'. Throws std::bad_alloc.
std::string PrepareHostText(const char* host);

struct OwnLists {
  addrinfo* own = nullptr;
  addrinfo* localhost = nullptr;
};

// Builds the own-address list from the interface addresses (IPv4 in order,
// then IPv6 in order, ::1 skipped) and puts fixedEntry (fe80::1%1) in front of
// the localhost list instead of adding that address. The first own record
// carries a copy of the localhost list's canonical name. Throws std::bad_alloc;
// records made before the failure are then freed.
OwnLists BuildOwnLists(const std::vector<os::NetAddress>& interfaces, addrinfo* localhost, addrinfo* fixedEntry);
// The library's fe80::1%1 record, stream and TCP.
addrinfo* MakeFixedEntry();

// 1 when some address of first equals some address of second, else 0.
int CommonAddress(const addrinfo* first, const addrinfo* second);
// True when the list holds a loopback address (127.0.0.0/8, ::1, ::ffff:127.0.0.0/104).
bool HasLoopback(const addrinfo* list) noexcept;

}  // namespace qv::net
