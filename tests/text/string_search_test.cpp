#include <gtest/gtest.h>

#include <string>

#include "qvcore5/qvcore.h"

namespace {

TEST(Search, CharactersAndSubstrings) {
  const char* s = "a/b/c";
  EXPECT_EQ(QVStrChrA(s, '/'), s + 1); EXPECT_EQ(QVStrRChrA(s, '/'), s + 3);
  EXPECT_EQ(QVStrChrA(s, 'x'), nullptr); EXPECT_EQ(QVStrChrA(s, 0), s + 5);
  const QVWCHAR* w = u"a\\b\\c";
  EXPECT_EQ(QVStrChrW(w, u'\\'), w + 1); EXPECT_EQ(QVStrRChrW(w, u'\\'), w + 3);
  EXPECT_EQ(QVStrRChrW(w, u'x'), nullptr); EXPECT_EQ(QVStrRChrW(w, 0), w + 5);
  const char* t = "abcabd";
  EXPECT_EQ(QVStrStrA(t, "abd"), t + 3); EXPECT_EQ(QVStrStrA(t, ""), t); EXPECT_EQ(QVStrStrA(t, "abdx"), nullptr);
  const QVWCHAR* v = u"abcabd";
  EXPECT_EQ(QVStrStrW(v, u"abd"), v + 3); EXPECT_EQ(QVStrStrW(v, u""), v); EXPECT_EQ(QVStrStrW(v, u"bdx"), nullptr);
  EXPECT_EQ(QVStrStrW(u"aaab", u"aab"), u"aaab" + 1);
}

TEST(Search, SurrogatesAreFoundOnlyWhereTheyStandAlone) {
  const QVWCHAR* paired = u"x\U0001F600y";  // x D83D DE00 y
  EXPECT_EQ(QVStrChrUCS2(paired, 0xD83D), nullptr); EXPECT_EQ(QVStrRChrUCS2(paired, 0xDE00), nullptr);
  EXPECT_EQ(QVStrChrW(paired, 0xD83D), paired + 1);  // W sees units only
  const QVWCHAR lone[] = {u'a', 0xD83D, u'b', 0xD83D, 0};
  EXPECT_EQ(QVStrChrUCS2(lone, 0xD83D), lone + 1); EXPECT_EQ(QVStrRChrUCS2(lone, 0xD83D), lone + 3);
  EXPECT_EQ(QVStrChrUTF16(paired, 0x1F600), paired + 1); EXPECT_EQ(QVStrChrUTF16(paired, u'y'), paired + 3);
  EXPECT_EQ(QVStrRChrUTF16(u"\U0001F600-\U0001F600", 0x1F600), u"\U0001F600-\U0001F600" + 3);
  EXPECT_EQ(QVStrChrUTF16(paired, 0x110000), nullptr); EXPECT_EQ(QVStrChrUTF16(paired, 0xFFFFFFFFu), nullptr);
  const QVWCHAR pair[] = {0xD83D, 0xDE00, 0xDE00, 0}, trail[] = {0xDE00, 0};
  EXPECT_EQ(QVStrStrW(pair, trail), pair + 1);
  EXPECT_EQ(QVStrStrUTF16(pair, trail), pair + 2);  // never half a pair
}

TEST(Tokenise, SplitsInPlaceWithTheCursorAsTheOnlyState) {
  char text[] = "  a,b", onlyDelims[] = ",,,", whole[] = "word", first[] = "1 2", second[] = "x;y";
  char* cursor = text;
  EXPECT_STREQ(QVStrTokA(&cursor, " ,"), "a"); EXPECT_EQ(text[3], '\0'); EXPECT_EQ(cursor, text + 4);
  EXPECT_STREQ(QVStrTokA(&cursor, " ,"), "b"); EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(QVStrTokA(&cursor, " ,"), nullptr); EXPECT_EQ(QVStrTokA(nullptr, ","), nullptr);
  cursor = onlyDelims;
  EXPECT_EQ(QVStrTokA(&cursor, ","), nullptr); EXPECT_EQ(cursor, nullptr);
  cursor = whole;
  EXPECT_STREQ(QVStrTokA(&cursor, nullptr), "word"); EXPECT_EQ(cursor, nullptr);
  char *c1 = first, *c2 = second;  // two tokenisations interleaved
  EXPECT_STREQ(QVStrTokA(&c1, " "), "1"); EXPECT_STREQ(QVStrTokA(&c2, ";"), "x");
  EXPECT_STREQ(QVStrTokA(&c1, " "), "2"); EXPECT_STREQ(QVStrTokA(&c2, ";"), "y");

  QVWCHAR wide[] = u"\u00e4\\\\b c\\";
  QVWCHAR* wc = wide;
  for (const char16_t* token : {u"\u00e4", u"b", u"c"}) EXPECT_EQ(std::u16string(QVStrTokW(&wc, u"\\ ")), token);
  EXPECT_EQ(wc, wide + 7);
  EXPECT_EQ(QVStrTokW(&wc, u"\\ "), nullptr); EXPECT_EQ(wc, nullptr); EXPECT_EQ(QVStrTokW(nullptr, u"\\"), nullptr);
}

}  // namespace
