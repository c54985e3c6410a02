// Demo section: the road of one component request. The sample server (a C
// module) is registered in a store in a temporary folder, an object is made
// by ProgID, called and released, and the factory cache is flushed.
#include <qvcore5/qvcore.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "demo.h"
#include "greeter.h"

namespace demo {

namespace {

const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }

QVRESULT PutDefault(const std::u16string& key, const std::u16string& value) {
  return QVRegistrySetValue(QV_HKEY_CLASSES, P(key), P(u""), QV_REG_STRING, value.c_str(),
                            static_cast<uint32_t>((value.size() + 1) * 2));
}

}  // namespace

void ComponentSection() {
  Say("\n== Components ==");
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/qvdemo_componentsXXXXXX";
  if (mkdtemp(folder.data()) == nullptr) {
    Check(false, "made a temporary store folder");
    return;
  }
  const char* old = std::getenv("QV_REGISTRY_DIR");
  std::string saved = old != nullptr ? old : "";
  setenv("QV_REGISTRY_DIR", folder.c_str(), 1);

  const QVGUID greeterClass = QV_CLSID_GREETER_INIT, greeterIid = QV_IID_IQVGREETER_INIT;
  char16_t text[39];
  QVComStringFromGUID(&greeterClass, reinterpret_cast<QVWCHAR*>(text), 39);
  std::u16string classText(text);
  std::string server = QV_GREETER_SERVER;
  Say("1. Registration: the class's InprocServer32 names the server library, the ProgID names the class.");
  Check(PutDefault(u"CLSID\\" + classText + u"\\InprocServer32", std::u16string(server.begin(), server.end())) == 0,
        "registered CLSID\\{6E0F3A2C-...}\\InprocServer32");
  Check(PutDefault(u"QVSample.Greeter\\CLSID", classText) == 0, "registered QVSample.Greeter\\CLSID");

  Say("2. QVComCreateObjectByProgID reads the ProgID's CLSID and parses the GUID text; the factory manager");
  Say("   misses its cache, reads the server path, loads it (dlopen behind QVModuleLibOpen), calls its");
  Say("   DllGetClassObject, caches the factory, and CreateInstance makes the object.");
  IQVGreeter* greeter = nullptr;
  QVRESULT made = QVComCreateObjectByProgID(P(u"QVSample.Greeter"), nullptr, &greeterIid,
                                            reinterpret_cast<void**>(&greeter));
  Check(made == 0 && greeter != nullptr, "created a greeter by ProgID");
  if (greeter != nullptr) {
    char line[80];
    greeter->lpVtbl->Greet(greeter, "world", line, sizeof line);
    std::printf("   %s\n", line);
    uint32_t count = greeter->lpVtbl->Greet(greeter, "again", line, sizeof line);
    std::printf("   %s\n", line);
    Check(count == 2, "the object keeps its own state");
    Say("3. A second request is answered from the cache: no registry read, no load.");
    IQVGreeter* second = nullptr;
    Check(QVComCreateObject(&greeterClass, nullptr, &greeterIid, reinterpret_cast<void**>(&second)) == 0,
          "created a second greeter by class identifier");
    if (second != nullptr) second->lpVtbl->Release(second);
    Say("4. Flushing while the first object lives: the server's DllCanUnloadNow says it is in use,");
    Say("   so its code stays mapped and the object still works.");
    Check(QVComFlushFactoryCache() == 0, "flushed the factory cache");
    Check(greeter->lpVtbl->Greet(greeter, "after the flush", line, sizeof line) == 3, "the object still answers");
    Check(greeter->lpVtbl->Release(greeter) == 0, "released the object (count 0: it freed itself)");
  }
  Say("5. With nothing of it alive, the next flush unloads the server.");
  Check(QVComFlushFactoryCache() == 0, "flushed again");
  QVGUID unknownClass;
  QVComGenerateGUID(&unknownClass);
  void* none = nullptr;
  Check(QVComGetClassObject(&unknownClass, &greeterIid, &none) == QV_E_CLASSNOTREG && none == nullptr,
        "an unregistered class gives 0x80040154");

  if (old != nullptr) setenv("QV_REGISTRY_DIR", saved.c_str(), 1);
  else unsetenv("QV_REGISTRY_DIR");
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace demo
