#include <cstring>
#include <memory>

#include "sync/sync_test.h"
#include "sync/xproc.h"

using qvtest::HelperProcess;
using qvtest::ObjectExists;
using qvtest::UniqueName;

namespace {
constexpr uint32_t kRW = QV_SHM_READ | QV_SHM_WRITE;

// A section with one writable view, detached and closed at the end.
struct Mapped {
  QVHANDLE section = QV_INVALID_HANDLE;
  char* view = nullptr;
  QVRESULT opened;
  Mapped(const char* name, uint32_t flags, uint32_t size) : opened(QVSharedMemOpen(name, flags, 0, size, &section)) {
    void* v = nullptr;
    if (opened >= 0 && QVSharedMemAttach(section, QV_SHM_WRITE, &v) == QV_S_OK) view = static_cast<char*>(v);
  }
  ~Mapped() {
    if (view != nullptr) QVSharedMemDetach(view);
    if (section != QV_INVALID_HANDLE) QVSharedMemClose(section);
  }
};
}  // namespace

TEST(SharedMemory, OpenReportsCreatedOrExistingExactly) {
  std::string name = UniqueName("qvshm");
  QVHANDLE a, b, c = nullptr, d;
  ASSERT_EQ(QVSharedMemOpen(name.c_str(), kRW | QV_SHM_CREATE | QV_SHM_EXCLUSIVE, 0, 4096, &a), QV_SHM_S_CREATED);
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), kRW | QV_SHM_CREATE, 0, 4096, &b), QV_S_OK);
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_CREATE | QV_SHM_EXCLUSIVE, 0, 4096, &c), QV_E_FAIL);
  EXPECT_EQ(c, QV_INVALID_HANDLE);
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_READ, 0, 0, &d), QV_S_OK);  // open only
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_EXCLUSIVE, 0, 10, &c), QV_S_OK);  // 0x400 alone opens or creates
  for (QVHANDLE h : {d, c, b, a}) EXPECT_EQ(QVSharedMemClose(h), QV_S_OK);
  EXPECT_FALSE(ObjectExists(name));
  Mapped unnamed(nullptr, kRW | QV_SHM_CREATE, 64), empty("", kRW, 0);  // null and empty names are one name
  ASSERT_GE(unnamed.opened, 0);
  ASSERT_EQ(empty.opened, QV_S_OK);
  unnamed.view[5] = 'q';
  EXPECT_EQ(static_cast<volatile char*>(empty.view)[5], 'q');
}

TEST(SharedMemory, BadInputGetsItsExactResult) {
  QVHANDLE h = nullptr;
  std::string name = UniqueName("qvshm");
  struct Row {
    std::string name;
    uint32_t flags, size;
    QVRESULT result;
  } rows[] = {{std::string(260, 'n'), QV_SHM_CREATE, 16, QV_E_FAIL},
              {name, QV_SHM_CREATE, 0, QV_E_FAIL},  // a new section needs a size
              {name, kRW, 0, QV_E_NOTFOUND}};
  for (const Row& r : rows) {
    EXPECT_EQ(QVSharedMemOpen(r.name.c_str(), r.flags, 0, r.size, &h), r.result) << r.name;
    EXPECT_EQ(h, QV_INVALID_HANDLE);
  }
  EXPECT_FALSE(ObjectExists(name));
  EXPECT_EQ(QVSharedMemOpen("x", QV_SHM_CREATE, 0, 16, nullptr), QV_E_INVALIDARG);

  Mapped m(name.c_str(), QV_SHM_CREATE, 64);
  ASSERT_EQ(m.opened, QV_SHM_S_CREATED);
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_CREATE, 0, 0, &h), QV_S_OK);  // size 0 opens an existing one
  void* view = reinterpret_cast<void*>(1);
  EXPECT_EQ(QVSharedMemAttach(h, 0, &view), QV_E_FAIL);  // grants nothing: the platform refuses
  EXPECT_EQ(QVSharedMemAttach(h, 0x1, &view), QV_E_FAIL);
  EXPECT_EQ(view, reinterpret_cast<void*>(1));
  EXPECT_EQ(QVSharedMemAttach(h, QV_SHM_READ, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVSharedMemClose(h), QV_S_OK);
  EXPECT_EQ(QVSharedMemAttach(h, QV_SHM_READ, &view), QV_E_HANDLE);
  for (QVHANDLE bad : {h, QV_INVALID_HANDLE, reinterpret_cast<QVHANDLE>(0x1234560)})
    EXPECT_EQ(QVSharedMemClose(bad), QV_E_HANDLE);
  char local[16];
  for (void* notAView : {static_cast<void*>(local), static_cast<void*>(m.view + 8), static_cast<void*>(nullptr)})
    EXPECT_EQ(QVSharedMemDetach(notAView), QV_E_FAIL);
}

