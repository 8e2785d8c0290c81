// The programs end to end, as processes: orvane on the shipped example and
// with the user's (sigma, b), orvane-diag with its echo and timing lines and
// F(s) = 1/s^2 inverted to f(t) = t.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "support/test_util.h"

namespace {

struct Outcome {
  int rc = -1;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs `bin` in a fresh directory holding `params` as "UserParameters.txt",
// with standard input at end of file.
Outcome runProgram(const char* bin, const std::string& params) {
  char dir[] = "/tmp/orvane_e2e_XXXXXX";
  Outcome o;
  if (mkdtemp(dir) == nullptr) return o;
  const std::string d = dir;
  std::ofstream(d + "/UserParameters.txt") << params;
  const std::string cmd = "cd '" + d + "' && '" + bin + "' < /dev/null > out.txt 2> err.txt";
  const int status = std::system(cmd.c_str());
  o.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = slurp(d + "/out.txt");
  o.err = slurp(d + "/err.txt");
  std::system(("rm -rf '" + d + "'").c_str());
  return o;
}

std::string join(const std::vector<double>& v) {
  std::ostringstream s;
  s.precision(17);
  for (double x : v) s << x << " ";
  return s.str();
}

// A parameter file in the layout of the shipped example.
std::string paramFile(const std::vector<double>& times, const std::vector<double>& relErr,
                      int searchSwitch, const std::vector<int>& sizes,
                      const std::vector<double>& sigmaUser, const std::vector<double>& bUser,
                      double sigmin, double sigmax, double bmax, const std::vector<double>& tols,
                      const std::vector<double>& tolb) {
  std::ostringstream f;
  f << "# Orvane parameters\n#\n#\n#\n#\n# Number of inversion times\n" << times.size() << "\n";
  f << "# Inversion times t\n#\n" << join(times) << "\n";
  f << "# Requested relative error for each time\n#\n" << join(relErr) << "\n";
  f << "# Search switch\n#\n" << searchSwitch << "\n";
  f << "# Number of expansion sizes\n#\n" << sizes.size() << "\n";
  f << "# Expansion sizes\n#\n";
  for (int n : sizes) f << n << " ";
  f << "\n#\n# User (sigma, b)\n#\n# sigma for each time\n" << join(sigmaUser) << "\n";
  f << "# b for each time\n#\n" << join(bUser) << "\n";
  f << "#\n# Grid search\n#\n# Number of tolerances\n" << tols.size() << "\n";
  f << "# Minimum sigma\n#\n" << sigmin << "\n# Maximum sigma\n#\n" << sigmax << "\n";
  f << "# sigma resolutions\n#\n" << join(tols) << "\n";
  f << "# Maximum b\n#\n" << bmax << "\n# b resolutions\n#\n" << join(tolb) << "\n# end\n";
  return f.str();
}

using test_util::lines;

int countPrefix(const std::string& text, const std::string& prefix) {
  int n = 0;
  for (const std::string& l : lines(text)) n += l.rfind(prefix, 0) == 0;
  return n;
}

// The numbers that follow `prefix` on the lines that start with it.
std::vector<double> values(const std::string& text, const std::string& prefix) {
  std::vector<double> v;
  for (const std::string& l : lines(text))
    if (l.rfind(prefix, 0) == 0) v.push_back(std::strtod(l.c_str() + prefix.size(), nullptr));
  return v;
}

// The program entry may still be the placeholder that prints nothing.
#define REQUIRE_PROGRAM(o)                                                   \
  if ((o).out.empty() && (o).err.empty() && (o).rc == 0)                     \
  GTEST_SKIP() << "the program entry prints nothing yet (placeholder main)"

// f(t) of F(s) = (s + 0.6)^(-9/11), the shipped transform.
double shippedExact(double t) { return std::pow(t, -2.0 / 11.0) * std::exp(-0.6 * t) / std::tgamma(9.0 / 11.0); }

void expectHonestResults(const Outcome& o, const std::vector<double>& times, double (*exact)(double),
                         double maxRelErr) {
  const std::vector<double> t = values(o.out, "Time = ");
  const std::vector<double> ft = values(o.out, "f(t) = ");
  const std::vector<double> rel = values(o.out, "Relative Error Prediction = ");
  const std::vector<double> flag = values(o.out, "Tolerance Flag = ");
  ASSERT_EQ(t.size(), times.size()) << o.out;
  ASSERT_EQ(ft.size(), times.size());
  ASSERT_EQ(rel.size(), times.size());
  ASSERT_EQ(flag.size(), times.size());
  for (std::size_t i = 0; i < times.size(); ++i) {
    const double f = exact(times[i]);
    const double trueRel = std::fabs(ft[i] - f) / std::fabs(f);
    EXPECT_NEAR(t[i], times[i], 1e-6 * times[i]);
    EXPECT_LT(trueRel, maxRelErr) << "t=" << times[i] << " f=" << ft[i] << " exact " << f;
    // The prediction does not understate the error by more than a factor 10.
    EXPECT_GE(rel[i] * 10, trueRel) << "t=" << times[i];
  }
}

TEST(EndToEnd, ShippedExampleWithSearch) {
  const std::string params = slurp(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt");
  ASSERT_FALSE(params.empty());
  Outcome o = runProgram(ORVANE_BIN, params);
  REQUIRE_PROGRAM(o);
  EXPECT_EQ(o.rc, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(countPrefix(o.out, "Orvane "), 1);
  EXPECT_EQ(countPrefix(o.out, "Walk clock time = "), 1);
  EXPECT_EQ(countPrefix(o.out, "Time Input = "), 0);  // no echo lines outside orvane-diag
  EXPECT_EQ(countPrefix(o.out, "GPU "), 0);
  expectHonestResults(o, {0.5, 1.0}, shippedExact, 0.05);
}

TEST(EndToEnd, UserPairsWithoutSearch) {
  // Both sizes are tried with the user's pair: the request 1e-14 is never met.
  const std::vector<double> times = {0.5, 2.0, 5.0};
  Outcome o = runProgram(ORVANE_BIN, paramFile(times, {1e-14, 1e-14, 1e-14}, 0, {32, 128},
                                               {1.0, 0.5, 0.25}, {2.0, 1.5, 1.0}, 0, 1, 1, {1}, {1}));
  REQUIRE_PROGRAM(o);
  EXPECT_EQ(o.rc, 0) << o.err;
  // F(s) ~ s^(-9/11) at infinity makes the coefficients decay like n^(-9/11),
  // so neither size is accurate with these pairs: at t = 5 the values of N = 32
  // and 128 are 2 % and 11 % off, with predicted errors of 670 % and 560 %, and
  // the run keeps the record of lower prediction.
  expectHonestResults(o, times, shippedExact, 0.15);
  const std::vector<double> sigma = values(o.out, "sigma = "), b = values(o.out, "b = ");
  ASSERT_EQ(sigma.size(), 3u);
  EXPECT_EQ(sigma[1], 0.5);
  EXPECT_EQ(b[2], 1.0);
  for (double f : values(o.out, "Tolerance Flag = ")) EXPECT_EQ(f, 1.0);
}

TEST(EndToEnd, DiagnosticBuildEchoAndTimingLinesAndFOfTIsT) {
  // Two times, two sizes, two tolerances, a request no build meets: every time
  // evaluates 2 x 2 times, each with a search, an inversion and a prediction.
  const std::vector<double> times = {0.5, 3.0};
  Outcome o = runProgram(ORVANE_DIAG_BIN, paramFile(times, {1e-14, 1e-14}, 1, {16, 32}, {0, 0}, {1, 1},
                                                    0.0, 8.0, 12.0, {1.0, 0.5}, {1.0, 0.5}));
  REQUIRE_PROGRAM(o);
  EXPECT_EQ(o.rc, 0) << o.err;
  EXPECT_EQ(countPrefix(o.out, "Time Input = "), 2);
  EXPECT_EQ(countPrefix(o.out, "Tolerance Met Flag = 1"), 2);
  EXPECT_EQ(countPrefix(o.out, "Best Relative Error = 0.000000"), 2);
  EXPECT_EQ(countPrefix(o.out, "NLagInput "), 4);
  EXPECT_EQ(countPrefix(o.out, "tolsInput "), 8);
  EXPECT_EQ(countPrefix(o.out, "tolsInput 1.000000 tolbInput 1.000000"), 4);
  EXPECT_EQ(countPrefix(o.out, "GPU Error Estimation Time = "), 16);   // search + prediction
  EXPECT_EQ(countPrefix(o.out, "Total Coefficients GPU time = "), 24);  // + inversion
  EXPECT_EQ(countPrefix(o.out, "GPU Timing [ms]"), 24);

  // f(t) = t to single precision.
  const std::vector<double> ft = values(o.out, "f(t) = ");
  ASSERT_EQ(ft.size(), 2u);
  for (int i = 0; i < 2; ++i) EXPECT_NEAR(ft[i], times[i], 1e-4 * times[i]) << "t=" << times[i];
}

TEST(EndToEnd, DiagnosticBuildStopsAtTheFirstMetTolerance) {
  Outcome o = runProgram(ORVANE_DIAG_BIN, paramFile({1.0}, {1e-2}, 1, {16, 32}, {0}, {1}, 0.0, 8.0,
                                                    12.0, {1.0, 0.5}, {1.0, 0.5}));
  REQUIRE_PROGRAM(o);
  EXPECT_EQ(o.rc, 0) << o.err;
  EXPECT_EQ(countPrefix(o.out, "NLagInput "), 1);
  EXPECT_EQ(countPrefix(o.out, "tolsInput "), 1);
  const std::vector<double> flag = values(o.out, "Tolerance Flag = ");
  ASSERT_EQ(flag.size(), 1u);
  EXPECT_EQ(flag[0], 0.0);
}

}  // namespace
