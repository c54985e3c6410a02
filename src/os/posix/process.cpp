// Children on POSIX: posix_spawn (an exec failure comes back to the caller
// at once) and a pidfd per child. The exit state is read with WNOWAIT, so the
// child stays a zombie, and its status readable, until its handle goes; a
// child still running then is reaped by a small thread of its own that waits
// for just that child. Nothing waits for "any child" of the process, so
// children that other code started keep their status for that code.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "os/os_error.h"
#include "os/os_file.h"
#include "os/os_handle.h"
#include "os/os_process.h"
#include "os/posix/codeset.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_descriptor.h"
#include "os/posix/file_name.h"

extern char** environ;

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

namespace qv::os {

namespace {

bool Fail(int err) noexcept {
  StoreLastErrorFromErrno(err);
  return false;
}

int OpenPidDescriptor(pid_t pid) noexcept { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }
int SignalPidDescriptor(int pidfd, int signal) noexcept {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

// Reaps the child of pidfd once it ends, then closes pidfd. Blocking.
void ReapAndClose(int pidfd) noexcept {
  siginfo_t info = {};
  while (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info, WEXITED) < 0 && errno == EINTR) {
  }
  ::close(pidfd);
}

// Children given up while running whose reaper thread could not start; swept
// at every start. Never freed: a late thread may still reach it at exit.
std::mutex& LeftoverMutex() {
  static auto* m = new std::mutex;
  return *m;
}
std::vector<int>& Leftovers() {
  static auto* v = new std::vector<int>;
  return *v;
}

void SweepLeftovers() noexcept {
  std::lock_guard<std::mutex> guard(LeftoverMutex());
  auto& list = Leftovers();
  for (size_t i = 0; i < list.size();) {
    siginfo_t info = {};
    int rc = ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(list[i]), &info, WEXITED | WNOHANG);
    if (rc == 0 && info.si_pid == 0) {
      ++i;
      continue;
    }
    ::close(list[i]);
    list[i] = list.back();
    list.pop_back();
  }
}

void* ReaperEntry(void* argument) noexcept {
  ReapAndClose(static_cast<int>(reinterpret_cast<intptr_t>(argument)));
  return nullptr;
}

// Hands a running child to a thread that reaps it when it ends.
void ReapLater(int pidfd) noexcept {
  pthread_attr_t attr;
  pthread_t thread;
  bool started = false;
  if (pthread_attr_init(&attr) == 0) {
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, 64 * 1024);
    // The reaper must not take the signals the caller's threads expect.
    sigset_t all, saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    started = pthread_create(&thread, &attr, &ReaperEntry, reinterpret_cast<void*>(static_cast<intptr_t>(pidfd))) == 0;
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    pthread_attr_destroy(&attr);
  }
  if (started) return;
  try {
    std::lock_guard<std::mutex> guard(LeftoverMutex());
    Leftovers().push_back(pidfd);
  } catch (...) {
    ::close(pidfd);  // the zombie then stays until the process ends
  }
}

class ChildObject final : public LibraryObject {
 public:
  ChildObject(pid_t pid, int pidfd) noexcept : m_pid(pid), m_pidfd(pidfd) {}
  ~ChildObject() override {
    bool ended = false;
    uint32_t code = 0;
    if (ReadState(&ended, &code) && ended) ReapAndClose(m_pidfd);
    else ReapLater(m_pidfd);
  }

  bool ReadState(bool* ended, uint32_t* code) noexcept {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_ended) {
      siginfo_t info = {};
      int rc;
      do {
        rc = ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(m_pidfd), &info, WEXITED | WNOHANG | WNOWAIT);
      } while (rc < 0 && errno == EINTR);
      if (rc < 0) return Fail(errno);
      if (info.si_pid != 0) {
        m_ended = true;
        m_code = info.si_code == CLD_EXITED ? static_cast<uint32_t>(info.si_status)
                                            : 128u + static_cast<uint32_t>(info.si_status);
      }
    }
    *ended = m_ended;
    *code = m_code;
    return true;
  }

  const pid_t m_pid;
  const int m_pidfd;

 private:
  std::mutex m_mutex;
  bool m_ended = false;
  uint32_t m_code = 0;
};

