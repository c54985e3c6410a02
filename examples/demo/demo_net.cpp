// Demo section: the machine's name and addresses, and which host texts denote
// it. Nothing leaves the machine: the other machine is a documentation
// address, resolved as a numeric literal.
#include <qvcore5/qvcore.h>

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include <cctype>
#include <cstdio>
#include <string>

#include "demo.h"

namespace demo {

namespace {

std::string AddressText(const addrinfo* record) {
  char text[64] = "?";
  if (record->ai_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(record->ai_addr)->sin_addr, text, sizeof text);
  else if (record->ai_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(record->ai_addr)->sin6_addr, text, sizeof text);
  return text;
}

void Ask(const std::string& text, int expected) {
  int answer = QVIsThisMyComputerA(text.c_str());
  std::printf("  is \"%s\" this machine? %s\n", text.c_str(), answer ? "yes" : "no");
  Check(answer == expected, "the answer is the expected one");
}

}  // namespace

void NetSection() {
  Say("\nNetwork identity: this machine's name and addresses.");
  char name[1026];
  Check(QVGetHostNameA(name, sizeof name) == 0, "QVGetHostNameA read the host name");
  std::printf("  host name: %s\n", name);
  addrinfo* own = nullptr;
  addrinfo* localhost = nullptr;
  Check(QVGetMyAddressInformation(&own, &localhost) == 0, "QVGetMyAddressInformation listed the addresses");
  std::string firstOwn;
  for (const addrinfo* r = own; r != nullptr; r = r->ai_next) {
    std::printf("  own address: %s\n", AddressText(r).c_str());
    if (firstOwn.empty() && r->ai_family == AF_INET && AddressText(r).rfind("127.", 0) != 0) firstOwn = AddressText(r);
  }
  std::string seen;  // the resolver repeats an address once per socket type
  for (const addrinfo* r = localhost; r != nullptr; r = r->ai_next) {
    std::string text = AddressText(r);
    if (seen.find(" " + text + " ") != std::string::npos) continue;
    seen += " " + text + " ";
    std::printf("  localhost: %s\n", text.c_str());
  }
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Ask("localhost", 1);
  Ask(upper, 1);
  if (!firstOwn.empty()) Ask(firstOwn, 1);
  Ask("192.0.2.1", 0);
}

}  // namespace demo
