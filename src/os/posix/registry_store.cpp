// The registry store on POSIX: one SQLite database per store. Keys are rows
// found by their whole folded path (one index probe per call, whatever the
// depth); values are rows keyed by key and folded name, with a sequence
// number that gives the order they were first stored in.
#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "os/os_error.h"
#include "os/os_registry_store.h"
#include "os/posix/errno_map.h"

#ifndef QV_LOCALSTATEDIR
#define QV_LOCALSTATEDIR "/var"
#endif

namespace qv::os {

namespace {

constexpr int kBusyMilliseconds = 10000;
constexpr sqlite3_int64 kTopKey = 1;

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " path BLOB NOT NULL UNIQUE, fold BLOB NOT NULL, name BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, fold);"
    "CREATE TABLE IF NOT EXISTS vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, fold BLOB NOT NULL,"
    " name BLOB NOT NULL, seq INTEGER NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
    "CREATE INDEX IF NOT EXISTS vals_by_seq ON vals(key, seq);"
    "INSERT OR IGNORE INTO keys(id, parent, path, fold, name) VALUES(1, 0, x'', x'', x'');";

enum Statement {
  kFindKey,
  kMakeKey,
  kFetch,
  kPut,
  kErase,
  kEraseTreeValues,
  kEraseTreeKeys,
  kKeyAlive,
  kNextKey,
  kNextValue,
  kBeginRead,
  kBeginWrite,
  kCommit,
  kRollback,
  kStatementCount
};

const char* const kSql[kStatementCount] = {
    "SELECT id FROM keys WHERE path = ?1",
    "INSERT INTO keys(parent, path, fold, name) VALUES(?1, ?2, ?3, ?4)",
    "SELECT v.type, v.data FROM keys k JOIN vals v ON v.key = k.id WHERE k.path = ?1 AND v.fold = ?2",
    "INSERT INTO vals(key, fold, name, seq, type, data) VALUES(?1, ?2, ?3,"
    " (SELECT IFNULL(MAX(seq), 0) + 1 FROM vals WHERE key = ?1), ?4, ?5)"
    " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = (SELECT id FROM keys WHERE path = ?1) AND fold = ?2",
    "DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE path = ?1 OR (path >= ?2 AND path < ?3))",
    "DELETE FROM keys WHERE path = ?1 OR (path >= ?2 AND path < ?3)",
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT fold, name FROM keys WHERE parent = ?1 AND fold > ?2 ORDER BY fold LIMIT 1",
    "SELECT seq, name, type, data FROM vals WHERE key = ?1 AND seq > ?2 ORDER BY seq LIMIT 1",
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
};

uint32_t ErrorFromSqlite(sqlite3* db, int rc) noexcept {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return kErrorSuccess;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return kErrorBusy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return kErrorAccessDenied;
    case SQLITE_NOMEM: return kErrorOutOfMemory;
    case SQLITE_FULL: return kErrorDiskFull;
    case SQLITE_TOOBIG: return kErrorInvalidParameter;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return kErrorBadDatabase;
    case SQLITE_CANTOPEN: {
      int err = db != nullptr ? sqlite3_system_errno(db) : 0;
      return err != 0 ? ErrorFromErrno(err) : kErrorAccessDenied;
    }
    default: return kErrorRegistryIo;
  }
}

bool Fail(uint32_t error) noexcept {
  StoreLastError(error);
  return false;
}

// Names are kept little-endian; folded names and paths big-endian, so that
// SQLite's byte order of blobs is the order of the 16-bit units.
void AppendUnits(std::string& out, const std::u16string& text, bool bigEndian) {
  for (char16_t u : text) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
}

std::u16string UnitsFromBlob(const void* blob, int bytes) {
  std::u16string out(static_cast<size_t>(bytes) / 2, u'\0');
  auto* p = static_cast<const unsigned char*>(blob);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  return out;
}

std::string FoldedPath(const RegistryKeyPath& key, size_t levels) {
  std::string path;
  for (size_t i = 0; i < levels; ++i) {
    if (i != 0) AppendUnits(path, u"\\", true);
    AppendUnits(path, key[i].folded, true);
  }
  return path;
}

std::string Env(const char* name) {
  const char* value = secure_getenv(name);  // a set-user-id program never takes a caller's store
  return value != nullptr ? value : "";
}

std::string StoreFolder(RegistryStoreKind kind) {
  std::string dir = Env("QV_REGISTRY_DIR");
  if (!dir.empty()) return dir;
  if (kind == RegistryStoreKind::kMachine) return QV_LOCALSTATEDIR "/lib/qvcore5/registry";
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') {
    std::string home = Env("HOME");
    if (home.empty()) {
      struct passwd entry, *found = nullptr;
      char buffer[4096];
      if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        home = found->pw_dir;
    }
    if (home.empty()) return "";
    config = home + "/.config";
  }
  return config + "/qvcore5/registry";
}

