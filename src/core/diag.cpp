#include "core/diag.h"

#include <atomic>
#include <cstdarg>

#include "core/global_data.h"
#include "core/wformat.h"
#include "os/os_debug.h"
#include "os/os_thread.h"
#include "qvcore5/qv_diag.h"
#include "text/wide_narrow.h"
#include "base/wide.h"

using qv::WChar;

namespace qv::core {

namespace {

constexpr size_t kBufferUnits = 512;
std::atomic<uint32_t> s_alertMethod{0};
std::atomic<uint32_t> s_alertContinue{0};

// Converts the units to the narrow encoding and writes them in one piece.
void WriteDebug(const WChar* a, size_t aLength, const WChar* b, size_t bLength) noexcept {
  char narrow[2 * kBufferUnits * 4 + 2];
  size_t n = text::WideToNarrowBuffer(a, aLength, narrow, sizeof narrow);
  n += text::WideToNarrowBuffer(b, bLength, narrow + n, sizeof narrow - n);
  os::DebugOutput(narrow, n);
}

// The debugger output takes zero-terminated text: a zero unit that a
// conversion wrote (%c of 0) ends what is shown.
size_t ShownLength(const WChar* text, size_t length) noexcept {
  size_t n = 0;
  while (n < length && text[n] != 0) ++n;
  return n;
}

void AlertV(uint32_t method, const WChar* caption, const WChar* format, va_list args) noexcept {
  if (method == 0) method = s_alertMethod.load(std::memory_order_relaxed);
  if (method == 0) return;
  if (method & QV_ALERT_BREAK) os::BreakIntoDebugger();
  if (method & (QV_ALERT_FORMAT | QV_ALERT_MESSAGE)) {
    WChar text[kBufferUnits];
    size_t textLength = ShownLength(text, FormatWideV(text, kBufferUnits, format, args));
    // No message window here: the alert is shown as one line on the debugger
    // output, "caption: text".
    WChar head[kBufferUnits];
    size_t headLength = FormatWide(head, kBufferUnits, u"%s: ", caption ? caption : u"");
    if (textLength + 1 < kBufferUnits) text[textLength++] = u'\n';
    WriteDebug(head, headLength, text, textLength);
  }
  if (method & QV_ALERT_WAIT) {
    while (s_alertContinue.load(std::memory_order_acquire) == 0) os::SleepMs(0);
    s_alertContinue.store(0, std::memory_order_release);
  }
}

}  // namespace

uint32_t AlertMethod() noexcept { return s_alertMethod.load(); }
void AlertContinue() noexcept { s_alertContinue.store(1, std::memory_order_release); }
bool AlertContinuePending() noexcept { return s_alertContinue.load() != 0; }

}  // namespace qv::core

using namespace qv::core;

extern "C" {

QV_API void QVErrorAlert(uint32_t method, const QVWCHAR* caption, const QVWCHAR* format, ...) {
  va_list ap;
  va_start(ap, format);
  AlertV(method, qv::Wide(caption), qv::Wide(format), ap);
  va_end(ap);
}

QV_API QVRESULT QVErrorAlertSetMethod(uint32_t method) {
  s_alertMethod.store(method);
  return QV_S_OK;
}

QV_API void QVAssert(const char* expression, const char* file, int32_t line) {
  // The trace line's two texts are narrow, hence %hs.
  QVTrace(qv::Api(u"\nQV_ASSERT(%hs)\n %hs:%d\n"), expression, file, line);
  uint32_t method = s_alertMethod.load() == 0 ? QV_ALERT_BREAK : 0;
  QVErrorAlert(method, qv::Api(u"Quovane Services"),
               qv::Api(u"Quovane Services Debug Assertion Failed!\n\nFile: %hs\nLine: %d\n\nExpression: %hs"), file,
               line, expression);
}

QV_API void QVTrace(const QVWCHAR* format, ...) {
  QVMUTEX debugMutex = DebugMutex();
  if (debugMutex != nullptr) QVMutexAcquire(debugMutex);
  WChar prefix[kBufferUnits];
  size_t prefixLength = FormatWide(prefix, kBufferUnits, u"[%#x]", qv::os::CurrentThreadId());
  WChar line[kBufferUnits];
  va_list ap;
  va_start(ap, format);
  size_t lineLength = ShownLength(line, FormatWideV(line, kBufferUnits, qv::Wide(format), ap));
  va_end(ap);
  // Prefix and line leave in one write, so no other output can come between.
  WriteDebug(prefix, prefixLength, line, lineLength);
  if (debugMutex != nullptr) QVMutexRelease(debugMutex);
}

}  // extern "C"
