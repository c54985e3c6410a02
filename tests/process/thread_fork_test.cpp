// The calling thread's identifier in the child of a fork.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "qvcore5/qvcore.h"

namespace {

uint32_t ReturnOwnId(void*) { return QVThreadGetID(); }

// Exit codes: 0 right, else the number of the failed check.
[[noreturn]] void CheckIdsInChild(uint32_t parentId) {
  uint32_t id = QVThreadGetID();
  if (id == parentId) _exit(1);
  if (id != static_cast<uint32_t>(getpid())) _exit(2);  // a child's only thread has the process's id
  QVMUTEX m;
  if (QVMutexCreate("fork-owner", QV_MUTEX_CHECKED, &m) != QV_S_OK) _exit(3);
  if (QVMutexAcquire(m) != QV_S_OK) _exit(4);
  if (QVMutexAssertOwnership(m, 1) == 0) _exit(5);
  uint32_t thread = 0, threadId = 0, threadsOwnId = 0;
  if (QVThreadCreate(&ReturnOwnId, nullptr, 0, 0, &thread, &threadId) != QV_S_OK) _exit(6);
  if (QVThreadJoin(thread, &threadsOwnId) != QV_S_OK || threadsOwnId != threadId || threadId == id) _exit(7);
  if (QVMutexRelease(m) != QV_S_OK) _exit(8);
  QVMutexDestroy(m);
  _exit(0);
}

TEST(ThreadIdAfterFork, ChildSeesItsOwnThreadId) {
  uint32_t parentId = QVThreadGetID();  // cached before the fork
  ASSERT_EQ(parentId, static_cast<uint32_t>(gettid()));
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) CheckIdsInChild(parentId);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(QVThreadGetID(), parentId);
}

}  // namespace
