// The diagnostic build: kernel arithmetic in single precision with results
// widened to double, f(t) to single-precision accuracy, and the pipeline's
// timing block printed on every call.
#include <gtest/gtest.h>

#include <iostream>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user_transform.h"
#include "support/device_rows.h"
#include "support/reference.h"
#include "support/transforms_hd.h"
#include "methods/weeks/error_kernel.h"
#include "support/stages.h"

namespace {

bool within(double got, double want, double abs, double rel) {
  return std::fabs(got - want) <= abs + rel * std::fabs(want);  // false for NaN
}

// Float round-off in the coefficients is scaled by e^(sigma t) in the sum; far
// below what a wrong sign, index or scale would give.
double singleTol(double sigma, double t) { return 1e-6 * std::exp(sigma * t); }

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

TEST(SinglePrecision, BuildIsSingleAndDiagnostic) {
  EXPECT_EQ(ORVANE_SINGLE, 1);
  EXPECT_EQ(ORVANE_DIAG, 1);
  EXPECT_EQ(sizeof(wreal), sizeof(float));
  EXPECT_EQ(orvane::detail::kPi, 3.14159274f);
}

// Every stored component is a float value widened to double.
TEST(SinglePrecision, SamplesAndCoefficientsAreWidenedFloats) {
  const int N = 32, Nsamples = 2 * N;
  DeviceRows rows(Nsamples);
  ::testing::internal::CaptureStdout();
  stages_test::coefficientPipeline(hd::TwoPoles{}, Nsamples, 1, 1, 0.7, 0.7, 1.9, rows.data());
  ::testing::internal::GetCapturedStdout();
  std::vector<double2> out = rows.host();
  for (int n = 0; n < Nsamples; ++n) {
    EXPECT_EQ(out[n].x, double(float(out[n].x))) << "n=" << n;
    EXPECT_EQ(out[n].y, double(float(out[n].y))) << "n=" << n;
  }
}

// For F(s) = 1/(s+1) and sigma = 0: a_n = (2b/(b+1)) ((1-b)/(1+b))^n.
TEST(SinglePrecision, ExactCoefficientsOfFirstOrderPole) {
  for (double b : {1.0, 2.0, 0.5}) {
    const int N = 32, Nsamples = 64;
    DeviceRows rows(Nsamples);
    ::testing::internal::CaptureStdout();
    stages_test::coefficientPipeline(hd::ExpDecay{}, Nsamples, 1, 1, 0.0, 0.0, b, rows.data());
    ::testing::internal::GetCapturedStdout();
    std::vector<double2> out = rows.host();
    const double q = (1 - b) / (1 + b);
    for (int n = 0; n < N; ++n) {
      double want = 2 * b / (b + 1) * std::pow(q, n);
      EXPECT_TRUE(within(out[n].x, want, 1e-6, 1e-5)) << "b=" << b << " n=" << n << ": " << out[n].x;
      EXPECT_TRUE(within(out[n].y, 0.0, 1e-6, 0)) << "b=" << b << " n=" << n << ": " << out[n].y;
    }
  }
}

template <class F>
CoreResult quietCore(const F& f, double t, int N, double sigma, double b) {
  ::testing::internal::CaptureStdout();
  CoreResult r = stages_test::weeksCore(f, 1024, t, N, sigma, b);
  ::testing::internal::GetCapturedStdout();
  return r;
}

// 1/s^2 at sigma = 1, b = 2, N = 64: f(t) = t to single-precision accuracy.
TEST(SinglePrecision, RampIsInvertedToSingleAccuracy) {
  for (const reference::Value& v : referencePair("rat_ramp").values) {
    if (v.t > 10) continue;
    CoreResult r = quietCore(hd::Ramp{}, v.t, 64, 1.0, 2.0);
    EXPECT_TRUE(within(r.ft.x, v.f, singleTol(1.0, v.t), 1e-5)) << "t=" << v.t << ": " << r.ft.x;
  }
}

TEST(SinglePrecision, SmoothTransformsAtUserSigmaB) {
  struct Case {
    const char* id;
    CoreResult (*run)(double, int, double, double);
    double sigma, b;
  };
  const std::vector<Case> cases = {
      {"rat_exp_decay", [](double t, int N, double s, double b) { return quietCore(hd::ExpDecay{}, t, N, s, b); }, 0.0, 1.0},
      {"rat_two_poles", [](double t, int N, double s, double b) { return quietCore(hd::TwoPoles{}, t, N, s, b); }, 0.0, 2.0},
      {"osc_sin", [](double t, int N, double s, double b) { return quietCore(hd::Sine{}, t, N, s, b); }, 1.0, 2.0},
  };
  for (const Case& c : cases)
    for (const reference::Value& v : referencePair(c.id).values) {
      if (v.t > 10) continue;
      CoreResult r = c.run(v.t, 64, c.sigma, c.b);
      EXPECT_TRUE(within(r.ft.x, v.f, singleTol(c.sigma, v.t), 1e-5)) << c.id << " t=" << v.t << ": " << r.ft.x << " vs " << v.f;
    }
}

// The diagnostic transform 1/s^2, when it is the one compiled in.
TEST(SinglePrecision, DiagnosticUserTransformGivesTheRamp) {
  const std::string file = ORVANE_USER_FS_FILE;
  if (file.size() < 16 || file.compare(file.size() - 16, 16, "/user/UserFsDiag") != 0)
    GTEST_SKIP() << "another transform is configured: " << file;
  for (double t : {0.5, 1.0, 2.0, 5.0, 10.0}) {
    CoreResult r = quietCore(UserTransform{}, t, 64, 1.0, 2.0);
    EXPECT_TRUE(within(r.ft.x, t, singleTol(1.0, t), 1e-5)) << "t=" << t << ": " << r.ft.x;
  }
}

// Six lines per pipeline call: header, sample, shift, FFT, coefficients, total;
// the total is the sum of the four stage times.
TEST(DiagnosticTiming, EveryPipelineCallPrintsItsBlock) {
  for (int calls : {1, 2}) {
    ::testing::internal::CaptureStdout();
    for (int c = 0; c < calls; ++c) stages_test::weeksCore(hd::Ramp{}, 1024, 1.0, 64, 1.0, 2.0, &std::cout);
    std::vector<std::string> lines = linesOf(::testing::internal::GetCapturedStdout());
    ASSERT_EQ(lines.size(), 6u * calls);
    const char* labels[] = {" Sample F(s) ", " FFTshift ", " FFT ", " Laguerre polynomials "};
    for (int c = 0; c < calls; ++c) {
      const std::string* block = &lines[6 * c];
      EXPECT_EQ(block[0], "GPU Timing [ms]");
      double sum = 0;
      for (int s = 0; s < 4; ++s) {
        const std::string& line = block[1 + s];
        ASSERT_EQ(line.compare(0, std::strlen(labels[s]), labels[s]), 0) << line;
        double ms = std::stod(line.substr(std::strlen(labels[s])));
        EXPECT_GE(ms, 0.0) << line;
        sum += ms;
      }
      const std::string totalLabel = "Total Coefficients GPU time = ";
      ASSERT_EQ(block[5].compare(0, totalLabel.size(), totalLabel), 0) << block[5];
      double total = std::stod(block[5].substr(totalLabel.size()));
      EXPECT_NEAR(total, sum, 1e-5 * sum + 1e-6) << block[5];
    }
  }
}

}  // namespace

