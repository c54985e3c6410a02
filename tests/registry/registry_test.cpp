// The registry interface over its store, each test in its own store folder
// (its own scratch key on Windows, where the store is the real registry).
#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "qvcore5/qv_registry.h"
#include "support/results_and_text.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using qvtest::ExpectResults;
using qvtest::W;

constexpr QVRESULT kMore = QV_RESULT(0x80004005u);
constexpr QVRESULT kMissing = QV_RESULT(0x80070002u);
constexpr QVRESULT kBad = QV_RESULT(0x80070057u);

const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }
std::vector<unsigned char> Bytes(const std::u16string& s) {  // with the terminator
  auto* p = reinterpret_cast<const unsigned char*>(s.c_str());
  return {p, p + (s.size() + 1) * 2};
}

class Registry : public ::testing::Test {
 protected:
  qvtest::ScratchRegistry m_store;

  static QVRESULT Put(uint32_t root, const std::u16string& key, const std::u16string& name, uint32_t type,
                      const std::vector<unsigned char>& data) {
    return QVRegistrySetValue(root, P(key), P(name), type, data.data(), static_cast<uint32_t>(data.size()));
  }
  static QVRESULT PutText(uint32_t root, const std::u16string& key, const std::u16string& name,
                          const std::u16string& text) {
    return Put(root, key, name, QV_REG_STRING, Bytes(text));
  }
  // The value's bytes, type and result.
  static QVRESULT Get(uint32_t root, const std::u16string& key, const std::u16string& name,
                      std::vector<unsigned char>& out, uint32_t* type = nullptr) {
    uint32_t size = 0;
    QVRESULT r = QVRegistryGetValue(root, P(key), P(name), nullptr, nullptr, &size);
    if (r < 0) return r;
    out.assign(size, 0xEE);
    return QVRegistryGetValue(root, P(key), P(name), type, out.data(), &size);
  }
  static std::u16string Text(const std::vector<unsigned char>& b) {
    std::u16string s(b.size() / 2, u'\0');
    std::memcpy(s.data(), b.data(), s.size() * 2);
    if (!s.empty() && s.back() == 0) s.pop_back();
    return s;
  }
  static std::vector<std::u16string> Names(uint32_t root, const std::u16string& key, bool values) {
    std::vector<std::u16string> names;
    QVREGENUM e;
    if ((values ? QVRegistryOpenValueEnum : QVRegistryOpenKeyEnum)(root, P(key), &e) < 0) return names;
    QVWCHAR buf[300];
    for (;;) {
      uint32_t len = 300;
      QVRESULT r = values ? QVRegistryEnumNextValue(e, buf, &len, nullptr, nullptr, nullptr)
                          : QVRegistryEnumNextKey(e, buf, &len);
      if (r < 0) break;
      names.emplace_back(reinterpret_cast<char16_t*>(buf), len);
    }
    EXPECT_EQ(QVRegistryCloseEnum(e), 0);
    return names;
  }
#if !defined(_WIN32)
  std::string File(const char* name) const { return std::string(getenv("QV_REGISTRY_DIR")) + "/" + name; }
#endif
};

#if !defined(_WIN32)
// Waits for a child with a time limit; its exit status, or -1.
int Reap(pid_t child, std::chrono::seconds limit = std::chrono::seconds(60)) {
  int status = -1;
  bool done = qvtest::WaitUntil([&] { return waitpid(child, &status, WNOHANG) == child; }, limit);
  if (!done) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// The order in which the store lists the values of a key made in `made` order:
// Windows keeps that order, Wine lists by name; the library follows the registry.
std::vector<std::u16string> ValueOrder([[maybe_unused]] const std::u16string& key, std::vector<std::u16string> made) {
#if defined(_WIN32)
  std::vector<std::u16string> listed;
  HKEY opened;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key.c_str()), 0, KEY_READ, &opened) != 0)
    return listed;
  wchar_t name[300];
  DWORD length = 300;
  for (DWORD i = 0; RegEnumValueW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) == 0; ++i, length = 300)
    listed.emplace_back(reinterpret_cast<const char16_t*>(name), length);
  RegCloseKey(opened);
  EXPECT_TRUE(listed == made || std::is_sorted(listed.begin(), listed.end())) << "neither made nor name order";
  return listed;
