// Runs a tool as a child process with its own registry store and folder.
#pragma once
#include <string>
#include <vector>

namespace qvtest {

struct ToolRun {
  int status = -1;
  std::string out, err;
};

// `dir` is the child's current folder and holds its registry store (QV_REGISTRY_DIR).
ToolRun RunTool(const std::string& program, const std::vector<std::string>& args, const std::string& dir);

// UTF-16LE with a byte-order mark, every "\n" of `utf8` written as CR LF.
std::string Utf16LeCrLf(const std::string& utf8);
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace qvtest
