// Error prediction for a computed f(t) at the chosen (sigma, b): an estimate of
// the absolute error at t from the inversion core's 2N-point coefficient row
// and a 4N-point row of the same pair; over |f(t)| it is the relative error,
// and the flag says whether that is strictly below the requested one.
//
// f(t) = e^(sigma t) sum_n a_n l_n(2bt), l_n(x) = e^(-x/2) L_n(x); the core sums
// n < N with the coefficients a_n(2N) of 2N samples. Its error has three parts:
//   - round-off: eps * sum_{n<N} |a_n(2N)|;
//   - aliasing of the 2N-point coefficients, measured against the 4N-point
//     ones: sum_{n<N} |a_n(2N) - a_n(4N)| W_n. This also catches a pole of
//     F(s) on the 2N-point contour, which the 4N-point contour never meets;
//   - truncation: sum_{N<=n<4N} |c_n| W_n over element n of the 4N-point row,
//     i.e. a_N .. a_(2N-1) and, in its upper half, a_(2N) .. a_(4N-1) aliased
//     onto the negative indices (in a sound row these dominate that half).
// W_n = max_{m>=n} |l_m(t)| (laguerreEnvelope at x = 2bt) weights each term by
// the largest Laguerre function it and the terms after it can meet at t: much
// below 1 where the functions are small, never zero at a zero of one l_n, and
// at its peak when 2bt lies beyond the turning point of the terms at hand
// (then the expansion cannot represent f(t) and the estimate says so).
// The estimate is e^(sigma t) times the sum of the three.
//
// A singularity of F(s) right of sigma puts genuine coefficients a_(-1),
// a_(-2), ... in the upper half; the series drops them and their part of f(t)
// grows like e^(p t). Such a row is not trusted, and the estimate is +infinity
// (RelErrPred infinite, flag 1: no bound can be given, and the run loop keeps
// any finite record before it), when either
//   - the mass of the upper half exceeds kNegativeMassRatio times the tail
//     mass sum_{N<=n<2N} |a_n| (in sound rows it is the tail's continuation:
//     at most a few times that, 3.4 over the reference pairs at N >= 16); or
//   - the end of the row (a_(-1) .. a_(-N)) exceeds kNegativeShapeRatio times
//     its middle (a_(-N-1) .. a_(-2N)): aliased positive coefficients decrease
//     towards the end or lie at the round-off level (at most 3.5 times the
//     middle there), while genuine negative ones are largest at small |n|.
// Both sides carry the round-off floor eps * sum_{n<N} |a_n(4N)|.
#pragma once

#include "methods/method.h"
#include "methods/weeks/pipeline.h"
#include "methods/weeks/records.h"

#include <vector>

namespace orvane {

constexpr double kNegativeMassRatio = 100.0;
constexpr double kNegativeShapeRatio = 30.0;

// The record for estimate E of a computed f(t). |f(t)| is the overflow-safe
// modulus in double; a NaN relative error never meets the tolerance.
// An f(t) with a part that is infinite or NaN is no result at all: E / |f(t)|
// would be 0 for an infinite part and report the tolerance met, and the run
// loop would prefer that record to every finite one. Its relative error is
// therefore NaN, which never meets the tolerance and never replaces a number.
ErrorPrediction predictError(double E, double2 ft, double RelErrInput);

// The parts of the estimate (see above), from the core's row `core` (2N
// elements) and the 4N-point row `row` of the same (sigma, b), at time t.
struct ErrorTerms {
  double roundoff = 0;      // eps sum_{n<N} |a_n(2N)|
  double aliasing = 0;      // sum_{n<N} |a_n(2N) - a_n(4N)| W_n
  double truncation = 0;    // sum_{N<=n<4N} |c_n| W_n
  double tailMass = 0;      // sum_{N<=n<2N} |a_n(4N)|
  double negativeMass = 0;  // sum over the upper half, a_(-1) .. a_(-2N)
  double endMass = 0;       // a_(-1) .. a_(-N)
  double middleMass = 0;    // a_(-N-1) .. a_(-2N)
  double floor = 0;         // eps sum_{n<N} |a_n(4N)|
  bool trusted = true;
  double estimate = 0;      // e^(sigma t) (roundoff + aliasing + truncation); +inf if not trusted
};
ErrorTerms errorTerms(const double2* core, const double2* row, int N, double sigma, double b,
                      double t);
// The masses of the 4N-point row and whether it is trusted (the fields
// floor, tailMass, middleMass, endMass, negativeMass and trusted of e).
void rowMasses(const double2* row, int N, ErrorTerms& e);

// The pipeline's row of `Nsamples` coefficients of c's transform at
// (sigma, b), on the host (with the pipeline's optional tables).
void hostRow(StageContext& c, gpu::DeviceBuffer& buffer, int Nsamples, double sigma, double b,
             std::vector<double2>& out, const detail::ContourPoint* contour = nullptr,
             const LagPhase* phase = nullptr);

// What the coefficient row of 4N samples at (sigma, b) shows of F right
// of the line Re s = sigma: kSingular where the rows' test above finds a
// singularity there or a value is not finite, else kClear. Where the rest of
// F's expansion has not converged at that b (a singularity close to the
// line, relative to b), its aliased terms can hide one; with `aside`, the
// rows are those of F (s - aside)^2 / (s - aside + b)^2 instead, analytic
// where F is, in which a pole of order one or two at `aside` (the shift of a
// transform like 1/s, say) is gone and any singularity near it weakened,
// while those further away keep their weight. The Weeks method answers with
// it for the methods whose line or contour assumes F analytic right of their
// shift.
Clearance clearanceRightOf(WeeksContext& c, double sigma, int N, double b, const double* aside = nullptr);

// The prediction for f(t) = ft computed with N terms at (sigma, b). `coreRow`
// is the inversion core's row; when it does not hold the 2N-point row of
// (sigma, b), that row is computed here. With a diagnostic sink, the 4N-point
// row's pipeline writes its timing block and the estimate its timing line.
ErrorPrediction wfnErrorEst(WeeksContext& c, double2 ft, double TimeInput, int NLagInput,
                            double sigma, double b, double RelErrInput,
                            const CoefficientRow* coreRow = nullptr);

}  // namespace orvane