#else
  return made;
#endif
}

TEST_F(Registry, EveryTypeRoundTripsByteForByte) {
  std::vector<unsigned char> zeros{0, 1, 0, 0, 2, 0}, big(1u << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7 + (i >> 9));
  uint32_t number = 0xA1B2C3D4;
  std::vector<unsigned char> dword(4);
  std::memcpy(dword.data(), &number, 4);
  std::u16string multi = u"one\0two\0"s;
  std::vector<unsigned char> multiBytes = Bytes(multi);
  struct Case { uint32_t type; std::vector<unsigned char> data; uint32_t reported; } cases[] = {
      {QV_REG_STRING, Bytes(W("Grüße")), QV_REG_STRING},
      {QV_REG_EXPAND_STRING, Bytes(u"no references"), QV_REG_STRING},
      {QV_REG_DWORD, dword, QV_REG_DWORD},
      {QV_REG_BINARY, zeros, QV_REG_BINARY},
      {QV_REG_MULTI_STRING, multiBytes, QV_REG_MULTI_STRING},
      {QV_REG_BINARY, {}, QV_REG_BINARY},
      {QV_REG_STRING, {}, QV_REG_STRING},
      {QV_REG_BINARY, big, QV_REG_BINARY},
  };
  int i = 0;
  for (auto& c : cases) {
    std::u16string name = u"v" + std::u16string(1, char16_t(u'0' + i++));
    ASSERT_EQ(Put(QV_HKEY_USER, u"Types", name, c.type, c.data), 0) << i;
    std::vector<unsigned char> got;
    uint32_t type = 99;
    ASSERT_EQ(Get(QV_HKEY_USER, u"Types", name, got, &type), 0) << i;
    EXPECT_EQ(got, c.data) << i;
    EXPECT_EQ(type, c.reported) << i;
  }
  big.push_back(0);
  EXPECT_EQ(Put(QV_HKEY_USER, u"Types", u"huge", QV_REG_BINARY, big), kBad);
}

TEST_F(Registry, SmallBufferReportsTheSizeNeeded) {
  ASSERT_EQ(PutText(QV_HKEY_USER, u"K", u"s", u"abcd"), 0);  // 10 bytes
  unsigned char buf[4];
  uint32_t size = 4, type = 77;
  EXPECT_EQ(QVRegistryGetValue(QV_HKEY_USER, P(u"K"), P(u"s"), &type, buf, &size), kMore);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(QVRegistryGetValue(QV_HKEY_USER, P(u"K"), P(u"s"), &type, nullptr, nullptr), 0);
  EXPECT_EQ(type, QV_REG_STRING);
}

TEST_F(Registry, BadInputIsRefusedAndChangesNothing) {
  uint32_t number = 1;
  std::u16string longKey(256, u'k'), longValue(16384, u'v');
  std::vector<unsigned char> text = Bytes(u"x"), noEnd{'x', 0, 'y', 0}, odd{'x', 0, 0};
  ExpectResults({
      {QVRegistrySetValue(QV_HKEY_USER, P(u"T2"), nullptr, QV_REG_QWORD, &number, 4), kBad},
      {QVRegistrySetValue(QV_HKEY_USER, P(u"T9"), nullptr, 9, &number, 4), kBad},
      {QVRegistrySetValue(QV_HKEY_USER, P(u"N"), nullptr, QV_REG_BINARY, nullptr, 3), kBad},
      {QVRegistrySetValue(QV_HKEY_USER, P(u"N"), nullptr, QV_REG_DWORD, &number, 2), kBad},
      {Put(QV_HKEY_USER, u"N", u"", QV_REG_STRING, noEnd), kBad},
      {Put(QV_HKEY_USER, u"N", u"", QV_REG_MULTI_STRING, odd), kBad},
      {Put(QV_HKEY_USER, longKey, u"", QV_REG_STRING, text), kBad},
      {Put(QV_HKEY_USER, u"N", longValue, QV_REG_STRING, text), kBad},
      {Put(QV_HKEY_USER, u"a\\\\b", u"", QV_REG_STRING, text), kBad},
      {Put(QV_HKEY_USER, u"\\a", u"", QV_REG_STRING, text), kBad},
      {Put(QV_HKEY_USER, u"a\\", u"", QV_REG_STRING, text), kBad},
      {QVRegistryGetValue(QV_HKEY_USER, P(u"N"), nullptr, nullptr, &number, nullptr), kBad},
  });
  EXPECT_TRUE(Names(QV_HKEY_USER, u"", false).empty());
  // The longest names are taken.
  std::u16string key255(255, u'k'), value16383(16383, u'v');
  EXPECT_EQ(Put(QV_HKEY_USER, key255, value16383, QV_REG_STRING, text), 0);
  std::vector<unsigned char> got;
  EXPECT_EQ(Get(QV_HKEY_USER, key255, value16383, got), 0);
}

