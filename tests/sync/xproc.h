// Drives the cross-process helper program: every exchange is one command line
// and one answer line, so the two processes stay in step without sleeping.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace qvtest {

// The answer code of a helper line as a result code.
inline QVRESULT Code(const std::string& answer) {
  return static_cast<QVRESULT>(std::strtoul(answer.substr(0, 8).c_str(), nullptr, 16));
}

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

}  // namespace qvtest
