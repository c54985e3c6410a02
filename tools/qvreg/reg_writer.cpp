#include "reg_writer.h"

#include <cstdio>

#include "value_format.h"

namespace qvreg {

namespace {

constexpr size_t kLineWidth = 80;

std::u16string Ascii(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }

std::u16string Quoted(std::u16string_view s) {
  std::u16string out = u"\"";
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  return out + u'"';
}

// A string that reads back as itself in quotes: terminated once, no zero or
// line break inside.
bool PlainText(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  for (size_t i = 0; i < data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    bool last = i + 2 == data.size();
    if ((unit == 0) != last || unit == u'\r' || unit == u'\n') return false;
  }
  return true;
}

std::u16string HexLines(std::u16string line, const std::vector<uint8_t>& data) {
  std::u16string out;
  for (size_t i = 0; i < data.size(); ++i) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02x", data[i]);
    std::u16string token = Ascii(digits) + (i + 1 < data.size() ? u"," : u"");
    if (line.size() + token.size() + 1 > kLineWidth) {
      out += line + u"\\\r\n";
      line = u"  ";
    }
    line += token;
  }
  return out + line + u"\r\n";
}

QVRESULT AppendKey(const Key& key, std::u16string& text) {
  std::vector<Value> values;
  QVRESULT result = ReadValues(key, values);
  if (result < 0) return result;
  text += u"[" + KeyText(key) + u"]\r\n";
  for (const Value& value : values) text += RegValueLines(value);
  text += u"\r\n";
  std::vector<std::u16string> names;
  result = ReadSubkeys(key, names);
  if (result < 0) return result;
  for (const std::u16string& name : names) {
    result = AppendKey(Child(key, name), text);
    if (result < 0) return result;
  }
  return 0;
}

}  // namespace

std::u16string RegValueLines(const Value& value) {
  std::u16string line = (value.name.empty() ? u"@" : Quoted(value.name)) + u"=";
  if (value.type == QV_REG_STRING && PlainText(value.data)) return line + Quoted(TextOf(value.data)) + u"\r\n";
  if (value.type == QV_REG_DWORD && value.data.size() == 4) {
    char digits[16];
    uint32_t n = value.data[0] | value.data[1] << 8 | value.data[2] << 16 | static_cast<uint32_t>(value.data[3]) << 24;
    std::snprintf(digits, sizeof digits, "%08x", n);
    return line + u"dword:" + Ascii(digits) + u"\r\n";
  }
  // Windows type numbers of the hex(N) notation.
  uint32_t platform = value.type;
  switch (value.type) {
    case QV_REG_STRING: platform = 1; break;
    case QV_REG_DWORD: platform = 4; break;
    case QV_REG_QWORD: platform = 11; break;
    case QV_REG_BINARY: platform = 3; break;
    case QV_REG_EXPAND_STRING: platform = 2; break;
    case QV_REG_MULTI_STRING: platform = 7; break;
  }
  char prefix[24];
  if (platform == 3) std::snprintf(prefix, sizeof prefix, "hex:");
  else std::snprintf(prefix, sizeof prefix, "hex(%x):", platform);
  return HexLines(line + Ascii(prefix), value.data);
}

QVRESULT RegExportText(const Key& key, std::u16string& text) {
  text = u"Windows Registry Editor Version 5.00\r\n\r\n";
  return AppendKey(key, text);
}

std::string RegFileBytes(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace qvreg
