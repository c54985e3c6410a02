// The this-machine decision answered from its cache, and the comparison of two
// 16-entry address lists (8 IPv4 and 8 IPv6 each), with no common address so
// that every pair is looked at. Nothing leaves the machine.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netdb.h>
#include <netinet/in.h>
#include <qvcore5/qvcore.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A list of records built in place, the way a resolver would hand them out.
struct List {
  std::vector<addrinfo> records;
  std::vector<sockaddr_in6> addresses;
  explicit List(int salt) : records(16), addresses(16) {
    for (int i = 0; i < 16; ++i) {
      addrinfo& r = records[i];
      r = addrinfo{};
      sockaddr_in6& a = addresses[i];
      a = sockaddr_in6{};
      if (i < 8) {
        auto* in = reinterpret_cast<sockaddr_in*>(&a);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = htonl(0xC6336400u + static_cast<uint32_t>(salt * 16 + i));  // 198.51.100.x
        r.ai_family = AF_INET;
        r.ai_addrlen = sizeof(sockaddr_in);
      } else {
        a.sin6_family = AF_INET6;
        inet_pton(AF_INET6, "2001:db8::", &a.sin6_addr);
        a.sin6_addr.s6_addr[15] = static_cast<uint8_t>(salt * 16 + i);
        r.ai_family = AF_INET6;
        r.ai_addrlen = sizeof(sockaddr_in6);
      }
      r.ai_addr = reinterpret_cast<sockaddr*>(&a);
      r.ai_next = i < 15 ? &records[i + 1] : nullptr;
    }
  }
};

void BM_QVIsThisMyComputerA_Cached(benchmark::State& state) {
  char name[1026];
  QVGetHostNameA(name, sizeof name);
  const std::string texts[] = {"localhost", name, "192.0.2.1"};
  for (const std::string& t : texts) QVIsThisMyComputerA(t.c_str());  // decided once, cached
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(QVIsThisMyComputerA(texts[i].c_str()));
    i = i == 2 ? 0 : i + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QVIsThisMyComputerA_Cached);

void BM_QVCompareAddressInformation_16x16(benchmark::State& state) {
  List first(1), second(2);
  for (auto _ : state) benchmark::DoNotOptimize(QVCompareAddressInformation(first.records.data(), second.records.data()));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QVCompareAddressInformation_16x16);

}  // namespace

BENCHMARK_MAIN();
