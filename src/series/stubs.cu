// Inversion core and Clenshaw summation. (Being written.)
#include "driver/weeks_method.h"

CoreResult WeeksMethod::wfnWeeksCore(double t, int, double sigma, double b) {
  return CoreResult{t, double2{0, 0}, sigma, b};
}
double2 WeeksMethod::wfnClenshaw(int, double, double, double, const double2*) const { return double2{0, 0}; }
