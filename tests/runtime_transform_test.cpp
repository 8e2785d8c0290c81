// Run-time transforms below the command line: the generated sources, a
// transform compiled and run on the host against the same functor compiled
// in, and the CUDA path through NVRTC to PTX, which needs no GPU.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "jit/jit_config.h"
#include "jit/runtime_transform.h"
#include "support/driver_support.h"
#include "support/stages.h"

namespace {

std::string shipped(const char* name) {
  return driver_test::readText(std::string(ORVANE_SOURCE_DIR) + "/user/" + name);
}

// 1/(s + a) as statements with a parameter.
const char* const kShiftedPole =
    "double2 d = make_cuDoubleComplex(s.x + a, s.y);\n"
    "Fs = cuCdiv(make_cuDoubleComplex(1.0, 0.0), d);\n";

// The same, compiled in.
struct ShiftedPole {
  double a;
  ORVANE_HD wcomplex operator()(wcomplex s) const {
    double2 d = make_cuDoubleComplex(s.x + a, s.y);
    return cuCdiv(make_cuDoubleComplex(1.0, 0.0), d);
  }
};

}  // namespace

TEST(RuntimeTransformSource, StatementsKeepTheirOwnLineNumbers) {
  const std::string host = orvane::jit::generatedSource("Fs = s;", "my \"file\".fs", {{"a", 2.0}});
  EXPECT_NE(host.find("#line 1 \"my \\\"file\\\".fs\"\nFs = s;\n#line "), std::string::npos) << host;
  EXPECT_NE(host.find("const wreal a = wreal(orvane_params.v[0]);"), std::string::npos);
  const std::string cuda = orvane::jit::generatedCudaSource("Fs = s;", "f.fs", {});
  EXPECT_NE(cuda.find("extern \"C\" __global__ void orvane_jit_sample("), std::string::npos);
  EXPECT_THROW(orvane::jit::generatedSource("Fs = s;", "f", {{"not a name", 1.0}}), orvane::Error);
}

#if ORVANE_BACKEND_HOST
// Compiled at run time, the statements sample exactly what the same functor
// compiled in samples.
TEST(RuntimeTransformHost, SamplesLikeTheCompiledInFunctor) {
  driver_test::ScratchDir dir;
  orvane::jit::Options options;
  options.cacheDir = dir.path() + "/cache";
  std::unique_ptr<orvane::Transform> runtime =
      orvane::jit::compileStatements(kShiftedPole, "pole.fs", {{"a", 1.0}}, options);
  const orvane::detail::SampleRows rows{64, {0.5, 3.5, 3, 8.0, 4}, 2, 7, nullptr};
  std::vector<double2> a(64 * 7), b(64 * 7);
  ASSERT_EQ(runtime->sampleRows(rows, a.data()), 0);
  ASSERT_EQ(orvane::FunctorTransform<ShiftedPole>(ShiftedPole{1.0}).sampleRows(rows, b.data()), 0);
  for (std::size_t k = 0; k < a.size(); ++k) {
    EXPECT_EQ(a[k].x, b[k].x) << k;
    EXPECT_EQ(a[k].y, b[k].y) << k;
  }
}

// An exception of the statements, thrown inside the object's OpenMP loops or
// at a single point, ends that call with an error that names the transform
// and the exception, never the process; the transform serves later calls.
TEST(RuntimeTransformHost, ExceptionsOfTheStatementsEndTheCallNotTheProcess) {
  struct Case {
    const char* name;
    const char* statements;
    const char* message;  // a regular expression
  } cases[] = {
      {"a domain error", "Fs.x = std::cyl_bessel_k(0.0, -1.0);\nFs.y = 0;",
       "^the transform bessel.fs threw std::domain_error \\(.*cyl_bessel_k.*\\) at s = "},
      {"not a std::exception", "if (s.y != 0) throw 7;\nFs = s;",
       "^the transform bessel.fs threw an exception that is not a std::exception at s = [-0-9.e]+[-+][0-9.e]+i$"},
      {"right of 2 only", "if (s.x > 2.0) throw std::out_of_range(\"too far right\");\nFs = s;",
       "^the transform bessel.fs threw std::out_of_range \\(too far right\\) at s = "},
  };
  driver_test::ScratchDir dir;
  orvane::jit::Options options;
  options.cacheDir = dir.path() + "/cache";
  // Enough elements that the host shares them among threads.
  const orvane::detail::SampleRows rows{1024, {0.5, 3.5, 3, 8.0, 4}, 0, 12, nullptr};
  std::vector<double2> samples(1024 * 12), points(5000, double2{3.0, 1.0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<orvane::Transform> f = orvane::jit::compileStatements(c.statements, "bessel.fs", {}, options);
    stages_test::expectError(orvane::ErrorKind::kParameters, c.message, [&] { f->sampleRows(rows, samples.data()); });
    stages_test::expectError(orvane::ErrorKind::kParameters, c.message,
                             [&] { f->evaluate(points.data(), (long long)points.size(), samples.data()); });
  }
  const std::unique_ptr<orvane::Transform> f = orvane::jit::compileStatements(cases[2].statements, "bessel.fs", {}, options);
  double2 point{1.0, 0.5}, value{0.0, 0.0};
  EXPECT_EQ(f->evaluate(&point, 1, &value), 0);
  EXPECT_EQ(value.x, 1.0);
  EXPECT_EQ(value.y, 0.5);
}

TEST(RuntimeTransformHost, ProgramEndsWithAnErrorWhenTheStatementsThrow) {
  driver_test::ScratchDir dir;
  driver_test::writeText(dir.file("UserParameters.txt"), driver_test::shippedExample());
  driver_test::writeText(dir.file("bessel.fs"), "Fs.x = std::cyl_bessel_k(0.0, -1.0);\nFs.y = 0;\n");
  for (const char* method : {"weeks", "dehoog"}) {  // rows of the contour; points
    SCOPED_TRACE(method);
    const driver_test::ProcessResult r =
        driver_test::runIn(dir, ORVANE_BIN, "XDG_CACHE_HOME='" + dir.path() + "/cache'", "> stdout.txt",
                           std::string("--quiet --format csv --transform bessel.fs --method ") + method);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err.rfind("the transform bessel.fs threw std::domain_error (", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
  }
}
#endif

TEST(RuntimeTransformCuda, GeneratedSourcesCompileToPtx) {
#if !ORVANE_HAVE_NVRTC
  GTEST_SKIP() << "this build has no NVRTC";
#else
  struct Case {
    const char* name;
    std::string statements;
    orvane::jit::Params params;
  } cases[] = {
      {"UserFs", shipped("UserFs"), {}},
      {"UserFsDiag", shipped("UserFsDiag"), {}},
      {"pole.fs", kShiftedPole, {{"a", 1.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string ptx = orvane::jit::compileToPtx(
        orvane::jit::generatedCudaSource(c.statements, c.name, c.params), c.name, 7, 5);
    EXPECT_NE(ptx.find(".entry orvane_jit_sample"), std::string::npos);
  }
  stages_test::expectError(orvane::ErrorKind::kParameters, "bad.fs\\(2\\): error", [] {
    orvane::jit::compileToPtx(orvane::jit::generatedCudaSource("double x = 1;\nFs.x = x +* 2;", "bad.fs", {}),
                              "bad.fs", 7, 5);
  });
#endif
}
