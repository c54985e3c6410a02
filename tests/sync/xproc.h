// Drives the cross-process helper program: every exchange is one command line
// and one answer line, so the two processes stay in step without sleeping.
#pragma once
#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace qvtest {

// The answer code of a helper line as a result code.
inline QVRESULT Code(const std::string& answer) {
  return static_cast<QVRESULT>(std::strtoul(answer.substr(0, 8).c_str(), nullptr, 16));
}

#if defined(_WIN32)
class HelperProcess {
 public:
  HelperProcess() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &m_in, &inherit, 0) || !CreatePipe(&m_out, &childOut, &inherit, 0))
      throw std::runtime_error("helper pipes");
    // Only the child's ends are inherited.
    SetHandleInformation(m_in, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_out, HANDLE_FLAG_INHERIT, 0);
    // The child inherits its two pipe ends and nothing else: the inheritable
    // handles of named objects this process holds must not follow it.
    HANDLE inherited[2] = {childIn, childOut};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string attributes(size, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size) ||
        !UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited, nullptr,
                                   nullptr))
      throw std::runtime_error("helper handle list");
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = childIn;
    startup.StartupInfo.hStdOutput = childOut;
    startup.StartupInfo.hStdError = childOut;
    startup.lpAttributeList = list;
    std::string command = std::string("\"") + QV_XPROC_HELPER + "\"";
    PROCESS_INFORMATION info{};
    BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT,
                                  nullptr, nullptr, &startup.StartupInfo, &info);
    DeleteProcThreadAttributeList(list);
    CloseHandle(childIn), CloseHandle(childOut);
    if (!started) throw std::runtime_error("helper start");
    CloseHandle(info.hThread);
    m_process = info.hProcess;
  }
  ~HelperProcess() {
    if (m_process != nullptr) Send("exit"), Reap();
    CloseHandle(m_in), CloseHandle(m_out);
  }
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  std::string Send(const std::string& command) { return Write(command), ReadLine(); }
  QVRESULT Run(const std::string& command) { return Code(Send(command)); }
  void Write(const std::string& command) {
    std::string line = command + "\n";
    DWORD written = 0;
    if (!::WriteFile(m_in, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) || written != line.size())
      throw std::runtime_error("write");
  }
  // The answer line; "timeout" when none comes within 20 seconds. Anonymous
  // pipes have no timed read, so the pipe is looked at until bytes arrive.
  std::string ReadLine() {
    std::string line;
    const ULONGLONG deadline = GetTickCount64() + 20000;
    for (char c;;) {
      DWORD available = 0;
      while (PeekNamedPipe(m_out, nullptr, 0, nullptr, &available, nullptr) && available == 0) {
        if (GetTickCount64() >= deadline) return "timeout";
        SwitchToThread();
      }
      DWORD got = 0;
      if (!::ReadFile(m_out, &c, 1, &got, nullptr) || got != 1) return line.empty() ? "eof" : line;
      if (c == '\r') continue;
      if (c == '\n') return line;
      line += c;
    }
  }
  void Kill() { TerminateProcess(m_process, 9), Reap(); }

 private:
  void Reap() {
    WaitForSingleObject(m_process, INFINITE);
    CloseHandle(m_process);
    m_process = nullptr;
  }
  HANDLE m_process = nullptr;
  HANDLE m_in = nullptr, m_out = nullptr;
};

// Whether the named semaphore or section of that name exists on the machine.
inline bool ObjectExists(const std::string& name) {
  std::wstring wide(name.begin(), name.end());
  if (HANDLE h = OpenSemaphoreW(SYNCHRONIZE, FALSE, (L"SEM:" + wide).c_str())) return CloseHandle(h), true;
  if (HANDLE h = OpenFileMappingW(FILE_MAP_READ, FALSE, (L"SHM:" + wide).c_str())) return CloseHandle(h), true;
  return false;
}
#else
class HelperProcess {
 public:
  HelperProcess() {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || (m_pid = fork()) < 0)
      throw std::runtime_error("helper start");
    if (m_pid == 0) {
      dup2(in[0], 0), dup2(out[1], 1);
      execl(QV_XPROC_HELPER, QV_XPROC_HELPER, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]), close(out[1]);
    m_in = in[1], m_out = out[0];
  }
  ~HelperProcess() {
    if (m_pid > 0) Send("exit"), Reap();
    close(m_in), close(m_out);
  }
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  // The answer line; "timeout" when none comes within 20 seconds.
  std::string Send(const std::string& command) { return Write(command), ReadLine(); }
  QVRESULT Run(const std::string& command) { return Code(Send(command)); }
  void Write(const std::string& command) {
    std::string line = command + "\n";
    if (write(m_in, line.data(), line.size()) != static_cast<ssize_t>(line.size())) throw std::runtime_error("write");
  }
  std::string ReadLine() {
    std::string line;
    for (char c;;) {
      pollfd p{m_out, POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0) return "timeout";
      if (read(m_out, &c, 1) != 1) return line.empty() ? "eof" : line;
      if (c == '\n') return line;
      line += c;
    }
  }
  void Kill() { kill(m_pid, SIGKILL), Reap(); }

 private:
  void Reap() { waitpid(m_pid, nullptr, 0), m_pid = -1; }
  pid_t m_pid = -1;
  int m_in = -1, m_out = -1;
};

// Whether a named object whose name contains `fragment` exists on the machine.
inline bool ObjectExists(const std::string& fragment) {
  DIR* dir = opendir("/dev/shm");
  bool found = false;
  while (dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
    // UniqueName's counter ends the fragment: "x-1" must not match "x-12".
    std::string name = entry->d_name;
    for (size_t at = name.find(fragment); at != std::string::npos; at = name.find(fragment, at + 1)) {
      size_t end = at + fragment.size();
      found |= end == name.size() || name[end] < '0' || name[end] > '9';
    }
  }
  if (dir != nullptr) closedir(dir);
  return found;
}

#endif

}  // namespace qvtest
