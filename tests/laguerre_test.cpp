// The Laguerre functions of the error prediction: the scaled recurrence against
// exact reference values (data/laguerre_values.txt, from the explicit sum in
// rational arithmetic) and a long double direct sum, and the envelope against
// a brute-force maximum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "methods/weeks/laguerre.h"

namespace {

struct Reference {
  int n;
  double x;
  long double value;
};

std::vector<Reference> referenceValues() {
  std::vector<Reference> out;
  std::ifstream in(std::string(ORVANE_SOURCE_DIR) + "/tests/data/laguerre_values.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Reference r;
    std::string value;
    fields >> r.n >> r.x >> value;
    r.value = std::strtold(value.c_str(), nullptr);
    out.push_back(r);
  }
  return out;
}

std::vector<double> functions(double x, int count) {
  std::vector<double> l(static_cast<std::size_t>(count));
  orvane::laguerreFunctions(x, count, l.data());
  return l;
}

// The smallest normal double: values below it may come out as 0 or subnormal.
const double kNormal = 2.2250738585072014e-308;

TEST(Laguerre, MatchesExactValuesFromSmallToHugeArguments) {
  const std::vector<Reference> table = referenceValues();
  ASSERT_GE(table.size(), 200u) << "tests/data/laguerre_values.txt missing or short";
  int compared = 0, underflowed = 0;
  for (const Reference& r : table) {
    const double got = functions(r.x, r.n + 1)[std::size_t(r.n)];
    ASSERT_TRUE(std::isfinite(got)) << "n=" << r.n << " x=" << r.x;
    if (std::fabs(double(r.value)) < kNormal) {
      // Below the double range the value is 0 (or subnormal), never a wrong
      // 0 * infinity or a large number.
      EXPECT_LE(std::fabs(got), 1e-300) << "n=" << r.n << " x=" << r.x;
      ++underflowed;
      continue;
    }
    // The recurrence's error is a few n eps of the value here; joining
    // e^(-x/2) in the logarithm adds the rounding of x/2 (9e-13 at x = 1e4).
    const long double rel = std::fabs((got - r.value) / r.value);
    EXPECT_LT(double(rel), 2e-12) << "n=" << r.n << " x=" << r.x << ": " << got << " vs "
                                  << double(r.value);
    ++compared;
  }
  EXPECT_GE(compared, 150);
  EXPECT_GE(underflowed, 20);  // x = 3000 and 1e4 at small n
}

// e^(-x/2) sum_k C(n,k) (-x)^k / k! in long double: for x <= 2 and n <= 40 the
// terms stay below e^(2 sqrt(nx)) < 1e8, so cancellation costs at most 8 of the
// 19 digits.
long double directSum(int n, long double x) {
  long double term = 1, sum = 1;  // k = 0
  for (int k = 1; k <= n; ++k) {
    term *= -x * (long double)(n - k + 1) / ((long double)k * (long double)k);
    sum += term;
  }
  return std::exp(-x / 2) * sum;
}

TEST(Laguerre, MatchesTheDirectSumAtSmallArguments) {
  for (double x : {0.0, 1e-8, 0.01, 0.3, 1.0, 1.7, 2.0}) {
    const std::vector<double> l = functions(x, 41);
    for (int n = 0; n <= 40; ++n) {
      const long double want = directSum(n, x);
      EXPECT_NEAR(l[std::size_t(n)], double(want), 1e-13 * (1 + std::fabs(double(want))))
          << "n=" << n << " x=" << x;
    }
  }
}

// Every x up to 1e4 and n up to 4096 (twice the largest 2N of a row of 2048):
// finite values bounded by 1, the classical bound for x >= 0.
TEST(Laguerre, NoOverflowOrNaNUpToLargeArguments) {
  for (double x : {0.0, 1e-3, 1.0, 99.5, 1490.0, 1500.0, 2047.0, 5000.0, 1e4}) {
    const std::vector<double> l = functions(x, 4097);
    for (int n = 0; n <= 4096; ++n) {
      ASSERT_TRUE(std::isfinite(l[std::size_t(n)])) << "n=" << n << " x=" << x;
      ASSERT_LE(std::fabs(l[std::size_t(n)]), 1.0 + 1e-12) << "n=" << n << " x=" << x;
    }
  }
}

// W[n] = max over m >= n of |l_m(x)|, against the maximum over indices far
// past the turning point (4m + 2 = x) and past the row.
TEST(Laguerre, EnvelopeIsTheMaximumOfTheFunctionsFromEachIndexOn) {
  struct Row {
    double x;
    int count;
  } rows[] = {{0.0, 8},    {1e-3, 64},   {0.5, 4},     {2.0, 128},  {10.0, 16},
              {50.0, 64},  {100.0, 4},   {100.0, 512}, {480.0, 16}, {2400.0, 512},
              {1e4, 256},  {1e4, 4096}};
  for (const Row& r : rows) {
    std::vector<double> W(static_cast<std::size_t>(r.count));
    orvane::laguerreEnvelope(r.x, r.count, W.data());
    const int far = std::max(r.count, int(r.x / 4)) + 3000;
    const std::vector<double> l = functions(r.x, far);
    double best = 0;
    std::vector<double> want(static_cast<std::size_t>(r.count));
    for (int m = far - 1; m >= 0; --m) {
      best = std::max(best, std::fabs(l[std::size_t(m)]));
      if (m < r.count) want[std::size_t(m)] = best;
    }
    for (int n = 0; n < r.count; ++n) {
      EXPECT_EQ(W[std::size_t(n)], want[std::size_t(n)]) << "n=" << n << " x=" << r.x;
      EXPECT_GT(W[std::size_t(n)], 0.0) << "n=" << n << " x=" << r.x;
      if (n > 0) {
        EXPECT_LE(W[std::size_t(n)], W[std::size_t(n - 1)]) << "n=" << n;
      }
    }
  }
}

// Where the recurrence would have to run past its reach, the bound 1.
TEST(Laguerre, EnvelopeBeyondReachIsOne) {
  std::vector<double> W(16);
  orvane::laguerreEnvelope(1e8, 16, W.data());
  for (double w : W) EXPECT_EQ(w, 1.0);
}

}  // namespace
