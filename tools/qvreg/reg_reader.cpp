#include "reg_reader.h"

#include "text.h"
#include "value_format.h"

namespace qvreg {

namespace {

// What the store refuses; checked here so that a file is applied whole or not at all.
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
constexpr size_t kMaxData = 1024 * 1024;

struct Line {
  std::u16string text;
  int number;
};

class ParseError {
 public:
  ParseError(int line, std::string reason) : m_text("line " + std::to_string(line) + ": " + std::move(reason)) {}
  const std::string& text() const { return m_text; }

 private:
  std::string m_text;
};

bool Decode(const std::vector<uint8_t>& bytes, std::u16string& text, std::string& error) {
  size_t size = bytes.size();
  if (size >= 2 && (bytes[0] == 0xFF || bytes[0] == 0xFE) && bytes[0] + bytes[1] == 0xFF + 0xFE) {
    bool little = bytes[0] == 0xFF;
    if (size % 2 != 0) {
      error = "the UTF-16 file has an odd number of bytes";
      return false;
    }
    for (size_t i = 2; i < size; i += 2)
      text.push_back(static_cast<char16_t>(little ? bytes[i] | bytes[i + 1] << 8 : bytes[i] << 8 | bytes[i + 1]));
    return true;
  }
  size_t start = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
  std::string_view utf8(reinterpret_cast<const char*>(bytes.data()) + start, size - start);
  size_t bad = 0;
  if (!FromUtf8(utf8, text, &bad)) {
    int line = 1;
    for (size_t i = 0; i < bad; ++i) line += utf8[i] == '\n';
    error = "line " + std::to_string(line) + ": the text is neither UTF-16 with a byte-order mark nor UTF-8";
    return false;
  }
  return true;
}

// Physical lines joined where one ends in a backslash; the lines continuing it
// lose their leading blanks.
std::vector<Line> LogicalLines(const std::u16string& text) {
  std::vector<Line> lines;
  bool continuing = false;
  int number = 1;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find_first_of(u"\r\n", at);
    if (end == std::u16string::npos) end = text.size();
    std::u16string piece = text.substr(at, end - at);
    if (continuing) {
      size_t first = piece.find_first_not_of(u" \t");
      lines.back().text += first == std::u16string::npos ? std::u16string() : piece.substr(first);
    } else {
      lines.push_back({piece, number});
    }
    size_t last = lines.back().text.find_last_not_of(u" \t");
    continuing = last != std::u16string::npos && lines.back().text[last] == u'\\';
    if (continuing) lines.back().text.erase(last);
    if (end == text.size()) break;
    at = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
    ++number;
  }
  return lines;
}

std::u16string Trim(const std::u16string& s) {
  size_t first = s.find_first_not_of(u" \t");
  if (first == std::u16string::npos) return {};
  return s.substr(first, s.find_last_not_of(u" \t") - first + 1);
}

bool StartsNoCase(const std::u16string& s, size_t at, std::string_view word) {
  return s.size() - at >= word.size() && EqualNoCase(std::u16string_view(s).substr(at, word.size()), word);
}

// A quoted string starting at `at` (on the quote); `at` ends after the closing quote.
std::u16string QuotedString(const Line& line, size_t& at) {
  std::u16string out;
  for (++at; at < line.text.size(); ++at) {
    char16_t c = line.text[at];
    if (c == u'"') {
      ++at;
      return out;
    }
    if (c == u'\\') {
      if (++at >= line.text.size()) break;
      c = line.text[at];
      if (c != u'\\' && c != u'"') throw ParseError(line.number, "unknown escape \\" + ToUtf8(std::u16string(1, c)) + " in a string (only \\\\ and \\\" are known)");
    }
    out.push_back(c);
  }
  throw ParseError(line.number, "a string has no closing quote");
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::vector<uint8_t> HexBytes(const Line& line, const std::u16string& list) {
  std::vector<uint8_t> bytes;
  if (Trim(list).empty()) return bytes;
  size_t at = 0;
  for (;;) {
    size_t comma = list.find(u',', at);
    std::u16string token = Trim(list.substr(at, comma == std::u16string::npos ? std::u16string::npos : comma - at));
    if (token.empty() || token.size() > 2) throw ParseError(line.number, "hexadecimal bytes must be one or two digits each, separated by commas");
    int value = 0;
    for (char16_t c : token) {
      if (HexValue(c) < 0) throw ParseError(line.number, "'" + ToUtf8(token) + "' is not a hexadecimal byte");
      value = value * 16 + HexValue(c);
    }
    bytes.push_back(static_cast<uint8_t>(value));
    if (comma == std::u16string::npos) return bytes;
    at = comma + 1;
  }
}

uint32_t Dword(const Line& line, const std::u16string& digits) {
  std::u16string text = Trim(digits);
  if (text.empty()) throw ParseError(line.number, "dword: needs hexadecimal digits");
  uint64_t value = 0;
  for (char16_t c : text) {
    if (HexValue(c) < 0) throw ParseError(line.number, "dword: takes hexadecimal digits only, not '" + ToUtf8(text) + "'");
    value = value * 16 + static_cast<uint64_t>(HexValue(c));
    if (value > 0xFFFFFFFFu) throw ParseError(line.number, "dword:" + ToUtf8(text) + " is out of range (at most ffffffff)");
  }
  return static_cast<uint32_t>(value);
}

void CheckKey(const Line& line, const Key& key) {
  if (key.path.empty()) return;
  size_t at = 0;
  for (;;) {
    size_t slash = key.path.find(u'\\', at);
    size_t length = (slash == std::u16string::npos ? key.path.size() : slash) - at;
    if (length == 0) throw ParseError(line.number, "the key path has an empty name");
    if (length > kMaxKeyName) throw ParseError(line.number, "a key name is longer than 255 characters");
    if (slash == std::u16string::npos) return;
    at = slash + 1;
  }
}

// The type and bytes of the data notation after '='.
void ParseData(const Line& line, const std::u16string& text, Value& value) {
  if (!text.empty() && text[0] == u'"') {
    size_t at = 0;
    std::u16string s = QuotedString(Line{text, line.number}, at);
    if (!Trim(text.substr(at)).empty()) throw ParseError(line.number, "text after the closing quote");
    value.type = QV_REG_STRING;
    AppendUtf16(value.data, s);
    return;
  }
  if (StartsNoCase(text, 0, "dword:")) {
    uint32_t n = Dword(line, text.substr(6));
    value.type = QV_REG_DWORD;
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<uint8_t>(n >> (8 * i)));
    return;
  }
  size_t colon = text.find(u':');
  uint32_t platformType = 3;  // hex: is binary
  if (StartsNoCase(text, 0, "hex(") && colon != std::u16string::npos && colon >= 5 && text[colon - 1] == u')') {
    std::u16string digits = text.substr(4, colon - 5);
    if (digits.empty() || digits.size() > 8) throw ParseError(line.number, "hex(" + ToUtf8(digits) + ") is not a type number");
    platformType = 0;
    for (char16_t c : digits) {
      if (HexValue(c) < 0) throw ParseError(line.number, "hex(" + ToUtf8(digits) + ") is not a type number");
      platformType = platformType * 16 + static_cast<uint32_t>(HexValue(c));
    }
  } else if (!StartsNoCase(text, 0, "hex:")) {
    throw ParseError(line.number, "unknown data (expected \"text\", dword:, hex:, hex(N): or -)");
  }
  value.data = HexBytes(line, text.substr(colon + 1));
  switch (platformType) {
    case 0:  // no type: kept as bytes
    case 3: value.type = QV_REG_BINARY; break;
    case 1: value.type = QV_REG_STRING; break;
    case 2: value.type = QV_REG_EXPAND_STRING; break;
    case 4: value.type = QV_REG_DWORD; break;
    case 7: value.type = QV_REG_MULTI_STRING; break;
    default:
      throw ParseError(line.number, "values of type hex(" + std::to_string(platformType) +
                                        ") cannot be stored (known: hex, hex(0) to hex(4), hex(7))");
  }
  if (value.type == QV_REG_DWORD && value.data.size() != 4) throw ParseError(line.number, "hex(4) needs exactly 4 bytes");
  bool text16 = value.type == QV_REG_STRING || value.type == QV_REG_EXPAND_STRING || value.type == QV_REG_MULTI_STRING;
  if (text16 && value.data.size() % 2 != 0) throw ParseError(line.number, "text data must have an even number of bytes");
  if (text16 && !value.data.empty() && (value.data[value.data.size() - 1] | value.data[value.data.size() - 2]) != 0)
    throw ParseError(line.number, "text data must end with a zero character (00,00)");
}

void ParseLine(const Line& line, bool& inKey, Key& key, std::vector<RegChange>& changes) {
  std::u16string text = Trim(line.text);
  if (text.empty() || text[0] == u';') return;
  if (text[0] == u'[') {
    if (text.back() != u']') throw ParseError(line.number, "a key line must end with ]");
    bool remove = text.size() > 2 && text[1] == u'-';
    std::u16string name = text.substr(remove ? 2 : 1, text.size() - (remove ? 3 : 2));
    if (!ParseKey(name, key)) throw ParseError(line.number, "unknown root in [" + ToUtf8(name) + "]");
    CheckKey(line, key);
    if (remove) {
      if (key.path.empty()) throw ParseError(line.number, "a root cannot be deleted");
      changes.push_back({RegChange::kDeleteKey, key, {}, line.number});
    }
    inKey = !remove;
    return;
  }
  Value value;
  size_t at = 0;
  if (text[0] == u'@') {
    at = 1;
  } else if (text[0] == u'"') {
    value.name = QuotedString(Line{text, line.number}, at);
    if (value.name.size() > kMaxValueName) throw ParseError(line.number, "a value name is longer than 16383 characters");
  } else {
    throw ParseError(line.number, "expected [key], \"name\"=... or @=...");
  }
  at = text.find_first_not_of(u" \t", at);
  if (at == std::u16string::npos || text[at] != u'=') throw ParseError(line.number, "expected = after the value name");
  if (!inKey) throw ParseError(line.number, "a value outside a [key]");
  std::u16string data = Trim(text.substr(at + 1));
  if (data == u"-") {
    changes.push_back({RegChange::kDeleteValue, key, std::move(value), line.number});
    return;
  }
  ParseData(line, data, value);
  if (value.data.size() > kMaxData) throw ParseError(line.number, "the data is larger than 1 MiB");
  changes.push_back({RegChange::kSetValue, key, std::move(value), line.number});
}

}  // namespace

bool ParseRegFile(const std::vector<uint8_t>& bytes, std::vector<RegChange>& changes, std::string& error) {
  changes.clear();
  std::u16string text;
  if (!Decode(bytes, text, error)) return false;
  std::vector<Line> lines = LogicalLines(text);
  size_t first = 0;
  while (first < lines.size() && Trim(lines[first].text).empty()) ++first;
  std::u16string header = first < lines.size() ? Trim(lines[first].text) : std::u16string();
  if (header != u"Windows Registry Editor Version 5.00" && header != u"REGEDIT4") {
    error = "line " + std::to_string(first < lines.size() ? lines[first].number : 1) +
            ": not a registry file (the first line must be \"Windows Registry Editor Version 5.00\")";
    return false;
  }
  try {
    bool inKey = false;
    Key key;
    for (size_t i = first + 1; i < lines.size(); ++i) ParseLine(lines[i], inKey, key, changes);
  } catch (const ParseError& e) {
    error = e.text();
    changes.clear();
    return false;
  }
  return true;
}

}  // namespace qvreg
