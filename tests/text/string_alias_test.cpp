// Functions the library exports under two names are one function: both
// names resolve to one address in the shared library.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
void* dlopen(const char* file, int) { return LoadLibraryA(file); }
void* dlsym(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void dlclose(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
const char* dlerror() { return "LoadLibraryA failed"; }
constexpr int RTLD_NOW = 0, RTLD_LOCAL = 0;
#endif

TEST(StringAliases, BothExportedNamesAreOneFunction) {
  void* library = dlopen(QV_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const char* pairs[][2] = {
      {"QVStrLenW", "QVStrLenUTF16"}, {"QVStrNLenW", "QVStrNLenUTF16"}, {"QVStrFreeA", "QVStrFreeW"}};
  for (auto& pair : pairs) {
    void* first = dlsym(library, pair[0]);
    void* second = dlsym(library, pair[1]);
    ASSERT_NE(first, nullptr) << pair[0];
    EXPECT_EQ(first, second) << pair[0] << " and " << pair[1];
  }
  dlclose(library);
}

}  // namespace
