// Inverts F(s) = 1/(s + 1), whose inverse is f(t) = exp(-t), at the times given
// on the command line, choosing (sigma, b) by Orvane's search. Prints one line
// per time: t re im sigma b abs_err rel_err flag.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <orvane/orvane.h>

// F(s) = 1/(s + 1), the transform of exp(-t), compiled into this program.
// ORVANE_HD lets the cuda backend run it on the GPU; the complex helpers come
// with orvane/complex.h.
struct ExpTransform {
  ORVANE_HD wcomplex operator()(wcomplex s) const {
    return cuCdiv(make_cuDoubleComplex(1, 0), make_cuDoubleComplex(s.x + 1, s.y));
  }
};

static int usage(const char* bad) {
  if (bad) std::fprintf(stderr, "invert_exp: not a time: '%s'\n", bad);
  std::fprintf(stderr, "usage: invert_exp TIME...\n"
                       "Inverts F(s) = 1/(s + 1) at each TIME (a number, 0 or more).\n");
  return 2;
}

int main(int argc, char** argv) {
  orvane::Parameters p;  // defaults: search sigma in [0, 30), b in (0, 30], N = 64
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    const double t = std::strtod(argv[i], &end);
    if (end == argv[i] || *end != '\0' || !std::isfinite(t) || t < 0) return usage(argv[i]);
    p.Time.push_back(t);
    p.RelErr.push_back(1e-10);
  }
  if (p.Time.empty()) return usage(nullptr);

  try {
    orvane::Solver solver;
    for (const WeeksResult& r : solver.run(p, ExpTransform{}))
      std::printf("%.17g %.17g %.17g %.17g %.17g %.17g %.17g %d\n", r.Time, r.ft.x, r.ft.y,
                  r.sigma, r.b, r.AbsErrPred, r.RelErrPred, r.TolFlag);
  } catch (const orvane::Error& e) {
    std::fprintf(stderr, "invert_exp: %s\n", e.what());
    return 1;
  }
  return 0;
}
