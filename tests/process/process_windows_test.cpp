// Windows only: the program name gets ".exe" and the child's command line is
// that name and the argument text exactly as given.
#if defined(_WIN32)
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "qvcore5/qvcore.h"

namespace {

// The tests build text for the system's calls; the library takes the same units.
const QVWCHAR* Q(const std::wstring& text) { return reinterpret_cast<const QVWCHAR*>(text.c_str()); }

std::wstring SystemProgram(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length) + L"\\" + name;
}

struct ChildRun {
  QVRESULT result;
  std::string output;
  uint32_t code = 0;
};

ChildRun Start(const std::wstring& program, const std::wstring& arguments) {
  QVPROCESSSTREAMS streams = {QV_INVALID_HANDLE, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
  QVHANDLE child;
  ChildRun run{QVProcessCreate(Q(program), Q(arguments), nullptr, nullptr, 0, &streams, &child), "", 0};
  if (run.result < 0) return run;
  EXPECT_EQ(QVFileClose(streams.input), 0);
  char buffer[512];
  uint32_t done = 0;
  while (QVFileRead(streams.output, buffer, sizeof buffer, &done) >= 0 && done > 0) run.output.append(buffer, done);
  EXPECT_EQ(QVFileClose(streams.output), 0);
  EXPECT_EQ(QVFileClose(streams.error), 0);
  run.result = QVProcessJoin(child, &run.code);
  return run;
}

TEST(ProcessWindowsTest, ExeIsAppendedUnlessTheNameEndsWithIt) {
  struct Case {
    std::wstring program;
    QVRESULT result;
  } cases[] = {
      {SystemProgram(L"cmd"), 0},
      {SystemProgram(L"cmd.exe"), 0},
      {SystemProgram(L"CMD.EXE"), static_cast<QVRESULT>(0x80070002)},  // becomes CMD.EXE.exe
  };
  for (const Case& c : cases) {
    ChildRun run = Start(c.program, L"/c exit 7");
    EXPECT_EQ(run.result, c.result);
    if (c.result == 0) {
      EXPECT_EQ(run.code, 7u);
    }
  }
}

TEST(ProcessWindowsTest, ArgumentTextReachesTheChildUnchanged) {
  ChildRun run = Start(SystemProgram(L"cmd"), L"/c echo a  \"b  c\"\\ d");
  ASSERT_EQ(run.result, 0);
  EXPECT_EQ(run.output, "a  \"b  c\"\\ d\r\n");
}

TEST(ProcessWindowsTest, WaitForAnyCoversMoreChildrenThanOneSystemWait) {
  constexpr uint32_t kChildren = 70;  // one system wait covers 64 handles
  std::wstring program = SystemProgram(L"cmd");
  uint32_t expected = 0;
  for (uint32_t i = 0; i < kChildren; ++i) {
    QVHANDLE child;
    ASSERT_EQ(QVProcessCreate(Q(program), Q(L"/c exit " + std::to_wstring(i)), nullptr, nullptr, 0, nullptr, &child), 0);
    expected += i;
  }
  uint32_t sum = 0;
  for (uint32_t i = 0; i < kChildren; ++i) {
    QVHANDLE child;
    uint32_t code = 0;
    ASSERT_EQ(QVProcessJoinChild(&child, &code), 0) << i;
    sum += code;
  }
  EXPECT_EQ(sum, expected);
  QVHANDLE none;
  EXPECT_LT(QVProcessJoinChild(&none, nullptr), 0);
}

}  // namespace
#endif
