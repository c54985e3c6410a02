#if defined(_WIN32)
#include <windows.h>
#include <direct.h>
#include <process.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/lifecycle.h"
#include "process/command_line.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"

namespace {

const std::u16string kHelper = qvtest::U16(u"") + std::u16string(QV_PROCESS_HELPER, QV_PROCESS_HELPER + sizeof(QV_PROCESS_HELPER) - 1);

std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }

#if defined(_WIN32)
// Handles stand for descriptors; an ended child leaves no zombie, only the
// handle that the handle count covers.
int OpenDescriptorCount() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return static_cast<int>(count);
}
int ZombieCount() { return 0; }
int getpid() { return _getpid(); }
int chdir(const char* path) { return _chdir(path); }
char* getcwd(char* buffer, int size) { return _getcwd(buffer, size); }
#else
int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

// Children of this process that have ended and were not reaped.
int ZombieCount() {
  int zombies = 0;
  std::string self = std::to_string(getpid());
  DIR* dir = opendir("/proc");
  for (dirent* e; (e = readdir(dir)) != nullptr;) {
    std::string stat = qvtest::ReadFile(std::string("/proc/") + e->d_name + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && state == 'Z' &&
        std::to_string(ppid) == self)
      ++zombies;
  }
  closedir(dir);
  return zombies;
}
#endif

struct ChildRun {
  QVRESULT result;
  std::string output;
  uint32_t code;
};

// Starts the helper with pipes, writes input, reads its whole output, joins it.
ChildRun RunHelper(const std::u16string& arguments, const std::string& input = "", const QVWCHAR* directory = nullptr,
              const QVWCHAR* const* environment = nullptr) {
  QVPROCESSSTREAMS streams = {QV_INVALID_HANDLE, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
  QVHANDLE child;
  ChildRun run{QVProcessCreate(kHelper.c_str(), arguments.c_str(), directory, environment, 0, &streams, &child), "", 0};
  if (run.result < 0) return run;
  uint32_t done = 0;
  if (!input.empty()) {
    EXPECT_EQ(QVFileWrite(streams.input, input.data(), uint32_t(input.size()), &done), 0);
  }
  EXPECT_EQ(QVFileClose(streams.input), 0);
  char buffer[4096];
  while (QVFileRead(streams.output, buffer, sizeof buffer, &done) >= 0 && done > 0) run.output.append(buffer, done);
  EXPECT_EQ(QVFileClose(streams.output), 0);
  EXPECT_EQ(QVFileClose(streams.error), 0);
  run.result = QVProcessJoin(child, &run.code);
  return run;
}

TEST(ProcessTest, EchoesInputThroughPipesAndSeesEndOfData) {
  ChildRun run = RunHelper(u"echo", "hello child\n");
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, "hello child\n");
  EXPECT_EQ(run.code, 0u);
}

TEST(ProcessTest, ExitCodesAndSignals) {
  struct Case {
    const char16_t* arguments;
    uint32_t code;
  } cases[] = {{u"exit 0", 0}, {u"exit 1", 1}, {u"exit 255", 255},
#if !defined(_WIN32)  // a signal's number: POSIX only
               {u"kill", 128 + 9}
#endif
  };
  for (const Case& c : cases) {
    ChildRun run = RunHelper(c.arguments);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.code, c.code) << std::string(c.arguments, c.arguments + 4);
  }
}

TEST(ProcessTest, ArgumentSplittingWithWindowsRules) {
  struct Case {
    const char16_t* text;
    const char* expected;
  } cases[] = {
      {u"a b\tc", "[a][b][c]"},
      {u"\"a b\" c", "[a b][c]"},
      {u"\"\" x \"\"", "[][x][]"},
      {u"a\\\\b", "[a\\\\b]"},          // backslashes not before a quote stay
      {u"a\\\"b", "[a\"b]"},            // odd: literal quote
      {u"\"a\\\\\" b", "[a\\][b]"},     // even: halved, the quote acts
      {u"\"a\"\"b\" c", "[a\"b][c]"},   // two quotes inside quotes
      {u"\"open quote rest", "[open quote rest]"},
  };
  for (const Case& c : cases) {
    ChildRun run = RunHelper(std::u16string(u"args ") + c.text);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, c.expected);
  }
}

