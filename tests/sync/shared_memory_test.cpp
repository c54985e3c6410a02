#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/xproc.h"

using qvtest::Code;
using qvtest::HelperProcess;
using qvtest::ObjectExists;
using qvtest::UniqueName;

namespace {

constexpr uint32_t kReadWrite = QV_SHM_READ | QV_SHM_WRITE;

// A section with one writable view, closed and detached at the end.
struct Mapped {
  QVHANDLE section = QV_INVALID_HANDLE;
  char* view = nullptr;
  QVRESULT opened = QV_E_FAIL;
  Mapped(const std::string& name, uint32_t flags, uint32_t size) {
    opened = QVSharedMemOpen(name.c_str(), flags, 0, size, &section);
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
  ASSERT_EQ(QVSharedMemOpen(name.c_str(), kReadWrite | QV_SHM_CREATE, 0, 4096, &a), QV_SHM_S_CREATED);
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), kReadWrite | QV_SHM_CREATE, 0, 4096, &b), QV_S_OK);
  EXPECT_NE(b, QV_INVALID_HANDLE);
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_CREATE | QV_SHM_EXCLUSIVE, 0, 4096, &c), QV_E_FAIL);
  EXPECT_EQ(c, QV_INVALID_HANDLE);
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_READ, 0, 0, &d), QV_S_OK);  // open only
  EXPECT_EQ(QVSharedMemClose(d), QV_S_OK);
  EXPECT_EQ(QVSharedMemClose(b), QV_S_OK);
  EXPECT_EQ(QVSharedMemClose(a), QV_S_OK);
  EXPECT_FALSE(ObjectExists(name));

  std::string fresh = UniqueName("qvshm");
  EXPECT_EQ(QVSharedMemOpen(fresh.c_str(), QV_SHM_CREATE | QV_SHM_EXCLUSIVE, 0, 10, &a), QV_SHM_S_CREATED);
  EXPECT_EQ(QVSharedMemOpen(fresh.c_str(), QV_SHM_EXCLUSIVE, 0, 10, &b), QV_S_OK);  // 0x400 alone opens or creates
  QVSharedMemClose(b);
  QVSharedMemClose(a);
}

TEST(SharedMemory, BadInputGetsAClearResult) {
  QVHANDLE h = nullptr;
  EXPECT_EQ(QVSharedMemOpen(std::string(260, 'n').c_str(), QV_SHM_CREATE, 0, 16, &h), QV_E_FAIL);
  EXPECT_EQ(h, QV_INVALID_HANDLE);
  EXPECT_EQ(QVSharedMemOpen("x", QV_SHM_CREATE, 0, 16, nullptr), QV_E_INVALIDARG);
  std::string name = UniqueName("qvshm");
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_CREATE, 0, 0, &h), QV_E_FAIL);  // a new section needs a size
  EXPECT_EQ(h, QV_INVALID_HANDLE);
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), kReadWrite, 0, 0, &h), QV_E_NOTFOUND);
  EXPECT_FALSE(ObjectExists(name));

  Mapped m(name, QV_SHM_CREATE, 64);
  ASSERT_EQ(m.opened, QV_SHM_S_CREATED);
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_CREATE, 0, 0, &h), QV_S_OK);  // size 0 opens an existing one
  void* view = reinterpret_cast<void*>(1);
  EXPECT_EQ(QVSharedMemAttach(h, 0, &view), QV_E_FAIL);  // grants nothing: the platform refuses
  EXPECT_EQ(QVSharedMemAttach(h, 0x1, &view), QV_E_FAIL);
  EXPECT_EQ(view, reinterpret_cast<void*>(1));
  EXPECT_EQ(QVSharedMemAttach(h, QV_SHM_READ, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVSharedMemClose(h), QV_S_OK);
  EXPECT_EQ(QVSharedMemClose(h), QV_E_HANDLE);  // a second close
  EXPECT_EQ(QVSharedMemAttach(h, QV_SHM_READ, &view), QV_E_HANDLE);
  EXPECT_EQ(QVSharedMemClose(QV_INVALID_HANDLE), QV_E_HANDLE);
  EXPECT_EQ(QVSharedMemClose(reinterpret_cast<QVHANDLE>(0x1234560)), QV_E_HANDLE);
  char local[16];
  EXPECT_EQ(QVSharedMemDetach(local), QV_E_FAIL);  // not a view
  EXPECT_EQ(QVSharedMemDetach(m.view + 8), QV_E_FAIL);
  EXPECT_EQ(QVSharedMemDetach(nullptr), QV_E_FAIL);
}

