// Host names, address lists and the this-machine decision. No test reaches a
// name server or another machine: every test process switches the platform
// resolver to numeric-only resolution (a platform test hook), so a name fails
// at once and locally; "localhost" alone is read the ordinary way, from the
// machine's own hosts file. 192.0.2.1 (a documentation address) stands for
// another machine and is resolved as a numeric literal.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/address_lists.h"
#include "os/os_net.h"
#include "qvcore5/qvcore.h"
#include "sync/mutex.h"

using qv::os::NetAddress;

namespace {

const bool kNumericOnly = (qv::os::ResolverNumericOnly(true), true);

std::string HostName() {
  char name[1026];
  EXPECT_TRUE(qv::os::HostNameQuery(name, sizeof name));
  return name;
}

NetAddress V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  NetAddress n;
  n.family = NetAddress::kV4;
  n.bytes[0] = a, n.bytes[1] = b, n.bytes[2] = c, n.bytes[3] = d;
  return n;
}

NetAddress V6(std::initializer_list<uint8_t> head, uint8_t last, uint32_t scope = 0) {
  NetAddress n;
  n.family = NetAddress::kV6;
  std::copy(head.begin(), head.end(), n.bytes);
  n.bytes[15] = last;
  n.scope = scope;
  return n;
}

std::vector<NetAddress> Read(const addrinfo* list) {
  std::vector<NetAddress> out;
  for (; list; list = list->ai_next) {
    NetAddress a;
    EXPECT_TRUE(qv::os::AddressRecordRead(list, &a));
    out.push_back(a);
  }
  return out;
}

bool Same(const NetAddress& a, const NetAddress& b) {
  return a.family == b.family && a.scope == b.scope && std::memcmp(a.bytes, b.bytes, 16) == 0;
}

// A first non-loopback address of the machine, as text; empty when it has none.
std::string OwnAddressText() {
  std::vector<NetAddress> all;
  if (!qv::os::InterfaceAddressQuery(all)) return {};
  for (const NetAddress& a : all) {
    if (a.family == NetAddress::kV4 && a.bytes[0] != 127)
      return std::to_string(a.bytes[0]) + "." + std::to_string(a.bytes[1]) + "." + std::to_string(a.bytes[2]) +
             "." + std::to_string(a.bytes[3]);
  }
  return {};
}

std::atomic<int> g_netMutexesMade{0};
void CountNetMutex(const char* name) {
  if (!std::strcmp(name, "QVIsThisMyComputerA") || !std::strcmp(name, "QVGetMyAddressInformation"))
    g_netMutexesMade.fetch_add(1);
}

}  // namespace