TEST(ProcessTest, WorkingDirectoryAndEnvironmentReachTheChild) {
  qvtest::TempDir dir;
  std::u16string wdir = W(dir.path());
  ChildRun cwd = RunHelper(u"cwd", "", wdir.c_str());
#if defined(_WIN32)
  EXPECT_TRUE(std::filesystem::equivalent(cwd.output, dir.path())) << cwd.output;
#else
  char real[4096];
  ASSERT_NE(realpath(dir.path().c_str(), real), nullptr);
  EXPECT_EQ(cwd.output, real);
#endif

  const QVWCHAR* environment[] = {u"b=2", u"A=1", u"Q=x y", nullptr};
  ChildRun env = RunHelper(u"env", "", nullptr, environment);
#if defined(_WIN32)  // Wine adds its own variables after the given ones
  EXPECT_EQ(env.output.substr(0, 14), "A=1;b=2;Q=x y;") << env.output;
#else
  EXPECT_EQ(env.output, "A=1;b=2;Q=x y;");
#endif

  std::u16string block;
  ASSERT_TRUE(qv::process::BuildEnvironmentBlock(environment, block));
  EXPECT_EQ(block, std::u16string(u"A=1\0b=2\0Q=x y\0\0", 15));
}

TEST(ProcessTest, ChildSeesOnlyItsStreamsAndDefaultSignals) {
#if defined(_WIN32)
  // An inheritable handle of this process stays out of the child: with the
  // child running, the pipe's only writer is the one closed here.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE reader, writer;
  ASSERT_TRUE(CreatePipe(&reader, &writer, &inherit, 0));
  QVPROCESSSTREAMS streams = {QV_INVALID_HANDLE, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
  QVHANDLE child;
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"drain", nullptr, nullptr, 0, &streams, &child), 0);
  CloseHandle(writer);
  DWORD available = 0;
  EXPECT_FALSE(PeekNamedPipe(reader, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  CloseHandle(reader);
  for (QVFILE stream : {streams.input, streams.output, streams.error}) EXPECT_EQ(QVFileClose(stream), 0);
  uint32_t code = 0;
  EXPECT_EQ(QVProcessJoin(child, &code), 0);
  EXPECT_EQ(code, 3u);  // drained to the end
#else
  // Library descriptors of every kind stay out of the child; what the test
  // runner handed this process is made close-on-exec first.
  for (int fd = 3; fd < 1024; ++fd) {
    int flags = fcntl(fd, F_GETFD);
    if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
  qvtest::TempDir dir;
  std::u16string path = W(dir.File("f"));
  QVFILE file;
  ASSERT_EQ(QVFileOpen(path.c_str(), QV_FILE_READ | QV_FILE_WRITE | QV_FILE_CREATE, 0644, &file), QV_FILE_S_CREATED);
  ChildRun fds = RunHelper(u"fds");
  EXPECT_EQ(fds.output, "0 1 2 ");
  EXPECT_EQ(QVFileClose(file), 0);

  sigset_t block, saved;
  sigemptyset(&block);
  sigaddset(&block, SIGPIPE);
  sigaddset(&block, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &block, &saved);
  auto old = signal(SIGPIPE, SIG_IGN);
  ChildRun signals = RunHelper(u"signals");
  signal(SIGPIPE, old);
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  EXPECT_EQ(signals.output, "blocked=0 pipe_default=1");
#endif
}

TEST(ProcessTest, RelativeProgramIsFoundFromTheCallersDirectory) {
  std::string helper = QV_PROCESS_HELPER;
  size_t slash = helper.find_last_of("/\\");
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(helper.substr(0, slash).c_str()), 0);
  qvtest::TempDir dir;
  std::u16string relative = W("./" + helper.substr(slash + 1)), wdir = W(dir.path());
  QVHANDLE child;
  QVRESULT r = QVProcessCreate(relative.c_str(), u"exit 4", wdir.c_str(), nullptr, 0, nullptr, &child);
  ASSERT_EQ(chdir(saved), 0);
  ASSERT_EQ(r, 0);
  uint32_t code = 0;
  EXPECT_EQ(QVProcessJoin(child, &code), 0);
  EXPECT_EQ(code, 4u);
}

TEST(ProcessTest, GivenHandleBecomesTheStream) {
  qvtest::TempDir dir;
  std::u16string path = W(dir.File("out"));
  QVFILE file;
  ASSERT_GE(QVFileOpen(path.c_str(), QV_FILE_WRITE | QV_FILE_CREATE, 0644, &file), 0);
  QVPROCESSSTREAMS streams = {QV_INVALID_HANDLE, file, QV_INVALID_HANDLE};
  QVHANDLE child;
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"args given", nullptr, nullptr, 0, &streams, &child), 0);
  EXPECT_EQ(streams.output, file);
  QVFileClose(streams.input);
  QVFileClose(streams.error);
  uint32_t code = 1;
  EXPECT_EQ(QVProcessJoin(child, &code), 0);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(QVFileClose(file), 0);
  EXPECT_EQ(qvtest::ReadFile(dir.File("out")), "[given]");
}

