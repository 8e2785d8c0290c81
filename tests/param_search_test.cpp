// Parameter search: grid sizes and values, the choice of the smallest
// estimate (ties, NaN), the index-to-(sigma, b) mapping, and a whole search.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/transforms_hd.h"
#include "support/stages.h"
#include "support/test_util.h"

namespace {

using test_util::kInf;
using test_util::kNaN;

TEST(SearchGrid, SizesAreRoundedDownDoubleQuotients) {
  struct Row {
    double sigmin, sigmax, bmax, tols, tolb;
    int Nsigma, Nb;
  } rows[] = {
      {0, 1, 2, 0.25, 0.5, 4, 4},
      {0, 1, 1, 0.3, 1, 3, 1},      // 1/0.3 = 3.33: three wider steps
      {0, 0.3, 1, 0.1, 0.3, 2, 3},  // 0.3/0.1 is just below 3
      {0, 30, 30, 1, 0.5, 30, 60},
      {-2, 2, 1, 4, 1, 1, 1},
  };
  for (const Row& r : rows) {
    orvane::detail::Grid g = orvane::searchGrid(r.sigmin, r.sigmax, r.bmax, r.tols, r.tolb);
    EXPECT_EQ(g.Nsigma, r.Nsigma) << r.sigmax - r.sigmin << "/" << r.tols;
    EXPECT_EQ(g.Nb, r.Nb) << r.bmax << "/" << r.tolb;
  }
}

TEST(SearchGrid, ValuesStopShortOfSigmaMaxAndEndAtBmax) {
  // [0, 1) by 0.3 gives 0, 1/3, 2/3; (0, 2] by 0.5 gives 0.5, 1, 1.5, 2.
  const int Nsigma = 3, Nb = 4;
  const double sigmas[] = {0.0, 1.0 / 3.0, 2.0 / 3.0}, bs[] = {0.5, 1.0, 1.5, 2.0};
  for (int k = 0; k < Nsigma * Nb; ++k) {
    SigmaB p = orvane::gridPoint(stages_test::grid(Nsigma, Nb, 0.0, 1.0, 2.0), k);
    EXPECT_EQ(p.sigma, sigmas[k / Nb]) << "k=" << k;
    EXPECT_EQ(p.b, bs[k % Nb]) << "k=" << k;
  }
  SigmaB p = orvane::gridPoint(stages_test::grid(3, 4, 2.0, 5.0, 8.0), 5);  // i = 1, j = 1
  EXPECT_EQ(p.sigma, 3.0);
  EXPECT_EQ(p.b, 4.0);
}

TEST(SearchGrid, BestPointSkipsNaNAndKeepsTheLowerIndexOnTies) {
  struct Row {
    const char* name;
    std::vector<double> e;
    int best;
  } rows[] = {
      {"single point", {7.0}, 0},
      {"smallest", {3, 2, 5, 1, 4}, 3},
      {"tie keeps lower index", {3, 1, 2, 1, 1}, 1},
      {"NaN at the first point", {kNaN, 4, 2, 3}, 2},
      {"NaN at a later point", {4, 2, kNaN, 3}, 1},
      {"NaN at the last point", {4, 2, 3, kNaN}, 1},
      {"all NaN gives the first point", {kNaN, kNaN, kNaN}, 0},
      {"infinity loses to any number", {kInf, 1e300, kInf}, 1},
      {"zero wins", {1e-300, 0.0, kNaN}, 1},
  };
  for (const Row& r : rows)
    EXPECT_EQ(orvane::bestGridPoint(r.e.data(), int(r.e.size())), r.best) << r.name;
}

TEST(SearchGrid, EmptyGridIsRefused) {
  struct Row {
    double sigmin, sigmax, bmax, tols, tolb;
  } rows[] = {
      {0, 0.5, 2, 1, 0.5},  // sigma range narrower than one step
      {0, 1, 0.4, 0.5, 0.5},
      {1, 0, 2, 0.5, 0.5},  // reversed range
      {0, 1, 2, 0, 0.5},    // zero resolution
      {0, 1, 2, 0.5, -1},
      {0, 1, 2, kNaN, 0.5},
      {0, 1e300, 2, 1e-300, 0.5},  // count beyond int
  };
  for (const Row& r : rows)
    stages_test::expectError(orvane::ErrorKind::kParameters, "^The parameter search has no grid",
                             [&] { orvane::searchGrid(r.sigmin, r.sigmax, r.bmax, r.tols, r.tolb); });
}

TEST(ParamEst, OnePointGridReturnsSigminAndBmax) {
  hd::ExpDecay f;
  SigmaB p = stages_test::paramEst(f, 1.0, 16, 2.0, 3.0, 5.0, 1.0, 5.0);
  EXPECT_EQ(p.sigma, 2.0);
  EXPECT_EQ(p.b, 5.0);
}

TEST(ParamEst, ReturnsTheGridPointOfTheSmallestEstimate) {
  hd::Underdamped f;
  const double t = 2.0, sigmin = 0.1, sigmax = 6.1, bmax = 12.0, tols = 0.5, tolb = 1.0;
  const int N = 32, Nsigma = 12, Nb = 12;
  std::vector<double> e(Nsigma * Nb);
  stages_test::errorCore(f, t, Nsigma, Nb, N, sigmin, sigmax, bmax, e.data());
  int best = 0;
  for (int k = 1; k < Nsigma * Nb; ++k)
    if (e[k] < e[best]) best = k;
  SigmaB expected = orvane::gridPoint(stages_test::grid(Nsigma, Nb, sigmin, sigmax, bmax), best);
  SigmaB p = stages_test::paramEst(f, t, N, sigmin, sigmax, bmax, tols, tolb);
  EXPECT_EQ(p.sigma, expected.sigma);
  EXPECT_EQ(p.b, expected.b);
}

}  // namespace
