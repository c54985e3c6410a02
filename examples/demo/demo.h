// Shared helpers of the demo's sections; each section lives in its own file.
#pragma once

namespace demo {

void Say(const char* text);
// Prints the step with [ok] or [FAILED]; failures make the demo exit non-zero.
void Check(bool ok, const char* what);

void MutexSection();
void ResultSection();
void TraceSection();
void TextSection();

int Failures();

}  // namespace demo