class WakeObject {
 public:
  explicit WakeObject(int fd) noexcept : m_fd(fd) {}
  ~WakeObject() { ::close(m_fd); }
  const int m_fd;
};

LibraryObjectRef<ChildObject> ChildRef(void* process) noexcept { return ReferenceAs<ChildObject>(process); }

// The narrow strings of a zero-separated block, and the pointer vector over them.
bool NarrowList(const std::vector<std::u16string>& wide, std::vector<std::string>& narrow,
                std::vector<char*>& pointers) {
  narrow.resize(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    if (!posix::Utf16ToNarrowExact(wide[i], narrow[i])) return false;
  }
  for (std::string& s : narrow) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return true;
}

struct SpawnParts {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  bool haveActions = false, haveAttr = false;
  int copies[3] = {-1, -1, -1};
  ~SpawnParts() {
    if (haveActions) posix_spawn_file_actions_destroy(&actions);
    if (haveAttr) posix_spawnattr_destroy(&attr);
    for (int fd : copies)
      if (fd >= 0) ::close(fd);
  }
};

void* StartChecked(const ChildStartRequest& request) {
  if (request.program.empty()) {
    StoreLastError(kErrorFileNotFound);
    return nullptr;
  }
  std::string program;
  if (!NativePath(request.program, program)) return nullptr;
  if (program[0] != '/') {
    // Resolved here: the child changes directory before it runs the program.
    std::string cwd(PATH_MAX, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) return Fail(errno), nullptr;
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
    program = cwd + (cwd.back() == '/' ? "" : "/") + program;
  }
  std::string directory;
  if (request.directory != nullptr) {
    if (!NativePath(request.directory, directory)) return nullptr;
    struct stat st;
    if (directory.empty() || ::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      StoreLastError(kErrorNotADirectory);
      return nullptr;
    }
  }
  std::vector<std::string> argStrings, envStrings;
  std::vector<char*> argv, envp;
  if (!NarrowList(request.arguments, argStrings, argv)) return nullptr;
  if (request.environmentBlock != nullptr) {
    std::vector<std::u16string> entries;
    const std::u16string& block = *request.environmentBlock;
    for (size_t at = 0; at < block.size() && block[at] != 0;) {
      size_t end = block.find(u'\0', at);
      if (end == std::u16string::npos) end = block.size();
      entries.emplace_back(block.substr(at, end - at));
      at = end + 1;
    }
    if (!NarrowList(entries, envStrings, envp)) return nullptr;
  }

  SpawnParts parts;
  int err = posix_spawn_file_actions_init(&parts.actions);
  if (err != 0) return Fail(err), nullptr;
  parts.haveActions = true;
  err = posix_spawnattr_init(&parts.attr);
  if (err != 0) return Fail(err), nullptr;
  parts.haveAttr = true;
  for (int i = 0; i < 3; ++i) {
    if (request.streams[i] == nullptr) continue;
    parts.copies[i] = posix::CopyDescriptor(request.streams[i]);
    if (parts.copies[i] < 0) return nullptr;
    // dup2 in the child clears close-on-exec on the stream only.
    err = posix_spawn_file_actions_adddup2(&parts.actions, parts.copies[i], i);
    if (err != 0) return Fail(err), nullptr;
  }
  if (request.directory != nullptr) {
    err = posix_spawn_file_actions_addchdir_np(&parts.actions, directory.c_str());
    if (err != 0) return Fail(err), nullptr;
  }
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&parts.attr, &none);
  posix_spawnattr_setsigdefault(&parts.attr, &all);
  posix_spawnattr_setflags(&parts.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  SweepLeftovers();
  pid_t pid = 0;
  err = posix_spawn(&pid, program.c_str(), &parts.actions, &parts.attr, argv.data(),
                    request.environmentBlock != nullptr ? envp.data() : environ);
  if (err != 0) {
    if (err == ENOENT && request.directory != nullptr && ::access(program.c_str(), F_OK) == 0) err = ENOTDIR;
    if (err == ENOTDIR && request.directory != nullptr) {
      StoreLastError(kErrorNotADirectory);  // removed since the check above
      return nullptr;
    }
    return Fail(err), nullptr;
  }
  int pidfd = OpenPidDescriptor(pid);
  if (pidfd < 0) {
    // Never leave a started child untracked.
    int saved = errno;
    ::kill(pid, SIGKILL);
    siginfo_t info;
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED) < 0 && errno == EINTR) {
    }
    return Fail(saved), nullptr;
  }
  auto* child = new (std::nothrow) ChildObject(pid, pidfd);
  if (child == nullptr) {
    SignalPidDescriptor(pidfd, SIGKILL);
    ReapAndClose(pidfd);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  child->AddRef();
  void* handle = InsertHandle(child);
  if (handle == nullptr) {
    SignalPidDescriptor(pidfd, SIGKILL);
    child->Release();
    StoreLastError(kErrorOutOfMemory);
  } else {
    child->Release();
  }
  return handle;
}

}  // namespace

