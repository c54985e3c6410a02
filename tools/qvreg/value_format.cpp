#include "value_format.h"

#include <cstdio>

#include "text.h"

namespace qvreg {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decimal, or hexadecimal after 0x; false for anything else or above the maximum.
bool ParseNumber(const std::string& text, uint64_t maximum, uint64_t& value) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  size_t start = hex ? 2 : 0;
  if (start >= text.size()) return false;
  value = 0;
  for (size_t i = start; i < text.size(); ++i) {
    int digit = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return false;
    uint64_t base = hex ? 16 : 10;
    if (value > (maximum - static_cast<uint64_t>(digit)) / base) return false;
    value = value * base + static_cast<uint64_t>(digit);
  }
  return true;
}

}  // namespace

std::string TypeName(uint32_t type) {
  switch (type) {
    case QV_REG_STRING: return "REG_SZ";
    case QV_REG_DWORD: return "REG_DWORD";
    case QV_REG_QWORD: return "REG_QWORD";
    case QV_REG_BINARY: return "REG_BINARY";
    case QV_REG_EXPAND_STRING: return "REG_EXPAND_SZ";
    case QV_REG_MULTI_STRING: return "REG_MULTI_SZ";
    default: return "REG_TYPE_" + std::to_string(type);
  }
}

std::optional<uint32_t> TypeFromWord(const std::string& word) {
  static const struct {
    const char* word;
    uint32_t type;
  } kWords[] = {{"string", QV_REG_STRING}, {"expand", QV_REG_EXPAND_STRING}, {"dword", QV_REG_DWORD},
                {"binary", QV_REG_BINARY}, {"multi", QV_REG_MULTI_STRING}};
  for (const auto& entry : kWords) {
    if (word == entry.word) return entry.type;
  }
  return std::nullopt;
}

void AppendUtf16(std::vector<uint8_t>& data, std::u16string_view text) {
  for (char16_t unit : text) {
    data.push_back(static_cast<uint8_t>(unit & 0xFF));
    data.push_back(static_cast<uint8_t>(unit >> 8));
  }
  data.push_back(0);
  data.push_back(0);
}

std::u16string TextOf(const std::vector<uint8_t>& data) {
  std::u16string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

std::vector<std::u16string> StringsOf(const std::vector<uint8_t>& data) {
  std::vector<std::u16string> strings;
  std::u16string current;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit != 0) {
      current.push_back(unit);
      continue;
    }
    if (current.empty()) break;  // the empty string ends the list
    strings.push_back(std::move(current));
    current.clear();
  }
  if (!current.empty()) strings.push_back(std::move(current));
  return strings;
}

std::string FormatData(const Value& value) {
  char number[64];
  switch (value.type) {
    case QV_REG_STRING:
    case QV_REG_EXPAND_STRING:
      return ToUtf8(TextOf(value.data));
    case QV_REG_DWORD:
      if (value.data.size() == 4) {
        uint32_t n = value.data[0] | value.data[1] << 8 | value.data[2] << 16 | static_cast<uint32_t>(value.data[3]) << 24;
        std::snprintf(number, sizeof number, "%u (0x%08x)", n, n);
        return number;
      }
      break;
    case QV_REG_QWORD:
      if (value.data.size() == 8) {
        uint64_t n = 0;
        for (int i = 7; i >= 0; --i) n = n << 8 | value.data[static_cast<size_t>(i)];
        std::snprintf(number, sizeof number, "%llu (0x%016llx)", static_cast<unsigned long long>(n),
                      static_cast<unsigned long long>(n));
        return number;
      }
      break;
    case QV_REG_MULTI_STRING: {
      std::string out;
      for (const std::u16string& s : StringsOf(value.data)) {
        if (!out.empty()) out += ", ";
        out += '"' + ToUtf8(s) + '"';
      }
      return out;
    }
    default:
      break;
  }
  std::string out;
  for (uint8_t byte : value.data) {
    std::snprintf(number, sizeof number, out.empty() ? "%02x" : " %02x", byte);
    out += number;
  }
  return out;
}

bool DataFromText(uint32_t type, const std::vector<std::string>& texts, std::vector<uint8_t>& data,
                  std::string& error) {
  data.clear();
  if (type != QV_REG_MULTI_STRING && texts.size() != 1) {
    error = "this type takes exactly one --data";
    return false;
  }
  std::u16string wide;
  switch (type) {
    case QV_REG_STRING:
    case QV_REG_EXPAND_STRING:
      if (!FromUtf8(texts[0], wide)) {
        error = "--data is not UTF-8 text";
        return false;
      }
      AppendUtf16(data, wide);
      return true;
    case QV_REG_DWORD: {
      uint64_t n = 0;
      if (!ParseNumber(texts[0], 0xFFFFFFFFu, n)) {
        error = "--data is not a number from 0 to 4294967295 (or 0x0 to 0xffffffff): " + texts[0];
        return false;
      }
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(n >> (8 * i)));
      return true;
    }
    case QV_REG_BINARY: {
      std::string digits;
      for (char c : texts[0]) {
        if (c == ' ' || c == ',' || c == ':') continue;
        if (HexDigit(c) < 0) {
          error = std::string("--data holds a character that is not hexadecimal: ") + c;
          return false;
        }
        digits += c;
      }
      if (digits.size() % 2 != 0) {
        error = "--data has an odd number of hexadecimal digits";
        return false;
      }
      for (size_t i = 0; i < digits.size(); i += 2)
        data.push_back(static_cast<uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
      return true;
    }
    case QV_REG_MULTI_STRING:
      // One --data "" alone is the empty list.
      for (const std::string& text : texts) {
        if (text.empty() && texts.size() == 1) break;
        if (text.empty()) {
          error = "a multi-string cannot hold an empty string";
          return false;
        }
        if (!FromUtf8(text, wide)) {
          error = "--data is not UTF-8 text";
          return false;
        }
        AppendUtf16(data, wide);
      }
      data.push_back(0);
      data.push_back(0);
      return true;
    default:
      error = "unknown type";
      return false;
  }
}

}  // namespace qvreg
