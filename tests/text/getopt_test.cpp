#include <getopt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <initializer_list>
#include <tuple>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "text/getopt.h"

namespace {

using Strings = std::vector<std::string>;

// A mutable argument vector with its null entry; a copy holds its own strings
// in the order the original has now.
struct Args {
  Args(std::initializer_list<const char*> items) : Args(Strings(items.begin(), items.end())) {}
  explicit Args(Strings items) : s(std::move(items)) { for (std::string& x : s) p.push_back(x.data()); p.push_back(nullptr); }
  Args(const Args& other) : Args(other.Now()) {}
  int32_t argc() const { return static_cast<int32_t>(s.size()); }
  char** argv() { return p.data(); }
  Strings Now() const { return Strings(p.begin(), p.end() - 1); }
  Strings s; std::vector<char*> p;
};

const QVLongOption kTable[] = {{"verbose", QV_NO_ARGUMENT, 118}, {"version", QV_NO_ARGUMENT, 86},
                               {"output", QV_REQUIRED_ARGUMENT, 111}, {"quiet", QV_NO_ARGUMENT, 113},
                               {"level", 2, 108}, {nullptr, 0, 0}};
const QVLongOption kDuplicates[] = {{"verbose", 0, 1}, {"verb", 0, 2}, {"verbose", 0, 3}, {"", 0, 4}, {nullptr, 0, 0}};
const QVLongOption kEmpty[] = {{nullptr, 0, 0}};

class GetOption : public ::testing::Test {
 protected:
  void SetUp() override { for (size_t i = 0; i < 7; ++i) m_messages[i] = *kMessages[i]; QVGetOptionIndex = 0; }
  void TearDown() override {
    for (size_t i = 0; i < 7; ++i) *kMessages[i] = m_messages[i];
    QVGetOptionIndex = 0, QVGetOptionError = 1;
  }
  // One call; returns what it printed.
  static std::string Call(Args& args, int32_t& result, const QVLongOption* table = kTable, int32_t* longIndex = nullptr) {
    qvtest::StderrCapture capture; result = QVGetOption(args.argc(), args.argv(), table, longIndex);
    return capture.Finish();
  }
  static int32_t Result(Args& args, const QVLongOption* table = kTable, int32_t* longIndex = nullptr) {
    int32_t r; return Call(args, r, table, longIndex), r;
  }
  static constexpr std::array<const char**, 7> kMessages = {
      &QVGetOptionMsgCharacterRequiresArgument, &QVGetOptionMsgIllegal,   &QVGetOptionMsgInvalid,
      &QVGetOptionMsgStringRequiresArgument,    &QVGetOptionMsgAmbiguous, &QVGetOptionMsgNoArgumentAllowed,
      &QVGetOptionMsgUnrecognized};
  qvtest::ScopedEnv m_posix{"POSIXLY_CORRECT", nullptr}; std::array<const char*, 7> m_messages{};
};

TEST(GetOptionState, StartsWithItsDocumentedValues) {
  // A fresh process of this binary, so no earlier test has touched the state.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(QVGetOptionIndex == 1 && !QVGetOptionArgument && QVGetOptionOption == '?' &&
                        QVGetOptionError == 1 && QVGetOptionReset == 0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
  EXPECT_STREQ(QVGetOptionMsgCharacterRequiresArgument, "Usage: option requires an argument -- %c");
  EXPECT_STREQ(QVGetOptionMsgIllegal, "Usage: illegal option -- %c");
  EXPECT_STREQ(QVGetOptionMsgInvalid, "Usage: invalid option -- %c");
  EXPECT_STREQ(QVGetOptionMsgStringRequiresArgument, "Usage: option '%s%s' requires an argument");
  EXPECT_STREQ(QVGetOptionMsgAmbiguous, "Usage: option '%s%.*s' is ambiguous");
  EXPECT_STREQ(QVGetOptionMsgNoArgumentAllowed, "Usage: option '%s%.*s' doesn't allow an argument");
  EXPECT_STREQ(QVGetOptionMsgUnrecognized, "Usage: unrecognized option '%s%s'");
}

TEST_F(GetOption, PosixlyCorrectIsReadAtEveryCallAndLosesNoNonOptionMidScan) {
  setenv("POSIXLY_CORRECT", "", 1);  // presence is what counts
  Args args{"prog", "a", "--verbose", "b", "--quiet"}; EXPECT_EQ(Result(args), -1);
  unsetenv("POSIXLY_CORRECT"), QVGetOptionIndex = 0; ASSERT_EQ(Result(args), 118);
  // Permuting had begun: the run already skipped is still gathered.
  setenv("POSIXLY_CORRECT", "1", 1); EXPECT_EQ(Result(args), -1);
  EXPECT_EQ(args.Now(), (Strings{"prog", "--verbose", "a", "b", "--quiet"})); EXPECT_EQ(QVGetOptionIndex, 2);
}

// Each failure on a fresh vector: message, result '?', the option value and the next index.
TEST_F(GetOption, FailuresPrintTheirMessage) {
  const QVLongOption same[] = {{"verbose", 0, 7}, {"verbosity", 0, 7}, {nullptr, 0, 0}};
  const QVLongOption one[] = {{"only", 2, 5}, {nullptr, 0, 0}};
  const struct { const char* element; const QVLongOption* table; const char* message; int32_t option; } cases[] = {
      {"--ver", kTable, "Usage: option '--ver' is ambiguous\n", 0},
      {"-ver=1", kTable, "Usage: option '-ver' is ambiguous\n", 0},  // the name stops before the argument
      {"--output", kTable, "Usage: option '--output' requires an argument\n", 111},
      {"--quiet=1", kTable, "Usage: option '--quiet' doesn't allow an argument\n", 113},
      {"--zzz=3", kTable, "Usage: unrecognized option '--zzz=3'\n", 0},
      {"-z", kTable, "Usage: unrecognized option '-z'\n", 0},
      {"-=", kTable, "Usage: unrecognized option '-='\n", 0},
      {"--zzz=3", kEmpty, "Usage: unrecognized option '--zzz=3'\n", 0},
      {"--verbo", kDuplicates, "Usage: option '--verbo' is ambiguous\n", 0},
      // Ambiguous even where both would return the same value (glibc's getopt_long takes the first).
      {"--verbo", same, "Usage: option '--verbo' is ambiguous\n", 0},
      // An empty name is neither an abbreviation of every record (as in glibc) nor the record named "".
      {"--=x", kDuplicates, "Usage: unrecognized option '--=x'\n", 0},
      {"--=x", one, "Usage: unrecognized option '--=x'\n", 0}};
  for (auto c : cases) {
    Args args{"prog", c.element}; QVGetOptionIndex = 0, QVGetOptionOption = 99;
    int32_t r; EXPECT_EQ(Call(args, r, c.table), c.message);
    EXPECT_EQ(r, '?') << c.message; EXPECT_EQ(QVGetOptionOption, c.option) << c.message;
    EXPECT_EQ(QVGetOptionIndex, 2) << c.message;
  }
}

TEST_F(GetOption, ExactNameWinsAndOfTwoExactNamesTheFirst) {
  Args args{"prog", "--verb", "--verbose"}; int32_t index = -1;
  EXPECT_EQ(Result(args, kDuplicates, &index), 2); EXPECT_EQ(index, 1);
  EXPECT_EQ(Result(args, kDuplicates, &index), 1); EXPECT_EQ(index, 0);
}

TEST_F(GetOption, ArgumentsAndMessagesFollowingTheVariables) {
  // An optional argument is dropped, where glibc keeps it.
  Args args{"prog", "--level=7", "-output=x.txt", "--output", "y", "--output=", "--output"};
  EXPECT_EQ(Result(args), 108); EXPECT_EQ(QVGetOptionArgument, nullptr);
  EXPECT_EQ(Result(args), 111); EXPECT_EQ(QVGetOptionArgument, args.argv()[2] + 8);  // points into the element
  EXPECT_EQ(Result(args), 111); EXPECT_EQ(QVGetOptionArgument, args.argv()[4]); EXPECT_EQ(QVGetOptionIndex, 5);
  EXPECT_EQ(Result(args), 111); ASSERT_NE(QVGetOptionArgument, nullptr); EXPECT_STREQ(QVGetOptionArgument, "");
  EXPECT_EQ(Result(args), '?'); EXPECT_EQ(QVGetOptionIndex, args.argc()); EXPECT_EQ(QVGetOptionArgument, nullptr);
  // The messages follow the variables.
  Args bad{"prog", "--zzz", "--ver", "--quiet=2", "--output"}; int32_t r; QVGetOptionIndex = 0;
  QVGetOptionMsgUnrecognized = "no %s%s here"; EXPECT_EQ(Call(bad, r), "no --zzz here\n");
  QVGetOptionMsgAmbiguous = nullptr; EXPECT_EQ(Call(bad, r), "\n");  // only the line feed
  QVGetOptionError = 0;
  for (int i = 0; i < 2; ++i) { EXPECT_EQ(Call(bad, r), ""); EXPECT_EQ(r, '?'); }
}

TEST_F(GetOption, WithoutATableEveryCharacterIsInvalid) {
  Args args{"prog", "-ab", "--c", "x"};
  for (auto [c, index] : {std::pair<int, int32_t>{'a', 1}, {'b', 2}, {'-', 2}, {'c', 3}}) {
    int32_t r; EXPECT_EQ(Call(args, r, nullptr), std::string("Usage: invalid option -- ") + char(c) + "\n");
    EXPECT_EQ(r, '?'); EXPECT_EQ(QVGetOptionOption, c); EXPECT_EQ(QVGetOptionIndex, index);
  }
  EXPECT_EQ(Result(args, nullptr), -1); EXPECT_EQ(QVGetOptionIndex, 3);
  setenv("POSIXLY_CORRECT", "y", 1), QVGetOptionIndex = 0;
  int32_t r; EXPECT_EQ(Call(args, r, nullptr), "Usage: illegal option -- a\n");
}

TEST_F(GetOption, RestartsByResetOrIndexZero) {
  Args first{"prog", "--verbose", "--quiet"}, second{"other", "x", "--version"}; ASSERT_EQ(Result(first), 118);
  QVGetOptionReset = 1, QVGetOptionIndex = 1; EXPECT_EQ(Result(second), 86);
  QVGetOptionIndex = 0; EXPECT_EQ(Result(first), 118); EXPECT_EQ(QVGetOptionReset, 0);
}

TEST_F(GetOption, BadInputGetsAClearResult) {
  Args none{"prog"};
  for (auto [argc, argv] : {std::pair<int32_t, char**>{0, none.argv()}, {5, nullptr}, {-3, none.argv()}, {1, none.argv()}}) {
    QVGetOptionIndex = 0; EXPECT_EQ(QVGetOption(argc, argv, kTable, nullptr), -1) << argc;
  }
  EXPECT_EQ(QVGetOptionIndex, 1);
  // Empty elements and a lone dash are non-options.
  Args odd{"prog", "", "-", "--quiet", "-="}; QVGetOptionIndex = 0;
  EXPECT_EQ(Result(odd), 113); EXPECT_EQ(Result(odd), '?'); EXPECT_EQ(Result(odd), -1);
  EXPECT_EQ(odd.Now(), (Strings{"prog", "--quiet", "-=", "", "-"})); EXPECT_EQ(QVGetOptionIndex, 3);
  // A null element inside the count ends the vector; an argument is not read past it.
  Args holed{"prog", "a", "--output", "b"}; holed.argv()[3] = nullptr; QVGetOptionIndex = 0;
  int32_t r;
  EXPECT_EQ(Call(holed, r), "Usage: option '--output' requires an argument\n"); EXPECT_EQ(QVGetOptionIndex, 3);
  EXPECT_EQ(Result(holed), -1); EXPECT_EQ(QVGetOptionIndex, 2);
  // An index written below zero names no element.
  QVGetOptionIndex = -4; EXPECT_EQ(QVGetOption(odd.argc(), odd.argv(), kTable, nullptr), -1);
}

TEST(GetOptionPermute, EveryBlockSizeLandsInOrder) {
  for (int32_t n = 0; n <= 7; ++n)
    for (int32_t m = 0; m <= 7; ++m) {
      Strings names{"prog"};
      for (int32_t i = 0; i < n + m; ++i) names.push_back(std::to_string(i));
      Args v(names); ASSERT_TRUE(qv::text::PermuteArguments(1, 1 + n, 1 + n + m, v.argc(), v.argv()));
      std::rotate(names.begin() + 1, names.begin() + 1 + n, names.end()); EXPECT_EQ(v.Now(), names) << n << "," << m;
    }
  std::vector<char*> v(3, nullptr); EXPECT_FALSE(qv::text::PermuteArguments(1, 2, 4, 3, v.data()));
  EXPECT_FALSE(qv::text::PermuteArguments(2, 1, 3, 3, v.data()));
}

TEST_F(GetOption, AgreesWithGlibcGetoptLongOnly) {
  std::vector<option> table;
  for (const QVLongOption* o = kTable; o->name; ++o) table.push_back({o->name, o->hasArgument, nullptr, o->value});
  table.push_back({});
  // Every call's visible state (result, index, argument, long index, option) and the final vector.
  auto run = [&](bool glibc, Args args) {
    std::vector<std::tuple<int, int, std::string, int, int>> steps; QVGetOptionIndex = optind = 0;
    for (int r = 0, guard = 0; r != -1 && guard < 64; ++guard) {
      int longIndex = -1;
      r = glibc ? getopt_long_only(args.argc(), args.argv(), "", table.data(), &longIndex)
                : QVGetOption(args.argc(), args.argv(), kTable, &longIndex);
      const char* argument = glibc ? optarg : QVGetOptionArgument;
      steps.emplace_back(r, glibc ? optind : QVGetOptionIndex, argument ? argument : "<null>", r == '?' ? -1 : longIndex,
                         r == '?' ? (glibc ? optopt : QVGetOptionOption) : 0);
    }
    return std::pair(steps, args.Now());
  };
  const std::vector<Args> vectors = {
      {"prog", "a", "--verbose", "b"}, {"prog", "-verb", "x", "--output", "f", "y", "--output=g", "-out=h"},
      {"prog", "a", "b", "--verbose", "c", "d", "--quiet", "e", "--", "f", "--version"},
      {"prog", "--ver", "--quiet=1", "--zzz=3", "-z", "--output"},
      {"prog", "-", "", "--verbose", "x", "-quiet", "--", "-"}, {"prog", "--", "a"}, {"prog"},
      {"prog", "a", "b", "c"}, {"prog", "--level", "v", "--vers", "w"}};
  QVGetOptionError = opterr = 0;
  for (const char* posix : {static_cast<const char*>(nullptr), "1"}) {
    m_posix.Set(posix);
    for (const Args& v : vectors) EXPECT_EQ(run(false, v), run(true, v)) << (posix ? "with POSIXLY_CORRECT" : "");
  }
}

}  // namespace
