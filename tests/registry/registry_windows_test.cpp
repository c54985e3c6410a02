// Windows only: the registry functions work on the real registry, so what
// they write the system's own calls read, and the reverse.
#if defined(_WIN32)
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "qvcore5/qvcore.h"

namespace {

// The tests build text for the system's calls; the library takes the same units.
const QVWCHAR* Q(const std::wstring& text) { return reinterpret_cast<const QVWCHAR*>(text.c_str()); }

std::wstring UniqueKey() {
  return L"Software\\qvcore5-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
}

TEST(RegistryWindowsTest, RootsReachThePredefinedKeys) {
  std::wstring key = UniqueKey();
  std::wstring classKey = L"qvcore5.test." + std::to_wstring(GetCurrentProcessId());
  struct Case {
    uint32_t root;
    std::wstring path;
    HKEY system;
    std::wstring systemPath;
  } cases[] = {
      {QV_HKEY_USER, key + L"\\A", HKEY_CURRENT_USER, key + L"\\A"},
      {QV_HKEY_CONFIG, key + L"\\B", HKEY_LOCAL_MACHINE, key + L"\\B"},
      {QV_HKEY_CLASSES, classKey, HKEY_CLASSES_ROOT, classKey},
      {0x80000001u, key + L"\\C", HKEY_CURRENT_USER, key + L"\\C"},
  };
  for (const Case& c : cases) {
    uint32_t number = 0x01020304;
    ASSERT_EQ(QVRegistrySetValue(c.root, Q(c.path), Q(L"Num"), QV_REG_DWORD, &number, 4), 0);
    DWORD read = 0, size = sizeof read, type = 0;
    EXPECT_EQ(RegGetValueW(c.system, c.systemPath.c_str(), L"num", RRF_RT_ANY, &type, &read, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(read, number);
    // Written by the system, read by the library: an expandable string comes back expanded.
    const wchar_t text[] = L"%SystemRoot%\\x";
    ASSERT_EQ(RegSetKeyValueW(c.system, c.systemPath.c_str(), L"Path", REG_EXPAND_SZ, text, sizeof text), ERROR_SUCCESS);
    QVWCHAR buffer[MAX_PATH] = {};
    uint32_t bytes = sizeof buffer, kind = 99;
    EXPECT_EQ(QVRegistryGetValue(c.root, Q(c.path), Q(L"PATH"), &kind, buffer, &bytes), 0);
    EXPECT_EQ(kind, QV_REG_STRING);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(buffer)).find(L'%'), std::wstring::npos);
  }
  for (const Case& c : cases) {
    std::wstring top = c.root == QV_HKEY_CLASSES ? c.path : key;
    QVRegistryDeleteKey(c.root, Q(top));
    HKEY opened;
    EXPECT_EQ(RegOpenKeyExW(c.system, c.systemPath.c_str(), 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
  }
}

TEST(RegistryWindowsTest, EnumerationSeesKeysMadeBySystemCalls) {
  std::wstring key = UniqueKey();
  for (const wchar_t* name : {L"beta", L"Alpha", L"gamma"}) {
    HKEY made;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (key + L"\\" + name).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &made, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(made);
  }
  QVREGENUM handle;
  ASSERT_EQ(QVRegistryOpenKeyEnum(QV_HKEY_USER, Q(key), &handle), 0);
  std::wstring seen;
  QVWCHAR name[256];
  uint32_t length = 256;
  while (QVRegistryEnumNextKey(handle, name, &length) == 0) {
    seen += std::wstring(reinterpret_cast<const wchar_t*>(name), length) + L";";
    length = 256;
  }
  EXPECT_EQ(QVRegistryCloseEnum(handle), 0);
  EXPECT_EQ(seen, L"Alpha;beta;gamma;");
  EXPECT_EQ(QVRegistryDeleteKey(QV_HKEY_USER, Q(key)), 0);
  HKEY opened;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
}

}  // namespace
#endif
