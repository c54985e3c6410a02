// Registry reads, writes and enumeration against a baseline in the same run:
// one SQLite table keyed by (key path, value name), same journal mode and
// synchronous setting as the user store, used through prepared statements.
#include <benchmark/benchmark.h>
#include <qvcore5/qvcore.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kValues = 100000;
constexpr int kEnumValues = 10000;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }

std::string KeyOf(int i) {
  return "Bench\\Group" + std::to_string(i / 1000) + "\\Set" + std::to_string(i / 100 % 10) + "\\Leaf" +
         std::to_string(i / 10 % 10);
}
std::string NameOf(int i) { return "Value" + std::to_string(i % 10); }

struct Scratch {
  std::string dir;
  sqlite3* db = nullptr;
  sqlite3_stmt *get = nullptr, *put = nullptr, *scan = nullptr;
  std::vector<std::u16string> keys, names;

  Scratch() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/qvbench_regXXXXXX";
    dir = mkdtemp(templ.data());
    setenv("QV_REGISTRY_DIR", dir.c_str(), 1);
    sqlite3_open((dir + "/baseline.sqlite").c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                     "CREATE TABLE kv(path TEXT NOT NULL, name TEXT NOT NULL, type INTEGER, data BLOB,"
                     " PRIMARY KEY(path, name));", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db, "SELECT type, data FROM kv WHERE path = ?1 AND name = ?2", -1, &get, nullptr);
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO kv VALUES(?1, ?2, ?3, ?4)", -1, &put, nullptr);
    sqlite3_prepare_v2(db, "SELECT name, type, data FROM kv WHERE path = ?1 ORDER BY name", -1, &scan, nullptr);
    const std::u16string text = u"short string";
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < kValues; ++i) {
      std::string key = KeyOf(i), name = NameOf(i);
      keys.push_back(Wide(key));
      names.push_back(Wide(name));
      QVRegistrySetValue(QV_HKEY_USER, P(keys.back()), P(names.back()), QV_REG_STRING, text.c_str(),
                         static_cast<uint32_t>((text.size() + 1) * 2));
      Put(key, name, text);
    }
    for (int i = 0; i < kEnumValues; ++i) {
      std::string name = "Entry" + std::to_string(i);
      QVRegistrySetValue(QV_HKEY_USER, P(u"Wide"), P(Wide(name)), QV_REG_STRING, text.c_str(),
                         static_cast<uint32_t>((text.size() + 1) * 2));
      Put("wide", name, text);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  ~Scratch() {
    sqlite3_finalize(get);
    sqlite3_finalize(put);
    sqlite3_finalize(scan);
    sqlite3_close(db);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  void Put(const std::string& key, const std::string& name, const std::u16string& text) {
    sqlite3_bind_text(put, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(put, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(put, 3, 1);
    sqlite3_bind_blob(put, 4, text.c_str(), static_cast<int>((text.size() + 1) * 2), SQLITE_TRANSIENT);
    sqlite3_step(put);
    sqlite3_reset(put);
  }
};

Scratch& Shared() {
  static Scratch* scratch = new Scratch;
  return *scratch;
}

void BM_RegistryGet(benchmark::State& state) {
  Scratch& s = Shared();
  char16_t buffer[64];
  int i = 0;
  for (auto _ : state) {
    uint32_t size = sizeof buffer, type;
    int at = (i++ * 7919) % kValues;
    if (QVRegistryGetValue(QV_HKEY_USER, P(s.keys[at]), P(s.names[at]), &type, buffer, &size) != 0)
      state.SkipWithError("read failed");
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_BaselineGet(benchmark::State& state) {
  Scratch& s = Shared();
  char16_t buffer[64];
  int i = 0;
  std::vector<std::string> keys, names;
  for (int k = 0; k < kValues; ++k) keys.push_back(KeyOf(k)), names.push_back(NameOf(k));
  for (auto _ : state) {
    int at = (i++ * 7919) % kValues;
    sqlite3_bind_text(s.get, 1, keys[at].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(s.get, 2, names[at].c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(s.get) != SQLITE_ROW) state.SkipWithError("read failed");
    else std::memcpy(buffer, sqlite3_column_blob(s.get, 1), sqlite3_column_bytes(s.get, 1));
    benchmark::DoNotOptimize(buffer);
    sqlite3_reset(s.get);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_RegistrySet(benchmark::State& state) {
  Scratch& s = Shared();
  const std::u16string text = u"new text";
  int i = 0;
  for (auto _ : state) {
    std::u16string& name = s.names[i++ % 100];
    if (QVRegistrySetValue(QV_HKEY_USER, P(s.keys[0]), P(name), QV_REG_STRING, text.c_str(), 18) != 0)
      state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_BaselineSet(benchmark::State& state) {
  Scratch& s = Shared();
  const std::u16string text = u"new text";
  std::string key = KeyOf(0);
  int i = 0;
  for (auto _ : state) s.Put(key, NameOf(i++ % 100), text);
  state.SetItemsProcessed(state.iterations());
}

void BM_RegistryEnumerate10k(benchmark::State& state) {
  Shared();
  QVWCHAR name[64];
  unsigned char data[64];
  int64_t entries = 0;
  for (auto _ : state) {
    QVREGENUM e;
    QVRegistryOpenValueEnum(QV_HKEY_USER, P(u"Wide"), &e);
    for (;;) {
      uint32_t length = 64, size = sizeof data, type;
      if (QVRegistryEnumNextValue(e, name, &length, &type, data, &size) != 0) break;
      ++entries;
    }
    QVRegistryCloseEnum(e);
  }
  if (entries != state.iterations() * kEnumValues) state.SkipWithError("wrong count");
  state.SetItemsProcessed(entries);
}

void BM_BaselineEnumerate10k(benchmark::State& state) {
  Scratch& s = Shared();
  int64_t entries = 0;
  unsigned char data[64];
  for (auto _ : state) {
    sqlite3_bind_text(s.scan, 1, "wide", -1, SQLITE_STATIC);
    while (sqlite3_step(s.scan) == SQLITE_ROW) {
      std::memcpy(data, sqlite3_column_blob(s.scan, 2), sqlite3_column_bytes(s.scan, 2));
      benchmark::DoNotOptimize(data);
      ++entries;
    }
    sqlite3_reset(s.scan);
  }
  state.SetItemsProcessed(entries);
}

BENCHMARK(BM_RegistryGet);
BENCHMARK(BM_BaselineGet);
BENCHMARK(BM_RegistrySet);
BENCHMARK(BM_BaselineSet);
BENCHMARK(BM_RegistryEnumerate10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineEnumerate10k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
