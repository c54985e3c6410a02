// The second process of the cross-process tests: one command per input line, answered with one line
// "<result in hex> [data]".
#include <qvcore5/qvcore.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

int main() {
  QVSEMAPHORE sem = nullptr;
  QVHANDLE section = QV_INVALID_HANDLE;
  char* view = nullptr;
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream in(line);
    std::string command, name, data;
    uint32_t number = 0, size = 0;
    QVRESULT r = QV_S_OK;
    in >> command;
    if (command == "sem") {  // sem NAME COUNT
      in >> name >> number;
      r = QVNamedSemOpen(name.c_str(), static_cast<int32_t>(number), &sem);
    } else if (command == "post") {
      r = QVNamedSemPost(sem);
    } else if (command == "wait") {
      r = QVNamedSemWait(sem);
    } else if (command == "trywait") {
      r = QVNamedSemTryWait(sem);
    } else if (command == "semclose") {
      r = QVNamedSemClose(sem), sem = nullptr;
    } else if (command == "shm") {  // shm NAME FLAGS SIZE
      in >> name >> std::hex >> number >> std::dec >> size;
      r = QVSharedMemOpen(name.c_str(), number, 0, size, &section);
    } else if (command == "attach") {  // attach ACCESS
      in >> std::hex >> number;
      void* v = nullptr;
      if ((r = QVSharedMemAttach(section, number, &v)) >= 0) view = static_cast<char*>(v);
    } else if (command == "write") {  // write OFFSET TEXT
      in >> size >> data;
      std::memcpy(view + size, data.c_str(), data.size() + 1), data.clear();
    } else if (command == "read") {  // read OFFSET
      in >> size;
      data = view + size;
    } else if (command == "shmclose") {
      r = view != nullptr ? QVSharedMemDetach(view) : QV_S_OK;
      r = r >= 0 ? QVSharedMemClose(section) : r, view = nullptr;
    } else if (command != "exit") {
      r = QV_E_INVALIDARG;
    }
    std::printf("%08" PRIX32 "%s%s\n", static_cast<uint32_t>(r), data.empty() ? "" : " ", data.c_str());
    std::fflush(stdout);
    if (command == "exit") break;
  }
  return 0;
}