TEST(SharedMemory, ViewsShareBytesAndOutliveTheirHandle) {
  std::string name = UniqueName("qvshm");
  QVHANDLE h, reader;
  ASSERT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_CREATE | kRW, 0, 10000, &h), QV_SHM_S_CREATED);
  void *view, *readView = nullptr;
  ASSERT_EQ(QVSharedMemAttach(h, QV_SHM_WRITE, &view), QV_S_OK);
  char* bytes = static_cast<char*>(view);
  EXPECT_EQ(bytes[9999], 0);  // a new section is zero-filled, whole size mapped
  ASSERT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_READ, 0, 0, &reader), QV_S_OK);
  EXPECT_EQ(QVSharedMemAttach(reader, QV_SHM_WRITE, &readView), QV_E_ACCESSDENIED);  // read-only handle
  ASSERT_EQ(QVSharedMemAttach(reader, QV_SHM_READ, &readView), QV_S_OK);
  std::strcpy(bytes + 9990, "shared");
  EXPECT_STREQ(static_cast<char*>(readView) + 9990, "shared");
  EXPECT_EQ(QVSharedMemDetach(readView), QV_S_OK);
  EXPECT_EQ(QVSharedMemDetach(readView), QV_E_FAIL);  // a second detach
  EXPECT_EQ(QVSharedMemClose(reader), QV_S_OK);
  ASSERT_EQ(QVSharedMemClose(h), QV_S_OK);
  EXPECT_TRUE(ObjectExists(name));  // the view keeps the section
  EXPECT_EQ(QVSharedMemDetach(view), QV_S_OK);
  EXPECT_FALSE(ObjectExists(name));
}

TEST(SharedMemoryAcrossProcesses, MemoryWrittenByOneIsReadByTheOther) {
  std::string name = UniqueName("qvshm");
  HelperProcess helper;
  ASSERT_EQ(helper.Run("shm " + name + " c0000100 4096"), QV_SHM_S_CREATED);
  ASSERT_EQ(helper.Run("attach 40000000"), QV_S_OK);
  ASSERT_EQ(helper.Run("write 100 from-helper"), QV_S_OK);
  {
    Mapped mine(name.c_str(), kRW | QV_SHM_CREATE, 4096);
    EXPECT_EQ(mine.opened, QV_S_OK);
    ASSERT_NE(mine.view, nullptr);
    EXPECT_STREQ(mine.view + 100, "from-helper");
    std::strcpy(mine.view + 2000, "from-test");
    EXPECT_EQ(helper.Send("read 2000"), "00000000 from-test");
  }
  EXPECT_EQ(helper.Send("read 100"), "00000000 from-helper");  // the helper's handle kept it
  EXPECT_EQ(helper.Run("shmclose"), QV_S_OK);
  EXPECT_FALSE(ObjectExists(name));
}

