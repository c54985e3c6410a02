#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/library_state.h"
#include "com/module_manager.h"
#include "core/global_data.h"
#include "core/lifecycle.h"
#include "process/time.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/lock_stat_manager.h"
#include "sync/mutex.h"
#include "text/built_locale.h"

using namespace qv::core;

namespace {
void Start() {
  LibraryStart();
  QVModuleSetInitialized(OwnModuleId(), 1);  // as the process attach does
}
}  // namespace

// The shared library exports the QV names of the public header and nothing else.
TEST(Exports, MatchTheHeaderExactly) {
#if defined(_WIN32)
  GTEST_SKIP() << "nm -D reads ELF libraries; the DLL's exports are checked by exports.dll_matches_header";
#endif
  std::set<std::string> header, exported;
  // A function's name precedes '('; a variable's precedes ';' or "[];".
  std::regex declared(R"(QV_API[^;(]*?\b((?:QV|IQVUnknown_)\w+)\s*(\(|(\[\s*\])?\s*;))");
  for (const auto& entry : std::filesystem::directory_iterator(QV_SOURCE_DIR "/include/qvcore5")) {
    std::string text = qvtest::ReadFile(entry.path().string());
    for (std::sregex_iterator it(text.begin(), text.end(), declared), end; it != end; ++it) header.insert((*it)[1]);
  }
  FILE* pipe = popen((std::string("nm -D --defined-only -j ") + QV_LIBRARY_FILE).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  for (char line[512]; std::fgets(line, sizeof line, pipe);) exported.insert(std::strtok(line, "\n"));
  pclose(pipe);
  ASSERT_FALSE(exported.empty()) << "could not list the symbols of " << QV_LIBRARY_FILE;
  for (const auto& name : header) EXPECT_TRUE(exported.count(name)) << name << " is declared but not exported";
  for (const auto& name : exported) EXPECT_TRUE(header.count(name)) << name << " is exported but not declared";
}

TEST(Lifecycle, LoadStartsItASecondStartOnlyCounts) {
  CQVGlobalData before = GlobalData();
  EXPECT_EQ(AttachCount(), 1);
  EXPECT_NE(qv::process::SystemTimeSource(), nullptr);
  EXPECT_NE(before.m_clientData, nullptr);
  ASSERT_NE(before.m_moduleManager, nullptr);
  EXPECT_TRUE(before.m_moduleManager->Contains(OwnModuleId()));
  LibraryStart();
  EXPECT_EQ(AttachCount(), 2);
  EXPECT_EQ(LibraryEnd(), QV_S_OK);  // only decrements
  EXPECT_EQ(AttachCount(), 1);
  EXPECT_EQ(GlobalData().m_debugMutex, before.m_debugMutex);
}

TEST(Lifecycle, EndTearsDownEverythingAndStartRebuildsInOrder) {
  ASSERT_EQ(LibraryEnd(), QV_S_OK);
  CQVGlobalData& gd = GlobalData();
  for (const void* p : {(const void*)gd.m_mutexProvider, (const void*)gd.m_debugMutex, (const void*)gd.m_moduleManager,
                        (const void*)gd.m_clientData, (const void*)gd.m_lockStatManager, (const void*)gd.m_componentAllocator})
    EXPECT_EQ(p, nullptr);
  EXPECT_EQ(LibraryEnd(), QV_E_FAIL);  // an end without a start changes nothing
  EXPECT_EQ(AttachCount(), 0);
  EXPECT_TRUE(qv::base::LibraryInitialized());  // never cleared
  QVMUTEX m;
  EXPECT_EQ(QVMutexCreate("late", 0, &m), QV_E_FAIL);  // no provider while stopped
  EXPECT_EQ(m, reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE));
  auto created = qvtest::MutexesCreatedBy(Start);
  created.resize(6);
  EXPECT_EQ(created, (std::vector<std::string>{"CQVLockStatManager::m_mutex", "CQVGlobalData::m_debugMutex",
                                               "CQVModuleManager::m_setLock", "CQVProcessManager::m_setMutex",
                                               "CQVThreadManager::m_mapMutex", "CQVFactoryManager::m_mapMutex"}));
  EXPECT_NE(gd.m_componentAllocator, nullptr);
  EXPECT_EQ(AttachCount(), 1);
}

