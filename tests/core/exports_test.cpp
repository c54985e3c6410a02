// The shared library exports the QV names of the public header and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> HeaderNames() {
  std::set<std::string> names;
  // Functions: QV_API <type> Name(   Variables: QV_API extern-free declarations ending in ';'
  std::regex function(R"(QV_API[^;(]*?\b(QV\w+)\s*\()");
  std::regex variable(R"(QV_API[^;(]*?\b(QV\w+)\s*(\[\s*\])?\s*;)");
  for (const auto& entry : std::filesystem::directory_iterator(QV_SOURCE_DIR "/include/qvcore5")) {
    std::ifstream in(entry.path());
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    for (const auto* re : {&function, &variable})
      for (std::sregex_iterator it(text.begin(), text.end(), *re), end; it != end; ++it) names.insert((*it)[1]);
  }
  return names;
}

std::set<std::string> ExportedNames() {
  std::set<std::string> names;
  std::string command = std::string("nm -D --defined-only ") + QV_LIBRARY_FILE;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    std::istringstream fields(line);
    std::string address, type, name;
    fields >> address >> type >> name;
    if (name.empty()) continue;
    names.insert(name);
  }
  pclose(pipe);
  return names;
}

}  // namespace

TEST(Exports, MatchTheHeaderExactly) {
  std::set<std::string> header = HeaderNames();
  std::set<std::string> exported = ExportedNames();
  ASSERT_FALSE(header.empty());
  ASSERT_FALSE(exported.empty()) << "could not list the symbols of " << QV_LIBRARY_FILE;
  for (const auto& name : header) EXPECT_TRUE(exported.count(name)) << name << " is declared but not exported";
  for (const auto& name : exported) EXPECT_TRUE(header.count(name)) << name << " is exported but not declared";
}
