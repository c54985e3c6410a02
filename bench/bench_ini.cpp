// The INI store against writing the same file with fwrite and rename, and
// migrations of 10,000 string values both ways. Built on the library's
// objects, since the store has no export of its own.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "qvcore5/qvcore.h"
#include "registry/ini_file.h"
#include "registry/migrate.h"

namespace {

using namespace qv::registry;

constexpr int kStored = 1000;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string Scratch() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/qvbench_iniXXXXXX";
  return mkdtemp(templ.data());
}

Sections Filled() {
  Sections s;
  for (int i = 0; i < kStored; ++i) s[u"QV_HKEY_CONFIG\\Bench"][u"Old" + Wide(std::to_string(i))] = u"some value text";
  return s;
}

// 1,000 values stored one by one into a store of 1,000 (each a full safe save).
void BM_IniStoreValues(benchmark::State& state) {
  std::string dir = Scratch();
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = dir + "/qvregistry.ini";
    std::string text = FormatIni(Filled());
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    IniFile store(Wide(path));
    state.ResumeTiming();
    for (int i = 0; i < kStored; ++i)
      store.SetValue(u"QV_HKEY_CONFIG\\Bench", u"New" + Wide(std::to_string(i)), u"some value text");
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_IniStoreValues)->Unit(benchmark::kMillisecond)->Iterations(2);

// Baseline: the same growing file written whole 1,000 times with fwrite and rename.
void BM_FwriteRenameBaseline(benchmark::State& state) {
  std::string dir = Scratch();
  for (auto _ : state) {
    Sections s = Filled();
    for (int i = 0; i < kStored; ++i) {
      s[u"QV_HKEY_CONFIG\\Bench"][u"New" + Wide(std::to_string(i))] = u"some value text";
      std::string text = FormatIni(s);
      std::string tmp = dir + "/qvregistry.ini.tmp";
      FILE* f = std::fopen(tmp.c_str(), "wb");
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
      std::rename(tmp.c_str(), (dir + "/qvregistry.ini").c_str());
    }
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FwriteRenameBaseline)->Unit(benchmark::kMillisecond)->Iterations(2);

// 10,000 string values from the operating system's store into the INI file and back.
void BM_Migrate10000(benchmark::State& state) {
  std::string dir = Scratch();
  setenv("QV_REGISTRY_DIR", dir.c_str(), 1);
  for (int i = 0; i < 10000; ++i) {
    std::u16string key = u"Bench\\K" + Wide(std::to_string(i / 100)), name = u"V" + Wide(std::to_string(i % 100));
    QVRegistrySetValue(QV_HKEY_CONFIG, reinterpret_cast<const QVWCHAR*>(key.c_str()),
                       reinterpret_cast<const QVWCHAR*>(name.c_str()), QV_REG_STRING, u"value", 12);
  }
  for (auto _ : state) {
    bool intoIni = state.range(0) == 0;
    if (!intoIni) {
      state.PauseTiming();
      MigrateStores(QV_REGISTRY_NATIVE, QV_REGISTRY_INI, Wide(dir));
      QVRegistryDeleteKey(QV_HKEY_CONFIG, reinterpret_cast<const QVWCHAR*>(u"Bench"));
      state.ResumeTiming();
    }
    QVRESULT r = intoIni ? MigrateStores(QV_REGISTRY_NATIVE, QV_REGISTRY_INI, Wide(dir))
                         : MigrateStores(QV_REGISTRY_INI, QV_REGISTRY_NATIVE, Wide(dir));
    if (r != 0) state.SkipWithError("migration failed");
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Migrate10000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