bool MakeFolders(const std::string& dir, mode_t mode) {
  for (size_t at = 1; at <= dir.size(); ++at) {
    if (at != dir.size() && dir[at] != '/') continue;
    std::string part = dir.substr(0, at);
    if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
      StoreLastErrorFromErrno(errno);
      return false;
    }
  }
  return true;
}

// SQLite opens its files with O_CLOEXEC; this makes sure of it for every
// descriptor naming the store, in case a build of SQLite did not.
void KeepFromChildren(const std::string& file) {
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return;
  while (dirent* entry = readdir(fds)) {
    char link[PATH_MAX];
    std::string fdPath = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t n = readlink(fdPath.c_str(), link, sizeof link - 1);
    if (n <= 0) continue;
    link[n] = 0;
    if (std::strncmp(link, file.c_str(), file.size()) != 0) continue;
    int fd = std::atoi(entry->d_name);
    int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
  closedir(fds);
}

class Store {
 public:
  Store(std::string file, pid_t owner) : m_file(std::move(file)), m_owner(owner) {}
  ~Store() {
    for (sqlite3_stmt* s : m_statements) sqlite3_finalize(s);
    if (m_db != nullptr) sqlite3_close_v2(m_db);
  }

  bool Open(RegistryStoreKind kind) {
    int rc = sqlite3_open_v2(m_file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                                         SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
    if (rc != SQLITE_OK) return Fail(ErrorFromSqlite(m_db, rc));
    sqlite3_busy_timeout(m_db, kBusyMilliseconds);
    m_readOnly = sqlite3_db_readonly(m_db, "main") == 1;
    // The machine store keeps a rollback journal: WAL would need every reader
    // to write the -shm file, and most readers of that store may not write.
    const char* setup = kind == RegistryStoreKind::kUser ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                                                         : "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;";
    rc = sqlite3_exec(m_db, setup, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && !(m_readOnly && (rc & 0xFF) == SQLITE_READONLY)) return Fail(ErrorFromSqlite(m_db, rc));
    if (!m_readOnly) {
      rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr);
      if (rc == SQLITE_OK) rc = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr);
      if (rc == SQLITE_OK) rc = sqlite3_exec(m_db, "COMMIT;", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) {
        uint32_t error = ErrorFromSqlite(m_db, rc);
        sqlite3_exec(m_db, "ROLLBACK;", nullptr, nullptr, nullptr);
        return Fail(error);
      }
    } else {
      sqlite3_stmt* probe = nullptr;
      rc = sqlite3_prepare_v2(m_db, "SELECT 1 FROM keys LIMIT 0", -1, &probe, nullptr);
      sqlite3_finalize(probe);
      if (rc != SQLITE_OK) return Fail((rc & 0xFF) == SQLITE_ERROR ? kErrorFileNotFound : ErrorFromSqlite(m_db, rc));
    }
    KeepFromChildren(m_file);
    return true;
  }

  const std::string& File() const { return m_file; }
  pid_t Owner() const { return m_owner; }
  std::mutex& Lock() { return m_lock; }

  sqlite3_stmt* Get(Statement which) {
    sqlite3_stmt*& s = m_statements[which];
    if (s == nullptr) {
      int rc = sqlite3_prepare_v3(m_db, kSql[which], -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
      if (rc != SQLITE_OK) {
        StoreLastError(ErrorFromSqlite(m_db, rc));
        s = nullptr;
      }
    }
    return s;
  }

  // Runs a statement that returns no row.
  bool Exec(Statement which) {
    sqlite3_stmt* s = Get(which);
    if (s == nullptr) return false;
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE || Fail(ErrorFromSqlite(m_db, rc));
  }

  uint32_t Error(int rc) const { return ErrorFromSqlite(m_db, rc); }
  sqlite3* Db() const { return m_db; }

 private:
  std::string m_file;
  pid_t m_owner;
  sqlite3* m_db = nullptr;
  bool m_readOnly = false;
  std::mutex m_lock;
  sqlite3_stmt* m_statements[kStatementCount] = {};
};

// Binds and steps one prepared statement; reset on leaving.
class Step {
 public:
  Step(Store& store, Statement which) : m_store(store), m_s(store.Get(which)) {}
  ~Step() {
    if (m_s != nullptr) {
      sqlite3_reset(m_s);
      sqlite3_clear_bindings(m_s);
    }
  }
  explicit operator bool() const { return m_s != nullptr; }
  void Blob(int at, const std::string& bytes) {
    sqlite3_bind_blob(m_s, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
  }
  void Blob(int at, const void* data, uint32_t size) {
    sqlite3_bind_blob(m_s, at, size == 0 ? "" : data, static_cast<int>(size), SQLITE_STATIC);
  }
  void Int(int at, sqlite3_int64 value) { sqlite3_bind_int64(m_s, at, value); }
  // SQLITE_ROW true, SQLITE_DONE false with last error `none`, else false with the mapped error.
  bool Row(uint32_t none) {
    int rc = sqlite3_step(m_s);
    if (rc == SQLITE_ROW) return true;
    StoreLastError(rc == SQLITE_DONE ? none : m_store.Error(rc));
    return false;
  }
  bool Done() {
    int rc = sqlite3_step(m_s);
    return rc == SQLITE_DONE || rc == SQLITE_ROW || Fail(m_store.Error(rc));
  }
  sqlite3_stmt* Raw() const { return m_s; }
  sqlite3_int64 IntAt(int column) const { return sqlite3_column_int64(m_s, column); }
  std::u16string UnitsAt(int column) const {
    return UnitsFromBlob(sqlite3_column_blob(m_s, column), sqlite3_column_bytes(m_s, column));
  }
  void BytesAt(int column, std::vector<unsigned char>& out) const {
    auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(m_s, column));
    out.assign(p, p + sqlite3_column_bytes(m_s, column));
  }

 private:
  Store& m_store;
  sqlite3_stmt* m_s;
};

// An open transaction that rolls back unless committed.
class Transaction {
 public:
  Transaction(Store& store, bool write) : m_store(store), m_open(store.Exec(write ? kBeginWrite : kBeginRead)) {}
  ~Transaction() {
    if (m_open) {
      uint32_t keep = LastError();
      m_store.Exec(kRollback);
      StoreLastError(keep);
    }
  }
  explicit operator bool() const { return m_open; }
  bool Commit() {
    if (!m_store.Exec(kCommit)) return false;  // the destructor rolls back
    m_open = false;
    return true;
  }

 private:
  Store& m_store;
  bool m_open;
};

// The cache itself is never freed: a late thread may still use it at exit.
// Every call holds its own reference to the store it uses, so a store whose
// file changed (the override variable moved) is closed by its last user; one
// that a parent process opened is left alone, its locks belong to the parent.
struct Cache {
  std::mutex lock;
  std::shared_ptr<Store> stores[2];
  std::vector<std::shared_ptr<Store>> parents;  // opened before a fork: kept, never used
};

Cache& TheCache() {
  static Cache* cache = new Cache;
  return *cache;
}

// The open store, or null with the last error set. A store that does not
// exist yet is created only for writing; reading it gives error 2.
std::shared_ptr<Store> Acquire(RegistryStoreKind kind, bool create) {
  std::string dir = StoreFolder(kind);
  if (dir.empty()) {
    StoreLastError(kErrorPathNotFound);
    return nullptr;
  }
  std::string file = dir + (kind == RegistryStoreKind::kMachine ? "/machine.sqlite" : "/user.sqlite");
  pid_t self = getpid();
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  std::shared_ptr<Store>& slot = cache.stores[static_cast<size_t>(kind)];
  if (slot && slot->File() == file && slot->Owner() == self) return slot;
  if (slot && slot->Owner() != self) cache.parents.push_back(std::move(slot));  // not ours to close
  struct stat info;
  if (!create && stat(file.c_str(), &info) != 0) {
    StoreLastErrorFromErrno(errno);
    if (LastError() == kErrorPathNotFound) StoreLastError(kErrorFileNotFound);
    return nullptr;
  }
  if (create && !MakeFolders(dir, kind == RegistryStoreKind::kUser ? 0700 : 0755)) return nullptr;
  auto store = std::make_shared<Store>(file, self);
  if (!store->Open(kind)) return nullptr;
  slot = store;
  return store;
}

// The id of the key, or 0 with last error 2.
sqlite3_int64 FindKey(Store& store, const std::string& path) {
  Step find(store, kFindKey);
  if (!find) return 0;
  find.Blob(1, path);
  return find.Row(kErrorFileNotFound) ? find.IntAt(0) : 0;
}

sqlite3_int64 MakeKeyPath(Store& store, const RegistryKeyPath& key) {
  sqlite3_int64 id = FindKey(store, FoldedPath(key, key.size()));
  if (id != 0 || LastError() != kErrorFileNotFound) return id;
  // Find the deepest existing level, then make the rest.
  size_t have = key.size();
  id = 0;
  while (have > 0 && id == 0) {
    --have;
    id = have == 0 ? kTopKey : FindKey(store, FoldedPath(key, have));
    if (id == 0 && LastError() != kErrorFileNotFound) return 0;
  }
  for (size_t level = have; level < key.size(); ++level) {
    Step make(store, kMakeKey);
    if (!make) return 0;
    std::string path = FoldedPath(key, level + 1), fold, name;
    AppendUnits(fold, key[level].folded, true);
    AppendUnits(name, key[level].spelled, false);
    make.Int(1, id);
    make.Blob(2, path);
    make.Blob(3, fold);
    make.Blob(4, name);
    if (!make.Done()) return 0;
    id = sqlite3_last_insert_rowid(store.Db());
  }
  return id;
}

}  // namespace

