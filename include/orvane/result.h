// The result of one inversion time, with the names of the csv and of the
// Python result.
#pragma once

#include <complex>

#include "orvane/method.h"

namespace orvane {

struct Result {
  double t = 0.0;
  std::complex<double> f;   // f(t)
  double sigma = 0.0;       // the shift used (Talbot: the contour's)
  double b = 0.0;           // the Laguerre scale used (0 for a method without one)
  double abs_err = 0.0;     // predicted absolute error
  double rel_err = 0.0;     // predicted relative error
  int flag = 1;             // 0: rel_err below the request; 1: not met
  int N = 0;                // the expansion size (Talbot: node count) kept; 0: nothing evaluated
  Method method;            // the method that produced the value
  double sigma_step = 0.0;  // the search resolution that gave (sigma, b); 0 without a search
  double b_step = 0.0;
};

}  // namespace orvane
