// Demo section: strings and encoding conversions.
#include <qvcore5/qvcore.h>

#include <cstdio>
#include <cstring>

#include "demo.h"

namespace demo {

void TextSection() {
  Say("\n== Strings and encodings ==");
  const char* utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80";  // "Grüße" and a smiling face
  int32_t units = QVUTF8ToUTF16(nullptr, utf8, 0);
  QVWCHAR wide[32];
  QVUTF8ToUTF16(wide, utf8, 32);
  std::printf("  \"%s\" is %d bytes of UTF-8, %d UTF-16 units, %d characters\n", utf8,
              static_cast<int>(std::strlen(utf8)), static_cast<int>(units), static_cast<int>(QVCountCharUTF16(wide)));
  Check(units == 8 && QVCountCharUTF16(wide) == 7, "the emoji takes a surrogate pair: two units, one character");

  const QVWCHAR lone[] = {u'a', 0xD800, 0};
  char narrow[32];
  Check(QVUTF16ToUTF8(narrow, lone, 32) == 32, "a lone surrogate fails the UTF-8 conversion (the capacity comes back)");

  QVWCHAR fromAnsi[32];
  size_t n = QVAnsiToUnicode(fromAnsi, "plain text", 32);
  Check(n == 10 && QVStrCmpW(fromAnsi, u"plain text") == 0, "narrow text became 16-bit text through the ASCII fast path");

  char bounded[6];
  QVStrNZCpyA(bounded, sizeof bounded, "truncated silently", 100);
  std::printf("  a bounded copy into 6 bytes keeps \"%s\"\n", bounded);
  Check(std::strcmp(bounded, "trunc") == 0, "the bounded copy stopped at the buffer size and terminated");

  Check(QVStrICmpA("Software\\Vendor", "SOFTWARE\\vendor") == 0, "case-insensitive comparison of key names");

  char number[40];
  std::printf("  -255 in radix 16 is %s, in radix 10 %s\n", QVLToStrA(-255, number, 16), QVLToStrA(-255, number + 20, 10));
  Check(std::strcmp(number, "ffffff01") == 0, "other radixes show the two's complement, as on Windows");

  char list[] = "alpha, beta,,gamma";
  char* cursor = list;
  std::printf("  tokens:");
  for (char* t; (t = QVStrTokA(&cursor, ", ")) != nullptr;) std::printf(" [%s]", t);
  std::printf("\n");
}

}  // namespace demo
