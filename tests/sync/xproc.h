// Drives the cross-process helper program: every exchange is one command line
// and one answer line, so the two processes stay in step without sleeping.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <dirent.h>
#include <stdexcept>
#include <string>

namespace qvtest {

class HelperProcess {
 public:
  HelperProcess() {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    m_pid = fork();
    if (m_pid < 0) throw std::runtime_error("fork");
    if (m_pid == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      execl(QV_XPROC_HELPER, QV_XPROC_HELPER, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_in = toChild[1];
    m_out = fromChild[0];
  }

  ~HelperProcess() {
    if (m_pid > 0) {
      Send("exit");
      Reap();
    }
    close(m_in);
    close(m_out);
  }

  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  // Sends a command and returns the answer line (without the newline);
  // "timeout" when the helper does not answer within 20 seconds.
  std::string Send(const std::string& command) {
    Write(command);
    return ReadLine();
  }
  void Write(const std::string& command) {
    std::string line = command + "\n";
    if (write(m_in, line.data(), line.size()) != static_cast<ssize_t>(line.size())) throw std::runtime_error("write");
  }
  std::string ReadLine() {
    std::string line;
    for (;;) {
      pollfd p{m_out, POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0) return "timeout";
      char c;
      if (read(m_out, &c, 1) != 1) return line.empty() ? "eof" : line;
      if (c == '\n') return line;
      line += c;
    }
  }

  void Kill() {
    kill(m_pid, SIGKILL);
    Reap();
  }

 private:
  void Reap() {
    int status;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
  }

  pid_t m_pid = -1;
  int m_in = -1;
  int m_out = -1;
};

// The answer code of a helper line as a result code.
inline QVRESULT Code(const std::string& answer) {
  return static_cast<QVRESULT>(std::strtoul(answer.substr(0, 8).c_str(), nullptr, 16));
}

// Whether a named object whose name contains `fragment` exists on the machine.
inline bool ObjectExists(const std::string& fragment) {
  DIR* dir = opendir("/dev/shm");
  if (dir == nullptr) return false;
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    // UniqueName's counter ends the fragment: "x-1" must not match "x-12".
    std::string name = entry->d_name;
    for (size_t at = name.find(fragment); at != std::string::npos; at = name.find(fragment, at + 1)) {
      size_t end = at + fragment.size();
      if (end == name.size() || name[end] < '0' || name[end] > '9') found = true;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace qvtest
