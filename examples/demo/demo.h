// Shared helpers of the demo's sections; each section lives in its own file.
#pragma once

namespace demo {

void Say(const char* text);
// Prints the step with [ok] or [FAILED]; failures make the demo exit non-zero.
void Check(bool ok, const char* what);

void MutexSection();
void RWLockSection();
void ResultSection();
void TraceSection();
// Reads the demo's own command line; --help prints the usage and exits.
void OptionsSection(int argc, char** argv);
void TimeSection();
void LockStatsSection();
void ThreadSection();
void TextSection();
void FileSection();
void ProcessSection();
// The demo run again as the child of the process section: upper-cases its
// input onto its output.
inline constexpr const char* kChildMode = "--process-child";
int ChildMain();
void RegistrySection();
void NetSection();
void ComponentSection();

int Failures();

}  // namespace demo
