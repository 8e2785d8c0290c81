// Accuracy table: for every reference pair and time, against the exact f(t),
// the three methods: weeks (the parameter search, the inversion and the error
// prediction at each expansion size), talbot (the contour shifted to the
// search's lowest sigma) and auto (the Weeks record at N = 64, replaced by the
// Talbot record where it misses the request and Talbot predicts better). Then,
// per method and requested relative error, how often the tolerance flag says
// met and how often that is false, how far the predicted relative error lies
// above the true one, and the median true error per category.
// Last, the transforms and parameters of support/hostile.h that were chosen to
// break the Weeks prediction: a flag that says met there must still be true.
// Usage: accuracy_table [--table=shared|classic|all] [N ...]   (default: all
// the pairs, of tests/data/transforms.json and of tests/data/classic_pairs.json;
// sizes 16 32 64 128)
//        accuracy_table --speed   (seconds and F's evaluations per value, for
//                                  bench/auto_vs_mpmath.py)
//        accuracy_table --rescue  (per request: auto's met values, those the Weeks
//                                  search made where de Hoog's bound was finite or
//                                  not, and auto's mean evaluations per value)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "orvane/solver.h"
#include "solver/chooser.h"
#include "support/accuracy.h"
#include "support/hostile.h"

namespace {

// The q-quantile of sorted values by the nearest rank.
double quantile(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) return NAN;
  std::size_t k = std::size_t(std::ceil(q * double(sorted.size())));
  if (k > 0) --k;
  return sorted[std::min(k, sorted.size() - 1)];
}

// One result of one method, with the truth.
struct Outcome {
  std::string id, category, method;
  double t, exact;
  orvane::Result r;
  double trueRel;
};

// The records of a method on a pair at all its times, as a solver run gives them.
std::vector<orvane::Result> methodRun(orvane::Solver& solver, const reference::Pair& p, const char* method,
                                      double request) {
  orvane::Options o = accuracy::optionsFor(p, request);
  o.method = method;
  return solver.invert(HostTransform{p.F}, accuracy::timesOf(p), o);
}

// The request 10^-e of summary row e, e = 1 .. 13.
int requestRow(double req) { return int(std::lround(-std::log10(req))); }

double trueRel(const orvane::Result& r, double exact) {
  if (r.f == std::complex<double>(exact, 0.0)) return 0.0;  // an exact 0 too
  return std::hypot(r.f.real() - exact, r.f.imag()) / std::fabs(exact);
}

// Per request R: the flag says met when RelErrPred < R; that claim is false
// when the true relative error is not below R. "reachable" counts the results
// whose true error is below R, met or not. `at(o, R)` gives the outcome's
// record at request R (auto's depends on it).
template <class At>
int summary(const char* method, const std::vector<Outcome>& rows, At at) {
  std::printf("\n%s: %zu results\n%-8s %6s %6s %8s %10s\n", method, rows.size(), "request", "met",
              "false", "correct", "reachable");
  int metTotal = 0, falseTotal = 0;
  for (int e = 1; e <= 13; ++e) {
    const double req = std::pow(10.0, -e);
    int met = 0, wrong = 0, reachable = 0;
    for (const Outcome& o : rows) {
      const orvane::Result r = at(o, req);
      const bool good = trueRel(r, o.exact) < req;
      reachable += good;
      if (r.rel_err < req) met++, wrong += !good;
    }
    metTotal += met;
    falseTotal += wrong;
    std::printf("%-8.0e %6d %6d %8d %10d\n", req, met, wrong, met - wrong, reachable);
  }
  std::printf("%-8s %6d %6d %8d\n", "all", metTotal, falseTotal, metTotal - falseTotal);
  return falseTotal;
}

