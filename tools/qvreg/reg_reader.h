// Reads registry-editor files (".reg", version 5 and REGEDIT4) into a list of
// changes, checking everything the store would refuse before anything is applied.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "registry.h"

namespace qvreg {

struct RegChange {
  enum Kind { kDeleteKey, kSetValue, kDeleteValue } kind;
  Key key;
  Value value;  // name for both value kinds; type and data for kSetValue
  int line;     // where the change was written
};

// false with "line N: reason" in `error`; nothing in `changes` is usable then.
bool ParseRegFile(const std::vector<uint8_t>& bytes, std::vector<RegChange>& changes, std::string& error);

}  // namespace qvreg
