// Demo section: registry values in a store kept in a temporary folder (the
// override variable points the library there), read back, enumerated and
// deleted again.
#include <qvcore5/qvcore.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "demo.h"

namespace demo {

namespace {

const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }
std::string Narrow(const QVWCHAR* s, uint32_t n) { return std::string(s, s + n); }

}  // namespace

void RegistrySection() {
  Say("\n== Registry ==");
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/qvdemo_registryXXXXXX";
  if (mkdtemp(templ.data()) == nullptr) {
    Check(false, "made a temporary store folder");
    return;
  }
  const char* old = std::getenv("QV_REGISTRY_DIR");
  std::string saved = old != nullptr ? old : "";
  setenv("QV_REGISTRY_DIR", templ.c_str(), 1);

  std::u16string key = u"Software\\QVDemo\\Settings", title = u"Hello, registry", colour = u"Colour";
  uint32_t width = 640;
  Check(QVRegistrySetValue(QV_HKEY_USER, P(key), P(u"Title"), QV_REG_STRING, title.c_str(),
                           static_cast<uint32_t>((title.size() + 1) * 2)) == 0, "stored a string");
  Check(QVRegistrySetValue(QV_HKEY_USER, P(key), P(u"Width"), QV_REG_DWORD, &width, 4) == 0, "stored a number");
  Check(QVRegistrySetValue(QV_HKEY_USER, P(key), P(colour), QV_REG_BINARY, "\x10\x20\x30", 3) == 0,
        "stored three bytes");

  QVWCHAR text[64];
  uint32_t size = sizeof text, type = 0;
  QVRESULT r = QVRegistryGetValue(QV_HKEY_USER, P(u"software\\qvdemo\\SETTINGS"), P(u"title"), &type, text, &size);
  Check(r == 0 && type == QV_REG_STRING, "read the string back through a differently cased path");
  if (r == 0) std::printf("  Title = \"%s\" (%u bytes)\n", Narrow(text, size / 2 - 1).c_str(), size);

  QVREGENUM e;
  int count = 0;
  if (QVRegistryOpenValueEnum(QV_HKEY_USER, P(key), &e) == 0) {
    for (;;) {
      uint32_t length = 64;
      if (QVRegistryEnumNextValue(e, text, &length, &type, nullptr, &size) != 0) break;
      std::printf("  value %s: type %u, %u bytes\n", Narrow(text, length).c_str(), type, size);
      ++count;
    }
    QVRegistryCloseEnum(e);
  }
  Check(count == 3, "enumerated the three values in the order they were stored");
  Check(QVRegistryDeleteKey(QV_HKEY_USER, P(u"Software\\QVDemo")) == 0, "deleted the whole tree");
  Check(QVRegistryGetValue(QV_HKEY_USER, P(key), P(u"Width"), nullptr, nullptr, nullptr) ==
            QV_RESULT(0x80070002u), "the value is gone (0x80070002)");

  // Migration: the tree goes into qvregistry.ini in the (temporary) current directory and back.
  std::u16string app = u"Software\\QVDemo\\Migrated";
  Check(QVRegistrySetValue(QV_HKEY_CONFIG, P(app), P(u"Greeting"), QV_REG_STRING, u"hello", 12) == 0 &&
            QVRegistrySetValue(QV_HKEY_CONFIG, P(app + u"\\Sub"), P(u"Path"), QV_REG_STRING, u"C:\\Data", 16) == 0,
        "stored a small tree of strings");
  std::error_code cwdError;
  std::filesystem::path home = std::filesystem::current_path(cwdError);
  std::filesystem::current_path(templ, cwdError);
  Check(QVRegistryMigrate(QV_REGISTRY_NATIVE, 0, QV_REGISTRY_INI) == 0, "migrated the store into qvregistry.ini");
  if (FILE* ini = std::fopen("qvregistry.ini", "rb")) {
    char line[256];
    while (std::fgets(line, sizeof line, ini) != nullptr) std::printf("    | %s", line);
    std::fclose(ini);
  }
  Check(QVRegistryDeleteKey(QV_HKEY_CONFIG, P(u"Software\\QVDemo")) == 0, "emptied the operating system's store");
  Check(QVRegistryMigrate(QV_REGISTRY_INI, 0, QV_REGISTRY_NATIVE) == 0, "migrated back out of the INI file");
  uint32_t got = sizeof text;
  Check(QVRegistryGetValue(QV_HKEY_CONFIG, P(app + u"\\Sub"), P(u"Path"), nullptr, text, &got) == 0 &&
            !std::filesystem::exists("qvregistry.ini"),
        "the value is back and the INI file is gone");
  std::filesystem::current_path(home, cwdError);

  if (old != nullptr) setenv("QV_REGISTRY_DIR", saved.c_str(), 1);
  else unsetenv("QV_REGISTRY_DIR");
  std::error_code ec;
  std::filesystem::remove_all(templ, ec);
}

}  // namespace demo