bool RegistryStoreFetch(RegistryStoreKind kind, const RegistryKeyPath& key, const RegistryName& value,
                        RegistryEntry& out) {
  const std::u16string& foldedValue = value.folded;
  auto store = Acquire(kind, false);
  if (!store) return false;
  std::lock_guard<std::mutex> guard(store->Lock());
  Step fetch(*store, kFetch);
  if (!fetch) return false;
  std::string path = FoldedPath(key, key.size()), fold;
  AppendUnits(fold, foldedValue, true);
  fetch.Blob(1, path);
  fetch.Blob(2, fold);
  if (!fetch.Row(kErrorFileNotFound)) return false;
  out.type = static_cast<uint32_t>(fetch.IntAt(0));
  fetch.BytesAt(1, out.data);
  return true;
}

bool RegistryStorePut(RegistryStoreKind kind, const RegistryKeyPath& key, const RegistryName& value, uint32_t type,
                      const void* data, uint32_t size) {
  auto store = Acquire(kind, true);
  if (!store) return false;
  std::lock_guard<std::mutex> guard(store->Lock());
  Transaction tx(*store, true);
  if (!tx) return false;
  sqlite3_int64 id = MakeKeyPath(*store, key);
  if (id == 0) return false;
  {
    Step put(*store, kPut);
    if (!put) return false;
    std::string fold, name;
    AppendUnits(fold, value.folded, true);
    AppendUnits(name, value.spelled, false);
    put.Int(1, id);
    put.Blob(2, fold);
    put.Blob(3, name);
    put.Int(4, type);
    put.Blob(5, data, size);
    if (!put.Done()) return false;
  }
  return tx.Commit();
}

