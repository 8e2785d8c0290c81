// Series evaluation in double precision: Clenshaw's sum against its closed
// cases and a direct Laguerre sum, and the inversion core end to end against
// exact f(t), including its refusal of rows too long for one block.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "driver/user_transform.h"
#include "methods/weeks/clenshaw.h"
#include "support/driver_support.h"
#include "support/reference.h"
#include "support/transforms_hd.h"
#include "support/stages.h"

namespace {

bool within(double got, double want, double abs, double rel) {
  return std::fabs(got - want) <= abs + rel * std::fabs(want);  // false for NaN
}

// ---- Clenshaw summation -----------------------------------------------------------

// L_n(x) from its explicit sum, independent of the three-term recurrence.
long double laguerreDirect(int n, long double x) {
  long double sum = 0, binom = 1, power = 1, fact = 1;
  for (int k = 0; k <= n; ++k) {
    if (k > 0) {
      binom = binom * (n - k + 1) / k;
      power *= x;
      fact *= k;
    }
    sum += (k % 2 ? -1 : 1) * binom * power / fact;
  }
  return sum;
}

std::vector<double2> someCoefficients(int N) {
  std::vector<double2> a(N);
  for (int n = 0; n < N; ++n) a[n] = double2{std::cos(n) / (1 + n), std::sin(0.5 * n) / (1 + n)};
  return a;
}

TEST(Clenshaw, ClosedCases) {
  const double2 a2[] = {{0.7, -0.2}, {1.3, 0.4}};
  struct Case {
    const char* what;
    int N;
    double t, sigma, b;
    double2 want;
  };
  const double E = std::exp((0.3 - 1.2) * 0.8);
  const double L1 = 1 - 2 * 1.2 * 0.8;
  const std::vector<Case> cases = {
      {"N = 1: e^((sigma-b)t) a_0", 1, 0.8, 0.3, 1.2, {E * 0.7, E * -0.2}},
      {"N = 2: e^((sigma-b)t) (a_0 + (1-2bt) a_1)", 2, 0.8, 0.3, 1.2,
       {E * (0.7 + L1 * 1.3), E * (-0.2 + L1 * 0.4)}},
      {"t = 0: the plain sum", 2, 0.0, 5.0, 0.1, {0.7 + 1.3, -0.2 + 0.4}},
      {"sigma = b: no exponential", 2, 3.0, 0.9, 0.9,
       {0.7 + (1 - 2 * 0.9 * 3.0) * 1.3, -0.2 + (1 - 2 * 0.9 * 3.0) * 0.4}},
  };
  for (const Case& c : cases) {
    double2 got = orvane::wfnClenshaw(c.N, c.t, c.sigma, c.b, a2);
    EXPECT_TRUE(within(got.x, c.want.x, 1e-15, 1e-14)) << c.what << ": " << got.x;
    EXPECT_TRUE(within(got.y, c.want.y, 1e-15, 1e-14)) << c.what << ": " << got.y;
  }
}

TEST(Clenshaw, MatchesDirectLaguerreSum) {
  struct Case {
    int N;
    double t, sigma, b;
  };
  const std::vector<Case> cases = {{3, 0.4, 0.0, 1.0}, {8, 1.5, 0.5, 1.3}, {16, 1.2, -0.3, 1.6},
                                   {16, 0.05, 2.0, 0.5}, {5, 2.0, 1.0, 0.25}};
  for (const Case& c : cases) {
    std::vector<double2> a = someCoefficients(c.N);
    long double re = 0, im = 0, scale = 0;
    for (int n = 0; n < c.N; ++n) {
      long double L = laguerreDirect(n, 2.0L * c.b * c.t);
      re += a[n].x * L;
      im += a[n].y * L;
      scale += std::fabs((double)L);
    }
    const long double E = std::exp((long double)(c.sigma - c.b) * c.t);
    double2 got = orvane::wfnClenshaw(c.N, c.t, c.sigma, c.b, a.data());
    const double tol = 1e-13 * (double)(E * scale);
    EXPECT_NEAR(got.x, (double)(E * re), tol) << "N=" << c.N << " t=" << c.t;
    EXPECT_NEAR(got.y, (double)(E * im), tol) << "N=" << c.N << " t=" << c.t;
  }
}

TEST(Clenshaw, RealCoefficientsGiveZeroImaginaryPart) {
  std::vector<double2> a(12);
  for (int n = 0; n < 12; ++n) a[n] = double2{1.0 / (n + 2), 0.0};
  EXPECT_EQ(orvane::wfnClenshaw(12, 2.5, 0.4, 1.1, a.data()).y, 0.0);
}

// Real factors go through the full complex product: an infinite coefficient
// makes both parts of the result non-finite.
TEST(Clenshaw, InfiniteCoefficientSpreadsToBothParts) {
  std::vector<double2> a = someCoefficients(4);
  a[3] = double2{std::numeric_limits<double>::infinity(), 0.0};
  double2 got = orvane::wfnClenshaw(4, 0.7, 0.0, 1.0, a.data());
  EXPECT_FALSE(std::isfinite(got.x));
  EXPECT_FALSE(std::isfinite(got.y));
}

TEST(Clenshaw, EmptySeriesIsZero) {
  double2 got = orvane::wfnClenshaw(0, 1.0, 0.0, 1.0, nullptr);
  EXPECT_EQ(got.x, 0.0);
  EXPECT_EQ(got.y, 0.0);
}

// ---- The inversion core -------------------------------------------------------------

template <class F>
CoreResult runCore(double t, int N, double sigma, double b) {
  return stages_test::weeksCore(F{}, 1024, t, N, sigma, b);
}

struct InversionCase {
  const char* id;  // the pair of transforms.json
  CoreResult (*run)(double, int, double, double);
  double sigma, b;
  int N;
  double tol;  // absolute and relative
};

TEST(WeeksCore, MatchesExactInverseAtUserSigmaB) {
  const std::vector<InversionCase> cases = {
      {"rat_ramp", &runCore<hd::Ramp>, 1.0, 2.0, 64, 1e-13},
      {"rat_exp_decay", &runCore<hd::ExpDecay>, 0.0, 1.0, 32, 1e-14},
      {"rat_two_poles", &runCore<hd::TwoPoles>, 0.0, 2.0, 64, 1e-14},
      {"osc_sin", &runCore<hd::Sine>, 1.0, 2.0, 64, 1e-13},
      {"rat_underdamped", &runCore<hd::Underdamped>, 0.5, 2.0, 64, 1e-14},
  };
  for (const InversionCase& c : cases) {
    const reference::Pair& pair = referencePair(c.id);
    int checked = 0;
    for (const reference::Value& v : pair.values) {
      if (v.t > 10) continue;
      CoreResult r = c.run(v.t, c.N, c.sigma, c.b);
      EXPECT_TRUE(within(r.ft.x, v.f, c.tol, c.tol)) << c.id << " t=" << v.t << ": " << r.ft.x << " vs " << v.f;
      EXPECT_TRUE(within(r.ft.y, 0.0, c.tol * (1 + std::fabs(v.f)), 0)) << c.id << " t=" << v.t << ": imaginary part " << r.ft.y;
      ++checked;
    }
    EXPECT_GE(checked, 5) << c.id;
  }
}

TEST(WeeksCore, ReturnsItsInputsAndTheImaginaryPart) {
  const double t = 0.7, sigma = 0.1 + 0.2, b = 1.0 / 3.0;
  CoreResult r = stages_test::weeksCore(hd::ImagExpDecay{}, 1024, t, 64, sigma, b);
  EXPECT_EQ(std::memcmp(&r.Time, &t, sizeof t), 0);
  EXPECT_EQ(std::memcmp(&r.sigma, &sigma, sizeof sigma), 0);
  EXPECT_EQ(std::memcmp(&r.b, &b, sizeof b), 0);
  EXPECT_TRUE(within(r.ft.y, std::exp(-t), 1e-12, 1e-12)) << r.ft.y;  // i e^(-t)
  EXPECT_TRUE(within(r.ft.x, 0.0, 1e-12, 0)) << r.ft.x;
}

// The largest size the limit admits: 2N equal to the limit is accepted.
TEST(WeeksCore, SizeAtTheBlockLimitIsAccepted) {
  CoreResult r = stages_test::weeksCore(hd::Ramp{}, 512, 2.0, 256, 1.0, 2.0);
  EXPECT_TRUE(within(r.ft.x, 2.0, 1e-12, 1e-12)) << r.ft.x;
}

// The shipped transform (s + 0.6)^(-9/11), when it is the one compiled in. Its
// branch point makes the coefficients decay slowly: one (sigma, b) for all
// times gives a few parts in a thousand.
TEST(WeeksCore, UserTransformMatchesItsExactInverse) {
  const std::string file = ORVANE_USER_FS_FILE;
  if (file.size() < 12 || file.compare(file.size() - 12, 12, "/user/UserFs") != 0)
    GTEST_SKIP() << "another transform is configured: " << file;
  const reference::Pair& pair = referencePair("alg_power_9_11");
  for (const reference::Value& v : pair.values) {
    if (v.t < 0.5 || v.t > 10) continue;
    CoreResult r = stages_test::weeksCore(UserTransform{}, 1024, v.t, 512, -0.3, 1.0);
    EXPECT_TRUE(within(r.ft.x, v.f, 0, 1e-2)) << "t=" << v.t << ": " << r.ft.x << " vs " << v.f;
  }
}

TEST(WeeksCoreFailure, SizesTheDeviceCannotRunAreRefused) {
  stages_test::expectError(orvane::ErrorKind::kSizeRefused,
                           "^The number of samples per block 514exceeds the maximum 512$",
                           [] { stages_test::weeksCore(hd::Ramp{}, 512, 1.0, 257, 1.0, 2.0); });
  stages_test::expectError(orvane::ErrorKind::kSizeRefused, "^The number of Laguerre terms 0 is below 1$",
                           [] { stages_test::weeksCore(hd::Ramp{}, 512, 1.0, 0, 1.0, 2.0); });
}

// The refusal waits for a key before it ends the process: the process is
// still there until a line is typed, then it exits with code 1.
TEST(WeeksCore, RefusalWaitsForEnterThenExitsWithOne) {
  driver_test::ScratchDir dir;
  driver_test::Layout layout;
  layout.SearchSwitch = "0";
  layout.NLag = "257";
  driver_test::writeText(dir.file("UserParameters.txt"), driver_test::render(layout));
  int input[2], errors[2];
  ASSERT_EQ(pipe(input), 0);
  ASSERT_EQ(pipe(errors), 0);
  std::fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(input[0], 0);
    dup2(errors[1], 2);
    close(input[1]);
    close(errors[0]);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    if (chdir(dir.path().c_str()) != 0) _exit(3);
    setenv("ORVANE_HOST_MAX_THREADS_PER_BLOCK", "512", 1);
    execl(ORVANE_BIN, ORVANE_BIN, (char*)nullptr);
    _exit(4);
  }
  close(input[0]);
  close(errors[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "ended without waiting for Enter";
  ASSERT_EQ(write(input[1], "\n", 1), 1);
  close(input[1]);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::string text;
  char buf[256];
  ssize_t got;
  while ((got = read(errors[0], buf, sizeof buf)) > 0) text.append(buf, std::size_t(got));
  close(errors[0]);
  EXPECT_EQ(text, "The number of samples per block 514exceeds the maximum 512\n");
}

}  // namespace
