// Demo section: a child process with pipes for its input and output. The
// child is the demo itself, started again in its child mode.
#include <qvcore5/qvcore.h>
#include <unistd.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "demo.h"

namespace demo {

int ChildMain() {
  char buffer[256];
  ssize_t n;
  while ((n = read(0, buffer, sizeof buffer)) > 0) {
    for (ssize_t i = 0; i < n; ++i) buffer[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(buffer[i])));
    if (write(1, buffer, static_cast<size_t>(n)) != n) return 2;
  }
  return 7;
}

void ProcessSection() {
  Say("\nProcesses: a child with pipes for its input and output.");
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    Check(false, "found the demo's own program to run as the child");
    return;
  }
  std::u16string program(self, self + length);
  std::string mode = kChildMode;
  std::u16string arguments(mode.begin(), mode.end());
  QVPROCESSSTREAMS streams = {QV_INVALID_HANDLE, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
  QVHANDLE child;
  QVRESULT r = QVProcessCreate(program.c_str(), arguments.c_str(), nullptr, nullptr, 0, &streams, &child);
  Check(r == 0, "started the child with three pipes");
  if (r < 0) return;
  const char message[] = "hello from the parent";
  uint32_t done = 0;
  Check(QVFileWrite(streams.input, message, sizeof message - 1, &done) == 0, "wrote a line to the child's input");
  QVFileClose(streams.input);  // the child sees the end of its input
  std::string answer;
  char buffer[256];
  while (QVFileRead(streams.output, buffer, sizeof buffer, &done) == 0 && done > 0) answer.append(buffer, done);
  QVFileClose(streams.output);
  QVFileClose(streams.error);
  std::printf("  the child answered: \"%s\"\n", answer.c_str());
  Check(answer == "HELLO FROM THE PARENT", "read the child's answer until its output ended");
  uint32_t code = 0;
  r = QVProcessJoin(child, &code);
  std::printf("  the child's exit code: %" PRIu32 "\n", code);
  Check(r == 0 && code == 7, "joined the child and read its exit code");
}

}  // namespace demo