TEST_F(Registry, RootsByNumber) {
  // Classes roots reach Software\Classes of the machine store; _64 roots are the plain ones.
  ASSERT_EQ(PutText(QV_HKEY_CLASSES, u"CLSID\\{X}\\InprocServer32", u"", u"lib.so"), 0);
  ASSERT_EQ(PutText(QV_HKEY_CONFIG_64, u"Machine", u"m", u"1"), 0);
  ASSERT_EQ(PutText(0x80000001u, u"User", u"u", u"2"), 0);
  std::vector<unsigned char> got;
  struct { uint32_t root; const char16_t* key; const char16_t* name; QVRESULT want; } cases[] = {
      {QV_HKEY_CONFIG, u"Software\\Classes\\CLSID\\{X}\\InprocServer32", u"", 0},
      {0x80000000u, u"clsid\\{x}\\inprocserver32", u"", 0},
      {QV_HKEY_CLASSES_64, u"CLSID\\{X}\\InprocServer32", u"", 0},
      {0x80000002u, u"Machine", u"m", 0},
      {QV_HKEY_CONFIG, u"Machine", u"m", 0},
      {QV_HKEY_USER, u"User", u"u", 0},
      {QV_HKEY_USER, u"Machine", u"m", kMissing},
      {QV_HKEY_CONFIG, u"User", u"u", kMissing},
      {QV_HKEY_CONFIG, u"Machine", u"other", kMissing},
      {7, u"Machine", u"m", QV_RESULT(0x80070006u)},
  };
  for (auto& c : cases) EXPECT_EQ(Get(c.root, c.key, c.name, got), c.want) << (int)c.root;
  QVREGENUM e = nullptr;
  ExpectResults({
      {PutText(7, u"K", u"", u"x"), QV_RESULT(0x80070006u)},
      {QVRegistryDeleteValue(7, P(u"K"), nullptr), QV_RESULT(0x80070006u)},
      {QVRegistryDeleteKey(7, P(u"K")), kMore},
      {QVRegistryOpenKeyEnum(7, P(u""), &e), kMore},
      {QVRegistryOpenValueEnum(7, P(u""), &e), QV_RESULT(0x80070006u)},
      {QVRegistryOpenKeyEnum(QV_HKEY_USER, P(u"nope"), &e), kMore},
      {QVRegistryOpenValueEnum(QV_HKEY_USER, P(u"nope"), &e), kMissing},
      {QVRegistryEnumNextKey(nullptr, nullptr, nullptr), QV_E_HANDLE},
      {QVRegistryEnumNextValue(QV_INVALID_REGENUM, nullptr, nullptr, nullptr, nullptr, nullptr), QV_E_HANDLE},
      {QVRegistryCloseEnum(nullptr), 0},
      {QVRegistryOpenKeyEnum(QV_HKEY_USER, nullptr, nullptr), kBad},
  });
  EXPECT_EQ(e, QV_INVALID_REGENUM);
}

TEST_F(Registry, NamesFoldPerUnitAndKeepTheFirstSpelling) {
  ASSERT_EQ(PutText(QV_HKEY_USER, W("Ärger\\Ωmega"), W("Größe"), u"1"), 0);
  ASSERT_EQ(PutText(QV_HKEY_USER, W("äRGER\\ωMEGA"), W("GRößE"), u"22"), 0);
  std::vector<unsigned char> got;
  ASSERT_EQ(Get(QV_HKEY_USER, W("ÄRGER\\ΩMEGA"), W("größe"), got), 0);
  EXPECT_EQ(Text(got), u"22");
  EXPECT_EQ(Names(QV_HKEY_USER, u"", false), std::vector<std::u16string>{W("Ärger")});
  EXPECT_EQ(Names(QV_HKEY_USER, W("ärger"), false), std::vector<std::u16string>{W("Ωmega")});
  EXPECT_EQ(Names(QV_HKEY_USER, W("ärger\\ωmega"), true), std::vector<std::u16string>{W("Größe")});
}

