// The cache of class factories of in-process servers, keyed by class id.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "base/refcounted.h"
#include "qvcore5/qv_com.h"
#include "qvcore5/qv_mutex.h"

namespace qv::com {

class CQVFactoryManager;

class CQVFactoryData : public base::CQVCoreRefCounted {
 public:
  CQVFactoryData(IQVUnknown* factory, QVHANDLE library, CQVFactoryManager* manager) noexcept;
  ~CQVFactoryData() override;
  IQVUnknown* Factory() const noexcept { return m_factory; }
  // At the library's end the server may already be gone: nothing calls into it.
  void Abandon() noexcept { m_factory = nullptr; }

 private:
  IQVUnknown* m_factory;
  QVHANDLE m_library;
  CQVFactoryManager* m_manager;
};

class CQVFactoryManager {
 public:
  explicit CQVFactoryManager(QVMODULEID owner);
  ~CQVFactoryManager();
  CQVFactoryManager(const CQVFactoryManager&) = delete;
  CQVFactoryManager& operator=(const CQVFactoryManager&) = delete;

  // A referenced interface pointer, or EQVCoreException.
  void* Get(const QVGUID& classId, const QVGUID& iid);
  void Flush();
  size_t CachedCount();
  // Closes the server library if its DllCanUnloadNow answers 0; otherwise
  // keeps it for the next flush to ask again.
  void CloseWhenIdle(QVHANDLE library);

 private:
  using Key = std::array<uint8_t, 16>;
  CQVFactoryData* Lookup(const Key& key);

  QVMUTEX m_mapMutex;
  QVMODULEID m_owner;
  std::map<Key, CQVFactoryData*> m_cache;
  std::vector<QVHANDLE> m_busyLibraries;  // servers that refused to unload
};

}  // namespace qv::com