TEST(ProcessTest, BadInputGetsClearResultsAndLeavesNothingOpen) {
  int before = OpenDescriptorCount();
  qvtest::TempDir dir;
  std::u16string missing = W(dir.File("none")), dirName = W(dir.path());
  const QVWCHAR* noEquals[] = {u"A=1", u"NOVALUE", nullptr};
  struct Case {
    const QVWCHAR* program;
    const QVWCHAR* directory;
    const QVWCHAR* const* environment;
    QVRESULT expected;
  } cases[] = {
      {missing.c_str(), nullptr, nullptr, QVRESULT(0x80070002)},
#if defined(_WIN32)
      {dirName.c_str(), nullptr, nullptr, QVRESULT(0x80070002)},  // "<folder>.exe" is started
#else
      {dirName.c_str(), nullptr, nullptr, QVRESULT(0x80070005)},
#endif
      {kHelper.c_str(), missing.c_str(), nullptr, QV_E_FAIL},  // the mapping of error 267
      {kHelper.c_str(), nullptr, noEquals, QV_E_INVALIDARG},
      {nullptr, nullptr, nullptr, QV_E_INVALIDARG},
  };
  for (const Case& c : cases) {
    QVPROCESSSTREAMS streams = {QV_INVALID_HANDLE, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
    QVHANDLE child = nullptr;
    EXPECT_EQ(QVProcessCreate(c.program, u"exit 0", c.directory, c.environment, 0, &streams, &child), c.expected);
    EXPECT_EQ(child, QV_INVALID_HANDLE);
    EXPECT_EQ(streams.input, QV_INVALID_HANDLE);
    EXPECT_EQ(streams.output, QV_INVALID_HANDLE);
    EXPECT_EQ(streams.error, QV_INVALID_HANDLE);
  }
  QVPROCESSSTREAMS badStream = {nullptr, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
  QVHANDLE child;
  EXPECT_EQ(QVProcessCreate(kHelper.c_str(), nullptr, nullptr, nullptr, 0, &badStream, &child), QV_E_HANDLE);
  EXPECT_EQ(badStream.output, QV_INVALID_HANDLE);
  EXPECT_EQ(QVProcessCreate(kHelper.c_str(), nullptr, nullptr, nullptr, 0, nullptr, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(OpenDescriptorCount(), before);

  // Handles that name no tracked child, the calling process's own included.
  uint32_t code;
  for (QVHANDLE h : {QVHANDLE(nullptr), QV_INVALID_HANDLE, QVProcessGetHandle()}) {
    EXPECT_EQ(QVProcessJoin(h, &code), QV_E_HANDLE);
    EXPECT_EQ(QVProcessGetExitCode(h, &code), QV_E_HANDLE);
    EXPECT_EQ(QVProcessDetach(h), QV_E_HANDLE);
  }
  EXPECT_EQ(QVProcessJoinChild(nullptr, &code), QV_E_INVALIDARG);
  EXPECT_EQ(QVProcessJoinChild(&child, &code), QV_E_FAIL);  // none tracked
  EXPECT_EQ(QVProcessGetName(nullptr), 0);
  EXPECT_EQ(QVProcessGetID(), uint32_t(getpid()));
}

TEST(ProcessTest, ExitCodeOfRunningChildThenReapedOnce) {
  QVPROCESSSTREAMS streams = {QV_INVALID_HANDLE, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
  QVHANDLE child;
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"drain", nullptr, nullptr, 0, &streams, &child), 0);
  uint32_t code = 77;
  EXPECT_EQ(QVProcessGetExitCode(child, &code), QV_E_FAIL);
  EXPECT_EQ(code, 77u);
  QVFileClose(streams.input);
  QVFileClose(streams.output);
  QVFileClose(streams.error);
  QVRESULT r = QV_E_FAIL;
  EXPECT_TRUE(qvtest::WaitUntil([&] { return (r = QVProcessGetExitCode(child, &code)) != QV_E_FAIL; }));
  EXPECT_EQ(r, 0);
  EXPECT_EQ(code, 3u);
  EXPECT_EQ(QVProcessGetExitCode(child, &code), QV_E_HANDLE);

  // Detached, the handle is closed; the child leaves no zombie once it ends.
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"exit 0", nullptr, nullptr, 0, nullptr, &child), 0);
  EXPECT_EQ(QVProcessDetach(child), 0);
  EXPECT_EQ(QVProcessJoin(child, &code), QV_E_HANDLE);
  EXPECT_EQ(QVProcessDetach(child), QV_E_HANDLE);
  EXPECT_TRUE(qvtest::WaitUntil([] { return ZombieCount() == 0; }));
}

// Children still running when they are let go: one detached, one tracked
// when the library ends. Neither stays a zombie once its input ends.
TEST(ProcessTest, ChildrenLetGoWhileRunningAreReapedWhenTheyEnd) {
  QVPROCESSSTREAMS detached = {QV_INVALID_HANDLE, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
  QVPROCESSSTREAMS tracked = detached;
  QVHANDLE first, second;
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"drain", nullptr, nullptr, 0, &detached, &first), 0);
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"drain", nullptr, nullptr, 0, &tracked, &second), 0);
  EXPECT_EQ(QVProcessDetach(first), 0);
  ASSERT_EQ(qv::core::LibraryEnd(), QV_S_OK);
  qv::core::LibraryStart();
  for (QVPROCESSSTREAMS* s : {&detached, &tracked}) {
    for (QVHANDLE h : {s->input, s->output, s->error}) EXPECT_EQ(QVFileClose(h), 0);
  }
  EXPECT_TRUE(qvtest::WaitUntil([] { return ZombieCount() == 0; }));
  uint32_t code;
  EXPECT_EQ(QVProcessJoin(second, &code), QV_E_HANDLE);  // let go with the old manager
}

