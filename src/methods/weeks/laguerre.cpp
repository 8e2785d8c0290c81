// Laguerre functions by the scaled recurrence, and their envelope.
#include "methods/weeks/laguerre.h"

#include <cmath>

namespace orvane {
namespace {

// Rescaling threshold of the recurrence (2^500) and its exponent.
constexpr int kScaleExp = 500;
const double kScaleLimit = std::ldexp(1.0, kScaleExp);
// Below this x, e^(-x/2) and every unscaled product stay normal doubles.
constexpr double kDirectLimit = 1400.0;
// ln of the smallest positive (subnormal) double, 2^-1074.
constexpr double kLogTiny = -744.44007192138126;
constexpr double kLn2 = 0.69314718055994531;
// How far past the row the envelope's recurrence may run (a few milliseconds).
constexpr double kEnvelopeReach = 1 << 20;
constexpr double kPi = 3.14159265358979324;

}  // namespace

// L_0 = 1 and L_(-1) = 0, so d_0 = 1.
LaguerreSequence::LaguerreSequence(double x) : x_(x), diff_(1.0), cur_(1.0), exp2_(0), n_(0) {}

double LaguerreSequence::value() const {
  if (cur_ == 0.0) return 0.0;
  if (exp2_ == 0 && x_ <= kDirectLimit) return cur_ * std::exp(-0.5 * x_);
  // |l_n| = |m| 2^(k + exp2_) e^(-x/2) with cur_ = m 2^k, m in [1/2, 1).
  int k = 0;
  const double m = std::frexp(cur_, &k);
  const double logValue = std::log(std::fabs(m)) + double(k + exp2_) * kLn2 - 0.5 * x_;
  if (logValue < kLogTiny) return 0.0;
  return std::copysign(std::exp(logValue), m);
}

void LaguerreSequence::advance() {
  const double n = double(n_);
  diff_ = (n * diff_ - x_ * cur_) / (n + 1.0);
  cur_ += diff_;
  ++n_;
  if (std::fabs(cur_) > kScaleLimit || std::fabs(diff_) > kScaleLimit) {
    cur_ = std::ldexp(cur_, -kScaleExp);
    diff_ = std::ldexp(diff_, -kScaleExp);
    exp2_ += kScaleExp;
  }
}

void laguerreFunctions(double x, int count, double* l) {
  LaguerreSequence s(x);
  for (int n = 0; n < count; ++n, s.advance()) l[n] = s.value();
}

void laguerreEnvelope(double x, int count, double* W) {
  if (count < 1) return;
  // Past the turning point (m = (x - 2)/4) comes the transition zone, about
  // x^(1/3) wide in 4m, where |l_m| peaks; beyond it the functions oscillate
  // like J_0(sqrt((4m + 2) x)) under an envelope that decreases. The run goes
  // past both, and on past the row by one period of that oscillation in m,
  // pi sqrt((4m + 2)/x), so that the lobe the row ends in is complete.
  const double period = kPi * std::sqrt((4.0 * double(count) + 2.0) / x);
  const double past =
      std::fmax(0.25 * x + 4.0 * std::cbrt(x) + 16.0, double(count) + period + 2.0);
  double beyond = 0.0;  // the largest |l_m| for m >= count that is looked at
  LaguerreSequence s(x);
  for (int n = 0; n < count; ++n, s.advance()) W[n] = std::fabs(s.value());
  if (past - double(count) > kEnvelopeReach) {
    beyond = 1.0;
  } else {
    for (; double(s.index()) <= past; s.advance()) beyond = std::fmax(beyond, std::fabs(s.value()));
  }
  for (int n = count - 1; n >= 0; --n) {
    beyond = std::fmax(beyond, W[n]);
    W[n] = beyond;
  }
}

}  // namespace orvane