void* ChildStart(const ChildStartRequest& request) noexcept {
  try {
    return StartChecked(request);
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
}

void ChildAbandon(void* process) noexcept {
  if (LibraryObjectRef<ChildObject> child = ChildRef(process)) SignalPidDescriptor(child->m_pidfd, SIGKILL);
  HandleClose(process);
}

bool ChildExitState(void* process, bool* ended, uint32_t* code) noexcept {
  LibraryObjectRef<ChildObject> child = ChildRef(process);
  if (!child) return false;
  return child->ReadState(ended, code);
}

bool ChildAwaitEnd(void* process) noexcept {
  LibraryObjectRef<ChildObject> child = ChildRef(process);
  if (!child) return false;
  struct pollfd p = {child->m_pidfd, POLLIN, 0};
  for (;;) {
    int rc = ::poll(&p, 1, -1);
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) return Fail(errno);
  }
}

bool ChildHandleClose(void* process) noexcept {
  if (!ChildRef(process)) return false;
  return HandleClose(process);
}

void* WakeSignalMake() noexcept {
  int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return Fail(errno), nullptr;
  auto* wake = new (std::nothrow) WakeObject(fd);
  if (wake == nullptr) {
    ::close(fd);
    StoreLastError(kErrorOutOfMemory);
  }
  return wake;
}

void WakeSignalRaise(void* wake) noexcept {
  uint64_t one = 1;
  while (::write(static_cast<WakeObject*>(wake)->m_fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void WakeSignalDispose(void* wake) noexcept { delete static_cast<WakeObject*>(wake); }

bool ChildAwaitAny(const std::vector<void*>& children, void* wake, size_t* index) noexcept {
  try {
    std::vector<LibraryObjectRef<ChildObject>> refs;
    std::vector<struct pollfd> fds;
    refs.reserve(children.size());
    fds.reserve(children.size() + 1);
    for (size_t i = 0; i < children.size(); ++i) {
      refs.push_back(ChildRef(children[i]));
      if (!refs.back()) {
        *index = i;  // closed meanwhile
        return true;
      }
      fds.push_back({refs.back()->m_pidfd, POLLIN, 0});
    }
    int wakeFd = static_cast<WakeObject*>(wake)->m_fd;
    fds.push_back({wakeFd, POLLIN, 0});
    for (;;) {
      int rc = ::poll(fds.data(), fds.size(), -1);
      if (rc < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      for (size_t i = 0; i < children.size(); ++i) {
        if (fds[i].revents != 0) {
          *index = i;
          return true;
        }
      }
      uint64_t count;
      while (::read(wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
      }
      *index = children.size();
      return true;
    }
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
}

bool PipeMake(void** readEnd, void** writeEnd) noexcept {
  *readEnd = *writeEnd = nullptr;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return Fail(errno);
  // A larger buffer lets a child write ahead of a reader that takes big
  // blocks (the 64 KiB default costs a wake-up per block); best effort.
  ::fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
  *readEnd = posix::PublishDescriptor(fds[0], kFileAccessRead);
  if (*readEnd == nullptr) {
    ::close(fds[1]);
    return false;
  }
  *writeEnd = posix::PublishDescriptor(fds[1], kFileAccessWrite);
  if (*writeEnd == nullptr) {
    uint32_t error = LastError();
    HandleClose(*readEnd);
    *readEnd = nullptr;
    StoreLastError(error);
    return false;
  }
  return true;
}

uint32_t OwnProcessIdentifier() noexcept { return static_cast<uint32_t>(::getpid()); }

}  // namespace qv::os
