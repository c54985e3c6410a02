#include <getopt.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "text/getopt.h"

namespace {

using Strings = std::vector<std::string>;

// A mutable argument vector with its null entry; the strings never move.
class Args {
 public:
  Args(std::initializer_list<const char*> items) { Build(Strings(items.begin(), items.end())); }
  // A copy holds its own strings, in the order the original has now.
  Args(const Args& other) { Build(other.Now()); }
  Args& operator=(const Args& other) {
    if (this != &other) Build(other.Now());
    return *this;
  }
  int32_t argc() const { return static_cast<int32_t>(m_storage.size()); }
  char** argv() { return m_ptrs.data(); }
  std::vector<std::string> Now() const {
    std::vector<std::string> out;
    for (size_t i = 0; i + 1 < m_ptrs.size(); ++i) out.emplace_back(m_ptrs[i] ? m_ptrs[i] : "<null>");
    return out;
  }

 private:
  void Build(std::vector<std::string> items) {
    m_storage = std::move(items);
    m_ptrs.clear();
    for (std::string& s : m_storage) m_ptrs.push_back(s.data());
    m_ptrs.push_back(nullptr);
  }

  std::vector<std::string> m_storage;
  std::vector<char*> m_ptrs;
};

const QVLongOption kTable[] = {
    {"verbose", QV_NO_ARGUMENT, 118}, {"version", QV_NO_ARGUMENT, 86}, {"output", QV_REQUIRED_ARGUMENT, 111},
    {"quiet", QV_NO_ARGUMENT, 113},   {"level", 2, 108},               {nullptr, 0, 0}};

class GetOption : public ::testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < kMessages.size(); ++i) m_messages[i] = *kMessages[i];
    QVGetOptionIndex = 0;
    QVGetOptionError = 1;
  }
  void TearDown() override {
    for (size_t i = 0; i < kMessages.size(); ++i) *kMessages[i] = m_messages[i];
    QVGetOptionIndex = 0;
    QVGetOptionError = 1;
  }

  // Runs one call with the standard table and returns what it printed.
  std::string Call(Args& args, int32_t& result, int32_t* longIndex = nullptr, const QVLongOption* table = kTable) {
    qvtest::StderrCapture capture;
    result = QVGetOption(args.argc(), args.argv(), table, longIndex);
    return capture.Finish();
  }

  static constexpr std::array<const char**, 7> kMessages = {
      &QVGetOptionMsgCharacterRequiresArgument, &QVGetOptionMsgIllegal,   &QVGetOptionMsgInvalid,
      &QVGetOptionMsgStringRequiresArgument,    &QVGetOptionMsgAmbiguous, &QVGetOptionMsgNoArgumentAllowed,
      &QVGetOptionMsgUnrecognized};
  qvtest::ScopedEnv m_posix{"POSIXLY_CORRECT", nullptr};
  std::array<const char*, 7> m_messages{};
};