// A killed helper's post and bytes stay in the objects this process holds; objects only it held are gone for a new
// opener, and the start of another process reclaims the orphans nobody opened again.
TEST(NamedObjectsAcrossProcesses, KilledHoldersLeaveTheirWorkAndNoOrphans) {
  std::string sharedSem = UniqueName("qvsem"), aloneSem = UniqueName("qvsem"), orphanSem = UniqueName("orphan-sem");
  std::string sharedShm = UniqueName("qvshm"), aloneShm = UniqueName("qvshm"), orphanShm = UniqueName("orphan-shm");
  QVSEMAPHORE sem, again;
  ASSERT_EQ(QVNamedSemOpen(sharedSem.c_str(), 0, &sem), QV_S_OK);
  std::unique_ptr<Mapped> mine;
  {
    HelperProcess holder;
    ASSERT_EQ(holder.Run("sem " + sharedSem + " 0"), QV_S_OK);
    EXPECT_EQ(holder.Run("post"), QV_S_OK);
    ASSERT_EQ(holder.Run("sem " + aloneSem + " 3"), QV_S_OK);
    ASSERT_EQ(holder.Run("sem " + orphanSem + " 3"), QV_S_OK);
    ASSERT_EQ(holder.Run("shm " + aloneShm + " c0000100 64"), QV_SHM_S_CREATED);
    ASSERT_EQ(holder.Run("shm " + orphanShm + " C0000100 4096"), QV_SHM_S_CREATED);
    ASSERT_EQ(holder.Run("shm " + sharedShm + " c0000100 64"), QV_SHM_S_CREATED);
    ASSERT_EQ(holder.Run("attach c0000000"), QV_S_OK);
    ASSERT_EQ(holder.Run("write 0 left"), QV_S_OK);
    mine = std::make_unique<Mapped>(sharedShm.c_str(), kRW, 0);
    ASSERT_EQ(mine->opened, QV_S_OK);
    holder.Kill();
  }
  EXPECT_STREQ(mine->view, "left");
  QVHANDLE h;
  EXPECT_EQ(QVSharedMemOpen(aloneShm.c_str(), kRW, 0, 0, &h), QV_E_NOTFOUND);
  ASSERT_EQ(QVNamedSemOpen(aloneSem.c_str(), 0, &again), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(again), QV_E_FAIL);  // a new object, not the killed one's count of 3
  QVNamedSemClose(again);
  ASSERT_EQ(QVNamedSemOpen(sharedSem.c_str(), 7, &again), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(again), QV_S_OK);  // the killed helper's post
  EXPECT_EQ(QVNamedSemPost(sem), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(again), QV_S_OK);  // one count shared, not a new object
  EXPECT_EQ(QVNamedSemTryWait(again), QV_E_FAIL);
  // Any test process starting meanwhile may already have reclaimed the orphans; this one surely has once it answers.
  ASSERT_EQ(HelperProcess().Run("semclose"), QV_S_OK);
  for (const std::string& name : {orphanSem, orphanShm, aloneSem, aloneShm}) EXPECT_FALSE(ObjectExists(name)) << name;
  EXPECT_TRUE(ObjectExists(sharedSem) && ObjectExists(sharedShm));
  QVNamedSemClose(again), QVNamedSemClose(sem);
  mine.reset();
  EXPECT_FALSE(ObjectExists(sharedSem) || ObjectExists(sharedShm));
}

#if defined(_WIN32)
// One access entry: the mask for authenticated users (S-1-5-11), in a list of
// the identifier's length plus 16 bytes that the caller frees.
TEST(RestrictedSecurityDescriptor, GrantsTheMaskToAuthenticatedUsersOnly) {
  SECURITY_DESCRIPTOR descriptor;
  void* list = reinterpret_cast<void*>(1);
  ASSERT_EQ(QVWinBuildRestrictedSD(&descriptor, 0x1F0003, &list), QV_S_OK);
  ASSERT_NE(list, nullptr);
  BOOL present = FALSE, defaulted = TRUE;
  ACL* acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(&descriptor, &present, &acl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  EXPECT_EQ(acl, list);
  ASSERT_EQ(acl->AceCount, 1);
  ACCESS_ALLOWED_ACE* ace = nullptr;
  ASSERT_TRUE(GetAce(acl, 0, reinterpret_cast<void**>(&ace)));
  EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(ace->Mask, 0x1F0003u);
  auto* sid = reinterpret_cast<SID*>(&ace->SidStart);
  EXPECT_EQ(sid->SubAuthorityCount, 1);
  EXPECT_EQ(sid->IdentifierAuthority.Value[5], 5);
  EXPECT_EQ(sid->SubAuthority[0], 11u);
  EXPECT_EQ(acl->AclSize, GetLengthSid(sid) + 16);
  QVWinFreeRestrictedSD(list);
  QVWinFreeRestrictedSD(nullptr);
  EXPECT_EQ(QVWinBuildRestrictedSD(&descriptor, 1, nullptr), QV_E_INVALIDARG);
}
#else
TEST(RestrictedSecurityDescriptor, IsNotImplementedOnThisPlatform) {
  unsigned char descriptor[64] = {};
  void* list = reinterpret_cast<void*>(1);
  EXPECT_EQ(QVWinBuildRestrictedSD(descriptor, 0x1F0003, &list), QV_E_NOTIMPL);
  EXPECT_EQ(list, nullptr);
  QVWinFreeRestrictedSD(nullptr);
}
#endif