bool RegistryStoreErase(RegistryStoreKind kind, const RegistryKeyPath& key, const RegistryName& value) {
  const std::u16string& foldedValue = value.folded;
  auto store = Acquire(kind, false);
  if (!store) return false;
  std::lock_guard<std::mutex> guard(store->Lock());
  Step erase(*store, kErase);
  if (!erase) return false;
  std::string path = FoldedPath(key, key.size()), fold;
  AppendUnits(fold, foldedValue, true);
  erase.Blob(1, path);
  erase.Blob(2, fold);
  if (!erase.Done()) return false;
  return sqlite3_changes(store->Db()) > 0 || Fail(kErrorFileNotFound);
}

bool RegistryStoreEraseTree(RegistryStoreKind kind, const RegistryKeyPath& key) {
  if (key.empty()) return Fail(kErrorAccessDenied);
  auto store = Acquire(kind, false);
  if (!store) return false;
  std::lock_guard<std::mutex> guard(store->Lock());
  Transaction tx(*store, true);
  if (!tx) return false;
  std::string path = FoldedPath(key, key.size());
  if (FindKey(*store, path) == 0) return false;
  // Everything below sorts from path + '\' up to (not including) path + ']'.
  std::string low = path, high = path;
  AppendUnits(low, u"\\", true);
  AppendUnits(high, u"]", true);
  for (Statement which : {kEraseTreeValues, kEraseTreeKeys}) {
    Step erase(*store, which);
    if (!erase) return false;
    erase.Blob(1, path);
    erase.Blob(2, low);
    erase.Blob(3, high);
    if (!erase.Done()) return false;
  }
  return tx.Commit();
}

