// A second process for the cross-process tests: it reads one command per line
// on standard input, runs it through the library and answers one line
// "<result in hex> [data]" on standard output.
#include <qvcore5/qvcore.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace {

QVSEMAPHORE g_semaphore = nullptr;
QVHANDLE g_section = QV_INVALID_HANDLE;
char* g_view = nullptr;

void Reply(QVRESULT r, const std::string& data = "") {
  std::printf("%08" PRIX32 "%s%s\n", static_cast<uint32_t>(r), data.empty() ? "" : " ", data.c_str());
  std::fflush(stdout);
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "sem") {  // sem NAME COUNT
      std::string name;
      int32_t count = 0;
      in >> name >> count;
      Reply(QVNamedSemOpen(name.c_str(), count, &g_semaphore));
    } else if (command == "post") {
      Reply(QVNamedSemPost(g_semaphore));
    } else if (command == "wait") {
      Reply(QVNamedSemWait(g_semaphore));
    } else if (command == "trywait") {
      Reply(QVNamedSemTryWait(g_semaphore));
    } else if (command == "semclose") {
      Reply(QVNamedSemClose(g_semaphore));
      g_semaphore = nullptr;
    } else if (command == "shm") {  // shm NAME FLAGS SIZE
      std::string name;
      uint32_t flags = 0, size = 0;
      in >> name >> std::hex >> flags >> std::dec >> size;
      Reply(QVSharedMemOpen(name.c_str(), flags, 0, size, &g_section));
    } else if (command == "attach") {  // attach ACCESS
      uint32_t access = 0;
      in >> std::hex >> access;
      void* view = nullptr;
      QVRESULT r = QVSharedMemAttach(g_section, access, &view);
      if (r >= 0) g_view = static_cast<char*>(view);
      Reply(r);
    } else if (command == "write") {  // write OFFSET TEXT
      size_t offset = 0;
      std::string text;
      in >> offset >> text;
      std::memcpy(g_view + offset, text.c_str(), text.size() + 1);
      Reply(QV_S_OK);
    } else if (command == "read") {  // read OFFSET
      size_t offset = 0;
      in >> offset;
      Reply(QV_S_OK, std::string(g_view + offset));
    } else if (command == "shmclose") {
      QVRESULT r = g_view != nullptr ? QVSharedMemDetach(g_view) : QV_S_OK;
      g_view = nullptr;
      if (r >= 0) r = QVSharedMemClose(g_section);
      Reply(r);
    } else if (command == "exit") {
      Reply(QV_S_OK);
      return 0;
    } else {
      Reply(QV_E_INVALIDARG, "unknown command");
    }
  }
  return 0;
}
