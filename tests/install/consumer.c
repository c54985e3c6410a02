/* Uses the installed library from plain C. */
#include <qvcore5/qvcore.h>
#include <stdio.h>

int main(void) {
  QVMUTEX mutex;
  if (QVMutexCreate("consumer", QV_MUTEX_CHECKED, &mutex) != QV_S_OK) return 1;
  if (QVMutexAcquire(mutex) != QV_S_OK) return 2;
  if (!QVMutexAssertOwnership(mutex, 1)) return 3;
  if (QVMutexRelease(mutex) != QV_S_OK) return 4;
  if (QVMutexRelease(mutex) != QV_E_FAIL) return 5;
  if (QVMutexDestroy(mutex) != 0) return 6;
  if (QVResultFromNative(3) != QV_E_NOTFOUND) return 7;
  puts("consumer ok");
  return 0;
}
