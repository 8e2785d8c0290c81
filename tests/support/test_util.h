// Small helpers shared by several tests: NaN and infinity, a complex value
// from its parts and the lines of a captured text.
#pragma once

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "orvane/config.h"

namespace test_util {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

inline double2 c(double x, double y) {
  double2 v;
  v.x = x;
  v.y = y;
  return v;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

}  // namespace test_util