// The median true relative error per category, at request `req`.
template <class At>
void medians(const char* method, const std::vector<Outcome>& rows, double req, At at) {
  std::map<std::string, std::vector<double>> byCategory;
  for (const Outcome& o : rows) byCategory[o.category].push_back(trueRel(at(o, req), o.exact));
  std::printf("%s, request %.0e: median true relative error per category:\n", method, req);
  for (auto& c : byCategory) {
    std::sort(c.second.begin(), c.second.end());
    std::printf("  %-14s %9.2e  (%zu)\n", c.first.c_str(), quantile(c.second, 0.5), c.second.size());
  }
}

// How cautious a prediction is, where the truth is above round-off.
void pessimism(const std::vector<Outcome>& rows) {
  std::vector<double> ratio;
  for (const Outcome& o : rows)
    if (std::isfinite(o.trueRel) && o.trueRel > 1e-14 && std::isfinite(o.r.rel_err))
      ratio.push_back(o.r.rel_err / o.trueRel);
  std::sort(ratio.begin(), ratio.end());
  std::printf("predicted / true relative error over %zu results with true error above 1e-14 and a "
              "finite prediction:\n",
              ratio.size());
  std::printf("  10%% %.3g   50%% %.3g   90%% %.3g   below 1: %td\n", quantile(ratio, 0.1),
              quantile(ratio, 0.5), quantile(ratio, 0.9),
              std::lower_bound(ratio.begin(), ratio.end(), 1.0) - ratio.begin());
}

}  // namespace

// Seconds per value of auto, Talbot and de Hoog on each pair of the shared
// table, 7 times a call (0.1 ... 20), request 1e-8: the best of five calls,
// after one that warms the solver. One line per pair: "speed ID AUTO TALBOT
// DEHOOG T...".
int speed() {
  orvane::Solver solver;
  for (const reference::Pair& p : reference::pairs()) {
    std::vector<double> t;
    for (const reference::Value& v : p.values)
      if (v.t >= 0.1 && v.t <= 20.0 && t.size() < 7) t.push_back(v.t);
    double best[3] = {INFINITY, INFINITY, INFINITY}, points[3] = {0, 0, 0};
    const char* methods[3] = {"auto", "talbot", "dehoog"};
    for (int m = 0; m < 3; ++m) {
      orvane::Options o = accuracy::optionsFor(p, 1e-8);
      o.method = methods[m];
      solver.invert(HostTransform{p.F}, t, o);
      points[m] = double(solver.lastCall().evaluations) / double(t.size());
      for (int k = 0; k < 5; ++k) {
        const auto start = std::chrono::steady_clock::now();
        solver.invert(HostTransform{p.F}, t, o);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best[m] = std::min(best[m], took.count() / double(t.size()));
      }
    }
    std::printf("speed %s %.6e %.6e %.6e", p.id, best[0], best[1], best[2]);
    for (double x : t) std::printf(" %g", x);
    std::printf("\n");
    // F's evaluations per value of the same calls.
    std::printf("evaluations %s %.0f %.0f %.0f\n", p.id, points[0], points[1], points[2]);
  }
  return 0;
}

int rescue() {
  orvane::Solver solver;
  std::vector<const reference::Pair*> pairs;
  for (const reference::Pair& p : reference::pairs()) pairs.push_back(&p);
  for (const reference::Pair& p : reference::classicPairs()) pairs.push_back(&p);
  for (double req : {1e-4, 1e-8, 1e-12}) {
    int met = 0, byWeeks = 0, finiteDehoog = 0, unbounded = 0;
    long long points = 0, values = 0;
    for (const reference::Pair* pp : pairs) {
      const reference::Pair& p = *pp;
      const std::vector<orvane::Result> a = methodRun(solver, p, "auto", req);
      points += solver.lastCall().evaluations;
      values += (long long)a.size();
      const std::vector<orvane::Result> d = methodRun(solver, p, "dehoog", req);
      for (std::size_t k = 0; k < a.size(); ++k) {
        met += a[k].flag == 0;
        if (a[k].flag == 0 && std::string(orvane::methodName(a[k].method)) == "weeks") {
          ++byWeeks;
          if (std::isfinite(d[k].rel_err)) ++finiteDehoog; else ++unbounded;
        }
      }
    }
    std::printf("req %g met %d weeks %d (dehoog finite %d, unbounded %d) evals/value %.0f\n", req, met,
                byWeeks, finiteDehoog, unbounded, double(points) / double(values));
  }
  return 0;
}

