// The text a child is started with: the argument text split the way the
// Windows runtime splits a command line, and the sorted environment block.
#pragma once
#include <string>
#include <vector>

#include "base/wide.h"

namespace qv::process {

// Splits argument text into arguments with the Windows rules: blanks (space,
// tab) separate arguments outside quotes; a quote switches quoting on and
// off; inside quotes two quotes give one literal quote; 2n backslashes before
// a quote give n backslashes and the quote acts, 2n+1 give n and a literal
// quote; other backslashes are literal. "" makes an empty argument; an
// unbalanced quote runs to the end of the text.
std::vector<std::u16string> SplitArguments(const WChar* text);

// The environment block of a list of NAME=value strings ended by null: the
// strings sorted without regard to case, each followed by one zero unit, and
// one more zero unit. False when an entry has no '=' after its first unit.
bool BuildEnvironmentBlock(const WChar* const* list, std::u16string& block);

}  // namespace qv::process
