#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/global_data.h"
#include "core/lifecycle.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/lock_stat_manager.h"
#include "sync/mutex.h"

namespace {

// Ends the library for real (attach count 1) and starts it again, recording
// the names of the mutexes the restart creates.
std::vector<std::string> RestartLibrary() {
  EXPECT_EQ(qv::core::AttachCount(), 1);
  EXPECT_EQ(qv::core::LibraryEnd(), QV_S_OK);
  EXPECT_EQ(qv::core::GlobalData().m_lockStatManager, nullptr);
  auto created = qvtest::MutexesCreatedBy([] { qv::core::LibraryStart(); });
  QVModuleSetInitialized(qv::core::OwnModuleId(), 1);
  return created;
}

}  // namespace

TEST(LifecycleOrder, LibraryMutexesAreCreatedInStartOrder) {
  std::vector<std::string> created = RestartLibrary();
  ASSERT_GE(created.size(), 3u);
  EXPECT_EQ(created[0], "CQVLockStatManager::m_mutex");
  EXPECT_EQ(created[1], "CQVGlobalData::m_debugMutex");
  EXPECT_EQ(created[2], "CQVModuleManager::m_setLock");
  EXPECT_NE(qv::core::GlobalData().m_lockStatManager, nullptr);
  EXPECT_EQ(qv::core::AttachCount(), 1);
}

TEST(LifecycleOrder, EndReleasesDestroyedMeasuredMutexesAndForgetsLiveOnes) {
  QVMUTEX destroyed = nullptr, live = nullptr;
  ASSERT_EQ(QVMutexCreate("lc-destroyed", QV_MUTEX_STATS, &destroyed), QV_S_OK);
  ASSERT_EQ(QVMutexCreate("lc-live", QV_MUTEX_STATS, &live), QV_S_OK);
  // An extra reference of our own shows when the manager lets go of its one.
  auto* object = qv::sync::CQVMutex::FromHandle(destroyed);
  object->AddReference();
  ASSERT_EQ(QVMutexDestroy(destroyed), 0);
  EXPECT_EQ(object->RefCount(), 2u);

  RestartLibrary();
  EXPECT_EQ(object->RefCount(), 1u);
  object->ReleaseReference();

  // The new manager never saw the live mutex; destroying it hands it over
  // as destroyed, and the next reset deletes it.
  EXPECT_EQ(qv::core::GlobalData().m_lockStatManager->EntryCount(), 0u);
  EXPECT_EQ(QVMutexDestroy(live), 0);
  EXPECT_EQ(qv::core::GlobalData().m_lockStatManager->EntryCount(), 1u);
  EXPECT_EQ(QVResetLockStats(), QV_S_OK);
  EXPECT_EQ(qv::core::GlobalData().m_lockStatManager->EntryCount(), 0u);
}

TEST(LifecycleOrder, WithoutManagerMeasuredMutexesStillWork) {
  // Between an end and the next start the mutex functions fall back.
  QVMUTEX m = nullptr;
  ASSERT_EQ(QVMutexCreate("lc-before-end", QV_MUTEX_STATS, &m), QV_S_OK);
  auto* object = qv::sync::CQVMutex::FromHandle(m);
  object->AddReference();
  ASSERT_EQ(qv::core::LibraryEnd(), QV_S_OK);
  EXPECT_EQ(QVMutexDestroy(m), 1);  // released by the destroyer: only our reference is left
  EXPECT_EQ(QVDumpLockStats("x", u"/nonexistent/never-written.csv"), QV_E_FAIL);
  EXPECT_EQ(QVResetLockStats(), QV_S_OK);
  qv::core::LibraryStart();
  QVModuleSetInitialized(qv::core::OwnModuleId(), 1);
  EXPECT_EQ(object->ReleaseReference(), 0u);
}
