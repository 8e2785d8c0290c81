// Clenshaw's backward recurrence on the Laguerre three-term recurrence
// L_(k+1)(x) = ((2k + 1 - x) L_k(x) - k L_(k-1)(x)) / (k + 1), with x = 2bt.
#include "methods/weeks/clenshaw.h"

#include <cmath>

namespace orvane {
namespace {

// Full complex products and sums: a real factor enters as (c, 0), so an
// infinite or undefined component spreads to both parts of the product.
double2 cmul(double2 p, double2 r) {
  double2 out;
  out.x = p.x * r.x - p.y * r.y;
  out.y = p.x * r.y + p.y * r.x;
  return out;
}

double2 cadd(double2 p, double2 r) {
  double2 out;
  out.x = p.x + r.x;
  out.y = p.y + r.y;
  return out;
}

double2 real(double c) {
  double2 out;
  out.x = c;
  out.y = 0.0;
  return out;
}

}  // namespace

double2 wfnClenshaw(int N, double t, double sigma, double b, const double2* a) {
  // An empty expansion: reading a[N - 1] would run before the array.
  if (N < 1) return real(0.0);
  double2 S = a[N - 1];
  double2 B1 = a[N - 1];
  double2 B2 = real(0.0);
  for (int k = N - 2; k >= 0; --k) {
    const double kd = double(k);
    const double alpha = ((2.0 * kd + 1.0) - (2.0 * b) * t) / (kd + 1.0);
    const double beta = ((kd + 1.0) * (-1.0)) / (kd + 2.0);
    // The two products are summed first, then the coefficient is added.
    S = cadd(cadd(cmul(real(alpha), B1), cmul(real(beta), B2)), a[k]);
    B2 = B1;
    B1 = S;
  }
  // One exponential carries both the shift e^(sigma t) and the weight e^(-b t).
  const double E = std::exp((sigma - b) * t);
  return cmul(real(E), S);
}

}  // namespace orvane