// First in the file, so that a run of the whole binary also starts it in a fresh process.
TEST(NetIsThisMyComputer, EightThreadsAtOnceMutexesMadeOnce) {
  qv::sync::CQVMutexProvider::SetCreationObserver(CountNetMutex);
  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (ready.load() < kThreads && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
      for (int i = 0; i < 200; ++i) {
        if (QVIsThisMyComputerA(i % 2 ? "LocalHost" : "192.0.2.1") != (i % 2)) wrong.fetch_add(1);
        std::string own = "thread-" + std::to_string(t) + "-" + std::to_string(i % 10);
        if (QVIsThisMyComputerA(own.c_str()) != 0) wrong.fetch_add(1);
        addrinfo *mine = nullptr, *local = nullptr;
        if (QVGetMyAddressInformation(&mine, &local) != 0) wrong.fetch_add(1);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  qv::sync::CQVMutexProvider::SetCreationObserver(nullptr);
  EXPECT_EQ(ready.load(), kThreads);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(g_netMutexesMade.load(), 2);
}

TEST(NetHostName, CapacityRuleNarrowAndWide) {
  std::string name = HostName();
  uint32_t len = static_cast<uint32_t>(name.size());
  char narrow[1026];
  char16_t wide[1026];
  EXPECT_EQ(QVGetHostNameA(narrow, len), QV_E_FAIL);
  EXPECT_EQ(QVGetHostNameA(narrow, 0), QV_E_FAIL);
  EXPECT_EQ(QVGetHostNameA(nullptr, 0), QV_E_FAIL);
  EXPECT_EQ(QVGetHostNameA(nullptr, 1026), QV_E_INVALIDARG);
  ASSERT_EQ(QVGetHostNameA(narrow, len + 1), 0);
  EXPECT_EQ(name, narrow);
  EXPECT_EQ(QVGetHostName(wide, len), QV_E_FAIL);
  EXPECT_EQ(QVGetHostName(nullptr, 1026), QV_E_INVALIDARG);
  ASSERT_EQ(QVGetHostName(wide, len + 1), 0);
  EXPECT_EQ(std::u16string(wide), std::u16string(name.begin(), name.end()));
}

TEST(NetHostText, OnlyLiteralNamesAreRewritten) {
  struct Case { const char* in; const char* out; } cases[] = {
      {"FE80--1S4.IPV6-LITERAL.NET", "fe80::1%4"},
      {"build-server", "build-server"},
      {"hosts.example", "hosts.example"},
      {"Sales-Hosts.Example.COM", "sales-hosts.example.com"},
      {"2001-db8--5.ipv6-literal.net.extra", "2001:db8::5"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(qv::net::PrepareHostText(c.in), c.out) << c.in;
}

TEST(NetResolve, LiteralNameStatusAndBadArguments) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;  // a failure stays local: no name server is asked
  addrinfo* list = nullptr;
  ASSERT_EQ(QVgetaddrinfo("FE80--1S4.IPV6-LITERAL.NET", nullptr, &hints, &list), 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->ai_family, AF_INET6);
  std::vector<NetAddress> got = Read(list);
  EXPECT_TRUE(Same(got[0], V6({0xfe, 0x80}, 1, 4)));
  QVfreeaddrinfo(list);

  addrinfo* direct = nullptr;
  int expected = getaddrinfo("build-server", nullptr, &hints, &direct);
  ASSERT_NE(expected, 0);
  list = reinterpret_cast<addrinfo*>(1);
  EXPECT_EQ(QVgetaddrinfo("Build-Server", nullptr, &hints, &list), expected);  // the resolver's own status
  EXPECT_EQ(list, nullptr);
  EXPECT_NE(QVgetaddrinfo("127.0.0.1", nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(QVgetaddrinfo(nullptr, nullptr, nullptr, &list), EAI_NONAME);
  QVfreeaddrinfo(nullptr);
}

TEST(NetOwnLists, BuildRules) {
  const NetAddress loop6 = V6({}, 1), fixed = V6({0xfe, 0x80}, 1, 1), other = V6({0x20, 0x01, 0x0d, 0xb8}, 5);
  const NetAddress linkScope2 = V6({0xfe, 0x80}, 1, 2), a = V4(10, 0, 0, 1), b = V4(192, 168, 1, 2);
  struct Case {
    std::vector<NetAddress> in;
    bool withLocalhost;
    std::vector<NetAddress> own;
    bool fixedHeadsLocalhost;
  } cases[] = {
      {{loop6, fixed, a, other, b}, true, {a, b, other}, true},
      {{linkScope2, a}, true, {a, linkScope2}, false},
      {{fixed, fixed}, true, {fixed}, true},  // a second one is an ordinary address
      {{fixed, b}, false, {b}, true},
      {{}, true, {}, false},
  };
  for (const Case& c : cases) {
    addrinfo* fixedEntry = qv::net::MakeFixedEntry();
    addrinfo* localhost = c.withLocalhost ? qv::os::AddressRecordMake(V4(127, 0, 0, 1), false, "localhost") : nullptr;
    qv::net::OwnLists lists = qv::net::BuildOwnLists(c.in, localhost, fixedEntry);
    std::vector<NetAddress> own = Read(lists.own);
    ASSERT_EQ(own.size(), c.own.size());
    for (size_t i = 0; i < own.size(); ++i) EXPECT_TRUE(Same(own[i], c.own[i])) << i;
    if (lists.own) {
      EXPECT_STREQ(lists.own->ai_canonname, c.withLocalhost ? "localhost" : nullptr);
    }
    EXPECT_EQ(lists.localhost == fixedEntry, c.fixedHeadsLocalhost);
    if (c.fixedHeadsLocalhost) {
      EXPECT_EQ(fixedEntry->ai_next, localhost);
      EXPECT_EQ(fixedEntry->ai_socktype, SOCK_STREAM);
      EXPECT_EQ(fixedEntry->ai_protocol, IPPROTO_TCP);
      EXPECT_EQ(fixedEntry->ai_addrlen, sizeof(sockaddr_in6));
      EXPECT_TRUE(Same(Read(fixedEntry)[0], fixed));
      EXPECT_STREQ(fixedEntry->ai_canonname, c.withLocalhost ? "localhost" : nullptr);
    }
    qv::os::AddressRecordLink(fixedEntry, nullptr);
    qv::os::AddressRecordChainFree(fixedEntry);
    qv::os::AddressRecordChainFree(localhost);
    qv::os::AddressRecordChainFree(lists.own);
  }
}

TEST(NetCompare, AddressBytesOfOneFamilyOnly) {
  NetAddress mapped = V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0}, 1);
  struct Case { NetAddress x, y; int expected; } cases[] = {
      {V4(10, 1, 2, 3), V4(10, 1, 2, 3), 1},
      {V4(10, 1, 2, 3), V4(10, 1, 2, 4), 0},
      {V6({0xfe, 0x80}, 1, 1), V6({0xfe, 0x80}, 1, 7), 1},  // scope ignored
      {V4(127, 0, 0, 1), mapped, 0},
  };
  for (const Case& c : cases) {
    addrinfo* x = qv::os::AddressRecordMake(c.x, false, nullptr);
    addrinfo* filler = qv::os::AddressRecordMake(V4(1, 1, 1, 1), false, nullptr);
    addrinfo* y = qv::os::AddressRecordMake(c.y, false, nullptr);
    qv::os::AddressRecordLink(filler, y);  // the match may be anywhere in the list
    EXPECT_EQ(QVCompareAddressInformation(x, filler), c.expected);
    EXPECT_EQ(QVCompareAddressInformation(filler, x), c.expected);
    EXPECT_EQ(QVCompareAddressInformation(x, nullptr), 0);
    EXPECT_EQ(QVCompareAddressInformation(nullptr, x), 0);
    qv::os::AddressRecordChainFree(x);
    qv::os::AddressRecordChainFree(filler);
  }
}

TEST(NetCompare, LongListsMatchAtTheirEnds) {
  addrinfo* longList = nullptr;
  for (int i = 0; i < 40; ++i) {  // built back to front: 10.0.0.0 heads, 10.0.0.39 ends
    addrinfo* r = qv::os::AddressRecordMake(V4(10, 0, 0, static_cast<uint8_t>(39 - i)), false, nullptr);
    qv::os::AddressRecordLink(r, longList);
    longList = r;
  }
  addrinfo* last = qv::os::AddressRecordMake(V4(10, 0, 0, 39), false, nullptr);
  addrinfo* none = qv::os::AddressRecordMake(V4(10, 0, 0, 40), false, nullptr);
  EXPECT_EQ(QVCompareAddressInformation(last, longList), 1);
  EXPECT_EQ(QVCompareAddressInformation(longList, last), 1);
  EXPECT_EQ(QVCompareAddressInformation(none, longList), 0);
  for (addrinfo* r : {longList, last, none}) qv::os::AddressRecordChainFree(r);
}

TEST(NetOwnLists, BuiltOnceIPv4FirstWithoutLoopback) {
  addrinfo *own = nullptr, *localhost = nullptr, *own2 = nullptr, *localhost2 = nullptr;
  EXPECT_EQ(QVGetMyAddressInformation(nullptr, &localhost), QV_E_INVALIDARG);
  ASSERT_EQ(QVGetMyAddressInformation(&own, &localhost), 0);
  ASSERT_EQ(QVGetMyAddressInformation(&own2, &localhost2), 0);
  EXPECT_EQ(own, own2);
  EXPECT_EQ(localhost, localhost2);
  EXPECT_NE(localhost, nullptr);
  bool seenV6 = false;
  for (const NetAddress& a : Read(own)) {
    if (a.family == NetAddress::kV6) seenV6 = true;
    EXPECT_FALSE(a.family == NetAddress::kV4 && seenV6) << "IPv4 after IPv6";
    EXPECT_FALSE(Same(a, V6({}, 1))) << "::1 listed";
  }
  std::string mine = OwnAddressText();
  if (!mine.empty()) {
    addrinfo* found = nullptr;
    ASSERT_EQ(QVgetaddrinfo(mine.c_str(), nullptr, nullptr, &found), 0);
    EXPECT_EQ(QVCompareAddressInformation(found, own), 1);
    QVfreeaddrinfo(found);
  }
}

TEST(NetIsThisMyComputer, AnswersAndResolverCalls) {
  std::string upper = HostName();
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string mine = OwnAddressText();
  const std::string len1025(1025, 'a'), len1026(1026, 'a'), len100k(100000, 'a');
  struct Case { std::string text; int answer; int resolverCalls; } cases[] = {
      {"LOCALHOST", 1, 0}, {"", 1, 0}, {"::1", 1, 0}, {"127.0.0.1", 1, 0}, {upper, 1, 0},
      {"127.0.1.1", 1, 1},      // loopback other than the seeded one
      {"192.0.2.33", 0, 1},     // another machine
      {"build-server", 0, 1},   // fails at once under the numeric-only hook
      {"build-server", 0, 0},   // and keeps its answer from the cache
      {"BUILD-SERVER", 0, 0},
      {"127.0.1.1", 1, 0},
      {len1025, 0, 1},
      {len1026, 0, 0},          // too long: no resolver call, not cut into another name
      {len100k, 0, 0},
      {"h\xc3\xa9te-\xff", 0, 1},
      {mine.empty() ? "localhost" : mine, 1, mine.empty() ? 0 : 1},
  };
  QVIsThisMyComputerA("localhost");  // seeds
  for (const Case& c : cases) {
    uint64_t before = qv::os::ResolverCallCount();
    EXPECT_EQ(QVIsThisMyComputerA(c.text.c_str()), c.answer) << c.text.substr(0, 40);
    EXPECT_EQ(qv::os::ResolverCallCount() - before, static_cast<uint64_t>(c.resolverCalls)) << c.text.substr(0, 40);
  }
  EXPECT_EQ(QVIsThisMyComputerA(nullptr), 0);
  const char16_t unpaired[] = {u'l', 0xD800, u'x', 0};
  EXPECT_EQ(QVIsThisMyComputerW(reinterpret_cast<const QVWCHAR*>(u"LocalHost")), 1);
  EXPECT_EQ(QVIsThisMyComputerW(reinterpret_cast<const QVWCHAR*>(u"192.0.2.1")), 0);
  EXPECT_EQ(QVIsThisMyComputerW(reinterpret_cast<const QVWCHAR*>(unpaired)), 0);
  std::u16string longWide(1026, u'a');
  EXPECT_EQ(QVIsThisMyComputerW(reinterpret_cast<const QVWCHAR*>(longWide.c_str())), 0);
  EXPECT_EQ(QVIsThisMyComputerW(nullptr), 0);
}

TEST(NetIsThisMyComputer, CacheIsCapped) {
  QVIsThisMyComputerA("kept-name");
  for (int i = 0; i < 4200; ++i) QVIsThisMyComputerA(("filler-" + std::to_string(i)).c_str());
  uint64_t before = qv::os::ResolverCallCount();
  EXPECT_EQ(QVIsThisMyComputerA("kept-name"), 0);
  EXPECT_EQ(qv::os::ResolverCallCount(), before);
  EXPECT_EQ(QVIsThisMyComputerA("late-name"), 0);
  EXPECT_EQ(QVIsThisMyComputerA("late-name"), 0);
  EXPECT_EQ(qv::os::ResolverCallCount(), before + 2);  // beyond the cap: answered, not kept
  EXPECT_EQ(QVIsThisMyComputerA("127.0.0.1"), 1);
}
