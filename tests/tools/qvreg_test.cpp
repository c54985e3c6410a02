// qvreg run as a child process on a registry store in a temporary folder.
#include <gtest/gtest.h>

#include <sstream>

#include "support/test_support.h"
#include "tools/tool_runner.h"

namespace {

using qvtest::RunTool;
using qvtest::ToolRun;

class Qvreg : public ::testing::Test {
 protected:
  ToolRun Run(const std::vector<std::string>& args) { return RunTool(QVREG_PROGRAM, args, m_dir.path()); }
  std::string File(const std::string& name) { return m_dir.File(name); }
  qvtest::TempDir m_dir;
};

// One value of every type, as set and as the query shows it.
struct TypedValue {
  std::vector<std::string> set;
  std::string shown;
};
const TypedValue kEveryType[] = {
    {{"--value", "text", "--type", "string", "--data", "say \"hi\" C:\\tmp\\"}, "REG_SZ         say \"hi\" C:\\tmp\\"},
    {{"--value", "", "--type", "string", "--data", "default"}, "(default)"},
    {{"--value", "path", "--type", "expand", "--data", "%QVREG_T_DIR%\\bin"}, "REG_EXPAND_SZ  %QVREG_T_DIR%\\bin"},
    {{"--value", "max", "--type", "dword", "--data", "4294967295"}, "4294967295 (0xffffffff)"},
    {{"--value", "hexnum", "--type", "dword", "--data", "0x2A"}, "42 (0x0000002a)"},
    {{"--value", "blob", "--type", "binary", "--data", std::string(80, 'a') + "00ff"}, "aa aa aa 00 ff"},
    {{"--value", "empty", "--type", "binary", "--data", ""}, "empty"},
    {{"--value", "list", "--type", "multi", "--data", "one", "--data", "two words"}, "\"one\", \"two words\""},
    {{"--value", "none", "--type", "multi", "--data", ""}, "REG_MULTI_SZ"},
};

TEST_F(Qvreg, EveryTypeSurvivesExportDeleteImport) {
  for (const char* key : {"HKCU\\Software\\Rt", "HKLM\\Software\\Rt\\Deeper"}) {
    for (const TypedValue& value : kEveryType) {
      std::vector<std::string> args{"set", key};
      args.insert(args.end(), value.set.begin(), value.set.end());
      ASSERT_EQ(Run(args).status, 0) << value.shown;
    }
  }
  ToolRun before = Run({"query", "HKCU\\Software\\Rt", "--recursive"});
  ASSERT_EQ(before.status, 0) << before.err;
  for (const TypedValue& value : kEveryType) EXPECT_NE(before.out.find(value.shown), std::string::npos) << value.shown;

  for (const char* root : {"HKCU", "HKLM"}) {
    std::string key = std::string(root) + "\\Software\\Rt";
    std::string before = Run({"query", key, "--recursive"}).out;
    ASSERT_EQ(Run({"export", key, File("rt.reg")}).status, 0);
    std::string bytes = qvtest::ReadFile(File("rt.reg"));
    ASSERT_EQ(bytes.substr(0, 4), std::string("\xFF\xFEW\0", 4)) << "UTF-16LE with a byte-order mark";
    for (size_t at = bytes.find(std::string("\n\0", 2)); at != std::string::npos; at = bytes.find(std::string("\n\0", 2), at + 2))
      ASSERT_EQ(bytes.substr(at - 2, 2), std::string("\r\0", 2)) << "every line ends in CR LF";
    ASSERT_EQ(Run({"delete", key}).status, 0);
    ASSERT_EQ(Run({"query", key}).status, 1);
    ToolRun imported = Run({"import", File("rt.reg")});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(Run({"query", key, "--recursive"}).out, before) << root;
  }
}

// Every notation of the format, written as the Windows registry editor would
// write it (UTF-16LE, CR LF) and as UTF-8 with LF.
const char kFixture[] =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; a comment\n"
    "[HKEY_CURRENT_USER\\Software\\Fixture]\n"
    "@=\"default text\"\n"
    "\"quoted \\\"name\\\"\"=\"say \\\"hi\\\" to C:\\\\temp\\\\\"\n"
    "\"number\"=dword:0000002a\n"
    "\"bytes\"=hex:de,ad,\\\n"
    "  be,ef\n"
    "\"expand\"=hex(2):25,00,51,00,25,00,00,00\n"
    "\"multi\"=hex(7):61,00,00,00,62,00,\\\n"
    "  63,00,00,00,00,00\n"
    "\"stale\"=-\n"
    "\"gone\"=\"set, then deleted\"\n"
    "\"gone\"=-\n"
    "\n"
    "[-HKEY_CURRENT_USER\\Software\\Fixture\\Old]\n"
    "\n"
    "[HKLM\\Software\\Fixture]\n"
    "\"four\"=hex(4):04,00,00,00\n"
    "\"\xc3\xa9t\xc3\xa9\"=\"\xe2\x82\xac \xf0\x9f\x94\x92\"\n";

struct Expected {
  const char* key;
  const char* value;
  const char* shown;  // empty: must not exist
};
const Expected kFixtureValues[] = {
    {"HKCU\\Software\\Fixture", "", "REG_SZ         default text"},
    {"HKCU\\Software\\Fixture", "quoted \"name\"", "say \"hi\" to C:\\temp\\"},
    {"HKCU\\Software\\Fixture", "number", "42 (0x0000002a)"},
    {"HKCU\\Software\\Fixture", "bytes", "de ad be ef"},
    {"HKCU\\Software\\Fixture", "expand", "REG_EXPAND_SZ  %Q%"},
    {"HKCU\\Software\\Fixture", "multi", "\"a\", \"bc\""},
    {"HKCU\\Software\\Fixture", "stale", ""},
    {"HKCU\\Software\\Fixture", "gone", ""},
    {"HKLM\\Software\\Fixture", "four", "4 (0x00000004)"},
    {"HKLM\\Software\\Fixture", "\xc3\xa9t\xc3\xa9", "\xe2\x82\xac \xf0\x9f\x94\x92"},
};

TEST_F(Qvreg, EveryNotationImportsInUtf16AndUtf8) {
  std::string lf = kFixture;
  for (const std::string& bytes : {qvtest::Utf16LeCrLf(lf), lf}) {
    ASSERT_EQ(Run({"set", "HKCU\\Software\\Fixture\\Old\\Sub", "--value", "v", "--type", "string", "--data", "x"}).status, 0);
    ASSERT_EQ(Run({"set", "HKCU\\Software\\Fixture", "--value", "stale", "--type", "dword", "--data", "1"}).status, 0);
    qvtest::WriteBytes(File("fixture.reg"), bytes);
    ToolRun run = Run({"import", File("fixture.reg")});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const Expected& e : kFixtureValues) {
      ToolRun query = Run({"query", e.key, "--value", e.value});
      if (*e.shown == 0) {
        EXPECT_EQ(query.status, 1) << e.value;
      } else {
        EXPECT_EQ(query.status, 0) << e.value << query.err;
        EXPECT_NE(query.out.find(e.shown), std::string::npos) << e.value << ": " << query.out;
      }
    }
    EXPECT_EQ(Run({"query", "HKCU\\Software\\Fixture\\Old"}).status, 1) << "[-key] deletes the whole key";
    ASSERT_EQ(Run({"delete", "HKCU\\Software\\Fixture"}).status, 0);
    ASSERT_EQ(Run({"delete", "HKLM\\Software\\Fixture"}).status, 0);
  }
}