TEST(SharedMemory, ViewsOfTwoHandlesSeeTheSameBytes) {
  std::string name = UniqueName("qvshm");
  Mapped writer(name, kReadWrite | QV_SHM_CREATE, 10000);
  ASSERT_NE(writer.view, nullptr);
  EXPECT_EQ(writer.view[9999], 0);  // a new section is zero-filled, whole size mapped
  QVHANDLE reader;
  ASSERT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_READ, 0, 0, &reader), QV_S_OK);
  void* view = nullptr;
  EXPECT_EQ(QVSharedMemAttach(reader, QV_SHM_WRITE, &view), QV_E_ACCESSDENIED);  // read-only handle
  ASSERT_EQ(QVSharedMemAttach(reader, QV_SHM_READ, &view), QV_S_OK);
  std::strcpy(writer.view + 9990, "shared");
  EXPECT_STREQ(static_cast<char*>(view) + 9990, "shared");
  EXPECT_EQ(QVSharedMemDetach(view), QV_S_OK);
  EXPECT_EQ(QVSharedMemDetach(view), QV_E_FAIL);  // a second detach
  QVSharedMemClose(reader);
}

TEST(SharedMemory, AViewKeepsItsSectionAfterTheHandleCloses) {
  std::string name = UniqueName("qvshm");
  QVHANDLE h;
  ASSERT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_CREATE, 0, 128, &h), QV_SHM_S_CREATED);
  void* view;
  ASSERT_EQ(QVSharedMemAttach(h, QV_SHM_WRITE, &view), QV_S_OK);
  std::strcpy(static_cast<char*>(view), "still here");
  ASSERT_EQ(QVSharedMemClose(h), QV_S_OK);
  {
    Mapped again(name, kReadWrite, 0);
    EXPECT_EQ(again.opened, QV_S_OK);
    ASSERT_NE(again.view, nullptr);
    EXPECT_STREQ(again.view, "still here");
  }
  EXPECT_EQ(QVSharedMemDetach(view), QV_S_OK);
  EXPECT_FALSE(ObjectExists(name));
  Mapped fresh(name, QV_SHM_CREATE, 128);
  EXPECT_EQ(fresh.opened, QV_SHM_S_CREATED);
  ASSERT_NE(fresh.view, nullptr);
  EXPECT_EQ(fresh.view[0], 0);
}

TEST(SharedMemoryAcrossProcesses, MemoryWrittenByOneIsReadByTheOther) {
  std::string name = UniqueName("qvshm");
  HelperProcess helper;
  ASSERT_EQ(Code(helper.Send("shm " + name + " c0000100 4096")), QV_SHM_S_CREATED);
  ASSERT_EQ(Code(helper.Send("attach 40000000")), QV_S_OK);
  ASSERT_EQ(Code(helper.Send("write 100 from-helper")), QV_S_OK);
  {
    Mapped mine(name, kReadWrite | QV_SHM_CREATE, 4096);
    EXPECT_EQ(mine.opened, QV_S_OK);
    ASSERT_NE(mine.view, nullptr);
    EXPECT_STREQ(mine.view + 100, "from-helper");
    std::strcpy(mine.view + 2000, "from-test");
    EXPECT_EQ(helper.Send("read 2000"), "00000000 from-test");
  }
  // The helper's handle kept the section.
  EXPECT_EQ(helper.Send("read 100"), "00000000 from-helper");
  EXPECT_EQ(Code(helper.Send("shmclose")), QV_S_OK);
  EXPECT_FALSE(ObjectExists(name));
}

TEST(SharedMemoryAcrossProcesses, AKilledHolderLeavesNothingBehind) {
  std::string name = UniqueName("qvshm");
  {
    HelperProcess helper;
    ASSERT_EQ(Code(helper.Send("shm " + name + " c0000100 64")), QV_SHM_S_CREATED);
    ASSERT_EQ(Code(helper.Send("attach c0000000")), QV_S_OK);
    ASSERT_EQ(Code(helper.Send("write 0 left")), QV_S_OK);
    Mapped mine(name, kReadWrite, 0);
    ASSERT_EQ(mine.opened, QV_S_OK);
    helper.Kill();
    EXPECT_STREQ(mine.view, "left");
  }
  EXPECT_FALSE(ObjectExists(name));
  // Held only by a killed process: a new opener finds no section.
  std::string alone = UniqueName("qvshm");
  {
    HelperProcess helper;
    ASSERT_EQ(Code(helper.Send("shm " + alone + " c0000100 64")), QV_SHM_S_CREATED);
    helper.Kill();
  }
  QVHANDLE h;
  EXPECT_EQ(QVSharedMemOpen(alone.c_str(), kReadWrite, 0, 0, &h), QV_E_NOTFOUND);
  EXPECT_FALSE(ObjectExists(alone));
}

TEST(RestrictedSecurityDescriptor, IsNotImplementedOnThisPlatform) {
  unsigned char descriptor[64] = {};
  void* list = reinterpret_cast<void*>(1);
  EXPECT_EQ(QVWinBuildRestrictedSD(descriptor, 0x1F0003, &list), QV_E_NOTIMPL);
  EXPECT_EQ(list, nullptr);
  QVWinFreeRestrictedSD(nullptr);
  QVWinFreeRestrictedSD(list);
}
