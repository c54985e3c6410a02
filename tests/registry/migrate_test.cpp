// Key objects over both stores and migration between them; the operating
// system's store and the INI file live in a fresh folder per test (the
// operating system's store in a scratch key on Windows).
#if defined(_WIN32)
#include <direct.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/exception.h"
#include "qvcore5/qv_registry.h"
#include "qvcore5/qv_time.h"
#include "registry/migrate.h"
#include "registry/reg_key.h"
#include "support/results_and_text.h"
#include "support/test_support.h"

namespace {

using namespace qv::registry;
using qvtest::ExpectResults;
using qvtest::W;

const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }

class Stores : public ::testing::Test {
 protected:
  void TearDown() override { SetIniStore(nullptr); }
  std::string Ini() const { return m_dir.File("qvregistry.ini"); }
  void WriteIni(const std::string& text) { std::ofstream(Ini(), std::ios::binary) << text; }
  QVRESULT Migrate(uint32_t from, uint32_t to) { return MigrateStores(from, to, W(m_dir.path())); }
  static QVRESULT PutText(uint32_t root, const std::u16string& key, const std::u16string& name,
                          const std::u16string& text) {
    return QVRegistrySetValue(root, P(key), P(name), QV_REG_STRING, text.c_str(),
                              static_cast<uint32_t>((text.size() + 1) * 2));
  }
  static std::u16string GetText(uint32_t root, const std::u16string& key, const std::u16string& name,
                                QVRESULT* result = nullptr) {
    std::vector<char16_t> buffer(40000);
    uint32_t size = static_cast<uint32_t>(buffer.size() * 2);
    QVRESULT r = QVRegistryGetValue(root, P(key), P(name), nullptr, buffer.data(), &size);
    if (result) *result = r;
    return r < 0 ? u"<missing>" : std::u16string(buffer.data());
  }
  static std::string User() {
    char16_t user[127];
    EXPECT_EQ(QVGetUserName(reinterpret_cast<QVWCHAR*>(user), 127), 0);
    std::string out;
    Utf16ToUtf8(user, out);
    return out;
  }
  qvtest::ScratchRegistry m_native;
  qvtest::TempDir m_dir;
};

TEST_F(Stores, SectionNames) {
  EXPECT_EQ(SectionName(QV_HKEY_CONFIG, u""), u"QV_HKEY_CONFIG");
  EXPECT_EQ(SectionName(QV_HKEY_CONFIG, u"Software\\App"), u"QV_HKEY_CONFIG\\Software\\App");
  EXPECT_EQ(SectionName(QV_HKEY_CLASSES_64, u"a\\"), u"QV_HKEY_CLASSES_64\\a\\");
  EXPECT_EQ(SectionName(QV_HKEY_USER, u"X"), u"QV_HKEY_USER\\" + W(User()) + u"\\X");
  EXPECT_THROW(SectionName(5, u""), qv::base::EQVCoreException);
}

