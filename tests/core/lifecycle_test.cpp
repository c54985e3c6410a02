#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/library_state.h"
#include "com/module_manager.h"
#include "core/global_data.h"
#include "core/lifecycle.h"
#include "process/time.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/mutex.h"

using namespace qv::core;

TEST(Lifecycle, LoadingTheLibraryStartedIt) {
  EXPECT_EQ(AttachCount(), 1);
  EXPECT_TRUE(qv::base::LibraryInitialized());
  EXPECT_NE(qv::process::SystemTimeSource(), nullptr);
  CQVGlobalData& gd = GlobalData();
  EXPECT_NE(gd.m_mutexProvider, nullptr);
  EXPECT_NE(DebugMutex(), nullptr);
  ASSERT_NE(gd.m_moduleManager, nullptr);
  EXPECT_NE(gd.m_clientData, nullptr);
  // The process attach marked the library's own module initialized.
  EXPECT_TRUE(gd.m_moduleManager->Contains(OwnModuleId()));
}

TEST(Lifecycle, SecondStartOnlyCountsAndUnmatchedEndFails) {
  CQVGlobalData before = GlobalData();
  LibraryStart();
  EXPECT_EQ(AttachCount(), 2);
  EXPECT_EQ(GlobalData().m_debugMutex, before.m_debugMutex);
  EXPECT_EQ(LibraryEnd(), QV_S_OK);  // only decrements
  EXPECT_EQ(AttachCount(), 1);
  EXPECT_EQ(GlobalData().m_mutexProvider, before.m_mutexProvider);
}

TEST(Lifecycle, EndTearsDownEverythingAndStartRebuildsInOrder) {
  ASSERT_EQ(LibraryEnd(), QV_S_OK);
  EXPECT_EQ(AttachCount(), 0);
  CQVGlobalData& gd = GlobalData();
  EXPECT_EQ(gd.m_mutexProvider, nullptr);
  EXPECT_EQ(gd.m_debugMutex, nullptr);
  EXPECT_EQ(gd.m_moduleManager, nullptr);
  EXPECT_EQ(gd.m_clientData, nullptr);
  EXPECT_EQ(LibraryEnd(), QV_E_FAIL);  // an end without a start changes nothing
  EXPECT_EQ(AttachCount(), 0);
  EXPECT_TRUE(qv::base::LibraryInitialized());  // never cleared
  QVMUTEX m;
  EXPECT_EQ(QVMutexCreate("late", 0, &m), QV_E_FAIL);  // no provider while stopped
  EXPECT_EQ(m, reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE));

  auto created = qvtest::MutexesCreatedBy([] { LibraryStart(); });
  ASSERT_EQ(AttachCount(), 1);
  std::vector<std::string> expected = {"CQVGlobalData::m_debugMutex", "CQVModuleManager::m_setLock"};
  // Later managers add their own mutexes; the ones of this order must come first and in it.
  std::vector<std::string> relevant;
  for (const auto& n : created)
    if (n == expected[0] || n == expected[1]) relevant.push_back(n);
  EXPECT_EQ(relevant, expected);
  EXPECT_NE(DebugMutex(), nullptr);
}

namespace {
void FailDebugMutex(const char* name) {
  if (std::string(name) == "CQVGlobalData::m_debugMutex") throw std::bad_alloc();
}
}  // namespace

TEST(Lifecycle, AFailedBuildKeepsWhatWasBuiltAndEndsCleanly) {
  ASSERT_EQ(LibraryEnd(), QV_S_OK);
  qv::sync::CQVMutexProvider::SetCreationObserver(&FailDebugMutex);
  LibraryStart();
  qv::sync::CQVMutexProvider::SetCreationObserver(nullptr);
  CQVGlobalData& gd = GlobalData();
  EXPECT_EQ(AttachCount(), 1);
  EXPECT_NE(gd.m_mutexProvider, nullptr);  // built before the failure
  EXPECT_EQ(DebugMutex(), nullptr);         // trace works without it
  EXPECT_EQ(gd.m_moduleManager, nullptr);   // never reached
  EXPECT_EQ(gd.m_clientData, nullptr);
  QVTrace(u"%s", u"");
  EXPECT_EQ(QVModuleSetInitialized(OwnModuleId(), 1), QV_E_FAIL);
  EXPECT_EQ(LibraryEnd(), QV_S_OK);
  LibraryStart();
  EXPECT_NE(DebugMutex(), nullptr);
  ASSERT_NE(gd.m_moduleManager, nullptr);
}
