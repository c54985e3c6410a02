#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/diag.h"
#include "os/os_thread.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"

namespace {

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "[%#x]", v);
  return b;
}

}  // namespace

TEST(Trace, WritesThePrefixThenTheLineWithoutANewline) {
  qvtest::StderrCapture capture;
  QVTrace(u"value=%d text=%hs", 17, "abc");
  std::string out = capture.Finish();
  EXPECT_EQ(out, Hex(qv::os::CurrentThreadId()) + "value=17 text=abc");
}

TEST(Trace, LongLinesAreCutAt511Units) {
  std::u16string text(600, u'y');
  qvtest::StderrCapture capture;
  QVTrace(u"%s", text.c_str());
  std::string out = capture.Finish();
  std::string prefix = Hex(qv::os::CurrentThreadId());
  ASSERT_EQ(out.size(), prefix.size() + 511);
  EXPECT_EQ(out.substr(prefix.size()), std::string(511, 'y'));
}

TEST(Trace, LinesOfConcurrentThreadsNeverInterleave) {
  qvtest::StderrCapture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) QVTrace(u"<%d:%d>\n", t, i);
    });
  for (auto& th : threads) th.join();
  std::string out = capture.Finish();
  size_t lines = 0, pos = 0;
  while (pos < out.size()) {
    size_t end = out.find('\n', pos);
    ASSERT_NE(end, std::string::npos);
    std::string line = out.substr(pos, end - pos);
    // [0x...]<t:i> and nothing else on the line.
    ASSERT_EQ(line.rfind("[0x", 0), 0u) << line;
    size_t close = line.find(']');
    ASSERT_NE(close, std::string::npos) << line;
    ASSERT_EQ(line[close + 1], '<') << line;
    ASSERT_EQ(line.back(), '>') << line;
    ASSERT_EQ(line.find('[', 1), std::string::npos) << line;
    ++lines;
    pos = end + 1;
  }
  EXPECT_EQ(lines, 800u);
}

TEST(ErrorAlert, MethodZeroWithNoDefaultDoesNothing) {
  qvtest::ScopedAlertMethod guard(0);
  qvtest::StderrCapture capture;
  QVErrorAlert(0, u"Caption", u"text %d", 1);
  EXPECT_EQ(capture.Finish(), "");
}

TEST(ErrorAlert, FormatMethodShowsCaptionAndCutText) {
  qvtest::ScopedAlertMethod guard(0);
  qvtest::StderrCapture capture;
  QVErrorAlert(QV_ALERT_FORMAT, u"Caption", u"value %d", 9);
  std::u16string longText(700, u'z');
  QVErrorAlert(QV_ALERT_MESSAGE, u"C", u"%s", longText.c_str());
  std::string out = capture.Finish();
  EXPECT_EQ(out.substr(0, 17), "Caption: value 9\n");
  // The formatted text is at most 511 characters.
  EXPECT_EQ(out.substr(17), "C: " + std::string(511, 'z'));
}

TEST(ErrorAlert, WaitMethodBlocksUntilContinued) {
  qvtest::ScopedAlertMethod guard(0);
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    QVErrorAlert(QV_ALERT_WAIT, u"c", u"t");
    returned = true;
  });
  EXPECT_FALSE(qvtest::WaitUntil([&] { return returned.load(); }, std::chrono::milliseconds(30)));
  qv::core::AlertContinue();
  waiter.join();
  EXPECT_TRUE(returned.load());
  EXPECT_FALSE(qv::core::AlertContinuePending());  // the waiter cleared the flag
}

TEST(Assert, WithADefaultMethodFormatsAndDoesNotBreak) {
  qvtest::ScopedAlertMethod guard(QV_ALERT_FORMAT);
  qvtest::StderrCapture capture;
  QVAssert("x > 0", "file.c", 12);  // would end the process if it trapped
  std::string out = capture.Finish();
  std::string trace = Hex(qv::os::CurrentThreadId()) + "\nQV_ASSERT(x > 0)\n file.c:12\n";
  EXPECT_EQ(out.substr(0, trace.size()), trace);
  EXPECT_EQ(out.substr(trace.size()),
            "Quovane Services: Quovane Services Debug Assertion Failed!\n\nFile: file.c\nLine: 12\n\nExpression: x > 0\n");
}

TEST(Assert, WithoutADefaultMethodBreaksIntoTheDebugger) {
  qvtest::ScopedAlertMethod guard(0);
  qvtest::StderrCapture capture;
  EXPECT_EQ(qvtest::CountTraps([] { QVAssert("ok", "f.c", 1); }), 1);
}