TEST(ProcessTest, ForeignChildKeepsItsStatus) {
#if defined(_WIN32)
  // A child the library did not start: a wait for any child leaves it alone.
  wchar_t folder[MAX_PATH], command[] = L"cmd /c exit 42";
  std::wstring cmd = std::wstring(folder, GetSystemDirectoryW(folder, MAX_PATH)) + L"\\cmd.exe";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION foreign{};
  ASSERT_TRUE(CreateProcessW(cmd.c_str(), command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &foreign));
  CloseHandle(foreign.hThread);
  ASSERT_EQ(RunHelper(u"exit 0").result, 0);
  QVHANDLE child;
  uint32_t code;
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"exit 5", nullptr, nullptr, 0, nullptr, &child), 0);
  EXPECT_EQ(QVProcessJoinChild(&child, &code), 0);
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(QVProcessJoinChild(&child, &code), QV_E_FAIL);  // none of its own left
  DWORD status = 0;
  EXPECT_EQ(WaitForSingleObject(foreign.hProcess, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeProcess(foreign.hProcess, &status) && status == 42);
  CloseHandle(foreign.hProcess);
#else
  pid_t pid = fork();
  if (pid == 0) _exit(42);
  ASSERT_EQ(RunHelper(u"exit 0").result, 0);
  QVHANDLE child;
  uint32_t code;
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"exit 5", nullptr, nullptr, 0, nullptr, &child), 0);
  EXPECT_EQ(QVProcessJoinChild(&child, &code), 0);
  EXPECT_EQ(code, 5u);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(WEXITSTATUS(status), 42);
#endif
}

// A pipeline: the waiter for any child waits on a child that ends only once a
// second child, started by another thread while it waits, has run.
// Ends the test process when the test has not finished in time: a deadlock
// would otherwise hang the whole run.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : m_thread([this, limit] {
          std::unique_lock<std::mutex> lock(m_mutex);
          if (!m_cv.wait_for(lock, limit, [this] { return m_done; })) {
            std::fprintf(stderr, "deadlock: the test did not finish in time\n");
            std::_Exit(1);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_done = true;
    }
    m_cv.notify_one();
    m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_done = false;
  std::thread m_thread;
};

