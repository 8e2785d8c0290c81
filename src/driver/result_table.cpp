// The table for people, and the advice for a request that was not met.
#include "driver/result_table.h"

#include <cmath>
#include <cstdio>

namespace {

std::string format(const char* pattern, double v) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, v);
  return text;
}

// Reals in the table: "nan", "inf" and "-inf" where not finite.
std::string number(const char* pattern, double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  return format(pattern, v);
}

bool hasLaguerreScale(const orvane::Result& r) { return r.method == orvane::Method("weeks"); }

}  // namespace

std::string unmetAdvice(const orvane::Result& r, double request) {
  return "t = " + number("%.10g", r.t) + ": requested " + number("%.1e", request) + ", predicted " +
         number("%.1e", r.rel_err) + " (" + orvane::methodName(r.method) + "). " +
         unmetReason(r, AdviceSpelling::kCommandLine);
}

std::string unmetReason(const orvane::Result& r, AdviceSpelling spelling) {
  const bool py = spelling == AdviceSpelling::kPython;
  const std::string sigmaRange = py ? "sigma=(LO, HI)" : "--sigma LO,HI";
  const std::string sigma = py ? "sigma=(LO, HI)" : "--sigma";
  const std::string sizes = py ? "sizes=(64, 128, 256)" : "--sizes 64,128,256";
  const std::string talbot = py ? "method=\"talbot\"" : "--method talbot";
  const std::string weeks = py ? "method=\"weeks\"" : "--method weeks";
  const std::string relErr = py ? "rel_err" : "--rel-err";
  if (r.N == 0) return "Nothing was evaluated at this time.";
  if (hasLaguerreScale(r)) {
    if (std::isinf(r.rel_err))
      return "No value: F has a singularity right of sigma = " + number("%g", r.sigma) +
             "; start the search right of F's rightmost singularity (" + sigmaRange + ").";
    return "The Laguerre series with N = " + std::to_string(r.N) +
           " converges slowly for this F (a branch point, a diffusion-type or delayed transform, "
           "or sigma too close to a singularity); try larger sizes (" + sizes + "), " + talbot +
           ", or a sigma range starting just right of F's singularities (" + sigma + ").";
  }
  if (r.t == 0)
    return "Talbot's contour and de Hoog's line have no value at t = 0; use " + weeks + " for t = 0.";
  if (std::isinf(r.rel_err))
    return "Nothing vouches for the value: its sums are not finite, a branch cut crosses the "
           "contour, or no other method confirms it; try " + weeks + " with larger sizes (" + sizes +
           "), or move sigma right of F's singularities (" + sigmaRange + ").";
  return "The sums do not settle or another method disagrees (poles far up the imaginary axis, "
         "a singularity right of the shift sigma = " + number("%g", r.sigma) +
         ", or a request below about 1e-13); try " + weeks + " with larger sizes (" + sizes +
         "), or a larger request (" + relErr + ").";
}

void writeResultTable(const std::vector<orvane::Result>& results, const std::vector<double>& requests,
                      std::ostream& out) {
  char line[256];
  std::snprintf(line, sizeof line, "%-16s %22s %22s %9s %4s %-7s %5s %12s %12s\n", "t", "f(t) real",
                "f(t) imaginary", "rel. err.", "met", "method", "N", "sigma", "b");
  out << line;
  int met = 0;
  for (const orvane::Result& r : results) {
    met += r.flag == 0;
    const std::string b = hasLaguerreScale(r) ? number("%.6g", r.b) : "-";
    std::snprintf(line, sizeof line, "%-16s %22s %22s %9s %4s %-7s %5d %12s %12s\n",
                  number("%.10g", r.t).c_str(), number("%.14e", r.f.real()).c_str(),
                  number("%.14e", r.f.imag()).c_str(), number("%.1e", r.rel_err).c_str(),
                  r.flag == 0 ? "yes" : "no", orvane::methodName(r.method), r.N,
                  number("%.6g", r.sigma).c_str(), b.c_str());
    out << line;
  }
  out << "\nrel. err.: the predicted relative error of f(t); met: below the requested one. "
         "b is the Laguerre scale of the Weeks method (- for a value from another method).\n";
  out << met << " of " << results.size() << " times met their request.\n";
  for (std::size_t i = 0; i < results.size(); ++i)
    if (results[i].flag != 0) out << unmetAdvice(results[i], i < requests.size() ? requests[i] : 0.0) << "\n";
}
