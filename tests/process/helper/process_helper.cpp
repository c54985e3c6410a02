// The child of the process tests: one mode per first argument, answers on
// standard output. The Windows build has the portable modes only.
#if defined(_WIN32)
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#define read _read
#define write _write
#define getcwd _getcwd
#define environ _environ
#else
#include <dirent.h>
#include <signal.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
#if defined(_WIN32)
  // The streams carry bytes, as on POSIX.
  _setmode(0, _O_BINARY), _setmode(1, _O_BINARY);
#endif
  if (mode == "echo" || mode == "drain") {
    char buffer[65536];
    ssize_t n;
    while ((n = read(0, buffer, sizeof buffer)) > 0) {
      if (mode == "echo" && write(1, buffer, static_cast<size_t>(n)) != n) return 2;
    }
    return mode == "echo" ? 0 : 3;
  }
  if (mode == "exit") return std::atoi(argv[2]);
#if !defined(_WIN32)
  if (mode == "kill") raise(SIGKILL);
#endif
  if (mode == "args") {
    for (int i = 2; i < argc; ++i) std::printf("[%s]", argv[i]);
  } else if (mode == "cwd") {
    char buffer[4096];
    std::printf("%s", getcwd(buffer, sizeof buffer));
  } else if (mode == "env") {
#if !defined(_WIN32)
    extern char** environ;
#endif
    for (char** e = environ; *e != nullptr; ++e) std::printf("%s;", *e);
#if !defined(_WIN32)
  } else if (mode == "fds") {
    // Descriptors open in this process, the listing's own left out.
    DIR* dir = opendir("/proc/self/fd");
    int own = dirfd(dir);
    for (dirent* e; (e = readdir(dir)) != nullptr;) {
      if (e->d_name[0] != '.' && std::atoi(e->d_name) != own) std::printf("%s ", e->d_name);
    }
    closedir(dir);
  } else if (mode == "signals") {
    sigset_t mask;
    sigprocmask(SIG_SETMASK, nullptr, &mask);
    struct sigaction action;
    sigaction(SIGPIPE, nullptr, &action);
    std::printf("blocked=%d pipe_default=%d", sigismember(&mask, SIGPIPE) + sigismember(&mask, SIGUSR1),
                action.sa_handler == SIG_DFL ? 1 : 0);
#endif
  } else if (mode == "bigout") {
    // argv[2] MiB of output.
    static char chunk[1 << 20];
    std::memset(chunk, 'x', sizeof chunk);
    for (long i = 0, n = std::atol(argv[2]); i < n; ++i) {
      for (size_t put = 0; put < sizeof chunk;) {
        ssize_t w = write(1, chunk + put, sizeof chunk - put);
        if (w <= 0) return 2;
        put += static_cast<size_t>(w);
      }
    }
  }
  return 0;
}
