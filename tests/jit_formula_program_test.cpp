// The formula's program (jit/formula_program.h): the compiled formula's
// values bit for bit on every reference formula, blocks and threads, the
// choice of the compiler, refusals, and the programs inverting formulas with
// no compiler at hand.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "jit/expression.h"
#include "jit/formula_program.h"
#include "jit/runtime_transform.h"
#include "orvane/error.h"
#include "orvane/transform.h"
#include "support/driver_support.h"
#include "support/formulas.h"

namespace {

using formula_test::allFormulas;
using formula_test::NamedFormula;
using formula_test::sameBits;
using formula_test::shown;
using formula_test::testPoints;
using orvane::jit::Expression;
using orvane::jit::FormulaProgram;

}  // namespace

TEST(FormulaProgram, GivesTheCompiledFormulasBitsOnEveryReferenceFormula) {
  const std::vector<NamedFormula> formulas = allFormulas();
  ASSERT_GT(formulas.size(), 70u);
  for (const std::string& d : formula_test::differences(formulas, ::testing::TempDir() + "formula-program-cache"))
    ADD_FAILURE() << d;
}

// Blocks of every size, values in place of the points, constants and
// parameters alone, repeated parts computed once, and many threads at once.
TEST(FormulaProgram, BlocksInPlaceAndThreadsChangeNothing) {
  struct Case {
    const char* text;
    int columns;  // scratch columns: values live until their last use, a step's own is not an operand's
  };
  const Case cases[] = {
      {"s", 0}, {"a", 0}, {"2*a + exp(pi*i)", 0}, {"1/(s+a)", 2},
      {"(s*s+1)*(s*s+1)", 2}, {"(s*s-1)/((s*s+1)*(s*s+1))", 3}, {"s^2 + s**3 - s^-2", 3},
      {"exp(-sqrt(s))/s + 1/(s + exp(-s)*(s + 1/(s + a)))", 4},
  };
  const std::vector<double2> points = testPoints();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Expression e(c.text, {"a"});
    const FormulaProgram<double2> program(e, {0.25});
    EXPECT_EQ(program.columns(), c.columns);
    for (long long count : {0LL, 1LL, 255LL, 256LL, 257LL, (long long)points.size()}) {
      std::vector<double2> out(points.begin(), points.begin() + count);
      program.evaluate(out.data(), count, out.data());
      for (long long k = 0; k < count; ++k) {
        const std::complex<double> one = e.evaluate({0.25}, {points[k].x, points[k].y});
        ASSERT_TRUE(sameBits(out[k], make_double2(one.real(), one.imag()))) << count << " at " << shown(points[k]);
      }
    }
    // Every thread its own array, all at once.
    const long long n = (long long)points.size();
    std::vector<double2> serial(n);
    program.evaluate(points.data(), n, serial.data());
    std::vector<std::vector<double2>> each(4, std::vector<double2>(n));
#pragma omp parallel for num_threads(4)
    for (int t = 0; t < 4; ++t) program.evaluate(points.data(), n, each[t].data());
    for (const std::vector<double2>& v : each) {
      for (long long k = 0; k < n; ++k) ASSERT_TRUE(sameBits(v[k], serial[k])) << shown(points[k]);
    }
  }
}

// What the transform of a formula refuses, with the same words as the
// command line and Python, and the compiler on request.
TEST(FormulaTransform, RefusesBadConstantsAndChoicesAndCompilesOnRequest) {
  struct Refusal {
    const char* formula;
    orvane::jit::Params params;
    const char* engine;  // ORVANE_JIT_FORMULA, or null
    const char* message;
  };
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  const Refusal refusals[] = {
      {"1/(s+a)", {{"a", nan}}, nullptr, "constant 'a' is nan; expected a finite real number"},
      {"1/(s+a)", {{"a", inf}}, nullptr, "constant 'a' is inf; expected a finite real number"},
      {"1/(s+a)", {{"a", -inf}}, "compile", "constant 'a' is -inf; expected a finite real number"},
      {"1/(s+gamma)", {{"gamma", 1.0}}, nullptr, "parameter name 'gamma' is reserved"},
      {"K0(s, 1)", {}, nullptr, "expression, column 1: 'K0' takes 1 argument, found 2"},
      {"besselk(s)", {}, nullptr, "expression, column 1: 'besselk' takes 2 arguments, found 1"},
      {"1/s", {}, "gcc", "ORVANE_JIT_FORMULA is 'gcc'; expected evaluate (the default) or compile"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.formula);
    if (r.engine != nullptr) setenv("ORVANE_JIT_FORMULA", r.engine, 1);
    try {
      orvane::jit::formulaTransform(r.formula, r.params);
      ADD_FAILURE() << "accepted";
    } catch (const orvane::Error& e) {
      EXPECT_EQ(e.kind(), orvane::ErrorKind::kParameters);
      EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
    }
    unsetenv("ORVANE_JIT_FORMULA");
  }
  // The library's compile() refuses a NaN constant as well.
  EXPECT_THROW(orvane::compile("1/(s+a)", {{"a", nan}}), orvane::Error);

  // No compiler at all: the program; asked for the compiler: its message.
  setenv("ORVANE_JIT_CXX", "/nonexistent/c++", 1);
  const double2 point = make_double2(1, 0);
  double2 value;
  ASSERT_EQ(orvane::compile("1/(s+a)", {{"a", 3.0}})->evaluate(&point, 1, &value), 0);
  EXPECT_EQ(value.x, 0.25);
  setenv("ORVANE_JIT_FORMULA", "compile", 1);
  orvane::jit::Options options;
  options.cacheDir = ::testing::TempDir() + "formula-no-compiler-cache";
  try {
    orvane::jit::formulaTransform("1/(s+a)", {{"a", 3.0}}, options);
    ADD_FAILURE() << "compiled without a compiler";
  } catch (const orvane::Error& e) {
    EXPECT_NE(std::string(e.what()).find("no C++ compiler at /nonexistent/c++"), std::string::npos) << e.what();
  }
  unsetenv("ORVANE_JIT_FORMULA");
  unsetenv("ORVANE_JIT_CXX");
}

// The installed command line inverts every reference formula and the
// hydrology formulas with no compiler: none at the configured path, none on
// PATH. Where the table's value at t = 1 is known and the flag says the
// tolerance is met, the value is within it.
TEST(FormulaTransform, TheCommandLineInvertsEveryFormulaWithoutACompiler) {
  driver_test::ScratchDir dir;
  const std::string env = "ORVANE_JIT_CXX=/nonexistent/c++ PATH=/nonexistent XDG_CACHE_HOME='" + dir.path() + "/cache'";
  for (const NamedFormula& f : allFormulas()) {
    SCOPED_TRACE(f.id + ": " + f.text);
    const driver_test::ProcessResult r = driver_test::runIn(
        dir, ORVANE_BIN, env, "> stdout.txt", "--quiet --format csv --t 1 --rel-err 1e-6 --expr '" + f.text + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("compiler"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.rfind("t,re,im,", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("\n1,"), r.out.find('\n')) << r.out;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/cache/orvane")) << "a formula wrote to the cache";
}
