// Demo sections: mutexes, result codes, trace output.
#include <qvcore5/qvcore.h>

#include <cinttypes>
#include <cstdio>

#include "demo.h"

namespace demo {

void MutexSection() {
  Say("\n== Mutexes ==");
  QVMUTEX plain, checked;
  QVRESULT r = QVMutexCreate("demo::plain", 0, &plain);
  Check(r == QV_S_OK, "created a plain mutex");
  r = QVMutexCreate("demo::checked", QV_MUTEX_CHECKED | QV_MUTEX_NONRECURSIVE, &checked);
  Check(r == QV_S_OK, "created a checked, non-recursive mutex");

  Check(QVMutexAcquire(plain) == QV_S_OK && QVMutexAcquire(plain) == QV_S_OK,
        "the plain mutex is recursive: acquired twice by the same thread");
  QVMutexRelease(plain);
  QVMutexRelease(plain);

  QVMutexAcquire(checked);
  r = QVMutexAcquire(checked);
  std::printf("  a second acquire of the checked mutex returned 0x%08" PRIX32 "\n", static_cast<uint32_t>(r));
  Check(r == QV_E_FAIL, "the checked mutex refused recursion instead of deadlocking");
  QVMutexRelease(checked);
  r = QVMutexRelease(checked);
  std::printf("  releasing it again (no longer owned) returned 0x%08" PRIX32 "\n", static_cast<uint32_t>(r));
  Check(r == QV_E_FAIL, "the failed ownership check came back as 0x80004005");

  Check(QVMutexDestroy(plain) == 0 && QVMutexDestroy(checked) == 0, "destroyed both mutexes");
}

void ResultSection() {
  Say("\n== Platform errors as result codes ==");
  const struct {
    uint32_t native;
    const char* meaning;
  } samples[] = {{0, "success"}, {2, "file not found"}, {3, "path not found"}, {5, "access denied"},
                 {183, "already exists"}, {258, "wait time-out"}, {87, "invalid parameter (not in the table)"}};
  for (const auto& s : samples)
    std::printf("  error %3" PRIu32 " (%s) -> 0x%08" PRIX32 "\n", s.native, s.meaning,
                static_cast<uint32_t>(QVResultFromNative(s.native)));
  Check(QVResultFromNative(3) == QV_E_NOTFOUND, "path not found maps to the same code as file not found");
}

void TraceSection() {
  Say("\n== Trace output ==");
  Say("  the next line on standard error comes from QVTrace, prefixed by the thread id:");
  std::fflush(stdout);
  QVTrace(u"demo trace: %d mutexes, %hs\n", 2, "all released");
}

}  // namespace demo
