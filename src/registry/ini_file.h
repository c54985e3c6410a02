// The INI store: sections of string values in one UTF-8 text file, shared by
// every process through one machine-wide lock. Each change is made to the
// file's current content and saved by writing a new file and renaming it over.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/wide.h"
#include "os/os_store_file.h"
#include "qvcore5/qv_base.h"

namespace qv::registry {

struct NoCaseLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const;
};
using Section = std::map<std::u16string, std::u16string, NoCaseLess>;
using Sections = std::map<std::u16string, Section, NoCaseLess>;

constexpr QVRESULT kIniUnreadable = QV_RESULT(0x8007000Du);  // the file holds lines the rules stop on
constexpr QVRESULT kNoMoreItems = QV_RESULT(0x80070026u);

// Reads the file's bytes by the format's rules; false when a malformed line
// (or text that is not UTF-8) stopped the reading early.
bool ParseIni(std::string_view bytes, Sections& out);
std::string FormatIni(const Sections& sections);

// Strict UTF-8 both ways: false for anything that would not convert back.
bool Utf8ToUtf16(std::string_view in, std::u16string& out);
bool Utf16ToUtf8(std::u16string_view in, std::string& out);

// Whether the text reads back exactly as written in that place of the file.
bool StorableSectionName(std::u16string_view name);
bool StorableKeyName(std::u16string_view name);
bool StorableValue(std::u16string_view value);

class IniFile {
 public:
  // Throws EQVCoreException when the lock cannot be opened.
  explicit IniFile(std::u16string path);
  virtual ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  QVRESULT GetValue(const std::u16string& section, const std::u16string& key, std::u16string& value);
  QVRESULT SetValue(const std::u16string& section, const std::u16string& key, const std::u16string& value);

  // Holds the lock until EndBatch; changes in between are saved once, by EndBatch.
  void BeginBatch();
  QVRESULT EndBatch();

  // Removes each section whose current content still equals the given one,
  // saving the rest, or deleting the file when nothing is left.
  QVRESULT RemoveSections(const Sections& carried);

  // Helpers run under the lock.
  bool HasSection(const std::u16string& name) const;
  std::vector<std::u16string> GetSectionNames() const;
  const std::u16string& Path() const { return m_path; }

  class Locked {
   public:
    explicit Locked(IniFile& file);
    ~Locked();
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

   private:
    IniFile& m_file;
  };

 private:
  friend class IniFileKeyIterator;
  friend class IniFileSetIterator;
  void Take();
  void Give();
  void Refresh();
  void Load();
  QVRESULT Save();

  os::StoreLock* m_lock = nullptr;
  std::u16string m_path;
  Sections m_sections;
  bool m_seenExists = false;
  os::FileStamp m_seen;
  QVRESULT m_loadFailure = 0;  // why the file was not read whole; nothing is saved over it
  bool m_batch = false;
  bool m_batchDirty = false;
};

class IniFileIteratorBase {
 public:
  virtual ~IniFileIteratorBase() = default;
  virtual std::u16string GetName() const { return m_name; }
  virtual std::u16string Next() = 0;
  virtual bool HasNext() const = 0;

 protected:
  explicit IniFileIteratorBase(std::u16string name) : m_name(std::move(name)) {}
  std::u16string m_name;
};

class IniFileListIterator : public IniFileIteratorBase {
 public:
  std::u16string Next() override;
  bool HasNext() const override { return m_pos < m_items.size(); }

 protected:
  using IniFileIteratorBase::IniFileIteratorBase;
  std::vector<std::u16string> m_items;
  size_t m_pos = 0;
};

// The key names of one section; 0x80070002 when neither it nor a section below it exists.
class IniFileKeyIterator final : public IniFileListIterator {
 public:
  IniFileKeyIterator(IniFile& store, const std::u16string& section);
};

// The distinct direct child names below a key path, in unit order.
class IniFileSetIterator final : public IniFileListIterator {
 public:
  IniFileSetIterator(IniFile& store, const std::u16string& keyPath);
};

}  // namespace qv::registry
