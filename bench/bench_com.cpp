// Components: GUID text and generation against libuuid (when present), the
// factory cache answering QVComGetClassObject, and creation by ProgID end to
// end with the sample server registered in a temporary store.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "qvcore5/qvcore.h"
#ifdef QV_HAVE_LIBUUID
#include <uuid/uuid.h>
#endif

namespace {

const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }
const std::u16string kText = u"{6E0F3A2C-51B4-4C7D-9A88-2F1D5E6B7C02}";
const QVGUID kClass = {0x6E0F3A2Cu, 0x51B4u, 0x4C7Du, {0x9A, 0x88, 0x2F, 0x1D, 0x5E, 0x6B, 0x7C, 0x02}};
const QVGUID kFactoryIid = QV_IID_IQVCLASSFACTORY_INIT;
const QVGUID kGreeterIid = {0x6E0F3A2Cu, 0x51B4u, 0x4C7Du, {0x9A, 0x88, 0x2F, 0x1D, 0x5E, 0x6B, 0x7C, 0x01}};

void BM_QVGUIDFromString(benchmark::State& state) {
  QVGUID g;
  for (auto _ : state) {
    QVComGUIDFromString(P(kText), &g);
    benchmark::DoNotOptimize(g);
  }
}
BENCHMARK(BM_QVGUIDFromString);

void BM_QVStringFromGUID(benchmark::State& state) {
  char16_t out[39];
  for (auto _ : state) {
    QVComStringFromGUID(&kClass, reinterpret_cast<QVWCHAR*>(out), 39);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_QVStringFromGUID);

void BM_QVGenerateGUID(benchmark::State& state) {
  QVGUID g;
  for (auto _ : state) {
    QVComGenerateGUID(&g);
    benchmark::DoNotOptimize(g);
  }
}
BENCHMARK(BM_QVGenerateGUID);

#ifdef QV_HAVE_LIBUUID
void BM_uuid_parse(benchmark::State& state) {
  uuid_t u;
  for (auto _ : state) {
    uuid_parse("6E0F3A2C-51B4-4C7D-9A88-2F1D5E6B7C02", u);
    benchmark::DoNotOptimize(u);
  }
}
BENCHMARK(BM_uuid_parse);

void BM_uuid_unparse_upper(benchmark::State& state) {
  uuid_t u;
  uuid_parse("6E0F3A2C-51B4-4C7D-9A88-2F1D5E6B7C02", u);
  char out[37];
  for (auto _ : state) {
    uuid_unparse_upper(u, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_uuid_unparse_upper);

void BM_uuid_generate_random(benchmark::State& state) {
  uuid_t u;
  for (auto _ : state) {
    uuid_generate_random(u);
    benchmark::DoNotOptimize(u);
  }
}
BENCHMARK(BM_uuid_generate_random);
#endif

// The sample server registered once in a temporary store for the whole run.
struct Store {
  std::string folder;
  Store() {
    folder = (std::filesystem::temp_directory_path() / "qvbench_comXXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) std::abort();
    setenv("QV_REGISTRY_DIR", folder.c_str(), 1);
    std::string server = QV_GREETER_SERVER;
    std::u16string path(server.begin(), server.end());
    QVRegistrySetValue(QV_HKEY_CLASSES, P(u"CLSID\\" + kText + u"\\InprocServer32"), P(u""), QV_REG_STRING,
                       path.c_str(), static_cast<uint32_t>((path.size() + 1) * 2));
    QVRegistrySetValue(QV_HKEY_CLASSES, P(u"QVSample.Greeter\\CLSID"), P(u""), QV_REG_STRING, kText.c_str(),
                       static_cast<uint32_t>((kText.size() + 1) * 2));
  }
  ~Store() {
    QVComFlushFactoryCache();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};
Store& TheStore() {
  static Store store;
  return store;
}

void BM_GetClassObjectCached(benchmark::State& state) {
  TheStore();
  void* factory = nullptr;
  for (auto _ : state) {
    if (QVComGetClassObject(&kClass, &kFactoryIid, &factory) != 0) state.SkipWithError("lookup failed");
    static_cast<IQVUnknown*>(factory)->lpVtbl->Release(static_cast<IQVUnknown*>(factory));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetClassObjectCached)->Threads(1)->Threads(2)->UseRealTime();

void BM_CreateObjectByProgID(benchmark::State& state) {
  TheStore();
  void* object = nullptr;
  for (auto _ : state) {
    if (QVComCreateObjectByProgID(P(u"QVSample.Greeter"), nullptr, &kGreeterIid, &object) != 0)
      state.SkipWithError("create failed");
    static_cast<IQVUnknown*>(object)->lpVtbl->Release(static_cast<IQVUnknown*>(object));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CreateObjectByProgID);

}  // namespace

BENCHMARK_MAIN();