TEST_F(Registry, DeleteKeyRemovesTheSubtreeOrNothing) {
  for (auto key : {u"A\\B\\C", u"A\\B\\D", u"A\\E", u"AB\\F", u"A-\\G"}) ASSERT_EQ(PutText(QV_HKEY_USER, key, u"v", u"x"), 0);
  ExpectResults({
      {QVRegistryDeleteKey(QV_HKEY_USER, P(u"")), kBad},
      {QVRegistryDeleteKey(QV_HKEY_USER, nullptr), kBad},
      {QVRegistryDeleteKey(QV_HKEY_USER, P(u"\\\\")), kBad},
      {QVRegistryDeleteKey(QV_HKEY_CLASSES, P(u"")), kBad},
      {QVRegistryDeleteKey(QV_HKEY_USER, P(u"a")), 0},
      {QVRegistryDeleteKey(QV_HKEY_USER, P(u"a")), kMore},
      {QVRegistryDeleteValue(QV_HKEY_USER, P(u"AB\\F"), P(u"none")), kMissing},
      {QVRegistryDeleteValue(QV_HKEY_USER, P(u"AB\\F"), P(u"V")), 0},
      {QVRegistryDeleteValue(QV_HKEY_USER, P(u"AB\\F"), P(u"V")), kMissing},
  });
  std::vector<unsigned char> got;
  EXPECT_EQ(Get(QV_HKEY_USER, u"A\\B\\C", u"v", got), kMissing);
  EXPECT_EQ(Get(QV_HKEY_USER, u"A-\\G", u"v", got), 0);  // a sibling sorting near the deleted tree
  EXPECT_EQ(Names(QV_HKEY_USER, u"", false), (std::vector<std::u16string>{u"A-", u"AB"}));
  EXPECT_EQ(PutText(QV_HKEY_USER, u"A\\B\\C", u"v", u"again"), 0);  // the path can be made anew
}

TEST_F(Registry, EnumerationOrderAndIndexAdvance) {
  for (auto key : {u"beta", u"Alpha", u"gamma"}) ASSERT_EQ(PutText(QV_HKEY_USER, u"R\\" + std::u16string(key), u"", u"x"), 0);
  for (auto name : {u"z", u"longer-name", u"a"}) ASSERT_EQ(PutText(QV_HKEY_USER, u"R", name, u"data"), 0);
  ASSERT_EQ(PutText(QV_HKEY_USER, u"R", u"Z", u"rewritten"), 0);  // keeps its place
  EXPECT_EQ(Names(QV_HKEY_USER, u"R", false), (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));
  const std::vector<std::u16string> order = ValueOrder(u"R", {u"z", u"longer-name", u"a"});
  EXPECT_EQ(Names(QV_HKEY_USER, u"R", true), order);

  QVREGENUM e;
  ASSERT_EQ(QVRegistryOpenValueEnum(QV_HKEY_USER, P(u"R"), &e), 0);
  QVWCHAR name[8];
  unsigned char data[32];
  uint32_t len = 8, size = sizeof data, type = 99;
  // Step by step with room for 7 units: "longer-name" does not fit and is skipped.
  for (const std::u16string& expected : order) {
    len = 8, size = sizeof data, type = 99;
    if (expected.size() >= 8) {
      EXPECT_EQ(QVRegistryEnumNextValue(e, name, &len, nullptr, nullptr, nullptr), kMore);
      EXPECT_EQ(len, 12u);
      continue;
    }
    EXPECT_EQ(QVRegistryEnumNextValue(e, name, &len, &type, data, &size), 0);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(name), len), expected);
    EXPECT_EQ(type, QV_REG_STRING);
    EXPECT_EQ(size, expected == u"z" ? 20u : 10u);  // "rewritten" or "data"
  }
  EXPECT_EQ(QVRegistryEnumNextValue(e, name, &len, nullptr, nullptr, nullptr), kMore);
  EXPECT_EQ(QVRegistryEnumNextValue(e, name, &len, nullptr, nullptr, nullptr), kMore);
  EXPECT_EQ(QVRegistryCloseEnum(e), 0);

  ASSERT_EQ(QVRegistryOpenKeyEnum(QV_HKEY_USER, P(u"R"), &e), 0);
  len = 3;
  EXPECT_EQ(QVRegistryEnumNextKey(e, name, &len), kMore);  // "Alpha" skipped
  len = 8;
  EXPECT_EQ(QVRegistryEnumNextKey(e, name, &len), 0);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(name), len), u"beta");
  // The key goes away under the enumeration: the next call fails cleanly.
  EXPECT_EQ(QVRegistryDeleteKey(QV_HKEY_USER, P(u"R")), 0);
  len = 8;
  EXPECT_LT(QVRegistryEnumNextKey(e, name, &len), 0);
  EXPECT_EQ(QVRegistryCloseEnum(e), 0);
}