TEST_F(Stores, IniKeyNameRuleAndBadRoots) {
  SetIniStore(new IniFile(W(Ini())));
  KeyRef root(CreateRegKey(QV_REGISTRY_INI, QV_HKEY_CONFIG, u""));
  ASSERT_EQ(root->SetValue(QV_HKEY_CONFIG, u"Sub", u"v", QV_REG_STRING, u"x", 4), 0);
  EXPECT_EQ(root->SetValue(QV_HKEY_CONFIG, u"Sub", u"n", QV_REG_DWORD, "\1\0\0\0", 4), kNotImplemented);
  ASSERT_EQ(root->OpenKeyEnum(), 0);
  char16_t name[8] = {};
  uint32_t length = 3;
  EXPECT_EQ(root->EnumNextKey(name, &length), kNameTooLong);  // three units, no terminator, name taken
  EXPECT_EQ(std::u16string(name, 3), u"Sub");
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(root->EnumNextKey(name, &length), kNoMoreItems);
  KeyRef sub(CreateRegKey(QV_REGISTRY_INI, QV_HKEY_CONFIG, u"Sub"));
  ASSERT_EQ(sub->OpenValueEnum(), 0);
  length = 4;
  EXPECT_EQ(sub->EnumNextValue(name, &length), 0);
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(std::u16string(name), u"v");
  char16_t data[4];
  uint32_t type = 99, size = 2;
  EXPECT_EQ(sub->GetValue(u"v", &type, data, &size), QV_E_FAIL);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(sub->GetValue(u"v", &type, data, &size), 0);
  EXPECT_EQ(type, QV_REG_STRING);
  EXPECT_EQ(std::u16string(data), u"x");
  KeyRef bad(CreateRegKey(QV_REGISTRY_INI, 0x80000002u, u""));
  ExpectResults({{bad->OpenKeyEnum(), QV_E_INVALIDARG},
                 {bad->OpenValueEnum(), QV_E_INVALIDARG},
                 {bad->GetValue(u"v", &type, data, &size), QV_E_INVALIDARG},
                 {bad->SetValue(0x80000002u, u"", u"v", QV_REG_STRING, u"x", 4), QV_E_INVALIDARG}});
  try {
    CreateRegKey(2, QV_HKEY_CONFIG, u"");
    ADD_FAILURE();
  } catch (const qv::base::EQVCoreException& e) {
    EXPECT_EQ(e.Code(), kBadKind);
  }
}

TEST_F(Stores, WalkBothStoresAlike) {
  ASSERT_EQ(PutText(QV_HKEY_CONFIG, u"A\\B", u"x", u"1"), 0);
  ASSERT_EQ(PutText(QV_HKEY_CONFIG, u"A\\C", u"y", u"2"), 0);
  SetIniStore(new IniFile(W(Ini())));
  GetIniStore().SetValue(u"QV_HKEY_CONFIG\\A\\B", u"x", u"1");
  GetIniStore().SetValue(u"QV_HKEY_CONFIG\\A\\C", u"y", u"2");
  for (uint32_t kind : {QV_REGISTRY_NATIVE, QV_REGISTRY_INI}) {
    KeyRef a(CreateRegKey(kind, QV_HKEY_CONFIG, u"A"));
    std::string seen;
    while (a->HasNextKey()) {
      KeyRef child(a->NextKey());
      std::string path;
      Utf16ToUtf8(child->Path(), path);
      seen += path + ":";
      while (child->HasNextValue()) {
        std::string value;
        Utf16ToUtf8(child->NextValue(), value);
        seen += value + ";";
      }
    }
    EXPECT_EQ(seen, "A\\B:x;A\\C:y;") << kind;
    EXPECT_THROW(a->NextKey(), qv::base::EQVCoreException);
  }
}

TEST_F(Stores, NativeToIniCarriesStringsOnly) {
  const std::u16string longValue(5000, u'v'), longName(300, u'n');
  uint32_t number = 7;
  unsigned char binary[3] = {1, 2, 3};
  ASSERT_EQ(PutText(QV_HKEY_CONFIG, u"A", u"s", u"text"), 0);
  ASSERT_EQ(PutText(QV_HKEY_CONFIG, u"A", longName, longValue), 0);
  ASSERT_EQ(PutText(QV_HKEY_USER, u"U", u"", u"mine"), 0);
  ASSERT_EQ(QVRegistrySetValue(QV_HKEY_CONFIG, P(u"A"), P(u"n"), QV_REG_DWORD, &number, 4), 0);
  ASSERT_EQ(QVRegistrySetValue(QV_HKEY_CONFIG, P(u"A"), P(u"b"), QV_REG_BINARY, binary, 3), 0);
  ASSERT_EQ(QVRegistrySetValue(QV_HKEY_CONFIG, P(u"A"), P(u"m"), QV_REG_MULTI_STRING, u"a\0b\0", 10), 0);
  EXPECT_EQ(Migrate(QV_REGISTRY_NATIVE, QV_REGISTRY_INI), kNotImplemented);  // the numbers were not carried
  std::string n(300, 'n'), v(5000, 'v');
  std::string got = qvtest::ReadFile(Ini());
#if defined(_WIN32)  // the computer name the scratch store carries for Wine
  for (size_t at; (at = got.find("[QV_HKEY_CONFIG\\System\\")) != std::string::npos;)
    got.erase(at, got.find("\n\n", at) + 2 - at);
#endif
  EXPECT_TRUE(got ==
            "[QV_HKEY_CONFIG\\A]\n" + n + "=" + v + "\ns=text\n\n[QV_HKEY_USER\\" + User() + "\\U]\n=mine\n\n") << got.substr(0, 40) << got.substr(got.size() - 60);
}

