// Switches the C runtime to a single-byte Latin-1 locale for one test, built
// with localedef into a private folder (the machine need not have it
// installed). available() is false when localedef is missing.
#pragma once
#include <clocale>
#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace qvtest {

class ScopedLatin1Locale {
 public:
  ScopedLatin1Locale() {
    m_saved = std::setlocale(LC_ALL, nullptr);
    std::string target = m_dir.File("de_DE.ISO-8859-1");
    std::string command = "localedef -c -i de_DE -f ISO-8859-1 '" + target + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == -1) return;
    setenv("LOCPATH", m_dir.path().c_str(), 1);
    m_available = std::setlocale(LC_ALL, "de_DE.ISO-8859-1") != nullptr;
  }
  ~ScopedLatin1Locale() {
    std::setlocale(LC_ALL, m_saved.c_str());
    unsetenv("LOCPATH");
  }
  ScopedLatin1Locale(const ScopedLatin1Locale&) = delete;
  ScopedLatin1Locale& operator=(const ScopedLatin1Locale&) = delete;
  bool available() const { return m_available; }

 private:
  TempDir m_dir;
  std::string m_saved;
  bool m_available = false;
};

}  // namespace qvtest