TEST_F(Registry, ExpandableStringsExpandOnReadOnly) {
  setenv("QV_REG_TEST_EXPAND", "/opt/qv", 1);
  ASSERT_EQ(Put(QV_HKEY_USER, u"E", u"p", QV_REG_EXPAND_STRING, Bytes(u"%QV_REG_TEST_EXPAND%\\bin;%QV_UNDEFINED_X%;%%")), 0);
  std::u16string want = u"/opt/qv\\bin;%QV_UNDEFINED_X%;%%";
  uint32_t type = 99, size = 4;
  unsigned char small[4];
  EXPECT_EQ(QVRegistryGetValue(QV_HKEY_USER, P(u"E"), P(u"p"), &type, small, &size), kMore);
  EXPECT_EQ(size, (want.size() + 1) * 2);
  std::vector<unsigned char> got;
  ASSERT_EQ(Get(QV_HKEY_USER, u"E", u"p", got, &type), 0);
  EXPECT_EQ(Text(got), want);
  EXPECT_EQ(type, QV_REG_STRING);
  QVREGENUM e;
  ASSERT_EQ(QVRegistryOpenValueEnum(QV_HKEY_USER, P(u"E"), &e), 0);
  QVWCHAR name[4];
  unsigned char raw[200];
  uint32_t len = 4;
  size = sizeof raw;
  EXPECT_EQ(QVRegistryEnumNextValue(e, name, &len, &type, raw, &size), 0);
  EXPECT_EQ(Text({raw, raw + size}), u"%QV_REG_TEST_EXPAND%\\bin;%QV_UNDEFINED_X%;%%");
  QVRegistryCloseEnum(e);
  unsetenv("QV_REG_TEST_EXPAND");
}

#if !defined(_WIN32)
// The store file, its descriptors and its locking between processes: POSIX
// only; on Windows the registry itself keeps the store.
TEST_F(Registry, MissingOrForeignStoreFileFailsWithoutHarm) {
  std::vector<unsigned char> got;
  EXPECT_EQ(Get(QV_HKEY_USER, u"K", u"v", got), kMissing);
  EXPECT_FALSE(std::filesystem::exists(File("user.sqlite")));  // reading creates nothing
  const std::string junk(4096, 'J');
  std::ofstream(File("user.sqlite"), std::ios::binary) << junk;
  EXPECT_LT(Get(QV_HKEY_USER, u"K", u"v", got), 0);
  EXPECT_LT(PutText(QV_HKEY_USER, u"K", u"v", u"x"), 0);
  EXPECT_EQ(qvtest::ReadFile(File("user.sqlite")), junk);
}

TEST_F(Registry, StoreDescriptorsCloseOnExec) {
  ASSERT_EQ(PutText(QV_HKEY_USER, u"K", u"v", u"x"), 0);
  ASSERT_EQ(PutText(QV_HKEY_CONFIG, u"K", u"v", u"x"), 0);
  int seen = 0;
  for (auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    auto target = std::filesystem::read_symlink(entry.path(), ec).string();
    if (ec || target.rfind(getenv("QV_REGISTRY_DIR"), 0) != 0) continue;
    ++seen;
    int fd = std::stoi(entry.path().filename().string());
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC) << target;
  }
  EXPECT_GE(seen, 2);
}