TEST_F(Qvreg, BadCommandLinesGiveStatusTwoAndTheUsage) {
  const std::vector<std::vector<std::string>> kBad = {
      {},
      {"frobnicate"},
      {"--zzz", "query", "HKCU"},
      {"query"},
      {"query", "HKCU", "extra"},
      {"query", "HKXX\\Software"},
      {"query", "HKCU", "--type", "string"},
      {"query", "HKCU", "--value"},
      {"set", "HKCU\\A", "--value", "v", "--type", "dword"},
      {"set", "HKCU\\A", "--value", "v", "--type", "qword", "--data", "1"},
      {"set", "HKCU\\A", "--value", "v", "--type", "dword", "--data", "4294967296"},
      {"set", "HKCU\\A", "--value", "v", "--type", "dword", "--data", "-1"},
      {"set", "HKCU\\A", "--value", "v", "--type", "dword", "--data", "0x100000000"},
      {"set", "HKCU\\A", "--value", "v", "--type", "binary", "--data", "abc"},
      {"set", "HKCU\\A", "--value", "v", "--type", "binary", "--data", "0g"},
      {"set", "HKCU\\A", "--value", "v", "--type", "string", "--data", "a", "--data", "b"},
      {"migrate", "--to", "sideways"},
      {"migrate", "--t", "ini"},
  };
  for (const auto& args : kBad) {
    ToolRun run = Run(args);
    std::string shown = args.empty() ? "(none)" : args[0] + " " + (args.size() > 1 ? args[1] : "");
    EXPECT_EQ(run.status, 2) << shown;
    EXPECT_NE(run.err.find("0x80070057 (invalid argument)"), std::string::npos) << shown << run.err;
    EXPECT_NE(run.err.find("usage: qvreg"), std::string::npos) << shown;
  }
  EXPECT_EQ(Run({"query", "HKCU\\A"}).status, 1) << "nothing was stored by the refused commands";
  ToolRun help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: qvreg"), std::string::npos);
}

