// Switches the C runtime to a locale built with localedef into a private folder
// for one test, so the machine needs only the locale sources and charmaps.
// available() is false when it cannot be built; the caller skips.
#pragma once
#include <clocale>
#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace qvtest {

class ScopedBuiltLocale {
 public:
  // source: a locale source such as "de_DE"; charmap: "UTF-8", "GBK", ...
  ScopedBuiltLocale(const std::string& source, const std::string& charmap)
      : m_saved(std::setlocale(LC_ALL, nullptr)), m_name(source + "." + charmap) {
#if defined(_WIN32)
    return;  // no localedef: the tests that need a built locale skip
#endif
    std::string command = "localedef -c -i " + source + " -f " + charmap + " '" + m_dir.File(m_name) + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == -1) return;
    setenv("LOCPATH", m_dir.path().c_str(), 1);
    m_available = std::setlocale(LC_ALL, m_name.c_str()) != nullptr;
  }
  ~ScopedBuiltLocale() { std::setlocale(LC_ALL, m_saved.c_str()), unsetenv("LOCPATH"); }
  ScopedBuiltLocale(const ScopedBuiltLocale&) = delete;
  bool available() const { return m_available; }
  const std::string& name() const { return m_name; }

 private:
  TempDir m_dir;
  std::string m_saved, m_name;
  bool m_available = false;
};

}  // namespace qvtest