TEST(GetOptionState, StartsWithItsDocumentedValues) {
  // A fresh process of this binary, so no earlier test has touched the state.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        bool fresh = QVGetOptionIndex == 1 && QVGetOptionArgument == nullptr && QVGetOptionOption == '?' &&
                     QVGetOptionError == 1 && QVGetOptionReset == 0;
        std::exit(fresh ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  const char* expected[] = {"Usage: option requires an argument -- %c", "Usage: illegal option -- %c",
                            "Usage: invalid option -- %c",
                            "Usage: option '%s%s' requires an argument",
                            "Usage: option '%s%.*s' is ambiguous",
                            "Usage: option '%s%.*s' doesn't allow an argument",
                            "Usage: unrecognized option '%s%s'"};
  const char* actual[] = {QVGetOptionMsgCharacterRequiresArgument, QVGetOptionMsgIllegal, QVGetOptionMsgInvalid,
                          QVGetOptionMsgStringRequiresArgument,    QVGetOptionMsgAmbiguous,
                          QVGetOptionMsgNoArgumentAllowed,         QVGetOptionMsgUnrecognized};
  for (int i = 0; i < 7; ++i) EXPECT_STREQ(actual[i], expected[i]);
}

TEST_F(GetOption, PosixlyCorrectIsReadAtEveryCall) {
  setenv("POSIXLY_CORRECT", "", 1);  // presence is what counts
  Args args{"prog", "a", "--verbose", "b"};
  int32_t r;
  Call(args, r);
  EXPECT_EQ(r, -1);
  unsetenv("POSIXLY_CORRECT");
  QVGetOptionIndex = 0;
  Call(args, r);
  EXPECT_EQ(r, 118);
}

TEST_F(GetOption, PosixlyCorrectAppearingMidScanLosesNoNonOption) {
  // Permuting had begun: the run already skipped is still gathered.
  Args args{"prog", "a", "--verbose", "b", "--quiet"};
  int32_t r;
  Call(args, r);
  ASSERT_EQ(r, 118);
  setenv("POSIXLY_CORRECT", "1", 1);
  Call(args, r);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(args.Now(), (Strings{"prog", "--verbose", "a", "b", "--quiet"}));
  EXPECT_EQ(QVGetOptionIndex, 2);
}

TEST_F(GetOption, AbbreviationsAndAmbiguity) {
  // Unambiguous abbreviations are compared with glibc below.
  Args ver{"prog", "--ver", "-ver=1"};
  int32_t r;
  QVGetOptionOption = 99;
  EXPECT_EQ(Call(ver, r), "Usage: option '--ver' is ambiguous\n");
  EXPECT_EQ(r, '?');
  EXPECT_EQ(QVGetOptionOption, 0);
  EXPECT_EQ(QVGetOptionIndex, 2);
  // The printed name stops before the attached argument.
  EXPECT_EQ(Call(ver, r), "Usage: option '-ver' is ambiguous\n");
  EXPECT_EQ(r, '?');
}

TEST_F(GetOption, ExactNameWinsAndDuplicatesAreAmbiguousAsAbbreviations) {
  const QVLongOption table[] = {{"verbose", 0, 1}, {"verb", 0, 2}, {"verbose", 0, 3}, {"", 0, 4}, {nullptr, 0, 0}};
  Args args{"prog", "--verb", "--verbose", "--verbo", "--=x"};
  int32_t r, index = -1;
  Call(args, r, &index, table);
  EXPECT_EQ(r, 2);
  EXPECT_EQ(index, 1);
  Call(args, r, &index, table);
  EXPECT_EQ(r, 1);  // the first of two exact names
  EXPECT_EQ(index, 0);
  EXPECT_EQ(Call(args, r, nullptr, table), "Usage: option '--verbo' is ambiguous\n");
  EXPECT_EQ(r, '?');
  // An empty name is neither an abbreviation of every record nor the record named "".
  EXPECT_EQ(Call(args, r, nullptr, table), "Usage: unrecognized option '--=x'\n");
  EXPECT_EQ(r, '?');
}

TEST_F(GetOption, RequiredArgument) {
  Args attached{"prog", "-output=x.txt", "--output", "y", "--output=", "--output"};
  int32_t r;
  Call(attached, r);
  EXPECT_EQ(r, 111);
  EXPECT_EQ(QVGetOptionArgument, attached.argv()[1] + 8);  // points into the element
  Call(attached, r);
  EXPECT_EQ(r, 111);
  EXPECT_EQ(QVGetOptionArgument, attached.argv()[3]);
  EXPECT_EQ(QVGetOptionIndex, 4);
  Call(attached, r);
  EXPECT_EQ(r, 111);
  ASSERT_NE(QVGetOptionArgument, nullptr);
  EXPECT_STREQ(QVGetOptionArgument, "");

  QVGetOptionOption = 0;
  EXPECT_EQ(Call(attached, r), "Usage: option '--output' requires an argument\n");
  EXPECT_EQ(r, '?');
  EXPECT_EQ(QVGetOptionOption, 111);
  EXPECT_EQ(QVGetOptionIndex, attached.argc());
  EXPECT_EQ(QVGetOptionArgument, nullptr);
}

TEST_F(GetOption, ArgumentWhereNoneIsAllowed) {
  // Results and order are compared with glibc below; here the message.
  Args args{"prog", "--quiet=1"};
  int32_t r;
  EXPECT_EQ(Call(args, r), "Usage: option '--quiet' doesn't allow an argument\n");
  EXPECT_EQ(r, '?');
  EXPECT_EQ(QVGetOptionOption, 113);
  EXPECT_EQ(QVGetOptionIndex, 2);
}

TEST_F(GetOption, UnrecognizedOptionShowsTheWholeElement) {
  Args args{"prog", "--zzz=3", "-z"};
  int32_t r;
  EXPECT_EQ(Call(args, r), "Usage: unrecognized option '--zzz=3'\n");
  EXPECT_EQ(r, '?');
  EXPECT_EQ(QVGetOptionOption, 0);
  EXPECT_EQ(Call(args, r), "Usage: unrecognized option '-z'\n");
  const QVLongOption empty[] = {{nullptr, 0, 0}};
  QVGetOptionIndex = 0;
  EXPECT_EQ(Call(args, r, nullptr, empty), "Usage: unrecognized option '--zzz=3'\n");
  EXPECT_EQ(r, '?');
}

TEST_F(GetOption, MessagesFollowTheVariables) {
  Args args{"prog", "--zzz", "--ver", "--quiet=2", "--output"};
  int32_t r;
  QVGetOptionMsgUnrecognized = "no %s%s here";
  EXPECT_EQ(Call(args, r), "no --zzz here\n");
  QVGetOptionMsgAmbiguous = nullptr;  // only the line feed
  EXPECT_EQ(Call(args, r), "\n");
  QVGetOptionError = 0;
  EXPECT_EQ(Call(args, r), "");
  EXPECT_EQ(r, '?');
  EXPECT_EQ(Call(args, r), "");
  EXPECT_EQ(r, '?');
}

TEST_F(GetOption, WithoutATableEveryCharacterIsInvalid) {
  Args args{"prog", "-ab", "--c", "x"};
  const std::vector<std::pair<int, int32_t>> expected = {{'a', 1}, {'b', 2}, {'-', 2}, {'c', 3}};
  for (auto [c, index] : expected) {
    int32_t r;
    EXPECT_EQ(Call(args, r, nullptr, nullptr), std::string("Usage: invalid option -- ") + char(c) + "\n");
    EXPECT_EQ(r, '?');
    EXPECT_EQ(QVGetOptionOption, c);
    EXPECT_EQ(QVGetOptionIndex, index);
  }
  int32_t r;
  Call(args, r, nullptr, nullptr);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(QVGetOptionIndex, 3);

  setenv("POSIXLY_CORRECT", "y", 1);
  QVGetOptionIndex = 0;
  EXPECT_EQ(Call(args, r, nullptr, nullptr), "Usage: illegal option -- a\n");
}

TEST_F(GetOption, RestartsByResetOrIndexZero) {
  Args first{"prog", "--verbose", "--quiet"};
  Args second{"other", "x", "--version"};
  int32_t r;
  Call(first, r);
  ASSERT_EQ(r, 118);
  QVGetOptionReset = 1;
  QVGetOptionIndex = 1;
  Call(second, r);
  EXPECT_EQ(r, 86);
  QVGetOptionIndex = 0;
  Call(first, r);
  EXPECT_EQ(r, 118);
  EXPECT_EQ(QVGetOptionReset, 0);
}

TEST_F(GetOption, BadInputGetsAClearResult) {
  int32_t r;
  Args none{"prog"};
  EXPECT_EQ(QVGetOption(0, none.argv(), kTable, nullptr), -1);
  QVGetOptionIndex = 0;
  EXPECT_EQ(QVGetOption(5, nullptr, kTable, nullptr), -1);
  QVGetOptionIndex = 0;
  EXPECT_EQ(QVGetOption(-3, none.argv(), kTable, nullptr), -1);
  QVGetOptionIndex = 0;
  Call(none, r);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(QVGetOptionIndex, 1);

  // Empty elements and a lone dash are non-options.
  Args odd{"prog", "", "-", "--quiet", "-="};
  QVGetOptionIndex = 0;
  Call(odd, r);
  EXPECT_EQ(r, 113);
  EXPECT_EQ(Call(odd, r), "Usage: unrecognized option '-='\n");
  Call(odd, r);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(odd.Now(), (Strings{"prog", "--quiet", "-=", "", "-"}));
  EXPECT_EQ(QVGetOptionIndex, 3);

  // A null element inside the count ends the vector; an argument is not read past it.
  Args holed{"prog", "a", "--output", "b"};
  holed.argv()[3] = nullptr;
  QVGetOptionIndex = 0;
  EXPECT_EQ(Call(holed, r), "Usage: option '--output' requires an argument\n");
  EXPECT_EQ(QVGetOptionIndex, 3);
  Call(holed, r);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(QVGetOptionIndex, 2);

  // An index written below zero names no element.
  QVGetOptionIndex = -4;
  EXPECT_EQ(QVGetOption(odd.argc(), odd.argv(), kTable, nullptr), -1);
}

TEST(GetOptionPermute, EveryBlockSizeLandsInOrder) {
  for (int32_t n = 0; n <= 7; ++n) {
    for (int32_t m = 0; m <= 7; ++m) {
      std::vector<std::string> names;
      for (int32_t i = 0; i < n; ++i) names.push_back("n" + std::to_string(i));
      for (int32_t i = 0; i < m; ++i) names.push_back("o" + std::to_string(i));
      std::vector<char*> v = {const_cast<char*>("prog")};
      for (std::string& s : names) v.push_back(s.data());
      int32_t argc = static_cast<int32_t>(v.size());
      ASSERT_TRUE(qv::text::PermuteArguments(1, 1 + n, 1 + n + m, argc, v.data()));
      for (int32_t i = 0; i < m; ++i) EXPECT_EQ(v[1 + i], names[n + i]) << n << "," << m;
      for (int32_t i = 0; i < n; ++i) EXPECT_EQ(v[1 + m + i], names[i]) << n << "," << m;
    }
  }
  std::vector<char*> v(3, nullptr);
  EXPECT_FALSE(qv::text::PermuteArguments(1, 2, 4, 3, v.data()));
  EXPECT_FALSE(qv::text::PermuteArguments(2, 1, 3, 3, v.data()));
}

// The same vectors through glibc's getopt_long_only, where the two agree.
struct Step {
  int32_t result;
  int32_t index;
  std::optional<std::string> argument;
  int32_t longIndex;
  int32_t option;
  bool operator==(const Step&) const = default;
};

std::vector<Step> RunOurs(Args args, Strings& finalVector) {
  std::vector<Step> steps;
  QVGetOptionIndex = 0;
  QVGetOptionError = 0;
  for (int guard = 0; guard < 64; ++guard) {
    int32_t longIndex = -1;
    int32_t r = QVGetOption(args.argc(), args.argv(), kTable, &longIndex);
    steps.push_back({r, QVGetOptionIndex,
                     QVGetOptionArgument ? std::optional<std::string>(QVGetOptionArgument) : std::nullopt,
                     r == '?' ? -1 : longIndex, r == '?' ? QVGetOptionOption : 0});
    if (r == -1) break;
  }
  finalVector = args.Now();
  return steps;
}

std::vector<Step> RunGlibc(Args args, Strings& finalVector) {
  std::vector<option> table;
  for (const QVLongOption* o = kTable; o->name != nullptr; ++o) table.push_back({o->name, o->hasArgument, nullptr, o->value});
  table.push_back({nullptr, 0, nullptr, 0});
  std::vector<Step> steps;
  optind = 0;
  opterr = 0;
  for (int guard = 0; guard < 64; ++guard) {
    int longIndex = -1;
    int r = getopt_long_only(args.argc(), args.argv(), "", table.data(), &longIndex);
    steps.push_back({r, optind, optarg ? std::optional<std::string>(optarg) : std::nullopt, r == '?' ? -1 : longIndex,
                     r == '?' ? optopt : 0});
    if (r == -1) break;
  }
  finalVector = args.Now();
  return steps;
}

TEST_F(GetOption, AgreesWithGlibcGetoptLongOnly) {
  const std::vector<Args> vectors = {
      {"prog", "a", "--verbose", "b"},
      {"prog", "-verb", "x", "--output", "f", "y", "--output=g", "-out=h"},
      {"prog", "a", "b", "--verbose", "c", "d", "--quiet", "e", "--", "f", "--version"},
      {"prog", "--ver", "--quiet=1", "--zzz=3", "-z", "--output"},
      {"prog", "-", "", "--verbose", "x", "-quiet", "--", "-"},
      {"prog", "--", "a"},
      {"prog"},
      {"prog", "a", "b", "c"},
      {"prog", "--level", "v", "--vers", "w"},
  };
  for (bool posix : {false, true}) {
    if (posix)
      setenv("POSIXLY_CORRECT", "1", 1);
    else
      unsetenv("POSIXLY_CORRECT");
    for (const Args& v : vectors) {
      Strings ourVector, glibcVector;
      std::vector<Step> ours = RunOurs(v, ourVector);
      std::vector<Step> glibc = RunGlibc(v, glibcVector);
      EXPECT_EQ(ours, glibc) << "vector starting " << v.Now().back() << (posix ? " with POSIXLY_CORRECT" : "");
      EXPECT_EQ(ourVector, glibcVector);
    }
  }
}

TEST_F(GetOption, DiffersFromGlibcByDesign) {
  Strings ourVector, glibcVector;
  // Two abbreviation matches are ambiguous here even when they would return
  // the same value; glibc's getopt_long (not its long-only variant) takes the
  // first of such look-alikes. "--verbo" with verbose and verbosity, both 7:
  const QVLongOption same[] = {{"verbose", 0, 7}, {"verbosity", 0, 7}, {nullptr, 0, 0}};
  Args a{"prog", "--verbo"};
  QVGetOptionError = 0;
  EXPECT_EQ(QVGetOption(a.argc(), a.argv(), same, nullptr), '?');
  option glibcSame[] = {{"verbose", 0, nullptr, 7}, {"verbosity", 0, nullptr, 7}, {nullptr, 0, nullptr, 0}};
  Args b{"prog", "--verbo"};
  optind = 0;
  opterr = 0;
  EXPECT_EQ(getopt_long(b.argc(), b.argv(), "", glibcSame, nullptr), 7);

  // glibc reads "--=x" as an abbreviation of every name; here it names none.
  Args c{"prog", "--=x"};
  const QVLongOption one[] = {{"only", 2, 5}, {nullptr, 0, 0}};
  QVGetOptionIndex = 0;
  EXPECT_EQ(QVGetOption(c.argc(), c.argv(), one, nullptr), '?');
  option glibcOne[] = {{"only", 2, nullptr, 5}, {nullptr, 0, nullptr, 0}};
  Args d{"prog", "--=x"};
  optind = 0;
  EXPECT_EQ(getopt_long_only(d.argc(), d.argv(), "", glibcOne, nullptr), 5);

  // glibc's optional argument keeps "--level=7"; here it is dropped.
  Args e{"prog", "--level=7"};
  QVGetOptionIndex = 0;
  EXPECT_EQ(QVGetOption(e.argc(), e.argv(), kTable, nullptr), 108);
  EXPECT_EQ(QVGetOptionArgument, nullptr);
}

}  // namespace
