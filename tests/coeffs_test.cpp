// The coefficient stages, in double precision: the half swap, the phase-and-scale
// kernel, the contour sampling, the batched FFT against a plain DFT, and the whole
// pipeline against the exact Laguerre coefficients of 1/(s+1).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "support/device_rows.h"
#include "support/transforms_hd.h"
#include "support/stages.h"

namespace {

// |got - want| within abs + rel*|want|, component by component; NaN never matches.
::testing::AssertionResult near2(double2 got, double2 want, double abs, double rel) {
  double ex = std::fabs(got.x - want.x), ey = std::fabs(got.y - want.y);
  if (ex <= abs + rel * std::fabs(want.x) && ey <= abs + rel * std::fabs(want.y))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << "), want (" << want.x
                                       << ", " << want.y << ")";
}

void fillTags(DeviceRows& rows, int Nsamples, int Nrows) {
  double2* dev = rows.data();
  WFN_CHECK(gpu::launch(Nsamples, Nrows, [=] ORVANE_HD(int k, int r) {
    dev[(long long)r * Nsamples + k] = tagOf(r, k);
  }));
}

// Device work is issued from free functions: nvcc refuses extended lambdas
// inside a test body.
void fillConstant(double2* dev, long long first, int count, double2 value) {
  WFN_CHECK(gpu::launch(count, 1, [=] ORVANE_HD(int k, int) { dev[first + k] = value; }));
}

void lagCoeffsRows(double2* dev, int N, int Nrows, int Nb) {
  WFN_CHECK(gpu::launch(N, Nrows, [=] ORVANE_HD(int n, int r) { wfnLagCoeffs(n, r, N, nullptr, dev); }));
}

template <class F>
void sampleRow(const F& f, double2* dev, int Nsamples, double sigma, double b) {
  WFN_CHECK(gpu::launch(Nsamples, 1, [=] ORVANE_HD(int k, int r) {
    wfnsampleFS(f, k, r, 0, Nsamples, orvane::detail::Grid::single(sigma, b), nullptr, dev);
  }));
}

void shiftRows(DeviceRows& rows, int Nsamples, int Nsigma, int Nb) {
  double2* dev = rows.data();
  // The full row width in x: threads past the first half must do nothing.
  WFN_CHECK(gpu::launch(Nsamples, Nsigma * Nb, [=] ORVANE_HD(int k, int r) {
    wfncufftshift(k, r, Nsamples, dev);
  }));
}

// ---- The half swap ----------------------------------------------------------------

struct ShiftCase {
  int N;
  std::vector<int> from;  // position k of a shifted row holds the old element from[k]
};

TEST(Shift, RowsAreRotatedByTheirOwnHalves) {
  const std::vector<ShiftCase> cases = {
      {2, {1, 0}},
      {8, {4, 5, 6, 7, 0, 1, 2, 3}},
      {5, {3, 4, 2, 0, 1}},  // odd: the middle element stays
      {6, {3, 4, 5, 0, 1, 2}},
  };
  for (const ShiftCase& c : cases) {
    const int Nsigma = 3, Nb = 2, Nrows = Nsigma * Nb;
    DeviceRows rows((long long)c.N * Nrows);
    fillTags(rows, c.N, Nrows);
    shiftRows(rows, c.N, Nsigma, Nb);
    std::vector<double2> out = rows.host();
    for (int r = 0; r < Nrows; ++r)
      for (int k = 0; k < c.N; ++k) {
        double2 want = tagOf(r, c.from[k]);
        EXPECT_EQ(out[r * c.N + k].x, want.x) << "N=" << c.N << " row " << r << " k " << k;
        EXPECT_EQ(out[r * c.N + k].y, want.y) << "N=" << c.N << " row " << r << " k " << k;
      }
  }
}

TEST(Shift, TwiceRestoresAnEvenRow) {
  for (int N : {2, 8, 64}) {
    DeviceRows rows(N * 2LL);
    fillTags(rows, N, 2);
    shiftRows(rows, N, 1, 2);
    shiftRows(rows, N, 1, 2);
    std::vector<double2> out = rows.host();
    for (int r = 0; r < 2; ++r)
      for (int k = 0; k < N; ++k) EXPECT_EQ(out[r * N + k].x, tagOf(r, k).x) << "N=" << N;
  }
}

// ---- The phase-and-scale kernel ------------------------------------------------------

TEST(LagCoeffs, DividesByNAndRemovesTheHalfStepPhase) {
  const int N = 8, Nb = 2, Nrows = 2;
  struct Case {
    int n;
    double2 in, want;  // want = in * e^(-i n pi / N) / N
  };
  const std::vector<Case> cases = {
      {0, {3.0, -2.0}, {3.0 / N, -2.0 / N}},         // phase unchanged
      {N / 2, {3.0, -2.0}, {-2.0 / N, -3.0 / N}},    // times -i/N
      {N / 4, {1.0, 0.0}, {std::sqrt(0.5) / N, -std::sqrt(0.5) / N}},
  };
  for (const Case& c : cases) {
    DeviceRows rows(N * Nrows);
    fillConstant(rows.data(), 0, N * Nrows, c.in);
    lagCoeffsRows(rows.data(), N, Nrows, Nb);
    std::vector<double2> out = rows.host();
    for (int r = 0; r < Nrows; ++r)
      EXPECT_TRUE(near2(out[r * N + c.n], c.want, 1e-16, 1e-15)) << "n=" << c.n << " row " << r;
  }
}

TEST(LagCoeffs, AllOnesRowBecomesThePhaseRamp) {
  for (int N : {2, 6, 16}) {
    DeviceRows rows(N);
    fillConstant(rows.data(), 0, N, double2{1.0, 0.0});
    lagCoeffsRows(rows.data(), N, 1, 1);
    std::vector<double2> out = rows.host();
    for (int n = 0; n < N; ++n) {
      double phi = n * M_PI / N;
      EXPECT_TRUE(near2(out[n], double2{std::cos(phi) / N, -std::sin(phi) / N}, 1e-16, 1e-14))
          << "N=" << N << " n=" << n;
    }
  }
}

// ---- The contour sampling ------------------------------------------------------------

// Records the sample point it is called with and returns F(s) = 1.
struct PointRecorder {
  wcomplex* seen;
  ORVANE_HD wcomplex operator()(wcomplex s) const {
    *seen = s;
    wcomplex one;
    one.x = 1;
    one.y = 0;
    return one;
  }
};

TEST(Sample, GridValuesAndContourPoints) {
  // sigma: 0, 0.5, 1, 1.5 (sigmax = 2 never); b: 0.5, 1, 1.5, 2 (0 never).
  const int Nsamples = 8, Nsigma = 4, Nb = 4, M = Nsamples / 2;
  const double sigmas[] = {0.0, 0.5, 1.0, 1.5}, bs[] = {0.5, 1.0, 1.5, 2.0};
  std::vector<double2> out(Nsigma * Nb * Nsamples);
  wcomplex seen{};
  PointRecorder rec{&seen};
  for (int i = 0; i < Nsigma; ++i)
    for (int j = 0; j < Nb; ++j)
      for (int k = 0; k < Nsamples; ++k) {
        const int r = i * Nb + j;
        wfnsampleFS(rec, k, r, 0, Nsamples, stages_test::grid(Nsigma, Nb, 0.0, 2.0, 2.0), nullptr, out.data());
        const double theta = (k - M + 0.5) * M_PI / M;
        const double y = bs[j] / std::tan(theta / 2);  // b cot(theta/2)
        EXPECT_EQ(seen.x, sigmas[i]);
        EXPECT_NEAR(seen.y, y, 1e-13 * std::fabs(y));
        // F = 1 leaves the contour weight b (1 + i cot(theta/2)).
        EXPECT_TRUE(near2(out[r * Nsamples + k], double2{bs[j], y}, 0, 1e-13));
      }
}

TEST(Sample, ExtremePointsAndMirrorPairs) {
  const int Nsamples = 16, M = 8;
  const double b = 1.5, h = M_PI / M;
  std::vector<double2> s(Nsamples);
  std::vector<double2> out(Nsamples);
  wcomplex seen{};
  for (int k = 0; k < Nsamples; ++k) {
    wfnsampleFS(PointRecorder{&seen}, k, 0, 0, Nsamples, orvane::detail::Grid::single(0.25, b), nullptr, out.data());
    s[k] = double2{seen.x, seen.y};
    EXPECT_NE(seen.y, 0.0) << "k=" << k;  // never on the real axis
  }
  EXPECT_NEAR(s[M - 1].y, -b / std::tan(h / 4), 1e-12);
  EXPECT_NEAR(s[M].y, b / std::tan(h / 4), 1e-12);
  EXPECT_NEAR(s[0].y, -b * std::tan(h / 4), 1e-15);
  EXPECT_NEAR(s[Nsamples - 1].y, b * std::tan(h / 4), 1e-15);
  for (int k = 0; k < Nsamples; ++k) EXPECT_EQ(s[k].y, -s[Nsamples - 1 - k].y) << "k=" << k;
}

TEST(Sample, RealTransformGivesConjugatePairs) {
  const int Nsamples = 32;
  DeviceRows rows(Nsamples);
  sampleRow(hd::TwoPoles{}, rows.data(), Nsamples, 0.3, 2.0);
  std::vector<double2> out = rows.host();
  for (int k = 0; k < Nsamples; ++k) {
    double2 mirror = out[Nsamples - 1 - k];
    EXPECT_TRUE(near2(out[k], double2{mirror.x, -mirror.y}, 1e-300, 1e-15)) << "k=" << k;
  }
}

// ---- The batched FFT -------------------------------------------------------------------

ORVANE_HD inline double2 fftInput(int r, int m) {
  return double2{sin(0.37 * m + 1.1 * r), cos(0.23 * m - 0.4 * r) + 0.25};
}

void fillFftInput(double2* dev, int n, int batch) {
  WFN_CHECK(gpu::launch(n, batch, [=] ORVANE_HD(int m, int r) { dev[r * n + m] = fftInput(r, m); }));
}

TEST(Fft, MatchesAPlainDftForEveryRow) {
  for (int n : {1, 2, 3, 5, 7, 12, 30, 64, 100})
    for (int batch : {1, 4}) {
      DeviceRows rows((long long)n * batch);
      double2* dev = rows.data();
      fillFftInput(dev, n, batch);
      gpu::FftPlans plans;
      ASSERT_EQ(plans.prepare(n, batch), gpu::kSuccess);
      ASSERT_EQ(plans.forward(n, batch, dev), gpu::kSuccess);
      std::vector<double2> out = rows.host();
      for (int r = 0; r < batch; ++r)
        for (int k = 0; k < n; ++k) {
          long double re = 0, im = 0;
          for (int m = 0; m < n; ++m) {
            // The index product is reduced first so the angle stays exact.
            long double a = -2.0L * 3.14159265358979323846264338327950288L * ((long long)k * m % n) / n;
            double2 x = fftInput(r, m);
            re += x.x * std::cos(a) - x.y * std::sin(a);
            im += x.x * std::sin(a) + x.y * std::cos(a);
          }
          EXPECT_TRUE(near2(out[r * n + k], double2{(double)re, (double)im}, 1e-13 * n, 0))
              << "n=" << n << " batch=" << batch << " row " << r << " k " << k;
        }
    }
}

// ---- The whole pipeline ------------------------------------------------------------------

// For F(s) = 1/(s+1) and sigma = 0: a_n = (2b/(b+1)) ((1-b)/(1+b))^n.
TEST(Pipeline, ExactCoefficientsOfFirstOrderPole) {
  struct Case {
    double b;
    int N;
  };
  // Sizes where the aliased tail ((1-b)/(1+b))^(2N) is below double precision.
  const std::vector<Case> cases = {{1.0, 4}, {1.0, 32}, {2.0, 16}, {0.5, 24}, {3.0, 32}, {1.5, 64}};
  for (const Case& c : cases) {
    const int Nsamples = 2 * c.N;
    DeviceRows rows(Nsamples);
    stages_test::coefficientPipeline(hd::ExpDecay{}, Nsamples, 1, 1, 0.0, 0.0, c.b,
                                rows.data());
    std::vector<double2> out = rows.host();
    const double q = (1 - c.b) / (1 + c.b);
    for (int n = 0; n < c.N; ++n) {
      double want = 2 * c.b / (c.b + 1) * std::pow(q, n);
      EXPECT_TRUE(near2(out[n], double2{want, 0.0}, 2e-15, 1e-14))
          << "b=" << c.b << " N=" << c.N << " n=" << n;
    }
  }
}

// Row r = i*Nb + j holds exactly the coefficients of (sigma_i, b_j); nothing past
// the Ncombo elements is touched.
TEST(Pipeline, BatchRowsMatchSinglePairsInOrder) {
  const int Nsamples = 16, Nsigma = 3, Nb = 2, Nbatch = 6, Ncombo = Nbatch * Nsamples;
  const double sigmin = 0.5, sigmax = 2.0, bmax = 3.0;
  const int guard = 5;
  DeviceRows grid(Ncombo + guard);
  double2* dev = grid.data();
  fillConstant(dev, Ncombo, guard, double2{-7.0, 7.0});
  stages_test::coefficientPipeline(hd::Underdamped{}, Nsamples, Nsigma, Nb, sigmin,
                              sigmax, bmax, dev);
  std::vector<double2> all = grid.host();
  for (int k = 0; k < guard; ++k) EXPECT_TRUE(all[Ncombo + k].x == -7.0 && all[Ncombo + k].y == 7.0);

  for (int i = 0; i < Nsigma; ++i)
    for (int j = 0; j < Nb; ++j) {
      const double sigma = sigmin + (double(i) / Nsigma) * (sigmax - sigmin);
      const double b = (j + 1) * bmax / Nb;
      DeviceRows one(Nsamples);
      stages_test::coefficientPipeline(hd::Underdamped{}, Nsamples, 1, 1, sigma, sigma,
                                  b, one.data());
      std::vector<double2> row = one.host();
      const int r = i * Nb + j;
      for (int n = 0; n < Nsamples; ++n)
        EXPECT_TRUE(near2(all[r * Nsamples + n], row[n], 1e-15, 1e-13)) << "row " << r << " n " << n;
    }
}

#if ORVANE_BACKEND_HOST
// A failed FFT is a located error instead of garbage handed on.
TEST(PipelineFailure, FailedFftIsLocated) {
  DeviceRows rows(16);
  setenv("ORVANE_HOST_FAIL_FFT", "1", 1);
  stages_test::expectError(
      orvane::ErrorKind::kFft,
      "^Error located: FFT plan or execution failed in src/methods/weeks/pipeline.cu at line [0-9]+$",
      [&] { stages_test::coefficientPipeline(hd::Ramp{}, 16, 1, 1, 1.0, 1.0, 2.0, rows.data()); });
  unsetenv("ORVANE_HOST_FAIL_FFT");
}
#endif

}  // namespace