TEST_F(Stores, IniToNativeTakesOutWhatItCarried) {
  const std::string user = User();
  const std::string kept = "[Other]\nz=3\n\n[QV_HKEY_CONFIG_64\\B]\ny=2\n\n[QV_HKEY_USER\\someone\\else\\K]\nq=1\n\n";
  std::string longName(300, 'n'), longValue(5000, 'v');
  WriteIni("[QV_HKEY_CONFIG\\A]\nx=1\n" + longName + "=" + longValue + "\n\n[QV_HKEY_USER\\" + user +
           "\\K]\n=u\n\n" + kept);
  EXPECT_EQ(Migrate(QV_REGISTRY_INI, QV_REGISTRY_NATIVE), 0);
  EXPECT_EQ(GetText(QV_HKEY_CONFIG, u"A", u"x"), u"1");
  EXPECT_EQ(GetText(QV_HKEY_CONFIG, u"A", W(longName)), W(longValue));
  EXPECT_EQ(GetText(QV_HKEY_USER, u"K", u""), u"u");
  EXPECT_EQ(GetText(QV_HKEY_CONFIG_64, u"B", u"y"), u"<missing>");
  Sections left, expected;
  ASSERT_TRUE(ParseIni(qvtest::ReadFile(Ini()), left));
  ASSERT_TRUE(ParseIni(kept, expected));
  EXPECT_EQ(left, expected);
  // Only walked roots left: the file goes; a missing file gives 0.
  WriteIni("[QV_HKEY_CONFIG\\A]\nx=2\n\n");
  EXPECT_EQ(Migrate(QV_REGISTRY_INI, QV_REGISTRY_NATIVE), 0);
  EXPECT_FALSE(std::filesystem::exists(Ini()));
  EXPECT_EQ(GetText(QV_HKEY_CONFIG, u"A", u"x"), u"2");
  EXPECT_EQ(Migrate(QV_REGISTRY_INI, QV_REGISTRY_NATIVE), 0);
}

TEST_F(Stores, IniSectionsNotCarriedStay) {
  // An empty key name along the path cannot be stored in the operating system's store.
  const std::string text = "[QV_HKEY_CONFIG\\A\\\\B]\nx=1\n\n";
  WriteIni(text);
  EXPECT_LT(Migrate(QV_REGISTRY_INI, QV_REGISTRY_NATIVE), 0);
  EXPECT_EQ(qvtest::ReadFile(Ini()), text);
  // Too deep a tree ends the walk and keeps the file.
  std::string deep = "[QV_HKEY_CONFIG";
  for (int i = 0; i < 600; ++i) deep += "\\k";
  WriteIni(deep + "]\nx=1\n\n");
  EXPECT_EQ(Migrate(QV_REGISTRY_INI, QV_REGISTRY_NATIVE), QV_RESULT(0x800703E9u));
  EXPECT_EQ(qvtest::ReadFile(Ini()), deep + "]\nx=1\n\n");
  // A file the rules stop on early is never changed.
  WriteIni("[QV_HKEY_CONFIG\\A]\nx=1\nbroken\n");
  EXPECT_EQ(Migrate(QV_REGISTRY_INI, QV_REGISTRY_NATIVE), kIniUnreadable);
  EXPECT_EQ(qvtest::ReadFile(Ini()), "[QV_HKEY_CONFIG\\A]\nx=1\nbroken\n");
}