TEST_F(Registry, TwoProcessesWriteOneKeyAtOnce) {
  ASSERT_EQ(PutText(QV_HKEY_USER, u"Shared", u"", u"x"), 0);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      for (int i = 0; i < 1000; ++i) {
        std::u16string name = W("p" + std::to_string(c) + "-" + std::to_string(i));
        if (PutText(QV_HKEY_USER, u"Shared", name, name) != 0) _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) EXPECT_EQ(Reap(child), 0);
  EXPECT_EQ(Names(QV_HKEY_USER, u"Shared", true).size(), 2001u);
}

#endif

TEST_F(Registry, ThreadsShareTheStore) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 100; ++i) {
        std::u16string name = W("t" + std::to_string(t) + "-" + std::to_string(i));
        std::vector<unsigned char> data;
        if (PutText(t % 2 ? QV_HKEY_USER : QV_HKEY_CONFIG, u"Threads", name, name) != 0 ||
            Get(t % 2 ? QV_HKEY_USER : QV_HKEY_CONFIG, u"Threads", name, data) != 0 || Text(data) != name)
          ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Names(QV_HKEY_USER, u"Threads", true).size(), 200u);
  EXPECT_EQ(Names(QV_HKEY_CONFIG, u"Threads", true).size(), 200u);
}

#if !defined(_WIN32)
TEST_F(Registry, KilledWriterLosesNoAcknowledgedValue) {
  int ack[2];
  ASSERT_EQ(pipe(ack), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ack[0]);
    for (int i = 0;; ++i) {
      std::u16string name = W("v" + std::to_string(i));
      if (PutText(QV_HKEY_USER, u"Stream", name, name) != 0) _exit(1);
      if (write(ack[1], &i, sizeof i) != sizeof i) _exit(2);
    }
  }
  close(ack[1]);
  int last = -1, got;
  while (last < 300 && read(ack[0], &got, sizeof got) == sizeof got) last = got;
  kill(child, SIGKILL);
  while (read(ack[0], &got, sizeof got) == sizeof got) last = got;  // acknowledged before the kill landed
  close(ack[0]);
  waitpid(child, nullptr, 0);
  ASSERT_GE(last, 300);
  for (int i = 0; i <= last; ++i) {
    std::vector<unsigned char> data;
    std::u16string name = W("v" + std::to_string(i));
    ASSERT_EQ(Get(QV_HKEY_USER, u"Stream", name, data), 0) << i;
    EXPECT_EQ(Text(data), name);
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(File("user.sqlite").c_str(), &db), SQLITE_OK);
  std::string check;
  sqlite3_exec(db, "PRAGMA integrity_check", [](void* out, int, char** v, char**) {
    *static_cast<std::string*>(out) += v[0];
    return 0;
  }, &check, nullptr);
  sqlite3_close(db);
  EXPECT_EQ(check, "ok");
}

TEST_F(Registry, ReadersWithoutWritePermission) {
  ASSERT_EQ(PutText(QV_HKEY_CONFIG, u"Locked", u"v", u"kept"), 0);
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the reader as another user";
  ASSERT_EQ(chmod(getenv("QV_REGISTRY_DIR"), 0755), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
    std::vector<unsigned char> data;
    if (Get(QV_HKEY_CONFIG, u"Locked", u"v", data) != 0 || Text(data) != u"kept") _exit(11);
    if (PutText(QV_HKEY_CONFIG, u"Locked", u"v", u"changed") != QV_E_ACCESSDENIED) _exit(12);
    if (QVRegistryDeleteKey(QV_HKEY_CONFIG, P(u"Locked")) != QV_E_ACCESSDENIED) _exit(13);
    _exit(0);
  }
  EXPECT_EQ(Reap(child), 0);
  std::vector<unsigned char> data;
  ASSERT_EQ(Get(QV_HKEY_CONFIG, u"Locked", u"v", data), 0);
  EXPECT_EQ(Text(data), u"kept");
}
#endif

}  // namespace
