// NVRTC compiles CUDA source without a GPU: the complex functions and the
// statements generated for formulas are compiled to PTX here, in both
// precisions, so that the CUDA path of run-time transforms cannot rot on a
// machine without a device. Skipped where the build found no NVRTC.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jit/expression.h"
#include "jit/jit_config.h"

#if ORVANE_HAVE_NVRTC
#include <nvrtc.h>
#endif

namespace {

#if ORVANE_HAVE_NVRTC

struct Compiled {
  bool ok = false;
  std::string log, ptx;
};

Compiled compile(const std::string& source, bool single) {
  const std::vector<std::string> options = {
      "--std=c++17",
      "--fmad=false",
      "-arch=compute_75",
      std::string("-DORVANE_SINGLE=") + (single ? "1" : "0"),
      "-I" ORVANE_SOURCE_DIR "/include",
      "-I" ORVANE_SOURCE_DIR "/src",
      "-I" ORVANE_NVRTC_INCLUDE,
  };
  std::vector<const char*> argv;
  for (const std::string& o : options) argv.push_back(o.c_str());
  Compiled out;
  nvrtcProgram prog;
  if (nvrtcCreateProgram(&prog, source.c_str(), "transform.cu", 0, nullptr, nullptr) != NVRTC_SUCCESS) {
    out.log = "nvrtcCreateProgram failed";
    return out;
  }
  out.ok = nvrtcCompileProgram(prog, static_cast<int>(argv.size()), argv.data()) == NVRTC_SUCCESS;
  std::size_t size = 0;
  nvrtcGetProgramLogSize(prog, &size);
  out.log.assign(size, '\0');
  nvrtcGetProgramLog(prog, &out.log[0]);
  if (out.ok) {
    nvrtcGetPTXSize(prog, &size);
    out.ptx.assign(size, '\0');
    nvrtcGetPTX(prog, &out.ptx[0]);
  }
  nvrtcDestroyProgram(&prog);
  return out;
}

// A sampling kernel around generated statements: s from the input, the
// parameters a and b2 as wreal arguments, Fs to the output.
std::string samplingKernel(const std::string& name, const std::string& statements) {
  return "extern \"C\" __global__ void " + name +
         "(const wcomplex* in, wcomplex* out, wreal a, wreal b2) {\n"
         "  const wcomplex s = in[threadIdx.x];\n"
         "  wcomplex Fs;\n" +
         statements + "  out[threadIdx.x] = Fs;\n}\n";
}

// Every function of the header (and of special_functions.h), on double2 and
// on float2 whatever the build.
const char* const kEveryFunction = R"(
template <class C>
__device__ C every(C s) {
  C t = cx_add(s, cx_sub(s, cx_mul(s, cx_div(s, cx_neg(s)))));
  t = cx_add(t, cx_exp(s));   t = cx_add(t, cx_log(s));   t = cx_add(t, cx_sqrt(s));
  t = cx_add(t, cx_pow(s, t));
  t = cx_add(t, cx_sin(s));   t = cx_add(t, cx_cos(s));   t = cx_add(t, cx_tan(s));
  t = cx_add(t, cx_sinh(s));  t = cx_add(t, cx_cosh(s));  t = cx_add(t, cx_tanh(s));
  t = cx_add(t, cx_asin(s));  t = cx_add(t, cx_acos(s));  t = cx_add(t, cx_atan(s));
  t = cx_add(t, cx_asinh(s)); t = cx_add(t, cx_acosh(s)); t = cx_add(t, cx_atanh(s));
  t = cx_add(t, cx_abs(s));   t = cx_add(t, cx_arg(s));   t = cx_add(t, cx_conj(s));
  t = cx_add(t, cx_real(s));  t = cx_add(t, cx_imag(s));
  t = cx_add(t, cx_besselk(t, s));  t = cx_add(t, cx_besseli(t, s));  t = cx_add(t, cx_besselj(t, s));
  t = cx_add(t, cx_bessely(t, s));  t = cx_add(t, cx_besselke(t, s)); t = cx_add(t, cx_besselie(t, s));
  t = cx_add(t, cx_erf(s));   t = cx_add(t, cx_erfc(s));  t = cx_add(t, cx_erfcx(s));
  t = cx_add(t, cx_gamma(s)); t = cx_add(t, cx_lgamma(s)); t = cx_add(t, cx_expint(s));
  return t;
}
extern "C" __global__ void every_function(double2* d, float2* f, wcomplex* w) {
  d[threadIdx.x] = every(d[threadIdx.x]);
  f[threadIdx.x] = every(f[threadIdx.x]);
  w[threadIdx.x] = cx_add(every(w[threadIdx.x]), cx(wreal(0.5), wreal(0)));
  // The names of --transform statements.
  const wcomplex v = w[threadIdx.x];
  w[threadIdx.x] = cx_add(cx_add(orvane::K0(v), orvane::besselj(wreal(2.5), v)), orvane::lgamma(v));
}
)";

// A formula calling every function, and a deep one that needs variables.
std::string programSource() {
  std::string all = "s^b2 - i*pi/2 + 9/11 - a";
  for (const std::string& f : orvane::jit::expressionFunctions()) {
    const bool two = f == "pow" || f.compare(0, 6, "bessel") == 0;
    all += " + " + f + (two ? "(a, s)" : "(s)");
  }
  std::string deep = "s";
  for (int k = 0; k < 30; ++k) deep = "exp(-" + deep + ")/(1 + s)";
  const std::vector<std::string> names = {"a", "b2"};
  return "#include \"jit/complex_math.h\"\n" +
         samplingKernel("sample_all", orvane::jit::expressionSource(all, names)) +
         samplingKernel("sample_deep", orvane::jit::expressionSource(deep, names)) + kEveryFunction;
}

TEST(JitNvrtc, FunctionsAndGeneratedStatementsCompileToPtx) {
  const std::string source = programSource();
  for (bool single : {false, true}) {
    const Compiled c = compile(source, single);
    ASSERT_TRUE(c.ok) << (single ? "single" : "double") << " precision:\n" << c.log << "\n" << source;
    for (const char* entry : {".entry sample_all", ".entry sample_deep", ".entry every_function"}) {
      EXPECT_NE(c.ptx.find(entry), std::string::npos) << entry;
    }
  }
}

// The harness sees a failure: a call of a function that does not exist.
TEST(JitNvrtc, AnErrorIsReported) {
  const std::string source =
      "#include \"jit/complex_math.h\"\n" + samplingKernel("broken", "Fs = cx_nosuch(s);\n");
  const Compiled c = compile(source, false);
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.log.find("cx_nosuch"), std::string::npos) << c.log;
}

#else

TEST(JitNvrtc, FunctionsAndGeneratedStatementsCompileToPtx) {
  GTEST_SKIP() << "NVRTC was not found at configure time";
}
TEST(JitNvrtc, AnErrorIsReported) { GTEST_SKIP() << "NVRTC was not found at configure time"; }

#endif

}  // namespace
