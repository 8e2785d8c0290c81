// Error prediction: the relative error over the overflow-safe |f(t)| and the
// strict tolerance flag, and the one-point grid behind the absolute error.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "solver/run_loop.h"
#include "support/transforms_hd.h"
#include "support/test_util.h"
#include "support/stages.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

using test_util::c;

TEST(PredictError, FlagAndRelativeError) {
  struct Row {
    const char* name;
    double E;
    double2 ft;
    double request;
    double rel;  // expected RelErrPred; NaN means NaN
    int flag;
  } rows[] = {
      {"3-4i met", 1e-6, c(3, -4), 1e-6, 2e-7, 0},
      {"3-4i request equal to the prediction", 1e-6, c(3, -4), 2e-7, 2e-7, 1},
      {"zero request never met", 0.0, c(1, 0), 0.0, 0.0, 1},
      {"zero f(t)", 1e-6, c(0, 0), 1.0, kInf, 1},
      {"zero f(t) and zero estimate", 0.0, c(0, 0), 1.0, kNaN, 1},
      // A value that is not finite is never a result that met its tolerance.
      {"infinite real part", 1e-6, c(kInf, 2), 1e-300, kNaN, 1},
      {"infinite imaginary part", 1e3, c(0, -kInf), 1e-300, kNaN, 1},
      {"NaN real part, zero estimate", 0.0, c(kNaN, 0), 1.0, kNaN, 1},
      {"NaN imaginary part", 1e-6, c(1, kNaN), 1.0, kNaN, 1},
      {"infinite f(t) and infinite estimate", kInf, c(-kInf, 0), 1.0, kNaN, 1},
      {"NaN estimate", kNaN, c(1, 0), 1.0, kNaN, 1},
      {"infinite estimate", kInf, c(1, 0), 1e300, kInf, 1},
      {"huge f(t) without overflow", 1e300, c(1e308, 1e308), 1.0, 1e300 / (1e308 * std::sqrt(2.0)), 0},
  };
  for (const Row& r : rows) {
    ErrorPrediction p = orvane::predictError(r.E, r.ft, r.request);
    if (std::isnan(r.E)) EXPECT_TRUE(std::isnan(p.AbsErrPred)) << r.name;
    else EXPECT_EQ(p.AbsErrPred, r.E) << r.name;
    if (std::isnan(r.rel)) EXPECT_TRUE(std::isnan(p.RelErrPred)) << r.name;
    else EXPECT_DOUBLE_EQ(p.RelErrPred, r.rel) << r.name;
    EXPECT_EQ(p.TolFlag, r.flag) << r.name;
  }
}

// The run loop keeps the record of lowest relative error when no tolerance is
// met: a value that is not finite must never displace a finite one.
TEST(PredictError, NonFiniteValueNeverDisplacesAFiniteRecord) {
  const double2 values[] = {c(kInf, 0), c(0, -kInf), c(kNaN, 1), c(kNaN, kNaN)};
  for (const double2& ft : values) {
    const ErrorPrediction p = orvane::predictError(1e-9, ft, 1e-6);
    EXPECT_EQ(p.TolFlag, 1);
    EXPECT_FALSE(orvane::betterRecord(p.RelErrPred, 1e-3));
    // ... while any finite record displaces it.
    EXPECT_TRUE(orvane::betterRecord(1e-3, p.RelErrPred));
  }
}

TEST(ErrorEst, AbsoluteErrorIsTheOnePointGridEstimate) {
  hd::TwoPoles f;
  const double t = 1.0, sigma = 1.5, b = 4.0;
  double E = -1;
  stages_test::errorCore(f, t, 1, 1, 32, sigma, sigma, b, &E);
  ErrorPrediction p = stages_test::errorEst(f, c(0.25, 0.0), t, 32, sigma, b, 1.0);
  EXPECT_EQ(p.AbsErrPred, E);
  EXPECT_EQ(p.RelErrPred, E / 0.25);
  EXPECT_GT(E, 0.0);
}

}  // namespace
