// GUID text, ordering and generation; the component allocator; libraries and module variants.
#include <cstring>
#include <string>

#include "qvcore5/qv_com.h"
#include "support/results_and_text.h"

namespace {

// A system library every process has.
#if defined(_WIN32)
const char kSystemLibrary[] = "kernel32.dll", kSystemSymbol[] = "GetTickCount";
#else
const char kSystemLibrary[] = "libm.so.6", kSystemSymbol[] = "cos";
#endif

using qvtest::W;

const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }

// {01234567-89AB-CDEF-0123-456789ABCDEF} in memory.
const QVGUID kSample = {0x01234567u, 0x89ABu, 0xCDEFu, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const QVGUID kMarker = {0xDEADBEEFu, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

TEST(Guid, TextFormsAcceptedAndRefused) {
  struct Case {
    const char* text;
    bool accepted;
  } cases[] = {
      {"{01234567-89AB-CDEF-0123-456789ABCDEF}", true},
      {"01234567-89ab-cdef-0123-456789abcdef", true},
      {"01234567-89AB-CDEF-0123-456789ABCDEF}", true},      // a lone closing brace after the bare form
      {"{01234567-89AB-CDEF-0123-456789ABCDEF}trailing", true},
      {"01234567-89AB-CDEF-0123-456789ABCDEFxyz", true},
      {"{01234567-89AB-CDEF-0123-456789ABCDEF", false},     // 37 units with an opening brace
      {"01234567-89AB-CDEF-0123-456789ABCDE}", false},      // brace where a digit is due
      {"{01234567-89AB-CDEF-0123-456789ABCDEF)", false},
      {"0123456789AB-CDEF-0123-456789ABCDEFGH", false},     // first dash dropped, length kept
      {"01234567-89AB-CDEF-0123-456789ABCDEG", false},
      {" 01234567-89AB-CDEF-0123-456789ABCDEF", false},     // leading blanks are not skipped
      {"01234567-89AB-CDEF-0123-456789ABCDE", false},       // 35 units
      {"", false},
      {"{{1234567-89AB-CDEF-0123-456789ABCDEF}", false},
  };
  for (const Case& c : cases) {
    QVGUID g = kMarker;
    QVRESULT r = QVComGUIDFromString(P(W(c.text)), &g);
    if (c.accepted) {
      EXPECT_EQ(r, QV_S_OK) << c.text;
      EXPECT_EQ(std::memcmp(&g, &kSample, sizeof g), 0) << c.text;
    } else {
      EXPECT_EQ(r, QV_E_INVALIDARG) << c.text;
      EXPECT_EQ(std::memcmp(&g, &kMarker, sizeof g), 0) << c.text << ": output touched";
    }
  }
  QVGUID g;
  EXPECT_EQ(QVComGUIDFromString(nullptr, &g), QV_E_INVALIDARG);
  EXPECT_EQ(QVComGUIDFromString(P(W("01234567-89AB-CDEF-0123-456789ABCDEF")), nullptr), QV_E_INVALIDARG);
}

TEST(Guid, FormattingByCapacity) {
  const std::u16string full = W("{01234567-89AB-CDEF-0123-456789ABCDEF}");
  struct Case {
    int32_t capacity;
    size_t written;  // units changed, terminator included
  } cases[] = {{39, 39}, {100, 39}, {38, 38}, {5, 5}, {1, 1}, {0, 0}, {-1, 39}};
  for (const Case& c : cases) {
    std::u16string buffer(60, u'#');
    EXPECT_EQ(QVComStringFromGUID(&kSample, reinterpret_cast<QVWCHAR*>(buffer.data()), c.capacity), QV_S_OK);
    std::u16string expected = (full + u'\0').substr(0, c.written) + std::u16string(60 - c.written, u'#');
    EXPECT_EQ(buffer, expected) << "capacity " << c.capacity;
  }
  EXPECT_EQ(QVComStringFromGUID(&kSample, nullptr, 39), QV_S_OK);
}

TEST(Guid, OrderingFollowsTheTextTailFirst) {
  auto with = [](uint32_t d1, uint8_t b15) {
    QVGUID g = kSample;
    g.data1 = d1;
    g.data4[7] = b15;
    return g;
  };
  struct Case {
    QVGUID a, b;
    int32_t order;
  } cases[] = {
      {with(0x00000002u, 0x01), with(0x00000001u, 0x02), -1},  // byte 15 decides before byte 0
      {with(0x00000100u, 0xEF), with(0x00000001u, 0xEF), -1},  // byte 0 decides, not the group's value
      {with(0x80000000u, 0xEF), with(0x00000001u, 0xEF), -1},
      {kSample, kSample, 0},
      {with(0x01234567u, 0xF0), kSample, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QVComCompareGUID(&c.a, &c.b), c.order);
    EXPECT_EQ(QVComCompareGUID(&c.b, &c.a), -c.order);
    EXPECT_EQ(QVComIsEqualGUID(&c.a, &c.b), c.order == 0 ? 1 : 0);
  }
}

TEST(Guid, GeneratedAreVersion4AndDistinct) {
  QVGUID a = kMarker, b = kMarker;
  ASSERT_EQ(QVComGenerateGUID(&a), QV_S_OK);
  ASSERT_EQ(QVComGenerateGUID(&b), QV_S_OK);
  EXPECT_EQ(QVComIsEqualGUID(&a, &b), 0);
  for (const QVGUID& g : {a, b}) {
    EXPECT_EQ(g.data3 >> 12, 4);
    EXPECT_EQ(g.data4[0] & 0xC0, 0x80);
  }
  EXPECT_EQ(QVComGenerateGUID(nullptr), QV_E_INVALIDARG);
}

TEST(ComponentAllocator, AllocateResizeFree) {
  void* block = nullptr;
  ASSERT_EQ(QVComMalloc(16, &block), QV_S_OK);
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "component", 10);
  ASSERT_EQ(QVComRealloc(&block, 4096), QV_S_OK);
  EXPECT_STREQ(static_cast<char*>(block), "component");
  EXPECT_EQ(QVComRealloc(&block, 0), QV_S_OK);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(QVComFree(nullptr), QV_S_OK);
  EXPECT_EQ(QVComMalloc(1, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVComRealloc(nullptr, 1), QV_E_INVALIDARG);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // they abort on impossible sizes
  ASSERT_EQ(QVComMalloc(8, &block), QV_S_OK);
  void* before = block;
  EXPECT_EQ(QVComRealloc(&block, SIZE_MAX / 2), QV_E_OUTOFMEMORY);
  EXPECT_EQ(block, before);
  void* none = &block;
  EXPECT_EQ(QVComMalloc(SIZE_MAX / 2, &none), QV_E_OUTOFMEMORY);
  EXPECT_EQ(none, nullptr);
  QVComFree(block);
#endif
}

TEST(Library, FailuresKeepTheirOutValues) {
  QVHANDLE lib = nullptr;
  struct Case {
    std::u16string name;
  } names[] = {{W("/nonexistent/libnothing.so")}, {u""}, {std::u16string(1, char16_t(0xD800))}};
  for (const Case& c : names) {
    EXPECT_EQ(QVLibOpen(P(c.name), &lib), QV_E_FAIL);
    EXPECT_EQ(lib, QV_INVALID_HANDLE);
  }
  EXPECT_EQ(QVLibOpen(nullptr, &lib), QV_E_INVALIDARG);
  ASSERT_EQ(QVLibOpen(P(W(kSystemLibrary)), &lib), QV_S_OK);
  void* address = &lib;
  EXPECT_EQ(QVLibGetSymbol(lib, P(W(kSystemSymbol)), &address), QV_S_OK);
  EXPECT_NE(address, nullptr);
  for (const char* symbol : {"no_such_symbol_here", ""}) {
    address = &lib;
    EXPECT_EQ(QVLibGetSymbol(lib, P(W(symbol)), &address), QV_E_FAIL) << symbol;
    EXPECT_EQ(address, nullptr);
  }
  EXPECT_EQ(QVLibClose(lib), QV_S_OK);
  EXPECT_EQ(QVLibClose(lib), QV_E_HANDLE);
  EXPECT_EQ(QVLibGetSymbol(lib, P(W(kSystemSymbol)), &address), QV_E_HANDLE);
  EXPECT_EQ(QVLibClose(reinterpret_cast<QVHANDLE>(uintptr_t{0x1234})), QV_E_HANDLE);
  EXPECT_EQ(QVLibClose(QV_INVALID_HANDLE), QV_E_HANDLE);
}

TEST(Library, ModuleVariantsFollowTheMarks) {
  const QVMODULEID id = reinterpret_cast<QVMODULEID>(&kMarker);
  QVHANDLE lib = reinterpret_cast<QVHANDLE>(uintptr_t{7});
  void* out = &lib;
  const QVGUID cls = kSample;
  auto refused = [&] {
    EXPECT_EQ(QVModuleLibOpen(id, P(W(kSystemLibrary)), &lib), QV_E_NOTINITIALIZED);
    EXPECT_EQ(QVModuleLibClose(id, lib), QV_E_NOTINITIALIZED);
    EXPECT_EQ(QVModuleComGetClassObject(id, &cls, &cls, &out), QV_E_NOTINITIALIZED);
    EXPECT_EQ(QVModuleComCreateObject(id, &cls, nullptr, &cls, &out), QV_E_NOTINITIALIZED);
    EXPECT_EQ(lib, reinterpret_cast<QVHANDLE>(uintptr_t{7}));
    EXPECT_EQ(out, static_cast<void*>(&lib));
  };
  refused();  // never marked
  ASSERT_EQ(QVModuleSetInitialized(id, 1), QV_S_OK);
  ASSERT_EQ(QVModuleSetInitialized(id, 1), QV_S_OK);
  ASSERT_EQ(QVModuleLibOpen(id, P(W(kSystemLibrary)), &lib), QV_S_OK);
  EXPECT_EQ(QVModuleLibClose(id, lib), QV_S_OK);
  lib = reinterpret_cast<QVHANDLE>(uintptr_t{7});
  ASSERT_EQ(QVModuleSetInitialized(id, 0), QV_S_OK);  // twice marked, once unmarked
  refused();
}

}  // namespace