// Grid rows are split into their (sigma, b) indices in integers: a row index
// beyond 2^24, where float has no odd integers, still names its own sigma, and
// the error sums scaled for a time use that sigma.
TEST(SinglePrecision, GridRowsBeyondTwoToThe24NameTheirOwnSigma) {
  orvane::detail::Grid g;
  g.sigmin = 0.0;
  g.sigmax = 1.0;
  g.Nsigma = 8192;
  g.bmax = 3.0;
  g.Nb = 3;
  const int row = (1 << 24) + 5;  // sigma index 5592407, b index 0
  EXPECT_EQ(g.sigmaIndex(row), 5592407);
  EXPECT_EQ(g.bIndex(row), 0);
  EXPECT_EQ(g.sigmaIndex(row + 2), 5592407);
  EXPECT_EQ(g.bIndex(row + 2), 2);
  // float(row) / float(Nb) rounds to the next sigma index.
  EXPECT_NE(int(std::floor(float(row + 2) / float(g.Nb))), g.sigmaIndex(row + 2));
  EXPECT_EQ(g.sigma<double>(g.sigmaIndex(row)), 5592407.0 / 8192.0);
  const double t = 1e-3;
  EXPECT_EQ(orvane::wfnLagErrorAt(1.0f, g, row + 2, t), double(std::exp(float(t) * g.sigma<float>(5592407))));
  EXPECT_NE(orvane::wfnLagErrorAt(1.0f, g, row + 2, t), double(std::exp(float(t) * g.sigma<float>(5592408))));
}
