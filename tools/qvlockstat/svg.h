// A standalone SVG bar chart: per mutex, its total wait and total hold side by side.
#pragma once
#include <string>
#include <vector>

#include "lockstat_file.h"

namespace qvlockstat {

struct Chart {
  const Dump* dump;
  std::vector<MutexStats> rows;
};

std::string RenderSvg(const std::vector<Chart>& charts);
// Text safe inside an XML element or attribute: escaped, valid UTF-8, no control characters.
std::string XmlText(const std::string& text);

}  // namespace qvlockstat
