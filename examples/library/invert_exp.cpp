// Inverts F(s) = 1/(s + a) with a = 1, whose inverse is f(t) = exp(-t), at the
// times given on the command line, with the library's defaults (method auto,
// (sigma, b) by Orvane's search) and a requested relative error of 1e-10.
// F is the formula "1/(s+a)", compiled when the program runs, or with
// --functor the same F compiled into this program. Prints one line per time:
//   t re im sigma b abs_err rel_err flag N method
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <orvane/orvane.h>

// F(s) = 1/(s + 1) compiled into this program. ORVANE_HD lets the cuda
// backend run it on the GPU; the complex helpers come with orvane/complex.h.
struct ExpTransform {
  ORVANE_HD orvane::wcomplex operator()(orvane::wcomplex s) const {
    return cuCdiv(make_cuDoubleComplex(1, 0), make_cuDoubleComplex(s.x + 1, s.y));
  }
};

static int usage(const char* bad) {
  if (bad) std::fprintf(stderr, "invert_exp: not a time: '%s'\n", bad);
  std::fprintf(stderr, "usage: invert_exp [--functor] TIME...\n"
                       "Inverts F(s) = 1/(s + 1) at each TIME (a number, 0 or more).\n");
  return 2;
}

int main(int argc, char** argv) {
  bool functor = false;
  std::vector<double> times;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--functor") == 0) {
      functor = true;
      continue;
    }
    char* end = nullptr;
    const double t = std::strtod(argv[i], &end);
    if (end == argv[i] || *end != '\0' || !std::isfinite(t) || t < 0) return usage(argv[i]);
    times.push_back(t);
  }
  if (times.empty()) return usage(nullptr);

  try {
    orvane::Options opt;  // method auto, sizes {64}, sigma [0, 30), b_max 30
    opt.rel_err = 1e-10;
    orvane::Solver solver;
    std::vector<orvane::Result> results;
    if (functor) {
      results = solver.invert(ExpTransform{}, times, opt);
    } else {
      std::unique_ptr<orvane::Transform> F = orvane::compile("1/(s+a)", {{"a", 1.0}});
      results = solver.invert(*F, times, opt);
    }
    for (const orvane::Result& r : results)
      std::printf("%.17g %.17g %.17g %.17g %.17g %.17g %.17g %d %d %s\n", r.t, r.f.real(), r.f.imag(),
                  r.sigma, r.b, r.abs_err, r.rel_err, r.flag, r.N, orvane::methodName(r.method));
  } catch (const orvane::Error& e) {
    std::fprintf(stderr, "invert_exp: %s\n", e.what());
    return 1;
  }
  return 0;
}
