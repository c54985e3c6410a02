#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "os/os_locale.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "text/path_expand.h"
#include "text/wide_narrow.h"

namespace {

namespace fs = std::filesystem;

// Makes `dir` the current directory for one test and goes back afterwards.
struct CurrentDirectory {
  explicit CurrentDirectory(const fs::path& dir) { fs::current_path(dir); }
  ~CurrentDirectory() { fs::current_path(saved); }
  fs::path saved = fs::current_path();
};

std::u16string Expand(const char16_t* path, QVRESULT& r, uint32_t capacity = 4096) {
  std::u16string buffer(capacity, u'x'); r = QVPathExpand(path, buffer.data(), capacity);
  return r == 0 ? std::u16string(buffer.c_str()) : std::u16string();
}

TEST(PathExpand, RelativeNamesJoinTheCurrentDirectoryAndAllAreNormalisedLexically) {
#if defined(_WIN32)
  GTEST_SKIP() << "the POSIX path grammar; the Windows one is checked by PathExpand.WindowsGrammar";
#endif
  qvtest::TempDir dir; CurrentDirectory cd(dir.path());
  std::u16string cwd = qv::text::NarrowToWide(fs::current_path().string());
  // Nothing needs to exist; a backslash is part of the name.
  const std::pair<const char16_t*, std::u16string> cases[] = {
      {u"data.ini", cwd + u"/data.ini"}, {u"no/such/../file", cwd + u"/no/file"}, {u"a\\b", cwd + u"/a\\b"},
      {u".", cwd}, {u"./sub//", cwd + u"/sub/"}, {u"/a/../b", u"/b"}, {u"/a/./b//c", u"/a/b/c"}, {u"///", u"/"},
      {u"/../../../x", u"/x"}, {u"/a/b/../../../..", u"/"}, {u"/d\u00e9j\u00e0/\u6587", u"/d\u00e9j\u00e0/\u6587"}};
  for (auto& [path, full] : cases) { QVRESULT r; EXPECT_EQ(Expand(path, r), full); EXPECT_EQ(r, 0); }
  using qv::text::CombineFullPath;  // ".." stops at the root
  EXPECT_EQ(CombineFullPath(u"/x/y", u"../../../../.."), u"/"); EXPECT_EQ(CombineFullPath(u"/", u".."), u"/");
  EXPECT_EQ(CombineFullPath(u"/x", u"../y/"), u"/y/"); EXPECT_EQ(CombineFullPath(u"/x", u"y/.."), u"/x");
}

TEST(PathExpand, NonAsciiCurrentDirectory) {
  if (qv::os::AnsiCodePage() != 65001) GTEST_SKIP() << "the runtime's narrow encoding is not UTF-8";
  qvtest::TempDir dir;
  fs::path sub = fs::path(dir.path()) / "r\xc3\xa9sum\xc3\xa9";  // UTF-8, the locale's encoding at start
  fs::create_directory(sub);
  CurrentDirectory cd(sub); QVRESULT r; EXPECT_TRUE(Expand(u"f", r).ends_with(u"/r\u00e9sum\u00e9/f")); EXPECT_EQ(r, 0);
}

TEST(PathExpand, ShortBufferAndBadArguments) {
#if defined(_WIN32)
  GTEST_SKIP() << "the POSIX path grammar; the Windows one is checked by PathExpand.WindowsGrammar";
#endif
  const char16_t* path = u"/abc/def";  // 8 units
  QVWCHAR buffer[10]; std::fill(std::begin(buffer), std::end(buffer), u'x');
  EXPECT_EQ(QVPathExpand(path, buffer, 8), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(std::u16string(buffer, 2), std::u16string(u"\0x", 2));  // never a stale or unterminated text
  EXPECT_EQ(QVPathExpand(path, buffer, 9), 0);
  EXPECT_EQ(std::u16string(buffer, 10), std::u16string(u"/abc/def\0x", 10));
  buffer[0] = u'x'; EXPECT_EQ(QVPathExpand(path, buffer, 0), QV_E_BUFFERTOOSMALL); EXPECT_EQ(buffer[0], u'x');
  std::u16string longPath = u"/" + std::u16string(70000, u'a'); QVRESULT r;
  EXPECT_EQ(Expand(longPath.c_str(), r, 4096), u""); EXPECT_EQ(r, QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(Expand(longPath.c_str(), r, 70002), longPath);
  EXPECT_EQ(QVPathExpand(nullptr, buffer, 10), QV_E_INVALIDARG);
  EXPECT_EQ(QVPathExpand(u"a", nullptr, 10), QV_E_INVALIDARG);
  EXPECT_EQ(QVPathExpand(u"", buffer, 10), QV_E_INVALIDARG);
}

TEST(PathExpand, RemovedCurrentDirectory) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows refuses to remove a process's current directory";
#endif
  qvtest::TempDir dir; fs::path gone = fs::path(dir.path()) / "gone"; fs::create_directory(gone);
  CurrentDirectory cd(gone); fs::remove(gone);
  QVRESULT r; Expand(u"x", r); EXPECT_EQ(r, QV_E_NOTFOUND); EXPECT_EQ(Expand(u"/still/fine", r), u"/still/fine");
}

#if defined(_WIN32)
// Both separators are read, "\\" is written after the root, and the root
// stays as it was spelled.
TEST(PathExpand, WindowsGrammar) {
  struct Row {
    const char16_t *path, *full;
  } rows[] = {{u"C:\\a/b\\..\\c", u"C:\\a\\c"},
              {u"C:/x/./y/", u"C:/x\\y\\"},
              {u"C:\\..\\..", u"C:\\"},
              {u"\\\\server\\share\\a\\..\\..", u"\\\\server\\share\\"},
              {u"//server/share/./x", u"//server/share/x"}};
  for (const Row& row : rows) {
    QVRESULT r;
    EXPECT_EQ(Expand(row.path, r), row.full) << qv::text::WideToNarrow(row.path);
    EXPECT_EQ(r, 0);
  }
  qvtest::TempDir dir;
  CurrentDirectory cd(dir.path());
  std::u16string cwd = qv::text::NarrowToWide(fs::current_path().string());
  QVRESULT r;
  EXPECT_EQ(Expand(u"sub/f.ini", r), cwd + u"\\sub\\f.ini");
}
#endif

}  // namespace
