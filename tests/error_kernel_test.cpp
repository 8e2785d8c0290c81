// Error grid kernel on hand-made coefficient blocks, the sizes of an error
// grid, and the driver's use of the pipeline's coefficients as delivered.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <vector>

#include "methods/weeks/error_kernel.h"
#include "support/device_rows.h"
#include "support/transforms_hd.h"
#include "support/test_util.h"
#include "support/stages.h"

// Device blocks whose a_1 is k + 1 for grid point k and whose other
// coefficients are 0. (A device lambda may not live in a test body.)
void fillSecondCoefficientWithIndex(double2* dev, int Nsamples, int Nbatch) {
  WFN_CHECK(gpu::launch(Nsamples, Nbatch, [=] ORVANE_HD(int n, int k) {
    dev[k * Nsamples + n].x = n == 1 ? k + 1.0 : 0.0;
    dev[k * Nsamples + n].y = 0.0;
  }));
}

namespace {

const double kEps = 2.220446049250313e-16;
using test_util::kInf;
using test_util::kNaN;

using test_util::c;

TEST(Modulus, OverflowSafeCases) {
  struct Row {
    double x, y, expected;
  } rows[] = {
      {3, 4, 5},           {-4, 3, 5},  {0, 0, 0}, {0, -2.5, 2.5}, {kInf, 1, kInf}, {1, -kInf, kInf},
      {1e300, 1e300, 1e300 * std::sqrt(2.0)},  // the square would overflow
      {1e-300, 1e-300, 1e-300 * std::sqrt(2.0)},  // the square would underflow
  };
  for (const Row& r : rows) EXPECT_EQ(orvane::wfnCabs(r.x, r.y), r.expected) << r.x << " " << r.y;
  EXPECT_TRUE(std::isnan(orvane::wfnCabs(kNaN, 1.0)));
  EXPECT_EQ(orvane::wfnCabs(3.0f, 4.0f), 5.0f);
}

// One block of 4N coefficients per grid point; returns the kernel's estimate of point k.
double estimate(const std::vector<double2>& data, int k, int Nsamples, double sigmin, double sigmax,
                int Nsigma, int Nb, double t) {
  std::vector<double> err(std::size_t(Nsigma) * Nb, -1.0);
  orvane::wfnLagError(k, 0, Nsamples, stages_test::grid(Nsigma, Nb, sigmin, sigmax, 1.0), t, data.data(),
                      err.data());
  return err[k];
}

TEST(ErrorKernel, HandMadeBlocks) {
  // N = 1: four samples, a_0 in the round-off term, a_1 in the truncation term,
  // a_2 and a_3 never read (NaN there would poison the sum).
  struct Row {
    const char* name;
    double2 a0, a1;
    double sigma, t, expected;
  } rows[] = {
      {"N=1 general", c(1.5, -2), c(0.25, 0), 0.5, 2.0, std::exp(1.0) * (kEps * 2.5 + 0.25)},
      {"all zeros", c(0, 0), c(0, 0), 3.0, 1.0, 0.0},
      {"3+4i truncation contributes 5", c(0, 0), c(3, 4), 0.0, 1.0, 5.0},
      {"3+4i round-off contributes 5 eps", c(3, 4), c(0, 0), 0.0, 1.0, 5.0 * kEps},
      {"infinite part", c(0, 0), c(kInf, 1), 1.0, 1.0, kInf},
      {"infinite part, round-off", c(-kInf, 0), c(0, 0), 0.0, 1.0, kInf},
      {"exponential overflows", c(0, 0), c(1, 0), 1000.0, 1.0, kInf},
  };
  for (const Row& r : rows) {
    std::vector<double2> data = {r.a0, r.a1, c(kNaN, kNaN), c(kNaN, kNaN)};
    EXPECT_EQ(estimate(data, 0, 4, r.sigma, r.sigma, 1, 1, r.t), r.expected) << r.name;
  }
}

TEST(ErrorKernel, RoundOffThenTruncationOverTheFirstHalf) {
  // N = 3: Nsamples 12; n = 0..2 weighted by eps, n = 3..5 in full, 6..11 unread.
  const int N = 3, Nsamples = 4 * N;
  std::vector<double2> data(Nsamples, c(kNaN, kNaN));
  double sum = 0;
  for (int n = 0; n < 2 * N; ++n) {
    data[n] = c(n + 1.0, -0.5 * n);
    sum += (n < N ? kEps : 1.0) * std::hypot(n + 1.0, 0.5 * n);
  }
  EXPECT_DOUBLE_EQ(estimate(data, 0, Nsamples, 0.25, 0.25, 1, 1, 2.0), std::exp(0.5) * sum);
}

TEST(ErrorKernel, GridPointFiveOfThreeByFour) {
  // Nsigma 3 over [0, 3], Nb 4: point 5 is i = 1, j = 1, sigma = 1, block 5.
  const int Nsigma = 3, Nb = 4, Nsamples = 4;
  std::vector<double2> data(std::size_t(Nsigma) * Nb * Nsamples, c(0, 0));
  for (int k = 0; k < Nsigma * Nb; ++k) data[std::size_t(k) * Nsamples + 1] = c(k + 1.0, 0);
  const double t = 0.75;
  EXPECT_EQ(estimate(data, 5, Nsamples, 0.0, 3.0, Nsigma, Nb, t), std::exp(t * 1.0) * 6.0);
  // Every point of the grid reads its own block and its own sigma, also when
  // the kernel runs over the whole grid on the device.
  DeviceRows rows(Nsigma * Nb * Nsamples);
  double2* dev = rows.data();
  fillSecondCoefficientWithIndex(dev, Nsamples, Nsigma * Nb);
  double* devErr = nullptr;
  WFN_CHECK(gpu::malloc(reinterpret_cast<void**>(&devErr), sizeof(double) * Nsigma * Nb));
  stages_test::launchErrorKernel(Nsamples, 0.0, 3.0, Nsigma, Nb, Nsigma * Nb, t, dev, devErr);
  std::vector<double> err(Nsigma * Nb, -1.0);
  WFN_CHECK(gpu::memcpyDeviceToHost(err.data(), devErr, sizeof(double) * Nsigma * Nb));
  WFN_CHECK(gpu::free(devErr));
  for (int k = 0; k < Nsigma * Nb; ++k)
    EXPECT_EQ(err[k], std::exp(t * double(k / Nb)) * (k + 1.0)) << "k=" << k;
}

TEST(ErrorGridSizes, FormedIn64BitsAndRefusedBeyondInt) {
  orvane::ErrorGridSizes s;
  ASSERT_EQ(orvane::errorGridSizes(stages_test::grid(4, 5, 0, 1, 1), 8, &s), "");
  EXPECT_EQ(s.Ncoeff, 16);
  EXPECT_EQ(s.Nsamples, 32);
  EXPECT_EQ(s.Nbatch, 20);
  EXPECT_EQ(s.Ncombo, 640);
  EXPECT_EQ(s.dataBytes, 10240u);
  EXPECT_EQ(s.errorBytes, 160u);

  // The largest element count that fits int: 2^31 - 1 is odd, so the largest multiple of 4 below it.
  ASSERT_EQ(orvane::errorGridSizes(stages_test::grid(8191, 65537, 0, 1, 1), 1, &s), "");
  EXPECT_EQ(s.dataBytes, std::size_t(8191) * 65537 * 4 * 16);  // beyond 32 bits

  // A grid whose whole array exceeds int elements is still usable: it is done in chunks.
  ASSERT_EQ(orvane::errorGridSizes(stages_test::grid(1000, 1000, 0, 1, 1), 1024, &s), "");
  EXPECT_EQ(s.Ncombo, 0);
  EXPECT_EQ(s.dataBytes, std::size_t(1000) * 1000 * 4096 * 16);

  struct Bad {
    int Nsigma, Nb, N;
    const char* why;
  } bad[] = {
      {65536, 65536, 1, "grid points exceed"},   // Nbatch overflows int
      {1, 1, 600000000, "samples per grid point"},
      {1, 1, 0, "expansion size"},
      {0, 5, 8, "at least one sigma"},
      {5, -1, 8, "at least one sigma"},
  };
  for (const Bad& b : bad) {
    std::string why = orvane::errorGridSizes(stages_test::grid(b.Nsigma, b.Nb, 0, 1, 1), b.N, &s);
    EXPECT_NE(why.find(b.why), std::string::npos) << b.Nsigma << "x" << b.Nb << " N=" << b.N << ": " << why;
  }
}

// A grid larger than device memory is done in chunks with exactly the result
// of one pass; the host's fused row-by-row path gives the same numbers too.
TEST(ErrorCore, ChunkedAndFusedPassesEqualOnePass) {
  hd::TwoPoles f;
  const int Nsigma = 20, Nb = 20, N = 16, Nbatch = Nsigma * Nb;
  const double sigmin = 0.25, sigmax = 10.25, bmax = 20.0, t = 2.0;
  std::vector<double> onePass(Nbatch), chunked(Nbatch), fused(Nbatch);
  // 64 samples of 16 bytes a row: a 30000-byte device holds about 25 rows at a
  // time. (Chunked first: the driver keeps its buffers, and a larger one later
  // would leave room for the whole grid.)
  setenv("ORVANE_HOST_MEMORY", "30000", 1);
  stages_test::errorCoreBatched(f, t, Nsigma, Nb, N, sigmin, sigmax, bmax, chunked.data());
  unsetenv("ORVANE_HOST_MEMORY");
  stages_test::errorCoreBatched(f, t, Nsigma, Nb, N, sigmin, sigmax, bmax, onePass.data());
  stages_test::errorCore(f, t, Nsigma, Nb, N, sigmin, sigmax, bmax, fused.data());
  for (int k = 0; k < Nbatch; ++k) {
    EXPECT_EQ(chunked[k], onePass[k]) << "k=" << k;
    EXPECT_EQ(fused[k], onePass[k]) << "k=" << k;
  }
}

TEST(ErrorCoreFailure, DeviceWithoutRoomForOneRowReportsTheAllocation) {
  setenv("ORVANE_HOST_MEMORY", "1000", 1);
  hd::ExpDecay f;
  std::vector<double> err(400);
  const char* located = "^Error located: out of memory in src/methods/weeks/error_(core.cu|rows.cpp) at line [0-9]+$";
  stages_test::expectError(orvane::ErrorKind::kAllocation, located, [&] {
    stages_test::errorCoreBatched(f, 1.0, 20, 20, 64, 1.0, 21.0, 20.0, err.data());
  });
  stages_test::expectError(orvane::ErrorKind::kAllocation, located, [&] {
    stages_test::errorCore(f, 1.0, 20, 20, 64, 1.0, 21.0, 20.0, err.data());
  });
  unsetenv("ORVANE_HOST_MEMORY");
}

TEST(ErrorCoreFailure, GridBeyondIntIsRefused) {
  hd::ExpDecay f;
  double err[1];
  stages_test::expectError(orvane::ErrorKind::kResources,
                           "error grid cannot be evaluated: .*grid points exceed", [&] {
                             stages_test::errorCore(f, 1.0, 65536, 65536, 16, 1.0, 2.0, 20.0, err);
                           });
}

// The estimate is the kernel's definition applied to the coefficients that
// the pipeline delivers, not to a second scaling of them (which would make
// every estimate 1/Nsamples as large).
TEST(ErrorCore, EstimatesUseThePipelineCoefficientsAsDelivered) {
  hd::TwoPoles f;
  const int Nsigma = 3, Nb = 4, N = 8, Nsamples = 4 * N, Nbatch = Nsigma * Nb;
  const double sigmin = 0.5, sigmax = 3.5, bmax = 6.0, t = 1.5;

  std::vector<double> err(Nbatch, -1.0);
  stages_test::errorCore(f, t, Nsigma, Nb, N, sigmin, sigmax, bmax, err.data());

  DeviceRows rows(Nbatch * Nsamples);
  stages_test::coefficientPipeline(f, Nsamples, Nsigma, Nb, sigmin,
                              sigmax, bmax, rows.data());
  const std::vector<double2> coeffs = rows.host();
  for (int k = 0; k < Nbatch; ++k) {
    const double2* a = &coeffs[std::size_t(k) * Nsamples];
    double sum = 0;
    for (int n = 0; n < 2 * N; ++n) sum += (n < N ? kEps : 1.0) * std::hypot(a[n].x, a[n].y);
    const double sigma = sigmin + (double(k / Nb) / Nsigma) * (sigmax - sigmin);
    EXPECT_NEAR(err[k], std::exp(sigma * t) * sum, 1e-12 * std::exp(sigma * t) * sum) << "k=" << k;
    EXPECT_GT(err[k], 0.0);
  }
}

}  // namespace
