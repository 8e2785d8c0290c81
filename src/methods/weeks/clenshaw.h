// Clenshaw summation of a Weeks expansion: f(t) = e^((sigma - b) t) sum a_n L_n(2bt)
// from the complex Laguerre coefficients of one (sigma, b) pair, on the host.
#pragma once

#include "orvane/config.h"

namespace orvane {

// Backward recurrence over a_0 .. a_(N-1); no Laguerre value is formed.
// N below 1 is an empty series and gives 0.
double2 wfnClenshaw(int N, double t, double sigma, double b, const double2* a);

}  // namespace orvane
