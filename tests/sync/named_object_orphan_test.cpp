// Named semaphores and sections whose holders died are reclaimed when the
// library starts in any process, without waiting for their names to be
// opened again; objects somebody holds are left alone.
#include <gtest/gtest.h>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/xproc.h"

namespace {

using qvtest::Code;
using qvtest::HelperProcess;
using qvtest::ObjectExists;
using qvtest::UniqueName;

TEST(NamedObjectOrphans, StartOfAnotherProcessReclaimsObjectsOfKilledHolders) {
  std::string orphanSem = UniqueName("orphan-sem");
  std::string orphanShm = UniqueName("orphan-shm");
  std::string heldSem = UniqueName("held-sem");
  std::string heldShm = UniqueName("held-shm");

  // Held by this process for the whole test.
  QVSEMAPHORE sem;
  ASSERT_EQ(QVNamedSemOpen(heldSem.c_str(), 0, &sem), QV_S_OK);
  QVHANDLE section;
  ASSERT_EQ(QVSharedMemOpen(heldShm.c_str(), QV_SHM_CREATE | QV_SHM_READ | QV_SHM_WRITE, 0, 4096, &section),
            QV_SHM_S_CREATED);

  {
    HelperProcess holder;
    ASSERT_EQ(Code(holder.Send("sem " + orphanSem + " 3")), QV_S_OK);
    ASSERT_EQ(Code(holder.Send("shm " + orphanShm + " C0000100 4096")), QV_SHM_S_CREATED);
    ASSERT_EQ(Code(holder.Send("sem " + heldSem + " 0")), QV_S_OK);  // a second holder that dies
    holder.Kill();
  }
  // Not checked here that the orphans exist: any test process starting
  // meanwhile may already have reclaimed them.

  {
    HelperProcess fresh;  // its library start sweeps; an answer means the start is over
    ASSERT_EQ(Code(fresh.Send("semclose")), QV_S_OK);
  }
  EXPECT_FALSE(ObjectExists(orphanSem));
  EXPECT_FALSE(ObjectExists(orphanShm));

  // Our objects survive and still work.
  ASSERT_TRUE(ObjectExists(heldSem));
  ASSERT_TRUE(ObjectExists(heldShm));
  QVSEMAPHORE again;
  ASSERT_EQ(QVNamedSemOpen(heldSem.c_str(), 7, &again), QV_S_OK);
  EXPECT_EQ(QVNamedSemPost(sem), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(again), QV_S_OK);  // one count shared, not a new object
  EXPECT_EQ(QVNamedSemTryWait(again), QV_E_FAIL);
  QVHANDLE reopened;
  EXPECT_EQ(QVSharedMemOpen(heldShm.c_str(), QV_SHM_READ, 0, 0, &reopened), QV_S_OK);
  QVSharedMemClose(reopened);

  QVNamedSemClose(again);
  QVNamedSemClose(sem);
  QVSharedMemClose(section);
  EXPECT_FALSE(ObjectExists(heldSem));
  EXPECT_FALSE(ObjectExists(heldShm));
}

}  // namespace
