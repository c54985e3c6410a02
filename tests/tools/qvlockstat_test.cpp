// qvlockstat on a file dumped by this process with one contended mutex.
#include <gtest/gtest.h>

#include <qvcore5/qvcore.h>

#include <sstream>
#include <thread>

#include "support/test_support.h"
#include "tools/tool_runner.h"

namespace {

using qvtest::RunTool;
using qvtest::ToolRun;

// CSV quoting must survive the comma, the quotes and the line break.
const char kHotName[] = "hot, \"contended\"\nlock";
const char kHotShown[] = "hot, \"contended\"\\nlock";

// Makes `hot` wait once: the other thread holds it until this one is blocked on it.
void Contend(QVMUTEX hot) {
  std::atomic<bool> holding{false};
  std::thread holder([&] {
    QVMutexAcquire(hot);
    holding = true;
    bool waiter = qvtest::WaitUntil([&] { return qvtest::LockHasWaiter(QVMutexGetOSMutex(hot)); });
    QVMutexRelease(hot);
    EXPECT_TRUE(waiter);
  });
  ASSERT_TRUE(qvtest::WaitUntil([&] { return holding.load(); }));
  QVMutexAcquire(hot);
  QVMutexRelease(hot);
  holder.join();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Qvlockstat, TheContendedMutexComesFirstAndIsDrawn) {
  qvtest::TempDir dir;
  QVResetLockStats();
  QVMUTEX hot, quiet, idle;
  ASSERT_EQ(QVMutexCreate(kHotName, QV_MUTEX_STATS, &hot), 0);
  ASSERT_EQ(QVMutexCreate("quiet", QV_MUTEX_STATS, &quiet), 0);
  ASSERT_EQ(QVMutexCreate("idle", QV_MUTEX_STATS, &idle), 0);
  for (int i = 0; i < 50; ++i) {
    QVMutexAcquire(quiet);
    QVMutexRelease(quiet);
  }
  Contend(hot);
  std::string path = dir.File("stats.csv");
  std::u16string wide(path.begin(), path.end());
  ASSERT_EQ(QVDumpLockStats("earlier", reinterpret_cast<const QVWCHAR*>(wide.c_str())), 0);
  ASSERT_EQ(QVDumpLockStats("run", reinterpret_cast<const QVWCHAR*>(wide.c_str())), 0);
  QVMutexDestroy(hot);
  QVMutexDestroy(quiet);
  QVMutexDestroy(idle);
  QVResetLockStats();

  for (const char* sort : {"contention", "wait"}) {
    ToolRun run = RunTool(QVLOCKSTAT_PROGRAM, {path, "--label", "run", "--sort", sort, "--svg", dir.File("chart.svg")},
                          dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 5u) << run.out;
    EXPECT_EQ(lines[0].rfind("run - ", 0), 0u) << "only the labelled dump";
    EXPECT_EQ(lines[2].rfind(kHotShown, 0), 0u) << sort << ":\n" << run.out;
    EXPECT_NE(lines[2].find(" 1 ("), std::string::npos) << "contended once: " << lines[2];
    EXPECT_EQ(lines[1].find("mutex"), 0u);
    EXPECT_EQ(lines[1].size(), lines[2].size()) << "columns line up";
  }

  // Two mutexes drawn: each a group with one wait bar and one hold bar.
  ToolRun top = RunTool(QVLOCKSTAT_PROGRAM, {path, "--label=run", "--top", "2", "--svg", dir.File("top.svg")}, dir.path());
  ASSERT_EQ(top.status, 0) << top.err;
  ToolRun xml = RunTool("/usr/bin/env",
                        {"python3", "-c",
                         "import sys, xml.dom.minidom as m\n"
                         "d = m.parse(sys.argv[1])\n"
                         "groups = [g for g in d.getElementsByTagName('g') if g.getAttribute('class') == 'mutex']\n"
                         "kinds = [sorted(r.getAttribute('class') for r in g.getElementsByTagName('rect')) for g in groups]\n"
                         "print(len(groups), all(k == ['held', 'wait'] for k in kinds), groups[0].getElementsByTagName('title')[0].firstChild.data)\n",
                         dir.File("top.svg")},
                        dir.path());
  ASSERT_EQ(xml.status, 0) << xml.err;
  EXPECT_EQ(xml.out, "2 True hot, \"contended\"\\nlock\n");

  ToolRun every = RunTool(QVLOCKSTAT_PROGRAM, {path}, dir.path());
  EXPECT_NE(every.out.find("earlier - "), std::string::npos) << "without a label every dump is shown";
}

TEST(Qvlockstat, BadInputIsNamed) {
  qvtest::TempDir dir;
  qvtest::WriteBytes(dir.File("bad.csv"), "BeginLockStatistics: x - now\nCPU Frequency,1000000\nQV_MUTEX:0x1(a),1,2\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{dir.File("missing.csv")}, 1, "0x80070002"},
      {{dir.File("bad.csv")}, 3, "line 3: expected a mutex record"},
      {{dir.File("bad.csv"), "--sort", "speed"}, 2, "usage:"},
      {{dir.File("bad.csv"), "--top", "0"}, 2, "usage:"},
      {{}, 2, "usage:"},
  };
  for (const Case& c : cases) {
    ToolRun run = RunTool(QVLOCKSTAT_PROGRAM, c.args, dir.path());
    EXPECT_EQ(run.status, c.status) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

}  // namespace
