// Windows only: backslashes and forward slashes both separate, a drive
// letter names a root, and a listing pattern ignores trailing separators.
#if defined(_WIN32)
#include <windows.h>

#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "qvcore5/qvcore.h"

namespace {

// The tests build text for the system's calls; the library takes the same units.
const QVWCHAR* Q(const std::wstring& text) { return reinterpret_cast<const QVWCHAR*>(text.c_str()); }

class Folder {
 public:
  Folder() {
    m_path = (std::filesystem::temp_directory_path() / ("qvwin-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                        std::to_string(GetTickCount64()))).wstring();
    std::filesystem::create_directory(m_path);
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::wstring& path() const { return m_path; }

 private:
  std::wstring m_path;
};

std::set<std::wstring> List(const std::wstring& path) {
  std::set<std::wstring> names;
  QVDIR dir;
  if (QVDirOpen(Q(path), &dir) != 0) return names;
  QVDirEntry entry;
  while (QVDirRead(dir, &entry) == 0) names.insert(reinterpret_cast<const wchar_t*>(entry.name));
  QVDirClose(dir);
  return names;
}

TEST(FileWindowsTest, BothSeparatorsNameTheSameFiles) {
  Folder folder;
  std::wstring base = folder.path();
  ASSERT_EQ(QVDirCreate(Q(base + L"\\sub")), 0);
  QVFILE file;
  ASSERT_EQ(QVFileOpen(Q(base + L"/sub\\f.txt"), QV_FILE_WRITE | QV_FILE_CREATE, 0666, &file), 2);
  uint32_t done = 0;
  ASSERT_EQ(QVFileWrite(file, "data", 4, &done), 0);
  ASSERT_EQ(QVFileClose(file), 0);
  ASSERT_EQ(QVFileOpen(Q(base + L"\\sub/f.txt"), QV_FILE_READ, 0, &file), 0);
  int64_t size = 0;
  EXPECT_EQ(QVFileGetSize(file, &size), 0);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(QVFileClose(file), 0);
  const std::set<std::wstring> expected = {L".", L"..", L"f.txt"};
  for (const wchar_t* suffix : {L"\\sub", L"\\sub\\", L"\\sub\\\\", L"/sub/", L"\\sub/\\"})
    EXPECT_EQ(List(base + suffix), expected) << std::filesystem::path(suffix).string();
  EXPECT_EQ(QVFileDelete(Q(base + L"/sub/f.txt")), 0);
  EXPECT_EQ(QVDirRemove(Q(base + L"/sub\\")), 0);
}

TEST(FileWindowsTest, DriveRootIsListedWithoutItsOwnEntries) {
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 2u);
  std::wstring root = std::wstring(system, 2) + L"\\";  // "C:\"
  std::set<std::wstring> names = List(root);
  EXPECT_FALSE(names.empty());
  EXPECT_EQ(names.count(L".."), 0u);
  EXPECT_EQ(List(std::wstring(system, 2) + L"\\\\"), names);
}

}  // namespace
#endif
