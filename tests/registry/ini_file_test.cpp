// The INI store: the reading rules, the written form, refused text, the
// iterators, and the store shared by several objects and processes.
#if defined(_WIN32)
#include <io.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/exception.h"
#include "registry/ini_file.h"
#include "support/results_and_text.h"
#include "support/test_support.h"

namespace {

using namespace qv::registry;
using namespace std::string_literals;
using qvtest::W;

std::string Dump(const Sections& sections) {
  std::string out, a, b;
  for (const auto& [name, section] : sections) {
    Utf16ToUtf8(name, a);
    out += a + "{";
    for (const auto& [key, value] : section) {
      Utf16ToUtf8(key, a);
      Utf16ToUtf8(value, b);
      out += a + "=" + b + ";";
    }
    out += "}";
  }
  return out;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::u16string U(const std::string& path) { return W(path); }

TEST(IniFormat, ReadingRules) {
  struct Case {
    std::string text;
    std::string store;
    bool whole;
  } cases[] = {
      {"[A]\nx = 1 \n\n[a]\ny=2\n", "A{y=2;}", true},                // later section replaces, first spelling kept
      {"[A]\nx=1\n[B]\ny=2\n", "", false},                           // header read as key line ends reading
      {"# c\n[S]\n;k=v\n", "S{;k=v;}", true},                        // comment skipped, ;k is a key
      {"[S]\nk=  \nj= v \n", "S{j=v;k=  ;}", true},                  // spaces only kept, else trimmed
      {"[S]\nk=v", "S{k=v;}", true},                                 // last line without line feed
      {"[S]\r\nk=v\r\n\r\n[T]\r\nz=1\r\n", "S{k=v;}T{z=1;}", true},  // CR before LF dropped
      {"[S]\nk=1\nK=2\n", "S{k=2;}", true},                          // later value wins
      {"[S\nk=v\n", "", false},                                      // header without ]
      {"[A]\nx=1\n\n[B\n", "A{x=1;}", false},                        // completed sections kept
      {"[A] t]x\nk=v\n", "A] t{k=v;}", true},                        // up to the last ]
      {"[S]\nk=\xff\n", "", false},                                  // not UTF-8
      {"[\xc3\x9c]\n\xc3\xa4=\xc3\xb6\n", "\xc3\x9c{\xc3\xa4=\xc3\xb6;}", true},
      {"[S]\n\tk=v\nz=1\n", "S{}", true},                            // white space ends the section
      {"k=v\n[S]\n", "S{}", true},                                   // key lines outside a section skipped
      {"[S]\nk=v\n\0junk\n[T]\nz=1\n"s, "S{k=v;}T{z=1;}", true},
      {"", "", true},
  };
  for (const auto& c : cases) {
    Sections s;
    EXPECT_EQ(ParseIni(c.text, s), c.whole) << c.text;
    EXPECT_EQ(Dump(s), c.store) << c.text;
  }
}

TEST(IniFormat, LongLinesReadWhole) {
  std::string big(100000, 'v');
  Sections s;
  ASSERT_TRUE(ParseIni("[S]\nk=" + big + "\n[T]=x\n\n[U]\nz=1\n", s));
  EXPECT_EQ(Dump(s), "S{[T]=x;k=" + big + ";}U{z=1;}");
}

TEST(IniFormat, WrittenFormReadsBack) {
  Sections s;
  s[u"b"][u"k"] = u"v";
  s[u"A\\x"][u""] = u"C:\\Data";
  s[u"A\\x"][u"\U0001F600"] = u"  ";
  s[u"e"];
  std::string text = FormatIni(s);
  EXPECT_EQ(text, "[A\\x]\n=C:\\Data\n\xf0\x9f\x98\x80=  \n\n[b]\nk=v\n\n[e]\n\n");
  Sections back;
  ASSERT_TRUE(ParseIni(text, back));
  EXPECT_EQ(Dump(back), Dump(s));
}

TEST(IniFormat, TextThatWouldNotReadBackIsRefused) {
  qvtest::TempDir dir;
  std::string path = dir.File("r.ini");
  IniFile store(U(path));
  ASSERT_EQ(store.SetValue(u"S", u"k", u"v"), 0);
  std::string before = qvtest::ReadFile(path);
  struct Case {
    std::u16string section, key, value;
  } refused[] = {
      {u"S", u"k", u"a\nb"}, {u"S", u"k", u"a\rb"}, {u"S\n[X]", u"k", u"v"}, {u"S", u"a=b", u"v"},
      {u"S", u" k", u"v"},   {u"S", u"\tk", u"v"},  {u"S", u"k ", u"v"},     {u"S", u"k", u" v"},
      {u"S", u"k", u"v "},   {u"S", std::u16string(u"a\0b", 3), u"v"},     {u"S", u"k", u"\xD800"},
  };
  for (const auto& c : refused) EXPECT_EQ(store.SetValue(c.section, c.key, c.value), QV_RESULT(0x80070057u));
  EXPECT_EQ(qvtest::ReadFile(path), before);
  for (const auto& c : {Case{u"S", u"", u""}, Case{u"S", u"e", u"  "}, Case{u"S]", u"[x", u"a = b"}}) {
    ASSERT_EQ(store.SetValue(c.section, c.key, c.value), 0);
    IniFile other(U(path));
    std::u16string v;
    EXPECT_EQ(other.GetValue(c.section, c.key, v), 0);
    EXPECT_EQ(v, c.value);
  }
}

TEST(IniStore, SetAndGetRewriteTheFile) {
  qvtest::TempDir dir;
  std::string path = dir.File("r.ini");
  IniFile store(U(path));
  std::u16string v;
  EXPECT_EQ(store.GetValue(u"A", u"k", v), QV_RESULT(0x80070002u));
  ASSERT_EQ(store.SetValue(u"b", u"Key", u"1"), 0);
  ASSERT_EQ(store.SetValue(u"A", u"k", u"x"), 0);
  ASSERT_EQ(store.SetValue(u"B", u"KEY", u"2"), 0);  // case-insensitive: replaces, keeps spelling
  EXPECT_EQ(qvtest::ReadFile(path), "[A]\nk=x\n\n[b]\nKey=2\n\n");
  EXPECT_EQ(store.GetValue(u"a", u"K", v), 0);
  EXPECT_EQ(v, u"x");
}

TEST(IniStore, Iterators) {
  qvtest::TempDir dir;
  std::string path = dir.File("r.ini");
  WriteBytes(path, "[R]\nz=1\ny=2\n\n[R\\a]\n\n[R\\a\\b]\n\n[R\\B]\n\n[Q\\a]\n\n");
  IniFile store(U(path));
  auto names = [](IniFileIteratorBase&& it) {
    std::string out, part;
    while (it.HasNext()) {
      Utf16ToUtf8(it.Next(), part);
      out += part + ",";
    }
    EXPECT_THROW(it.Next(), qv::base::EQVCoreException);
    return out;
  };
  EXPECT_EQ(names(IniFileSetIterator(store, u"R")), "B,a,");
  EXPECT_EQ(names(IniFileSetIterator(store, u"R\\a")), "b,");
  EXPECT_EQ(names(IniFileSetIterator(store, u"X")), "");
  EXPECT_EQ(names(IniFileKeyIterator(store, u"R")), "y,z,");
  EXPECT_EQ(names(IniFileKeyIterator(store, u"Q")), "");  // only a section below it
  try {
    IniFileKeyIterator missing(store, u"P");
    ADD_FAILURE() << "no section P";
  } catch (const qv::base::EQVCoreException& e) {
    EXPECT_EQ(e.Code(), QV_RESULT(0x80070002u));
  }
  IniFileKeyIterator snapshot(store, u"R");
  ASSERT_EQ(store.SetValue(u"R", u"a", u"3"), 0);
  EXPECT_EQ(names(std::move(snapshot)), "y,z,");
}

TEST(IniStore, ChangesByOthersAreNeverLost) {
  qvtest::TempDir dir;
  std::string path = dir.File("r.ini");
  IniFile first(U(path)), second(U(path));
  // Within one second: a whole-second time check would miss the other's writes.
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(first.SetValue(u"S", u"a" + W(std::to_string(i)), u"1"), 0);
    ASSERT_EQ(second.SetValue(u"S", u"b" + W(std::to_string(i)), u"2"), 0);
  }
  Sections s;
  ASSERT_TRUE(ParseIni(qvtest::ReadFile(path), s));
  EXPECT_EQ(s[u"S"].size(), 40u);
  // A file deleted meanwhile does not come back from a stale copy.
  ASSERT_TRUE(std::filesystem::remove(path));
  ASSERT_EQ(first.SetValue(u"T", u"k", u"v"), 0);
  EXPECT_EQ(qvtest::ReadFile(path), "[T]\nk=v\n\n");
}

TEST(IniStore, RemovesOnlySectionsUnchangedSinceRead) {
  qvtest::TempDir dir;
  std::string path = dir.File("r.ini");
  WriteBytes(path, "[A]\nx=1\n\n[B]\ny=2\n\n[C]\nz=3\n\n");
  IniFile store(U(path)), other(U(path));
  Sections read;
  ASSERT_TRUE(ParseIni(qvtest::ReadFile(path), read));
  read.erase(u"C");
  ASSERT_EQ(other.SetValue(u"B", u"y", u"changed"), 0);
  ASSERT_EQ(store.RemoveSections(read), 0);
  EXPECT_EQ(qvtest::ReadFile(path), "[B]\ny=changed\n\n[C]\nz=3\n\n");
  ASSERT_TRUE(ParseIni(qvtest::ReadFile(path), read));
  ASSERT_EQ(store.RemoveSections(read), 0);
  EXPECT_FALSE(std::filesystem::exists(path));  // nothing left: the file goes
}

#if !defined(_WIN32)
// fork: POSIX only. The Windows store lock (a named mutex, abandoned by a
// holder that dies) has its own test among the Windows-only os cases.
TEST(IniStore, FourProcessesStoreAllTheirValues) {
  qvtest::TempDir dir;
  std::string path = dir.File("r.ini");
  std::vector<pid_t> children;
  for (int p = 0; p < 4; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      try {
        IniFile store(U(path));
        for (int i = 0; i < 250; ++i)
          failures += store.SetValue(u"P" + W(std::to_string(p)), W(std::to_string(i)), u"v") != 0;
      } catch (...) {
        failures = 1;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  Sections s;
  ASSERT_TRUE(ParseIni(qvtest::ReadFile(path), s));
  size_t total = 0;
  for (const auto& entry : s) total += entry.second.size();
  EXPECT_EQ(total, 1000u);
}

TEST(IniStore, LockOfAKilledHolderIsReleased) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    qv::os::StoreLock* lock = qv::os::StoreLock::Open("QVCore_IniFileLock");
    if (lock == nullptr) _exit(1);
    lock->Take();
    char c = 1;
    if (write(ready[1], &c, 1) != 1) _exit(1);
    for (;;) pause();
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  close(ready[0]);
  close(ready[1]);
  qvtest::TempDir dir;
  alarm(60);  // a lock still held would hang here: the alarm ends the test as failed
  IniFile store(U(dir.File("r.ini")));
  EXPECT_EQ(store.SetValue(u"S", u"k", u"v"), 0);
  alarm(0);
}
#endif

TEST(IniStore, FailedSavesKeepFileAndMemory) {
  qvtest::TempDir dir;
  std::string path = dir.File("r.ini");
  IniFile store(U(path));
  ASSERT_EQ(store.SetValue(u"S", u"k", u"old"), 0);
  // The temporary file's place is taken: the save fails before the file is touched.
  ASSERT_TRUE(std::filesystem::create_directory(path + ".tmp"));
  EXPECT_LT(store.SetValue(u"S", u"k", u"new"), 0);
  EXPECT_LT(store.SetValue(u"T", u"k", u"new"), 0);
  std::u16string v;
  EXPECT_EQ(store.GetValue(u"S", u"k", v), 0);
  EXPECT_EQ(v, u"old");
  EXPECT_EQ(store.GetValue(u"T", u"k", v), QV_RESULT(0x80070002u));
  EXPECT_EQ(qvtest::ReadFile(path), "[S]\nk=old\n\n");
  // A folder that does not exist cannot be written either.
  IniFile nowhere(U(dir.File("none/r.ini")));
  EXPECT_LT(nowhere.SetValue(u"S", u"k", u"v"), 0);
  EXPECT_EQ(nowhere.GetValue(u"S", u"k", v), QV_RESULT(0x80070002u));
}

TEST(IniStore, FilesNotReadWholeAreNeverSavedOver) {
  qvtest::TempDir dir;
  struct Case {
    std::string bytes;
  } cases[] = {{"[A]\nx=1\n\n[B]\nbroken\n\n[C]\nz=3\n"}, {"\x7f" "ELF\0\1\n[\xff\xfe]\n"s}};
  for (const auto& c : cases) {
    std::string path = dir.File("bad.ini");
    WriteBytes(path, c.bytes);
    IniFile store(U(path));
    EXPECT_EQ(store.SetValue(u"N", u"k", u"v"), kIniUnreadable);
    EXPECT_EQ(qvtest::ReadFile(path), c.bytes);
  }
  // A directory in the file's place reads as empty and is not written.
  ASSERT_TRUE(std::filesystem::create_directory(dir.File("d.ini")));
  IniFile folder(U(dir.File("d.ini")));
  std::u16string v;
  EXPECT_EQ(folder.GetValue(u"S", u"k", v), QV_RESULT(0x80070002u));
  EXPECT_LT(folder.SetValue(u"S", u"k", u"v"), 0);
}

}  // namespace
