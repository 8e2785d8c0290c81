// The solver's inversion core: the generic core on the user's transform,
// limited by the per-block thread count that the device check recorded.
#include "series/weeks_core.cuh"

#include "coeffs/user_transform.h"

CoreResult WeeksMethod::wfnWeeksCore(double t, int N, double sigma, double b) {
  return orvane::weeksCore(UserTransform{}, maxThreadsPerBlock, t, N, sigma, b);
}
