// Demo section: files, locks, copies, listings and a UTF-16 text file, all in
// a fresh temporary directory that is removed again.
#include <qvcore5/qvcore.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "demo.h"

namespace demo {

namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }

}  // namespace

void FileSection() {
  Say("\n== Files and directories ==");
  const char* base = std::getenv("TMPDIR");
  std::string dir = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/qvdemo_files_" +
                    std::to_string(QVThreadGetID());
  std::u16string wdir = Wide(dir), note = Wide(dir + "/note.txt"), copy = Wide(dir + "/copy.txt");
  Check(QVDirCreate(P(wdir)) == 0, "created a scratch directory");

  QVFILE f;
  QVRESULT r = QVFileOpen(P(note), QV_FILE_READ | QV_FILE_WRITE | QV_FILE_CREATE, 0666, &f);
  Check(r == QV_FILE_S_CREATED, "opening with create reported 2: the file is new");
  uint32_t n;
  const char text[] = "Hello from qvcore5.";
  QVFileWrite(f, text, sizeof text - 1, &n);
  uint32_t pos;
  QVFileSeek(f, 0, 0, &pos);
  char back[64] = {};
  QVFileRead(f, back, sizeof back, &n);
  std::printf("  read back %u bytes: \"%s\"\n", n, back);
  Check(std::string(back) == text, "what was written came back");
  Check(QVFileRead(f, back, sizeof back, &n) == QV_E_EOF, "a read at the end gives 0x80070026");

  QVFILE other;
  QVFileOpen(P(note), QV_FILE_READ | QV_FILE_WRITE, 0, &other);
  Check(QVFileLock(f, 0, 5, 0) == 0, "locked the first five bytes through one handle");
  Check(QVFileLock(other, 2, 1, QV_LOCK_SHARED) < 0, "a second handle cannot lock inside them, even in this process");
  QVFileUnlock(f, 0, 5);
  Check(QVFileLock(other, 2, 1, QV_LOCK_SHARED) == 0, "after the unlock it can");
  QVFileClose(other);
  QVFileClose(f);

  Check(QVFileCopy(P(note), P(copy), QV_FILE_CREATE | QV_FILE_TRUNCATE, 0666, nullptr) == QV_FILE_S_CREATED,
        "copied the file to a new one");
  Check(QVFileCopy(P(note), P(note), QV_FILE_CREATE | QV_FILE_TRUNCATE, 0666, nullptr) == QV_E_INVALIDARG,
        "copying a file onto itself is refused before anything is truncated");

  std::u16string text16 = Wide(dir + "/lines.txt");
  std::string lines = dir + "/lines.txt";
  QVUTF16FILE t = QVFileOpenUTF16(lines.c_str(), "w");
  QVFileWriteLineUTF16(reinterpret_cast<const QVWCHAR*>(u"first line"), t);
  QVFileCloseUTF16(t);
  t = QVFileOpenUTF16(lines.c_str(), "a");
  QVFileWriteLineUTF16(reinterpret_cast<const QVWCHAR*>(u"appended \u00E9t\u00E9"), t);
  QVFileCloseUTF16(t);
  t = QVFileOpenUTF16(lines.c_str(), "r");
  QVWCHAR line[64];
  int count = 0;
  while (QVFileGetLineUTF16(line, 64, t) != nullptr) ++count;
  QVFileCloseUTF16(t);
  Check(count == 2, "a UTF-16 text file written, appended to and read back line by line");

  QVDIR d;
  QVDirOpen(P(wdir), &d);
  QVDirEntry e;
  int entries = 0;
  while (QVDirRead(d, &e) == 0) {
    char name[260];
    QVUTF16ToUTF8(name, e.name, sizeof name);
    std::printf("  %-12s mode %06o size %u\n", name, e.mode, e.sizeLow);
    ++entries;
  }
  QVDirClose(d);
  Check(entries == 5, "the listing shows the three files plus \".\" and \"..\"");

  QVFileDelete(P(note));
  QVFileDelete(P(copy));
  QVFileDelete(P(text16));
  Check(QVDirRemove(P(wdir)) == 0, "cleaned up the scratch directory");
}

}  // namespace demo
