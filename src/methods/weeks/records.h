// What the Weeks stages hand to its run loop: the inversion core's value, the
// error prediction, and the (sigma, b) pair of a search.
#pragma once

#include "orvane/config.h"

namespace orvane {

struct CoreResult {
  double Time;
  double2 ft;
  double sigma;
  double b;
};

struct ErrorPrediction {
  double AbsErrPred;
  double RelErrPred;
  int TolFlag;
};

struct SigmaB {
  double sigma;
  double b;
};

}  // namespace orvane
