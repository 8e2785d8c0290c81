// The Laguerre functions l_n(x) = e^(-x/2) L_n(x) at one x >= 0, for the error
// prediction's weights: the values by a scaled three-term recurrence, and the
// envelope that bounds the terms of a truncated Weeks series at t (x = 2bt).
#pragma once

namespace orvane {

// The sequence l_0(x), l_1(x), ... by the forward recurrence
//   (n + 1) L_(n+1) = (2n + 1 - x) L_n - n L_(n-1),
// which is stable for x >= 0 (L_n is the dominant solution), written for the
// differences d_n = L_n - L_(n-1):
//   d_(n+1) = (n d_n - x L_n) / (n + 1),  L_(n+1) = L_n + d_(n+1),
// so that small x, where L_n stays near 1, loses nothing to cancellation
// (the plain form loses about n^2 eps there). L_n grows like
// x^n/n! while e^(-x/2) underflows from x = 1490 on, so the recurrence runs on
// L_n times a power of two that keeps it below 2^500, and the factor e^(-x/2)
// joins only when a value is read: nothing overflows, and a value is 0 only
// where |l_n(x)| is below the smallest double.
class LaguerreSequence {
 public:
  explicit LaguerreSequence(double x);
  int index() const { return n_; }
  double value() const;  // l_n(x), n = index()
  void advance();        // n -> n + 1

 private:
  double x_;
  double diff_;  // d_n * 2^(-exp2_)
  double cur_;   // L_n * 2^(-exp2_)
  int exp2_;
  int n_;
};

// l[n] = l_n(x) for n < count.
void laguerreFunctions(double x, int count, double* l);

// W[n] for n < count: the largest |l_m(x)| over m from n to M, where M lies
// past the turning point 4m + 2 = x and the transition zone after it, and one
// period of the oscillation past the row. Below the turning point |l_m(x)| is
// exponentially small and grows with m; past it the functions oscillate under
// an envelope that decreases, so W[n] bounds every Laguerre function of index
// n or more at x, and it is never zero (no two consecutive l_m vanish
// together). When M lies beyond the reach of the recurrence (x above about
// 4e6, or below about 1e-8 where every l_m of the row is within 1e-4 of 1),
// W[n] is 1, the bound |l_m(x)| <= 1 that holds for all m and x >= 0.
void laguerreEnvelope(double x, int count, double* W);

}  // namespace orvane