bool RegistryStoreProbe(RegistryStoreKind kind, const RegistryKeyPath& key) {
  auto store = Acquire(kind, false);
  if (!store) return false;
  std::lock_guard<std::mutex> guard(store->Lock());
  return FindKey(*store, FoldedPath(key, key.size())) != 0;
}

class RegistryStoreCursor {
 public:
  std::shared_ptr<Store> store;
  sqlite3_int64 key = 0;
  bool values = false;
  std::string lastFold;      // subkeys: the folded name last returned
  sqlite3_int64 lastSeq = 0;  // values: the sequence number last returned
};

RegistryStoreCursor* RegistryStoreCursorOpen(RegistryStoreKind kind, const RegistryKeyPath& key, bool values) {
  auto store = Acquire(kind, false);
  if (!store) return nullptr;
  std::lock_guard<std::mutex> guard(store->Lock());
  sqlite3_int64 id = FindKey(*store, FoldedPath(key, key.size()));
  if (id == 0) return nullptr;
  auto* cursor = new RegistryStoreCursor;
  cursor->store = store;
  cursor->key = id;
  cursor->values = values;
  return cursor;
}

bool RegistryStoreCursorStep(RegistryStoreCursor* cursor, RegistryEntry& out) {
  Store& store = *cursor->store;
  std::lock_guard<std::mutex> guard(store.Lock());
  Transaction tx(store, false);
  if (!tx) return false;
  {
    Step alive(store, kKeyAlive);
    if (!alive) return false;
    alive.Int(1, cursor->key);
    if (!alive.Row(kErrorKeyDeleted)) return false;
  }
  Step next(store, cursor->values ? kNextValue : kNextKey);
  if (!next) return false;
  next.Int(1, cursor->key);
  if (cursor->values) next.Int(2, cursor->lastSeq);
  else next.Blob(2, cursor->lastFold);
  if (!next.Row(kErrorNoMoreItems)) return false;
  if (cursor->values) {
    cursor->lastSeq = next.IntAt(0);
    out.name = next.UnitsAt(1);
    out.type = static_cast<uint32_t>(next.IntAt(2));
    next.BytesAt(3, out.data);
  } else {
    auto* fold = static_cast<const char*>(sqlite3_column_blob(next.Raw(), 0));
    cursor->lastFold.assign(fold != nullptr ? fold : "", static_cast<size_t>(sqlite3_column_bytes(next.Raw(), 0)));
    out.name = next.UnitsAt(1);
    out.type = kRegTypeNone;
    out.data.clear();
  }
  return tx.Commit();
}

void RegistryStoreCursorClose(RegistryStoreCursor* cursor) noexcept { delete cursor; }

}  // namespace qv::os
