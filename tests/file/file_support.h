// Helpers of the file tests.
#pragma once
#include <string>
#include <vector>

#include "qvcore5/qv_file.h"

namespace filetest {

// UTF-8 text (the tests' paths) as 16-bit units.
std::u16string W(const std::string& utf8);
inline const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

// Every entry name of a directory listing, in the order listed.
std::vector<std::u16string> ListNames(const std::string& dir);

}  // namespace filetest
