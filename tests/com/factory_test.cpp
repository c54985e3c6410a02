// Class factories found through the registry, each test in its own store.
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "qvcore5/qv_com.h"
#include "qvcore5/qv_registry.h"
#include "support/results_and_text.h"
#include "support/test_support.h"

namespace {

using qvtest::W;

const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }
std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

const QVGUID kFactoryIid = QV_IID_IQVCLASSFACTORY_INIT;
const QVGUID kUnknownIid = QV_IID_IQVUNKNOWN_INIT;
const QVGUID kCounterIid = {0x7A1C0E55u, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0xC1}};
const QVGUID kOtherIid = {0x7A1C0E55u, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0xC2}};
constexpr QVRESULT kNoInterface = QV_RESULT(0x80004002u);

QVGUID NewClass() {
  QVGUID g;
  QVComGenerateGUID(&g);
  return g;
}

std::u16string Text(const QVGUID& g) {
  char16_t text[39];
  QVComStringFromGUID(&g, reinterpret_cast<QVWCHAR*>(text), 39);
  return text;
}

QVRESULT PutString(const std::u16string& key, const std::u16string& value, uint32_t type = QV_REG_STRING) {
  return QVRegistrySetValue(QV_HKEY_CLASSES, P(key), P(u""), type, value.c_str(),
                            static_cast<uint32_t>((value.size() + 1) * 2));
}

QVRESULT Register(const QVGUID& cls, const char* server, const char* progId = nullptr) {
  QVRESULT r = PutString(u"CLSID\\" + Text(cls) + u"\\InprocServer32", W(server));
  if (r >= 0 && progId != nullptr) r = PutString(W(progId) + u"\\CLSID", Text(cls));
  return r;
}

struct ServerState {
  int entryCalls = -1, liveObjects = -1, factoryRefs = -1;
};