TEST(Lifecycle, MeasuredMutexesAcrossAnEnd) {
  QVMUTEX destroyed = nullptr, live = nullptr, ended = nullptr;
  for (auto [name, m] : {std::pair{"lc-destroyed", &destroyed}, {"lc-live", &live}, {"lc-ended", &ended}})
    ASSERT_EQ(QVMutexCreate(name, QV_MUTEX_STATS, m), QV_S_OK);
  // Extra references of our own show when the library lets go of its ones.
  auto *object = qv::sync::CQVMutex::FromHandle(destroyed), *endedObject = qv::sync::CQVMutex::FromHandle(ended);
  object->AddReference();
  endedObject->AddReference();
  ASSERT_EQ(QVMutexDestroy(destroyed), 0);
  EXPECT_EQ(object->RefCount(), 2u);
  ASSERT_EQ(LibraryEnd(), QV_S_OK);
  EXPECT_EQ(object->ReleaseReference(), 0u);  // the end released the destroyed one
  // Without a manager the measuring calls fall back.
  EXPECT_EQ(QVMutexDestroy(ended), 1);  // released by the destroyer: only our reference is left
  EXPECT_EQ(QVDumpLockStats("x", u"/nonexistent/never-written.csv"), QV_E_FAIL);
  EXPECT_EQ(QVResetLockStats(), QV_S_OK);
  Start();
  EXPECT_EQ(endedObject->ReleaseReference(), 0u);
  // The new manager never saw the live mutex; destroying it hands it over, the next reset deletes it.
  auto* manager = GlobalData().m_lockStatManager;
  EXPECT_EQ(manager->EntryCount(), 0u);
  EXPECT_EQ(QVMutexDestroy(live), 0);
  EXPECT_EQ(manager->EntryCount(), 1u);
  EXPECT_EQ(QVResetLockStats(), QV_S_OK);
  EXPECT_EQ(manager->EntryCount(), 0u);
}

TEST(Lifecycle, AFailedBuildKeepsWhatWasBuiltAndEndsCleanly) {
  ASSERT_EQ(LibraryEnd(), QV_S_OK);
  qv::sync::CQVMutexProvider::SetCreationObserver([](const char* name) {
    if (std::string(name) == "CQVGlobalData::m_debugMutex") throw std::bad_alloc();
  });
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
  Start();
  EXPECT_NE(DebugMutex(), nullptr);
  EXPECT_NE(gd.m_moduleManager, nullptr);
}

// The start takes the user's locale category by category, so one category
// naming a locale that is not installed does not cost the others.
TEST(LocaleStart, AMissingCategoryCostsOnlyItself) {
  qvtest::ScopedBuiltLocale latin1("de_DE", "ISO-8859-1");
  if (!latin1.available()) GTEST_SKIP() << "cannot build de_DE.ISO-8859-1";
  const char* L = latin1.name().c_str();
  struct Row { const char *var, *value, *ctype, *numeric, *time; const char16_t* encoding; } rows[] = {
      {"LC_TIME", "xx_YY.UTF-8", L, L, "C", u"CP28591"}, {"LC_ALL", L, L, L, L, u"CP28591"},
      {"LC_CTYPE", "xx_YY.ISO-8859-1", "", L, L, u"UTF-8"}};  // a missing character type: UTF-8 alone
  for (const Row& row : rows) {
    SCOPED_TRACE(row.var);
    qvtest::ScopedEnv all("LC_ALL", nullptr), lang("LANG", L), ctype("LC_CTYPE", nullptr), time("LC_TIME", nullptr),
        numeric("LC_NUMERIC", nullptr), var(row.var, row.value);
    ASSERT_EQ(LibraryEnd(), QV_S_OK);
    std::setlocale(LC_ALL, "C");
    Start();
    EXPECT_STREQ(*row.ctype ? std::setlocale(LC_CTYPE, nullptr) : "", row.ctype);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), row.numeric);
    EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), row.time);
    QVWCHAR buffer[16] = {}, wide[8] = {};
    EXPECT_EQ(QVGetDefaultCharEncoding(buffer, 16), QV_S_OK);
    EXPECT_EQ(std::u16string(buffer), row.encoding);
    if (row.encoding[0] != u'C') continue;
    EXPECT_EQ(QVAnsiToUnicode(wide, "\xE9t\xE9", 8), 3u);  // Latin-1, not cut UTF-8
    EXPECT_EQ(std::u16string(wide), u"\u00e9t\u00e9");
  }
}
