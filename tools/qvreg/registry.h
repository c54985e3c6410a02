// The registry as the program sees it: keys named by root and path, values
// read whole with their stored type, result codes in words.
#pragma once
#include <qvcore5/qvcore.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qvreg {

// Marks a value whose type the enumeration did not report.
constexpr uint32_t kTypeUnreported = 0xFFFFFFFFu;

struct Key {
  uint32_t root = 0;
  std::u16string path;  // below the root, without leading or trailing backslash
};

struct Value {
  std::u16string name;
  uint32_t type = 0;  // a QV_REG_* type, or the platform's number of another type
  std::vector<uint8_t> data;
};

// "HKCU\Software\App", "QV_HKEY_CONFIG", ...; false for an unknown root name.
bool ParseKey(std::u16string_view text, Key& key);
// The long name of a root as written in exports and listings.
std::string RootName(uint32_t root);
std::u16string KeyText(const Key& key);
Key Child(const Key& key, const std::u16string& name);

// 0, or 0x80070002 when the key does not exist.
QVRESULT KeyExists(const Key& key);
QVRESULT ReadValues(const Key& key, std::vector<Value>& values);
QVRESULT ReadSubkeys(const Key& key, std::vector<std::u16string>& names);

// "0x80070002 (not found)".
std::string DescribeResult(QVRESULT result);

}  // namespace qvreg
