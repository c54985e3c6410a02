#include "net/address_lists.h"

#include <cstring>

#include "qvcore5/qv_string.h"

namespace qv::net {

namespace {

constexpr char kLiteralSuffix[] = ".ipv6-literal.net";

bool IsV6Loopback(const os::NetAddress& a) noexcept {
  static const uint8_t kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  return std::memcmp(a.bytes, kLoopback, 16) == 0;
}

bool IsFixedAddress(const os::NetAddress& a) noexcept {
  static const uint8_t kLinkLocalOne[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  return a.scope == 1 && std::memcmp(a.bytes, kLinkLocalOne, 16) == 0;
}

}  // namespace

std::string PrepareHostText(const char* host) {
  std::string text(host);
  QVStrToLowerA(text.data());
  text.resize(std::strlen(text.c_str()));
  size_t cut = text.find(kLiteralSuffix);
  if (cut != std::string::npos) {
    text.resize(cut);
    for (char& c : text) {
      if (c == '-') c = ':';
      else if (c == 's') c = '%';
    }
  }
  return text;
}

addrinfo* MakeFixedEntry() {
  os::NetAddress a;
  a.family = os::NetAddress::kV6;
  a.bytes[0] = 0xfe;
  a.bytes[1] = 0x80;
  a.bytes[15] = 1;
  a.scope = 1;
  return os::AddressRecordMake(a, true, nullptr);
}

OwnLists BuildOwnLists(const std::vector<os::NetAddress>& interfaces, addrinfo* localhost, addrinfo* fixedEntry) {
  OwnLists lists;
  lists.localhost = localhost;
  const char* canonical = os::AddressRecordCanonicalName(localhost);
  if (localhost != nullptr) os::AddressRecordShareCanonicalName(fixedEntry, canonical);
  addrinfo* tail = nullptr;
  try {
    auto append = [&](const os::NetAddress& a) {
      addrinfo* r = os::AddressRecordMake(a, false, lists.own == nullptr ? canonical : nullptr);
      if (tail) os::AddressRecordLink(tail, r);
      else lists.own = r;
      tail = r;
    };
    for (const os::NetAddress& a : interfaces)
      if (a.family == os::NetAddress::kV4) append(a);
    for (const os::NetAddress& a : interfaces) {
      if (a.family != os::NetAddress::kV6 || IsV6Loopback(a)) continue;
      if (IsFixedAddress(a) && lists.localhost != fixedEntry) {
        os::AddressRecordLink(fixedEntry, lists.localhost);
        lists.localhost = fixedEntry;
        continue;
      }
      append(a);
    }
  } catch (...) {
    os::AddressRecordChainFree(lists.own);
    throw;
  }
  return lists;
}

int CommonAddress(const addrinfo* first, const addrinfo* second) {
  if (first == nullptr || second == nullptr) return 0;
  // The second list is read once; short lists (the usual case) stay on the stack.
  constexpr size_t kInline = 32;
  os::NetAddress inlineB[kInline];
  std::vector<os::NetAddress> spill;
  size_t count = 0;
  for (const addrinfo* r = second; r != nullptr; r = os::AddressRecordNext(r)) {
    os::NetAddress y;
    if (!os::AddressRecordRead(r, &y)) continue;
    if (count < kInline) inlineB[count++] = y;
    else spill.push_back(y);
  }
  auto matches = [](const os::NetAddress& x, const os::NetAddress& y) {
    return x.family == y.family && std::memcmp(x.bytes, y.bytes, x.family == os::NetAddress::kV4 ? 4 : 16) == 0;
  };
  for (const addrinfo* r = first; r != nullptr; r = os::AddressRecordNext(r)) {
    os::NetAddress x;
    if (!os::AddressRecordRead(r, &x)) continue;
    for (size_t i = 0; i < count; ++i)
      if (matches(x, inlineB[i])) return 1;
    for (const os::NetAddress& y : spill)
      if (matches(x, y)) return 1;
  }
  return 0;
}

bool HasLoopback(const addrinfo* list) noexcept {
  for (; list != nullptr; list = os::AddressRecordNext(list)) {
    os::NetAddress a;
    if (!os::AddressRecordRead(list, &a)) continue;
    if (a.family == os::NetAddress::kV4 && a.bytes[0] == 127) return true;
    if (a.family == os::NetAddress::kV6) {
      if (IsV6Loopback(a)) return true;
      static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
      if (std::memcmp(a.bytes, kMapped, 12) == 0 && a.bytes[12] == 127) return true;
    }
  }
  return false;
}

}  // namespace qv::net