TEST_F(Qvreg, OptionsGoAnywhereInAnySpellingWithOrWithoutPosixlyCorrect) {
  const std::vector<std::vector<std::string>> kForms = {
      {"set", "HKCU\\F", "--value", "v", "--type", "dword", "--data", "7"},
      {"--value=v", "-type", "dword", "set", "HKCU\\F", "--da=7"},
      {"set", "--val", "v", "HKCU\\F", "-ty=dword", "--data", "7"},
      {"--value", "v", "--type", "dword", "--data", "7", "--", "set", "HKCU\\F"},
  };
  for (const char* posix : {static_cast<const char*>(nullptr), "1"}) {
    qvtest::ScopedEnv env("POSIXLY_CORRECT", posix);
    for (const auto& form : kForms) {
      ToolRun run = Run(form);
      ASSERT_EQ(run.status, 0) << form[0] << " " << form[1] << run.err;
      EXPECT_NE(Run({"query", "HKCU\\F", "--value", "v"}).out.find("7 (0x00000007)"), std::string::npos);
      ASSERT_EQ(Run({"delete", "HKCU\\F"}).status, 0);
    }
  }
}

// Each file sets a value before its bad line: nothing of it may arrive.
struct BadFile {
  std::string body;
  int line;
  const char* reason;
};
const BadFile kBadFiles[] = {
    {"REGEDIT5\n", 1, "not a registry file"},
    {"[HKEY_NOWHERE\\X]\n", 5, "unknown root"},
    {"\"n\"=dword:123456789\n", 5, "out of range"},
    {"\"n\"=dword:12x\n", 5, "hexadecimal digits only"},
    {"\"n\"=hex:01,002\n", 5, "one or two digits"},
    {"\"n\"=hex:01,,02\n", 5, "one or two digits"},
    {"\"n\"=hex(2):41,00,00\n", 5, "even number of bytes"},
    {"\"n\"=hex(7):41,00\n", 5, "end with a zero"},
    {"\"n\"=hex(b):01,00,00,00,00,00,00,00\n", 5, "cannot be stored"},
    {"\"n\"=\"unterminated\n", 5, "no closing quote"},
    {"\"n\"=\"bad \\q escape\"\n", 5, "unknown escape"},
    {"\"n\"=\"x\" trailing\n", 5, "after the closing quote"},
    {"\"n\"=\\\n  word:1\n", 5, "unknown data"},
    {"[HKCU\\Software\\Bad\\\\X]\n", 5, "empty name"},
    {"[-HKCU]\n", 5, "root cannot be deleted"},
    {"[-HKCU\\Software\\Bad]\n\"n\"=\"1\"\n", 6, "outside a [key]"},
};