TEST_F(Stores, MigrationsInOneProcessTakeTurns) {
  for (int i = 0; i < 20; ++i) ASSERT_EQ(PutText(QV_HKEY_CONFIG, u"T", W(std::to_string(i)), u"v"), 0);
  QVRESULT results[2] = {1, 1};
  std::thread first([&] { results[0] = Migrate(QV_REGISTRY_NATIVE, QV_REGISTRY_INI); });
  std::thread second([&] { results[1] = Migrate(QV_REGISTRY_NATIVE, QV_REGISTRY_INI); });
  first.join();
  second.join();
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  Sections s;
  ASSERT_TRUE(ParseIni(qvtest::ReadFile(Ini()), s));
  EXPECT_EQ(s[u"QV_HKEY_CONFIG\\T"].size(), 20u);
}

TEST_F(Stores, RefusedKindsTouchNothing) {
  WriteIni("[QV_HKEY_CONFIG\\A]\nx=1\n\n");
  ASSERT_EQ(PutText(QV_HKEY_CONFIG, u"N", u"y", u"2"), 0);
  ExpectResults({{Migrate(2, QV_REGISTRY_NATIVE), kBadKind},
                 {Migrate(QV_REGISTRY_INI, 7), kBadKind},
                 {Migrate(QV_REGISTRY_INI, QV_REGISTRY_INI), QV_E_INVALIDARG},
                 {Migrate(QV_REGISTRY_NATIVE, QV_REGISTRY_NATIVE), QV_E_INVALIDARG},
                 {QVRegistryMigrate(2, 0, QV_REGISTRY_INI), kBadKind},
                 {QVRegistryMigrate(QV_REGISTRY_INI, 0, QV_REGISTRY_INI), QV_E_INVALIDARG}});
  EXPECT_EQ(qvtest::ReadFile(Ini()), "[QV_HKEY_CONFIG\\A]\nx=1\n\n");
  EXPECT_EQ(GetText(QV_HKEY_CONFIG, u"A", u"x"), u"<missing>");
}

TEST_F(Stores, IniFolderThatCannotBeWritten) {
  ASSERT_EQ(PutText(QV_HKEY_CONFIG, u"A", u"s", u"text"), 0);
  EXPECT_LT(MigrateStores(QV_REGISTRY_NATIVE, QV_REGISTRY_INI, W(m_dir.File("missing"))), 0);
  EXPECT_FALSE(std::filesystem::exists(m_dir.File("missing")));
}

TEST_F(Stores, ExportUsesTheCurrentDirectory) {
  ASSERT_EQ(PutText(QV_HKEY_CLASSES, u"C", u"s", u"there and back"), 0);
#if defined(_WIN32)
  // Each test runs in a process of its own here: change the directory and back.
  char saved[4096];
  ASSERT_NE(_getcwd(saved, sizeof saved), nullptr);
  bool ok = _chdir(m_dir.path().c_str()) == 0 && QVRegistryMigrate(QV_REGISTRY_NATIVE, 0, QV_REGISTRY_INI) == 0 &&
            QVRegistryDeleteKey(QV_HKEY_CLASSES, P(u"C")) == 0 &&
            QVRegistryMigrate(QV_REGISTRY_INI, 0, QV_REGISTRY_NATIVE) == 0;
  ASSERT_EQ(_chdir(saved), 0);
  EXPECT_TRUE(ok);
#else
  pid_t pid = fork();  // the current directory is the process's: change it in a child only
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    bool ok = chdir(m_dir.path().c_str()) == 0 && QVRegistryMigrate(QV_REGISTRY_NATIVE, 0, QV_REGISTRY_INI) == 0 &&
              QVRegistryDeleteKey(QV_HKEY_CLASSES, P(u"C")) == 0 &&
              QVRegistryMigrate(QV_REGISTRY_INI, 0, QV_REGISTRY_NATIVE) == 0;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
  EXPECT_EQ(GetText(QV_HKEY_CLASSES, u"C", u"s"), u"there and back");
  EXPECT_FALSE(std::filesystem::exists(Ini()));
}

}  // namespace
