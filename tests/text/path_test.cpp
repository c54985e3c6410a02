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
using qv::text::CombineFullPath;

// Makes `dir` the current directory for one test and goes back afterwards.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const fs::path& dir) : m_saved(fs::current_path()) { fs::current_path(dir); }
  ~CurrentDirectory() { fs::current_path(m_saved); }
  static std::u16string Wide() { return qv::text::NarrowToWide(fs::current_path().string()); }

 private:
  fs::path m_saved;
};

std::u16string Expand(const char16_t* path, QVRESULT& r, uint32_t capacity = 4096) {
  std::u16string buffer(capacity, u'x');
  r = QVPathExpand(path, buffer.data(), capacity);
  return r == 0 ? std::u16string(buffer.c_str()) : std::u16string();
}

TEST(PathExpand, RelativeNamesJoinTheCurrentDirectory) {
  qvtest::TempDir dir;
  CurrentDirectory cd(dir.path());
  std::u16string cwd = CurrentDirectory::Wide();
  QVRESULT r;
  EXPECT_EQ(Expand(u"data.ini", r), cwd + u"/data.ini");
  EXPECT_EQ(r, 0);
  // Nothing needs to exist; a backslash is part of the name.
  EXPECT_EQ(Expand(u"no/such/../file", r), cwd + u"/no/file");
  EXPECT_EQ(Expand(u"a\\b", r), cwd + u"/a\\b");
  EXPECT_EQ(Expand(u".", r), cwd);
  EXPECT_EQ(Expand(u"./sub//", r), cwd + u"/sub/");
}

TEST(PathExpand, FullPathsAreNormalisedLexically) {
  QVRESULT r;
  EXPECT_EQ(Expand(u"/a/../b", r), u"/b");
  EXPECT_EQ(Expand(u"/a/./b//c", r), u"/a/b/c");
  EXPECT_EQ(Expand(u"///", r), u"/");
  EXPECT_EQ(Expand(u"/../../../x", r), u"/x");
  EXPECT_EQ(Expand(u"/a/b/../../../..", r), u"/");
  EXPECT_EQ(Expand(u"/d\u00e9j\u00e0/\u6587", r), u"/d\u00e9j\u00e0/\u6587");
  EXPECT_EQ(r, 0);
}

TEST(PathExpand, DotDotStopsAtTheRoot) {
  EXPECT_EQ(CombineFullPath(u"/x/y", u"../../../../.."), u"/");
  EXPECT_EQ(CombineFullPath(u"/", u".."), u"/");
  EXPECT_EQ(CombineFullPath(u"/x", u"../y/"), u"/y/");
  EXPECT_EQ(CombineFullPath(u"/x", u"y/.."), u"/x");
}

TEST(PathExpand, NonAsciiCurrentDirectory) {
  if (qv::os::GetACP() != 65001) GTEST_SKIP() << "the runtime's narrow encoding is not UTF-8";
  qvtest::TempDir dir;
  fs::path sub = fs::path(dir.path()) / "r\xc3\xa9sum\xc3\xa9";  // UTF-8, the locale's encoding at start
  fs::create_directory(sub);
  CurrentDirectory cd(sub);
  QVRESULT r;
  std::u16string full = Expand(u"f", r);
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(full.ends_with(u"/r\u00e9sum\u00e9/f"));
}

TEST(PathExpand, ShortBufferIsAFailure) {
  const char16_t* path = u"/abc/def";  // 8 units
  QVWCHAR buffer[10];
  std::fill(std::begin(buffer), std::end(buffer), u'x');
  EXPECT_EQ(QVPathExpand(path, buffer, 8), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(buffer[0], 0);  // never a stale or unterminated text
  EXPECT_EQ(buffer[1], u'x');
  EXPECT_EQ(QVPathExpand(path, buffer, 9), 0);
  EXPECT_EQ(std::u16string(buffer, 10), std::u16string(u"/abc/def\0x", 10));
  buffer[0] = u'x';
  EXPECT_EQ(QVPathExpand(path, buffer, 0), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(buffer[0], u'x');

  std::u16string longPath = u"/" + std::u16string(70000, u'a');
  QVRESULT r;
  EXPECT_EQ(Expand(longPath.c_str(), r, 4096), u"");
  EXPECT_EQ(r, QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(Expand(longPath.c_str(), r, 70002), longPath);
}

TEST(PathExpand, BadArguments) {
  QVWCHAR buffer[16];
  EXPECT_EQ(QVPathExpand(nullptr, buffer, 16), QV_E_INVALIDARG);
  EXPECT_EQ(QVPathExpand(u"a", nullptr, 16), QV_E_INVALIDARG);
  EXPECT_EQ(QVPathExpand(u"", buffer, 16), QV_E_INVALIDARG);
}

TEST(PathExpand, RemovedCurrentDirectory) {
  qvtest::TempDir dir;
  fs::path gone = fs::path(dir.path()) / "gone";
  fs::create_directory(gone);
  CurrentDirectory cd(gone);
  fs::remove(gone);
  QVRESULT r;
  Expand(u"x", r);
  EXPECT_EQ(r, QV_E_NOTFOUND);
  EXPECT_EQ(Expand(u"/still/fine", r), u"/still/fine");
}

}  // namespace
