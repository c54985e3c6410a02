#include "com/factory_manager.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/boundary.h"
#include "base/installed.h"
#include "base/mutex_guard.h"
#include "base/wide.h"
#include "qvcore5/qv_registry.h"

namespace qv::com {

namespace {

constexpr QVGUID kClassFactoryId = QV_IID_IQVCLASSFACTORY_INIT;
constexpr size_t kPathUnits = 260;
constexpr size_t kMaxProgIdUnits = kPathUnits - 7;  // room for "\CLSID" and the terminator

// A reference given up on every path out of the scope.
class RecordRef {
 public:
  explicit RecordRef(CQVFactoryData* record) noexcept : m_record(record) {}
  ~RecordRef() {
    if (m_record != nullptr) m_record->ReleaseReference();
  }
  RecordRef(const RecordRef&) = delete;
  RecordRef& operator=(const RecordRef&) = delete;
  CQVFactoryData* operator->() const noexcept { return m_record; }
  explicit operator bool() const noexcept { return m_record != nullptr; }

 private:
  CQVFactoryData* m_record;
};

// The key's default value as text, or false when it is missing or not a
// terminated string that fits (`units` includes the terminator).
QVRESULT ReadText(const std::u16string& key, WChar* text, size_t units) {
  std::memset(text, 0, units * sizeof(WChar));
  uint32_t type = 0;
  uint32_t size = static_cast<uint32_t>(units * sizeof(WChar));
  QVRESULT result = QVRegistryGetValue(QV_HKEY_CLASSES, Api(key.c_str()), Api(QV_W("")), &type, text, &size);
  if (result < 0) return result;
  if (type != QV_REG_STRING && type != QV_REG_EXPAND_STRING) return QV_E_CLASSNOTREG;
  text[units - 1] = 0;  // never read past the buffer
  return QV_S_OK;
}

}  // namespace

CQVFactoryData::CQVFactoryData(IQVUnknown* factory, QVHANDLE library, CQVFactoryManager* manager) noexcept
    : m_factory(factory), m_library(library), m_manager(manager) {
  m_factory->lpVtbl->AddRef(m_factory);
}

CQVFactoryData::~CQVFactoryData() {
  if (m_factory == nullptr) return;  // abandoned at the end
  m_factory->lpVtbl->Release(m_factory);
  m_factory = nullptr;
  m_manager->CloseWhenIdle(m_library);
}

namespace {

// Objects the factory made may outlive it: the server says when its code is free.
enum class ServerAnswer { kIdle, kBusy, kNeverAsks };
ServerAnswer AskServer(QVHANDLE library) noexcept {
  void* canUnload = nullptr;
  if (QVLibGetSymbol(library, Api(QV_W("DllCanUnloadNow")), &canUnload) < 0) return ServerAnswer::kNeverAsks;
  return reinterpret_cast<QVDllCanUnloadNowProc>(canUnload)() == 0 ? ServerAnswer::kIdle : ServerAnswer::kBusy;
}

}  // namespace

void CQVFactoryManager::CloseWhenIdle(QVHANDLE library) {
  ServerAnswer answer = AskServer(library);
  if (answer == ServerAnswer::kIdle) QVModuleLibClose(m_owner, library);
  if (answer != ServerAnswer::kBusy) return;  // a server that never answers stays loaded
  base::MutexGuard guard(m_mapMutex);
  try {
    m_busyLibraries.push_back(library);
  } catch (...) {
    // Without room to remember it the server just stays loaded.
  }
}

CQVFactoryManager::CQVFactoryManager(QVMODULEID owner)
    : m_mapMutex(reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)), m_owner(owner) {
  QVMutexCreate("CQVFactoryManager::m_mapMutex", 0, &m_mapMutex);
}

CQVFactoryManager::~CQVFactoryManager() {
  QVMutexDestroy(m_mapMutex);
  // At the end (process exit among others) a server's own destructors may
  // already have run, so neither its factory nor its unload check is called;
  // the server stays loaded until the process ends, as it would anyway.
  for (auto& [key, record] : m_cache) {
    record->Abandon();
    record->ReleaseReference();
  }
  m_cache.clear();
}

CQVFactoryData* CQVFactoryManager::Lookup(const Key& key) {
  base::MutexGuard guard(m_mapMutex);
  auto found = m_cache.find(key);
  if (found == m_cache.end()) return nullptr;
  found->second->AddReference();
  return found->second;
}

