// The exported process functions. A start makes its pipes, starts the child,
// tracks it, and only then hands the caller's pipe ends out, so a failure at
// any step leaves nothing open and no entry pointing at a closed handle.
#include "base/boundary.h"
#include "base/installed.h"
#include "os/os_error.h"
#include "os/os_file.h"
#include "os/os_process.h"
#include "process/command_line.h"
#include "process/process_manager.h"
#include "qvcore5/qv_process.h"

using namespace qv;
using namespace qv::process;

namespace {

CQVProcessManager& RequireManager() {
  CQVProcessManager* manager = base::Installed<CQVProcessManager>::Get();
  if (manager == nullptr) base::ThrowResult(QV_E_FAIL);  // library not started
  return *manager;
}

bool Refused(QVHANDLE process) noexcept { return process == nullptr || process == QV_INVALID_HANDLE; }

// Pipe ends made for one start; closes what was not handed out.
struct PipeEnds {
  void* parent[3] = {nullptr, nullptr, nullptr};
  void* child[3] = {nullptr, nullptr, nullptr};
  void CloseChildEnds() noexcept {
    for (void*& end : child) {
      if (end != nullptr) os::OsFileClose(end);
      end = nullptr;
    }
  }
  ~PipeEnds() {
    CloseChildEnds();
    for (void* end : parent)
      if (end != nullptr) os::OsFileClose(end);
  }
};

QVRESULT StartChild(const WChar* program, const WChar* arguments, const WChar* directory,
                    const WChar* const* environment, QVPROCESSSTREAMS* streams, QVHANDLE* process) {
  if (program == nullptr) return QV_E_INVALIDARG;
  CQVProcessManager& manager = RequireManager();
  os::ChildStartRequest request;
  request.program = program;
  request.arguments.emplace_back(program);
  request.argumentText = arguments;
  if (arguments != nullptr) {
    for (std::u16string& a : SplitArguments(arguments)) request.arguments.push_back(std::move(a));
  }
  request.directory = directory;
  std::u16string block;
  if (environment != nullptr) {
    if (!BuildEnvironmentBlock(environment, block)) return QV_E_INVALIDARG;
    request.environmentBlock = &block;
  }
  PipeEnds ends;
  if (streams != nullptr) {
    QVHANDLE given[3] = {streams->input, streams->output, streams->error};
    for (int i = 0; i < 3; ++i) {
      if (given[i] == nullptr) return QV_E_HANDLE;
      if (given[i] != QV_INVALID_HANDLE) {
        request.streams[i] = given[i];
        continue;
      }
      void* readEnd = nullptr;
      void* writeEnd = nullptr;
      if (!os::PipeMake(&readEnd, &writeEnd)) return QVResultFromNative(os::LastError());
      ends.parent[i] = i == 0 ? writeEnd : readEnd;
      ends.child[i] = i == 0 ? readEnd : writeEnd;
      request.streams[i] = ends.child[i];
    }
  }
  void* child = os::ChildStart(request);
  if (child == nullptr) return QVResultFromNative(os::LastError());
  manager.Track(child);
  ends.CloseChildEnds();
  if (streams != nullptr) {
    QVHANDLE* entries[3] = {&streams->input, &streams->output, &streams->error};
    for (int i = 0; i < 3; ++i) {
      if (ends.parent[i] != nullptr) *entries[i] = ends.parent[i];
      ends.parent[i] = nullptr;
    }
  }
  *process = child;
  return QV_S_OK;
}

}  // namespace

extern "C" {

QV_API QVRESULT QVProcessCreate(const QVWCHAR* program, const QVWCHAR* arguments, const QVWCHAR* directory,
                                const QVWCHAR* const* environment, uint32_t options, QVPROCESSSTREAMS* streams,
                                QVHANDLE* process) {
  (void)options;
  return base::BoundedOut(process, QV_INVALID_HANDLE, [&]() -> QVRESULT {
    return StartChild(Wide(program), Wide(arguments), Wide(directory),
                      reinterpret_cast<const WChar* const*>(environment), streams, process);
  });
}

QV_API QVRESULT QVProcessJoin(QVHANDLE process, uint32_t* exitCode) {
  if (Refused(process)) return QV_E_HANDLE;
  return base::Bounded([&]() -> QVRESULT { return RequireManager().Join(process, exitCode); });
}

QV_API QVRESULT QVProcessJoinChild(QVHANDLE* process, uint32_t* exitCode) {
  if (process == nullptr) return QV_E_INVALIDARG;
  return base::Bounded([&]() -> QVRESULT {
    void* child = nullptr;
    uint32_t code = 0;
    QVRESULT r = RequireManager().JoinAny(&child, &code);
    if (r < 0) return r;
    *process = child;
    if (exitCode != nullptr) *exitCode = code;
    return r;
  });
}

QV_API QVRESULT QVProcessGetExitCode(QVHANDLE process, uint32_t* exitCode) {
  if (exitCode == nullptr) return QV_E_INVALIDARG;
  if (Refused(process)) return QV_E_HANDLE;
  return base::Bounded([&]() -> QVRESULT { return RequireManager().Reap(process, exitCode); });
}

QV_API QVRESULT QVProcessDetach(QVHANDLE process) {
  if (Refused(process)) return QV_E_HANDLE;
  return base::Bounded([&]() -> QVRESULT { return RequireManager().Detach(process); });
}

QV_API uint32_t QVProcessGetID(void) { return os::OwnProcessIdentifier(); }

QV_API QVHANDLE QVProcessGetHandle(void) { return QV_INVALID_HANDLE; }

QV_API QVRESULT QVProcessGetName(QVWCHAR* name) {
  (void)name;
  return QV_S_OK;
}

}  // extern "C"
