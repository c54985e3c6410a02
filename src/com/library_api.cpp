// Dynamic libraries and the module variants.
#include <string_view>

#include "base/installed.h"
#include "base/wide.h"
#include "com/module_manager.h"
#include "os/os_error.h"
#include "os/os_loader.h"
#include "qvcore5/qv_com.h"

namespace {

bool ModuleReady(QVMODULEID module) noexcept {
  qv::com::CQVModuleManager* manager = qv::base::Installed<qv::com::CQVModuleManager>::Get();
  return manager != nullptr && manager->Contains(module);
}

}  // namespace

extern "C" QV_API QVRESULT QVLibOpen(const QVWCHAR* name, QVHANDLE* library) {
  if (library == nullptr) return QV_E_INVALIDARG;
  *library = QV_INVALID_HANDLE;
  if (name == nullptr) return QV_E_INVALIDARG;
  void* handle = qv::os::LibraryLoad(std::u16string_view(qv::Wide(name)));
  if (handle == nullptr) return QVResultFromNative(qv::os::LastError());
  *library = handle;
  return QV_S_OK;
}

extern "C" QV_API QVRESULT QVLibGetSymbol(QVHANDLE library, const QVWCHAR* symbol, void** address) {
  if (address == nullptr) return QV_E_INVALIDARG;
  *address = nullptr;
  if (symbol == nullptr) return QV_E_INVALIDARG;
  void* found = qv::os::LibrarySymbol(library, std::u16string_view(qv::Wide(symbol)));
  if (found == nullptr) return QVResultFromNative(qv::os::LastError());
  *address = found;
  return QV_S_OK;
}

extern "C" QV_API QVRESULT QVLibClose(QVHANDLE library) {
  if (!qv::os::LibraryUnload(library)) return QVResultFromNative(qv::os::LastError());
  return QV_S_OK;
}

extern "C" QV_API QVRESULT QVModuleLibOpen(QVMODULEID module, const QVWCHAR* name, QVHANDLE* library) {
  if (!ModuleReady(module)) return QV_E_NOTINITIALIZED;
  return QVLibOpen(name, library);
}

extern "C" QV_API QVRESULT QVModuleLibClose(QVMODULEID module, QVHANDLE library) {
  if (!ModuleReady(module)) return QV_E_NOTINITIALIZED;
  return QVLibClose(library);
}

extern "C" QV_API QVRESULT QVModuleComGetClassObject(QVMODULEID module, const QVGUID* classId, const QVGUID* iid,
                                                     void** out) {
  if (!ModuleReady(module)) return QV_E_NOTINITIALIZED;
  return QVComGetClassObject(classId, iid, out);
}

extern "C" QV_API QVRESULT QVModuleComCreateObject(QVMODULEID module, const QVGUID* classId, IQVUnknown* outer,
                                                   const QVGUID* iid, void** out) {
  if (!ModuleReady(module)) return QV_E_NOTINITIALIZED;
  return QVComCreateObject(classId, outer, iid, out);
}