TEST_F(Qvreg, MalformedFilesNameTheLineAndImportNothing) {
  for (const BadFile& bad : kBadFiles) {
    std::string text = bad.line == 1 ? bad.body
                                     : "Windows Registry Editor Version 5.00\n\n[HKCU\\Software\\Bad]\n\"first\"=\"1\"\n" + bad.body;
    qvtest::WriteBytes(File("bad.reg"), qvtest::Utf16LeCrLf(text));
    ToolRun run = Run({"import", File("bad.reg")});
    EXPECT_EQ(run.status, 3) << bad.body;
    EXPECT_NE(run.err.find("line " + std::to_string(bad.line) + ":"), std::string::npos) << bad.body << run.err;
    EXPECT_NE(run.err.find(bad.reason), std::string::npos) << bad.body << run.err;
    EXPECT_NE(run.err.find("0x8007000D"), std::string::npos) << run.err;
    EXPECT_EQ(Run({"query", "HKCU\\Software\\Bad"}).status, 1) << "nothing imported from " << bad.body;
  }
  qvtest::WriteBytes(File("latin1.reg"), "Windows Registry Editor Version 5.00\n\n[HKCU\\A]\n\"x\"=\"\xe9\"\n");
  ToolRun notText = Run({"import", File("latin1.reg")});
  EXPECT_EQ(notText.status, 3);
  EXPECT_NE(notText.err.find("line 4:"), std::string::npos) << notText.err;

  ToolRun missing = Run({"import", File("no-such.reg")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("0x80070002 (not found)"), std::string::npos) << missing.err;
}

// Larger than the first read buffer: the value after it must still be listed.
TEST_F(Qvreg, LargeValuesAreReadWhole) {
  std::string body = "Windows Registry Editor Version 5.00\n\n[HKCU\\Big]\n\"big\"=hex:";
  for (int i = 0; i < 100000; ++i) body += (i ? ",": "") + std::string(i % 2 ? "5a" : "a5");
  body += "\n\"after\"=dword:00000001\n";
  qvtest::WriteBytes(File("big.reg"), body);
  ASSERT_EQ(Run({"import", File("big.reg")}).status, 0);
  ASSERT_EQ(Run({"export", "HKCU\\Big", File("out.reg")}).status, 0);
  std::string exported = qvtest::ReadFile(File("out.reg"));
  EXPECT_NE(exported.find(qvtest::Utf16LeCrLf("\"after\"=dword:00000001\n").substr(2)), std::string::npos);
  std::string query = Run({"query", "HKCU\\Big", "--value", "big"}).out;
  std::istringstream words(query.substr(query.find("REG_BINARY")));
  size_t bytes = 0;
  for (std::string word; words >> word;) bytes += word == "a5" || word == "5a";
  EXPECT_EQ(bytes, 100000u) << "every byte shown";
}

TEST_F(Qvreg, MissingKeysAndValuesAreNotFound) {
  ASSERT_EQ(Run({"set", "HKCU\\K", "--value", "v", "--type", "string", "--data", "x"}).status, 0);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"query", "HKCU\\Nope"}, {"query", "HKCU\\K", "--value", "w"}, {"delete", "HKCU\\Nope"},
           {"delete", "HKCU\\K", "--value", "w"}, {"export", "HKCU\\Nope", "x.reg"}}) {
    ToolRun run = Run(args);
    EXPECT_EQ(run.status, 1) << args[0] << " " << args[1];
    EXPECT_NE(run.err.find("0x80070002 (not found)"), std::string::npos) << run.err;
  }
  ToolRun root = Run({"delete", "HKCU"});
  EXPECT_EQ(root.status, 3) << "a root is never deleted";
  EXPECT_EQ(Run({"query", "HKCU\\K", "--value", "V"}).status, 0) << "names compare without case";
}

TEST_F(Qvreg, MigrateCarriesStringsToTheIniFileAndBack) {
  ASSERT_EQ(Run({"set", "HKCU\\Software\\Mig", "--value", "s", "--type", "string", "--data", "carried"}).status, 0);
  ToolRun toIni = Run({"migrate", "--to", "ini"});
  ASSERT_EQ(toIni.status, 0) << toIni.err;
  EXPECT_NE(qvtest::ReadFile(File("qvregistry.ini")).find("s=carried"), std::string::npos);
  ASSERT_EQ(Run({"delete", "HKCU\\Software\\Mig"}).status, 0);
  ToolRun back = Run({"migrate", "--to", "native"});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_NE(back.out.find("was deleted"), std::string::npos) << back.out;
  EXPECT_NE(Run({"query", "HKCU\\Software\\Mig", "--value", "s"}).out.find("carried"), std::string::npos);
}

}  // namespace
