// Copies registry trees between the operating system's store and the INI file.
#include "registry/migrate.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "base/boundary.h"
#include "base/exception.h"
#include "base/wide.h"
#include "os/os_path.h"
#include "qvcore5/qv_diag.h"
#include "registry/reg_key.h"

namespace qv::registry {

namespace {

constexpr QVRESULT kTooDeep = QV_RESULT(0x800703E9u);  // the walk's depth limit
constexpr int kMaxDepth = 512;
constexpr int kGrowTries = 8;

// Lives as long as the process: one migration at a time.
std::mutex s_migrationLock;

std::string Narrow(const std::u16string& text) {
  std::string out;
  if (!Utf16ToUtf8(text, out)) out.assign(1, '?');
  return out;
}

struct Walk {
  bool fromIni = false;
  QVRESULT firstFailure = 0;
  Sections carried;  // sections of the INI source read and stored in full, as read
};

void Note(Walk& walk, QVRESULT result, const CRegKey& key, const std::u16string& name) {
  if (walk.firstFailure == 0) walk.firstFailure = result;
  QVTrace(Api(u"QVRegistryMigrate: kept root %u key \"%hs\" value \"%hs\" (0x%08X)\n"), key.Root(),
          Narrow(key.Path()).c_str(), Narrow(name).c_str(), static_cast<unsigned>(result));
}

// Copies one value; the buffer grows to what the value needs.
bool CopyValue(CRegKey& source, const std::u16string& name, CRegKey& destination, Walk& walk,
               std::u16string& text) {
  std::vector<unsigned char> buffer(2048);
  uint32_t type = 0;
  uint32_t size = static_cast<uint32_t>(buffer.size());
  QVRESULT result = source.GetValue(name.c_str(), &type, buffer.data(), &size);
  for (int tries = 0; result == QV_E_FAIL && size > buffer.size() && tries < kGrowTries; ++tries) {
    buffer.resize(size);
    result = source.GetValue(name.c_str(), &type, buffer.data(), &size);
  }
  if (result >= 0) result = destination.SetValue(source.Root(), source.Path(), name.c_str(), type, buffer.data(), size);
  if (result < 0) {
    Note(walk, result, source, name);
    return false;
  }
  if (walk.fromIni) {
    text.assign(size / 2, u'\0');
    std::memcpy(text.data(), buffer.data(), text.size() * 2);
    size_t end = text.find(u'\0');
    if (end != std::u16string::npos) text.resize(end);
  }
  return true;
}

void CopyTree(CRegKey& source, CRegKey& destination, Walk& walk, int depth) {
  if (depth > kMaxDepth) base::ThrowResult(kTooDeep);
  while (source.HasNextKey()) {
    KeyRef child(source.NextKey());
    CopyTree(*child, destination, walk, depth + 1);
  }
  bool whole = true;
  Section copied;
  while (source.HasNextValue()) {
    std::u16string name = source.NextValue();
    std::u16string text;
    if (CopyValue(source, name, destination, walk, text))
      copied[name] = text;
    else
      whole = false;
  }
  if (walk.fromIni && whole) walk.carried[SectionName(source.Root(), source.Path())] = std::move(copied);
}

}  // namespace

QVRESULT MigrateStores(uint32_t sourceKind, uint32_t destinationKind, const std::u16string& folder) {
  if (sourceKind > 1 || destinationKind > 1) return kBadKind;
  if (sourceKind == destinationKind) return QV_E_INVALIDARG;
  std::lock_guard<std::mutex> one(s_migrationLock);
  return base::Bounded([&]() -> QVRESULT {
    struct StoreEnd {
      ~StoreEnd() { SetIniStore(nullptr); }
    } storeEnd;
    // Fixed now, so a change of the current directory cannot split the walk.
    SetIniStore(new IniFile(folder + u"/" + kIniFileName));
    IniFile& store = GetIniStore();
    Walk walk;
    walk.fromIni = sourceKind == QV_REGISTRY_INI;
    bool batch = destinationKind == QV_REGISTRY_INI;
    if (batch) store.BeginBatch();
    QVRESULT walked = base::Bounded([&]() -> QVRESULT {
      for (uint32_t root : {QV_HKEY_CLASSES, QV_HKEY_CONFIG, QV_HKEY_USER}) {
        KeyRef source(CreateRegKey(sourceKind, root, u""));
        KeyRef destination(CreateRegKey(destinationKind, root, u""));
        CopyTree(*source, *destination, walk, 0);
      }
      return 0;
    });
    if (batch) {
      QVRESULT saved = store.EndBatch();
      if (walked >= 0 && saved < 0) walked = saved;
    }
    if (walked < 0) return walked;
    if (walk.fromIni) {
      QVRESULT removed = store.RemoveSections(walk.carried);
      if (removed < 0) {
        QVTrace(Api(u"QVRegistryMigrate: the INI file stays as it was (0x%08X)\n"), static_cast<unsigned>(removed));
        if (walk.firstFailure == 0) walk.firstFailure = removed;
      }
    }
    return walk.firstFailure;
  });
}

}  // namespace qv::registry

QV_API QVRESULT QVRegistryMigrate(uint32_t sourceKind, uint32_t reserved, uint32_t destinationKind) {
  (void)reserved;
  return qv::base::Bounded([&]() -> QVRESULT {
    if (sourceKind > 1 || destinationKind > 1) return qv::registry::kBadKind;
    if (sourceKind == destinationKind) return QV_E_INVALIDARG;
    std::u16string folder;
    if (!qv::os::CurrentDirectory(folder)) return qv::base::LastErrorResult();
    return qv::registry::MigrateStores(sourceKind, destinationKind, folder);
  });
}