int main(int argc, char** argv) {
  std::vector<int> sizes;
  std::string table = "all";
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--speed") return speed();
    if (arg == "--rescue") return rescue();
    if (arg.rfind("--table=", 0) == 0)
      table = arg.substr(8);
    else
      sizes.push_back(std::atoi(argv[a]));
  }
  if (sizes.empty()) sizes = {16, 32, 64, 128};
  // The Weeks size auto starts from.
  const int autoSize =
      std::find(sizes.begin(), sizes.end(), 64) != sizes.end() ? 64 : sizes.back();

  orvane::Solver solver;

  std::vector<accuracy::Row> rows;
  std::vector<Outcome> weeksRows, talbotRows, dehoogRows, autoRows;
  // auto's records at every request 10^-e (its choice depends on the request).
  std::vector<std::vector<orvane::Result>> autoRuns(14);
  std::printf("%-18s %-7s %6s %4s %6s %6s %13s %13s %9s %9s %9s %4s\n", "transform", "method", "t",
              "N", "sigma", "b", "exact", "computed", "true_rel", "pred_rel", "2pass_rel", "flag");
  const auto print = [](const Outcome& o, double legacyRel) {
    std::printf("%-18s %-7s %6g %4d %6.2f %6.2f %13.6e %13.6e %9.2e %9.2e %9.2e %4d\n",
                o.id.c_str(), o.method.c_str(), o.t, o.r.N, o.r.sigma, o.r.b, o.exact, o.r.f.real(),
                o.trueRel, o.r.rel_err, legacyRel, o.r.flag);
  };
  std::vector<const reference::Pair*> pairs;
  if (table != "classic")
    for (const reference::Pair& p : reference::pairs()) pairs.push_back(&p);
  if (table != "shared")
    for (const reference::Pair& p : reference::classicPairs()) pairs.push_back(&p);
  for (const reference::Pair* pp : pairs) {
    const reference::Pair& p = *pp;
    const std::vector<orvane::Result> t = methodRun(solver, p, "talbot", 1e-8);
    const std::vector<orvane::Result> d = methodRun(solver, p, "dehoog", 1e-8);
    for (int e = 1; e <= 13; ++e) {
      const std::vector<orvane::Result> a = methodRun(solver, p, "auto", std::pow(10.0, -e));
      autoRuns[std::size_t(e)].insert(autoRuns[std::size_t(e)].end(), a.begin(), a.end());
    }
    for (std::size_t k = 0; k < p.values.size(); ++k) {
      const reference::Value& v = p.values[k];
      for (int N : sizes) {
        // The flag printed is for a request of 1e-8.
        accuracy::Row r = accuracy::evaluate(p, v, N, 1e-8, true);
        const double legacyRel = std::fabs(r.legacyAbsPred) / std::hypot(r.computed, r.imag);
        orvane::Result w;
        w.t = v.t;
        w.f = std::complex<double>(r.computed, r.imag);
        w.sigma = r.sigma;
        w.b = r.b;
        w.abs_err = r.pred.AbsErrPred;
        w.rel_err = r.pred.RelErrPred;
        w.flag = r.pred.TolFlag;
        w.N = N;
        w.method = "weeks";
        const Outcome o{p.id, p.category, "weeks", v.t, v.f, w, r.trueRel};
        print(o, legacyRel);
        weeksRows.push_back(o);
        rows.push_back(r);
      }
      const Outcome ot{p.id, p.category, "talbot", v.t, v.f, t[k], trueRel(t[k], v.f)};
      print(ot, NAN);
      talbotRows.push_back(ot);
      const Outcome od{p.id, p.category, "dehoog", v.t, v.f, d[k], trueRel(d[k], v.f)};
      print(od, NAN);
      dehoogRows.push_back(od);
      // auto's record at a request of 1e-8; the summary takes every request.
      const orvane::Result& a = autoRuns[8][autoRows.size()];
      const Outcome oa{p.id, p.category, "auto", v.t, v.f, a, trueRel(a, v.f)};
      print(oa, NAN);
      autoRows.push_back(oa);
    }
  }

  std::printf("\nSummary per method (weeks: sizes");
  for (int N : sizes) std::printf(" %d", N);
  std::printf("; auto runs at each request, from Weeks at N = %d)\n", autoSize);
  const auto same = [](const Outcome& o, double) { return o.r; };
  summary("weeks", weeksRows, same);
  summary("talbot", talbotRows, same);
  summary("dehoog", dehoogRows, same);
  const auto chosen = [&](const Outcome& o, double req) {
    const std::size_t k = std::size_t(&o - autoRows.data());
    return autoRuns[std::size_t(requestRow(req))][k];
  };
  const int autoFalse = summary("auto", autoRows, chosen);
  std::printf("auto: false met at any request from 1e-1 to 1e-13: %d\n\n", autoFalse);
  std::vector<Outcome> weeksAtAutoSize;
  for (const Outcome& o : weeksRows)
    if (o.r.N == autoSize) weeksAtAutoSize.push_back(o);
  medians("weeks (N = 64)", weeksAtAutoSize, 1e-8, same);
  medians("talbot", talbotRows, 1e-8, same);
  medians("dehoog", dehoogRows, 1e-8, same);
  for (double req : {1e-8, 1e-12, 1e-13}) medians("auto", autoRows, req, chosen);

  std::printf("\nweeks: ");
  pessimism(weeksRows);
  std::printf("talbot: ");
  pessimism(talbotRows);
  std::printf("dehoog: ");
  pessimism(dehoogRows);

  int under = 0, underL = 0, small = 0;
  for (const accuracy::Row& r : rows) {
    under += !(r.pred.AbsErrPred * 10 >= r.trueAbs);
    underL += !(r.legacyAbsPred * 10 >= r.trueAbs);
    small += r.trueRel < 1e-10;
  }
  std::printf("predicted absolute error below a tenth of the true one: %d (2 passes: %d)\n", under,
              underL);
  std::printf("true relative error below 1e-10: %d of %zu\n", small, rows.size());
  std::printf("understated cases:\n");
  for (const accuracy::Row& r : rows)
    if (!(r.pred.AbsErrPred * 10 >= r.trueAbs))
      std::printf("  %-18s t=%-5g N=%-4d true_abs %.2e pred_abs %.2e\n", r.id.c_str(), r.t, r.N,
                  r.trueAbs, r.pred.AbsErrPred);

  // A false claim at some request R from 1e-1 to 1e-13: RelErrPred < R <= true error.
  const auto falseSomewhere = [](double pred, double truth) {
    for (int e = 1; e <= 13; ++e) {
      const double req = std::pow(10.0, -e);
      if (pred < req && !(truth < req)) return true;
    }
    return false;
  };
  std::printf("\nHostile cases\n%-28s %5s %4s %6s %6s %13s %13s %9s %9s %s\n", "case", "t", "N",
              "sigma", "b", "exact", "computed", "true_rel", "pred_rel", "");
  int hostileFalse = 0, hostileCount = 0;
  for (const hostile::Case& k : hostile::cases()) {
    const hostile::Outcome o = hostile::evaluate(k, 1e-8);
    const bool wrong = falseSomewhere(o.pred.RelErrPred, o.trueRel);
    hostileFalse += wrong;
    ++hostileCount;
    std::printf("%-28s %5g %4d %6.3f %6.3f %13.6e %13.6e %9.2e %9.2e %s\n", k.name, k.t, k.N,
                o.sigma, o.b, o.exact, o.ft.x, o.trueRel, o.pred.RelErrPred,
                wrong ? "FALSE MET" : "");
  }
  std::printf("hostile cases with a false met at some request: %d of %d\n", hostileFalse,
              hostileCount);
  return 0;
}