#if defined(_WIN32)
// The loaded module of that file, without loading it (by its base name).
enum { RTLD_NOW = 0, RTLD_NOLOAD = 0 };
void* dlopen(const char* path, int) {
  std::string name(path);
  HMODULE module = nullptr;
  GetModuleHandleExA(0, name.substr(name.find_last_of("/\\") + 1).c_str(), &module);
  return module;
}
void* dlsym(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void dlclose(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
#endif

bool Loaded(const char* path) {
  void* module = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (module != nullptr) dlclose(module);
  return module != nullptr;
}

// Read without keeping the server loaded.
ServerState State(const char* path) {
  ServerState s;
  if (void* module = dlopen(path, RTLD_NOW | RTLD_NOLOAD)) {
    using Fn = void (*)(int*, int*, int*);
    reinterpret_cast<Fn>(dlsym(module, "TestServerState"))(&s.entryCalls, &s.liveObjects, &s.factoryRefs);
    dlclose(module);
  }
  return s;
}

uint32_t Increment(const char* path, IQVUnknown* object) {
  void* module = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (module == nullptr) return 0;
  using Fn = uint32_t (*)(IQVUnknown*);
  uint32_t value = reinterpret_cast<Fn>(dlsym(module, "TestCounterIncrement"))(object);
  dlclose(module);
  return value;
}

class Factories : public ::testing::Test {
 protected:
  void SetUp() override { QVComFlushFactoryCache(); }
  void TearDown() override { QVComFlushFactoryCache(); }
  qvtest::ScratchRegistry m_store;
};

TEST_F(Factories, LookupFailuresHaveTheirCodes) {
  const QVGUID missing = NewClass(), nowhere = NewClass(), noEntry = NewClass(), failing = NewClass(),
               number = NewClass();
  ASSERT_EQ(Register(nowhere, "/nonexistent/server.so"), QV_S_OK);
  ASSERT_EQ(Register(noEntry, QV_TEST_SERVER_NO_ENTRY), QV_S_OK);
  ASSERT_EQ(Register(failing, QV_TEST_SERVER_ENTRY_FAILS), QV_S_OK);
  uint32_t four = 4;
  ASSERT_EQ(QVRegistrySetValue(QV_HKEY_CLASSES, P(u"CLSID\\" + Text(number) + u"\\InprocServer32"), P(u""),
                               QV_REG_DWORD, &four, 4), QV_S_OK);
  struct Case {
    const QVGUID* cls;
    QVRESULT result;
  } cases[] = {{&missing, QV_E_CLASSNOTREG}, {&number, QV_E_CLASSNOTREG}, {&nowhere, QV_E_FAIL},
               {&noEntry, QV_E_FAIL}, {&failing, QV_RESULT(0x80040111u)}};
  for (const Case& c : cases) {
    void* out = &out;
    EXPECT_EQ(QVComGetClassObject(c.cls, &kFactoryIid, &out), c.result) << Narrow(Text(*c.cls));
    EXPECT_EQ(out, nullptr);
    out = &out;
    EXPECT_EQ(QVComCreateObject(c.cls, nullptr, &kCounterIid, &out), c.result);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(State(QV_TEST_SERVER_ENTRY_FAILS).entryCalls, 2) << "a failure is not cached";
  void* out = nullptr;
  EXPECT_EQ(QVComGetClassObject(nullptr, &kFactoryIid, &out), QV_E_INVALIDARG);
  EXPECT_EQ(QVComGetClassObject(&missing, &kFactoryIid, nullptr), QV_E_INVALIDARG);
}

TEST_F(Factories, CacheLoadsOnceUntilFlushed) {
  const QVGUID cls = NewClass();
  ASSERT_EQ(Register(cls, QV_TEST_SERVER_NO_UNLOAD), QV_S_OK);
  void* first = nullptr;
  void* second = nullptr;
  ASSERT_EQ(QVComGetClassObject(&cls, &kFactoryIid, &first), QV_S_OK);
  int calls = State(QV_TEST_SERVER_NO_UNLOAD).entryCalls;
  ASSERT_EQ(QVComGetClassObject(&cls, &kUnknownIid, &second), QV_S_OK);  // answered by QueryInterface
  EXPECT_EQ(first, second);
  EXPECT_EQ(State(QV_TEST_SERVER_NO_UNLOAD).entryCalls, calls);
  EXPECT_EQ(QVComGetClassObject(&cls, &kOtherIid, &second), kNoInterface);
  EXPECT_EQ(second, nullptr);
  IQVUnknown_Release(static_cast<IQVUnknown*>(first));
  IQVUnknown_Release(static_cast<IQVUnknown*>(first));
  EXPECT_EQ(State(QV_TEST_SERVER_NO_UNLOAD).factoryRefs, 1) << "the cache holds one";
  EXPECT_EQ(QVComFlushFactoryCache(), QV_S_OK);
  EXPECT_EQ(State(QV_TEST_SERVER_NO_UNLOAD).factoryRefs, 0);
  EXPECT_TRUE(Loaded(QV_TEST_SERVER_NO_UNLOAD)) << "without DllCanUnloadNow a server stays";
  ASSERT_EQ(QVComGetClassObject(&cls, &kFactoryIid, &first), QV_S_OK);
  EXPECT_EQ(State(QV_TEST_SERVER_NO_UNLOAD).entryCalls, calls + 1);
  IQVUnknown_Release(static_cast<IQVUnknown*>(first));
}

TEST_F(Factories, ServerUnloadsOnlyWhenNothingOfItLives) {
  const QVGUID cls = NewClass();
  ASSERT_EQ(Register(cls, QV_TEST_SERVER_PLAIN, "QvTest.Counter.1"), QV_S_OK);
  void* object = nullptr;
  ASSERT_EQ(QVComCreateObjectByProgID(P(u"QvTest.Counter.1"), nullptr, &kCounterIid, &object), QV_S_OK);
  EXPECT_EQ(State(QV_TEST_SERVER_PLAIN).factoryRefs, 1) << "the factory is released after CreateInstance";
  EXPECT_EQ(QVComFlushFactoryCache(), QV_S_OK);
  ASSERT_TRUE(Loaded(QV_TEST_SERVER_PLAIN)) << "an object outlives the flush";
  EXPECT_EQ(Increment(QV_TEST_SERVER_PLAIN, static_cast<IQVUnknown*>(object)), 1u);
  EXPECT_EQ(IQVUnknown_Release(static_cast<IQVUnknown*>(object)), 0u);
  void* again = &again;
  EXPECT_EQ(QVComCreateObjectByProgID(P(u"QvTest.Counter.1"), nullptr, &kOtherIid, &again), kNoInterface);
  EXPECT_EQ(again, nullptr);
  EXPECT_EQ(State(QV_TEST_SERVER_PLAIN).factoryRefs, 1) << "released on failure too";
  EXPECT_EQ(QVComFlushFactoryCache(), QV_S_OK);
  EXPECT_FALSE(Loaded(QV_TEST_SERVER_PLAIN)) << "idle server unloaded";
}

TEST_F(Factories, ProgIdFailures) {
  const QVGUID cls = NewClass();
  ASSERT_EQ(Register(cls, QV_TEST_SERVER_PLAIN), QV_S_OK);
  ASSERT_EQ(PutString(u"QvTest.Bad\\CLSID", u"not a guid"), QV_S_OK);
  ASSERT_EQ(PutString(u"QvTest.Long\\CLSID", Text(cls) + u"X"), QV_S_OK);
  ASSERT_EQ(PutString(u"QvTest.NoClsid\\Other", u"x"), QV_S_OK);
  ASSERT_EQ(PutString(u"QvTest.Ok\\CLSID", Text(cls)), QV_S_OK);
  uint32_t four = 4;
  ASSERT_EQ(QVRegistrySetValue(QV_HKEY_CLASSES, P(u"QvTest.Number\\CLSID"), P(u""), QV_REG_DWORD, &four, 4),
            QV_S_OK);
  struct Case {
    std::u16string progId;
    QVRESULT result;
  } cases[] = {{u"QvTest.Missing", QV_E_CLASSNOTREG}, {u"QvTest.NoClsid", QV_E_CLASSNOTREG},
               {u"QvTest.Bad", QV_E_INVALIDARG},      {u"QvTest.Long", QV_E_FAIL},
               {u"QvTest.Number", QV_E_CLASSNOTREG},   {u"", QV_E_INVALIDARG},
               {std::u16string(254, u'a'), QV_E_INVALIDARG}, {std::u16string(253, u'a'), QV_E_CLASSNOTREG},
               {u"QvTest.Ok", QV_S_OK}};
  for (const Case& c : cases) {
    QVGUID got = {};
    EXPECT_EQ(QVComClassIDFromProgID(P(c.progId), &got), c.result) << Narrow(c.progId);
    if (c.result == QV_S_OK) {
      EXPECT_EQ(QVComIsEqualGUID(&got, &cls), 1);
      continue;
    }
    void* out = &out;
    EXPECT_EQ(QVComCreateObjectByProgID(P(c.progId), nullptr, &kCounterIid, &out), c.result);
    EXPECT_EQ(out, nullptr);
  }
}

QVRESULT s_innerResult = 0;
void CallBackIn() {
  const QVGUID unregistered = NewClass();
  void* out = nullptr;
  s_innerResult = QVComGetClassObject(&unregistered, &kFactoryIid, &out);
}

TEST_F(Factories, ServerMayCallBackWhileLoading) {
  const QVGUID cls = NewClass();
  ASSERT_EQ(Register(cls, QV_TEST_SERVER_NO_UNLOAD), QV_S_OK);
  QVHANDLE lib = QV_INVALID_HANDLE;
  ASSERT_EQ(QVLibOpen(P(W(QV_TEST_SERVER_NO_UNLOAD)), &lib), QV_S_OK);
  void* setHook = nullptr;
  ASSERT_EQ(QVLibGetSymbol(lib, P(u"TestServerHook"), &setHook), QV_S_OK);
  reinterpret_cast<void (*)(void (*)())>(setHook)(&CallBackIn);
  s_innerResult = 0;
  void* out = nullptr;
  EXPECT_EQ(QVComGetClassObject(&cls, &kFactoryIid, &out), QV_S_OK);
  EXPECT_EQ(s_innerResult, QV_E_CLASSNOTREG);
  reinterpret_cast<void (*)(void (*)())>(setHook)(nullptr);
  if (out != nullptr) IQVUnknown_Release(static_cast<IQVUnknown*>(out));
  EXPECT_EQ(QVLibClose(lib), QV_S_OK);
}

TEST_F(Factories, ProcessExitsCleanlyWithFactoriesCached) {
#if defined(_WIN32)
  GTEST_SKIP() << "fork";
#else
  const QVGUID cls = NewClass();
  ASSERT_EQ(Register(cls, QV_TEST_SERVER_PLAIN), QV_S_OK);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    void* factory = nullptr;
    if (QVComGetClassObject(&cls, &kFactoryIid, &factory) != QV_S_OK) _exit(10);
    IQVUnknown_Release(static_cast<IQVUnknown*>(factory));
    // Where the server links the shared library, its destructors run before
    // the library's end; here the test program holds the library, so run them first.
    void* module = dlopen(QV_TEST_SERVER_PLAIN, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) _exit(11);
    reinterpret_cast<void (*)()>(dlsym(module, "TestServerTearDown"))();
    std::exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

TEST_F(Factories, EightThreadsSameAndDifferentClasses) {
  const QVGUID classes[2] = {NewClass(), NewClass()};
  ASSERT_EQ(Register(classes[0], QV_TEST_SERVER_PLAIN), QV_S_OK);
  ASSERT_EQ(Register(classes[1], QV_TEST_SERVER_NO_UNLOAD), QV_S_OK);
  // Flushes still close the server concurrently, but this reference keeps it
  // mapped: a server unmapped and mapped again at the same address looks to
  // ThreadSanitizer like a race on its statics.
  QVHANDLE pin = QV_INVALID_HANDLE;
  ASSERT_EQ(QVLibOpen(P(W(QV_TEST_SERVER_PLAIN)), &pin), QV_S_OK);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        void* object = nullptr;
        if (QVComCreateObject(&classes[(t + i) % 2], nullptr, &kCounterIid, &object) != QV_S_OK) ++failures;
        else IQVUnknown_Release(static_cast<IQVUnknown*>(object));
        if (t == 0 && i % 50 == 0) QVComFlushFactoryCache();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(QVLibClose(pin), QV_S_OK);
}

}  // namespace