void* CQVFactoryManager::Get(const QVGUID& classId, const QVGUID& iid) {
  base::MutexGuard guard(m_mapMutex);
  Key key;
  std::memcpy(key.data(), &classId, key.size());
  void* result = nullptr;
  if (RecordRef hit{Lookup(key)}) {
    IQVUnknown* factory = hit->Factory();
    base::ThrowIfFailed(factory->lpVtbl->QueryInterface(factory, &iid, &result));
    return result;
  }
  WChar text[39];
  QVComStringFromGUID(&classId, Api(text), 39);
  std::u16string path = QV_W("CLSID\\") + std::u16string(text, 38) + QV_W("\\InprocServer32");
  WChar server[kPathUnits];
  if (ReadText(path, server, kPathUnits) < 0) base::ThrowResult(QV_E_CLASSNOTREG);
  QVHANDLE library = QV_INVALID_HANDLE;
  base::ThrowIfFailed(QVModuleLibOpen(m_owner, Api(server), &library));
  void* entry = nullptr;
  base::ThrowIfFailed(QVLibGetSymbol(library, Api(QV_W("DllGetClassObject")), &entry));
  base::ThrowIfFailed(reinterpret_cast<QVDllGetClassObjectProc>(entry)(&classId, &iid, &result));
  auto* record = new (std::nothrow) CQVFactoryData(static_cast<IQVUnknown*>(result), library, this);
  if (record == nullptr) {
    static_cast<IQVUnknown*>(result)->lpVtbl->Release(static_cast<IQVUnknown*>(result));
    base::ThrowResult(QV_E_OUTOFMEMORY);
  }
  record->AddReference();
  RecordRef held{record};
  CQVFactoryData*& slot = m_cache[key];  // may throw: `held` lets the record go
  CQVFactoryData* previous = std::exchange(slot, record);
  record->AddReference();
  if (previous != nullptr) previous->ReleaseReference();
  return result;
}

void CQVFactoryManager::Flush() {
  std::map<Key, CQVFactoryData*> dropped;
  std::vector<QVHANDLE> busy;
  {
    base::MutexGuard guard(m_mapMutex);
    dropped.swap(m_cache);
    busy.swap(m_busyLibraries);
  }
  // Outside the lock: a server's Release may call back into the components.
  for (auto& [key, record] : dropped) record->ReleaseReference();
  for (QVHANDLE library : busy) CloseWhenIdle(library);
}

size_t CQVFactoryManager::CachedCount() {
  base::MutexGuard guard(m_mapMutex);
  return m_cache.size();
}

}  // namespace qv::com

using qv::WChar;
using qv::com::CQVFactoryManager;

extern "C" QV_API QVRESULT QVComGetClassObject(const QVGUID* classId, const QVGUID* iid, void** out) {
  if (out == nullptr) return QV_E_INVALIDARG;
  *out = nullptr;
  if (classId == nullptr || iid == nullptr) return QV_E_INVALIDARG;
  return qv::base::Bounded([&] {
    CQVFactoryManager* manager = qv::base::Installed<CQVFactoryManager>::Get();
    if (manager == nullptr) return QV_E_NOTINITIALIZED;
    *out = manager->Get(*classId, *iid);
    return QV_S_OK;
  });
}

extern "C" QV_API QVRESULT QVComCreateObject(const QVGUID* classId, IQVUnknown* outer, const QVGUID* iid,
                                             void** out) {
  if (out == nullptr) return QV_E_INVALIDARG;
  *out = nullptr;
  if (iid == nullptr) return QV_E_INVALIDARG;
  void* factory = nullptr;
  QVRESULT result = QVComGetClassObject(classId, &qv::com::kClassFactoryId, &factory);
  if (result < 0) return result;
  auto* cf = static_cast<IQVClassFactory*>(factory);
  result = cf->lpVtbl->CreateInstance(cf, outer, iid, out);
  cf->lpVtbl->Release(cf);
  return result;
}

extern "C" QV_API QVRESULT QVComClassIDFromProgID(const QVWCHAR* progId, QVGUID* classId) {
  if (progId == nullptr || classId == nullptr) return QV_E_INVALIDARG;
  const WChar* name = qv::Wide(progId);
  size_t length = 0;
  while (length <= qv::com::kMaxProgIdUnits && name[length] != 0) ++length;
  if (length == 0 || length > qv::com::kMaxProgIdUnits) return QV_E_INVALIDARG;
  return qv::base::Bounded([&] {
    std::u16string path = std::u16string(name, length) + QV_W("\\CLSID");
    WChar text[39];
    QVRESULT read = qv::com::ReadText(path, text, 39);
    if (read == QV_E_NOTFOUND) return QV_E_CLASSNOTREG;
    if (read < 0) return read;
    return QVComGUIDFromString(qv::Api(text), classId);
  });
}

extern "C" QV_API QVRESULT QVComCreateObjectByProgID(const QVWCHAR* progId, IQVUnknown* outer, const QVGUID* iid,
                                                     void** out) {
  if (out == nullptr) return QV_E_INVALIDARG;
  *out = nullptr;
  QVGUID classId;
  QVRESULT result = QVComClassIDFromProgID(progId, &classId);
  if (result < 0) return result;
  return QVComCreateObject(&classId, outer, iid, out);
}

extern "C" QV_API QVRESULT QVComFlushFactoryCache(void) {
  return qv::base::Bounded([] {
    if (CQVFactoryManager* manager = qv::base::Installed<CQVFactoryManager>::Get()) manager->Flush();
    return QV_S_OK;
  });
}
