// A parameter file (the console programs' UserParameters.txt format) as the
// library's inputs: its times and the Options that run what the file asks
// (a search, or the file's (sigma, b) pairs where its SearchSwitch is 0).
#pragma once

#include <string>
#include <vector>

#include "orvane/options.h"

namespace orvane {

struct Inputs {
  std::vector<double> t;
  Options options;  // method left at its default
};

// Reads and checks the file. Throws Error(kParameterFile) with a message
// naming the line of a malformed value ("<path>, line 19: expected ..."), and
// Error(kSearchSwitch) for a SearchSwitch other than 0 or 1.
Inputs readParameterFile(const std::string& path);

}  // namespace orvane