TEST(ProcessTest, WaitForAnyChildDoesNotBlockStartsPipeline) {
  Watchdog watchdog(std::chrono::seconds(30));
  QVPROCESSSTREAMS first = {QV_INVALID_HANDLE, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
  QVHANDLE drain;
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"drain", nullptr, nullptr, 0, &first, &drain), 0);
  QVFileClose(first.output);
  QVFileClose(first.error);
  QVHANDLE joined = nullptr;
  uint32_t joinedCode = 0;
#if defined(_WIN32)
  // No thread state to read: the second stage starts once the waiter is on
  // its way into the wait.
  std::atomic<bool> waiting{false};
  std::thread waiter([&] {
    waiting = true;
    EXPECT_EQ(QVProcessJoinChild(&joined, &joinedCode), 0);
  });
  EXPECT_TRUE(qvtest::WaitUntil([&] { return waiting.load(); }));
#else
  std::atomic<pid_t> waiterId{0};
  std::thread waiter([&] {
    waiterId = gettid();
    EXPECT_EQ(QVProcessJoinChild(&joined, &joinedCode), 0);
  });
  // The second stage starts only once the waiter sleeps in its wait.
  EXPECT_TRUE(qvtest::WaitUntil([&] {
    pid_t id = waiterId.load();
    std::string stat = id == 0 ? "" : qvtest::ReadFile("/proc/self/task/" + std::to_string(id) + "/stat");
    size_t close = stat.rfind(')');
    return close != std::string::npos && stat.compare(close + 1, 3, " S ") == 0;
  }));
#endif
  // The second stage gets the first's input as its output and ends at once,
  // which closes the last writer: the first stage then ends.
  QVPROCESSSTREAMS second = {QV_INVALID_HANDLE, first.input, QV_INVALID_HANDLE};
  QVHANDLE echo;
  ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"echo", nullptr, nullptr, 0, &second, &echo), 0);
  QVFileClose(first.input);
  QVFileClose(second.input);
  QVFileClose(second.error);
  uint32_t code = 9;
  waiter.join();
  QVHANDLE other = joined == drain ? echo : drain;
  EXPECT_TRUE(joined == drain || joined == echo);
  EXPECT_EQ(QVProcessJoin(other, &code), 0);
  EXPECT_EQ(joinedCode + code, 3u);  // drain 3, echo 0
}

TEST(ProcessTest, StressManyThreadsLeaveNoZombieOrDescriptor) {
  int before = OpenDescriptorCount();
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t] {
      std::mt19937 random(t);
      for (int i = 0; i < 50; ++i) {
        QVHANDLE child;
        ASSERT_EQ(QVProcessCreate(kHelper.c_str(), u"exit 7", nullptr, nullptr, 0, nullptr, &child), 0);
        uint32_t code = 0;
        switch (random() % 4) {
          case 0: {
            QVRESULT r = QVProcessJoin(child, &code);  // a waiter for any child may have taken it
            EXPECT_TRUE(r == 0 || r == QV_E_HANDLE);
            break;
          }
          case 1: {
            QVHANDLE any;
            // Some child of the test, maybe another thread's; none when the
            // others have taken ours already.
            QVRESULT r = QVProcessJoinChild(&any, &code);
            EXPECT_TRUE(r == 0 || r == QV_E_FAIL);
            r = QVProcessJoin(child, &code);
            EXPECT_TRUE(r == 0 || r == QV_E_HANDLE);
            break;
          }
          case 2: {
            QVRESULT r;
            while ((r = QVProcessGetExitCode(child, &code)) == QV_E_FAIL) std::this_thread::yield();
            EXPECT_TRUE(r == 0 || r == QV_E_HANDLE);
            break;
          }
          default: {
            QVRESULT r = QVProcessDetach(child);
            EXPECT_TRUE(r == 0 || r == QV_E_HANDLE);
          }
        }
        if (code != 0) {
          EXPECT_EQ(code, 7u);
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  // Children a waiter for any child claimed from another thread are all reaped.
  QVHANDLE any;
  uint32_t code;
  while (QVProcessJoinChild(&any, &code) == 0) {
  }
  EXPECT_TRUE(qvtest::WaitUntil([] { return ZombieCount() == 0; }));
  EXPECT_TRUE(qvtest::WaitUntil([&] { return OpenDescriptorCount() == before; }));
}

}  // namespace
