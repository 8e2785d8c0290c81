// Accuracy table: for every reference pair and time, the parameter search,
// the inversion and the error prediction at each expansion size, against the
// exact f(t); then, per requested relative error, how often the tolerance flag
// says met and how often that is false, and how far the predicted relative
// error lies above the true one.
// Last, the transforms and parameters of support/hostile.h that were chosen to
// break the prediction: a flag that says met there must still be true.
// Usage: accuracy_table [N ...]   (default 16 32 64 128)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int a = 1; a < argc; ++a) sizes.push_back(std::atoi(argv[a]));
  if (sizes.empty()) sizes = {16, 32, 64, 128};

  std::vector<accuracy::Row> rows;
  std::printf("%-18s %6s %4s %6s %6s %13s %13s %9s %9s %9s %4s\n", "transform", "t", "N", "sigma",
              "b", "exact", "computed", "true_rel", "pred_rel", "2pass_rel", "flag");
  for (const reference::Pair& p : reference::pairs())
    for (const reference::Value& v : p.values)
      for (int N : sizes) {
        // The flag printed is for a request of 1e-8.
        accuracy::Row r = accuracy::evaluate(p, v, N, 1e-8, true);
        const double legacyRel = std::fabs(r.legacyAbsPred) / std::hypot(r.computed, r.imag);
        std::printf("%-18s %6g %4d %6.2f %6.2f %13.6e %13.6e %9.2e %9.2e %9.2e %4d\n", r.id.c_str(),
                    r.t, N, r.sigma, r.b, r.exact, r.computed, r.trueRel, r.pred.RelErrPred,
                    legacyRel, r.pred.TolFlag);
        rows.push_back(r);
      }

  // Per request R: the flag says met when RelErrPred < R; that claim is false
  // when the true relative error is not below R. "reachable" counts the
  // results whose true error is below R, met or not.
  std::printf("\nSummary over %zu evaluations (sizes", rows.size());
  for (int N : sizes) std::printf(" %d", N);
  std::printf(")\n%-8s %6s %6s %8s %10s\n", "request", "met", "false", "correct", "reachable");
  int metTotal = 0, falseTotal = 0;
  for (int e = 1; e <= 13; ++e) {
    const double req = std::pow(10.0, -e);
    int met = 0, wrong = 0, reachable = 0;
    for (const accuracy::Row& r : rows) {
      const bool good = r.trueRel < req;
      reachable += good;
      if (r.pred.RelErrPred < req) met++, wrong += !good;
    }
    metTotal += met;
    falseTotal += wrong;
    std::printf("%-8.0e %6d %6d %8d %10d\n", req, met, wrong, met - wrong, reachable);
  }
  std::printf("%-8s %6d %6d %8d\n", "all", metTotal, falseTotal, metTotal - falseTotal);

  // How cautious the prediction is, where the truth is above round-off.
  std::vector<double> ratio;
  for (const accuracy::Row& r : rows)
    if (std::isfinite(r.trueRel) && r.trueRel > 1e-14) ratio.push_back(r.pred.RelErrPred / r.trueRel);
  std::sort(ratio.begin(), ratio.end());
  std::printf("predicted / true relative error over %zu results with true error above 1e-14:\n",
              ratio.size());
  std::printf("  10%% %.3g   50%% %.3g   90%% %.3g   below 1: %td\n", quantile(ratio, 0.1),
              quantile(ratio, 0.5), quantile(ratio, 0.9),
              std::lower_bound(ratio.begin(), ratio.end(), 1.0) - ratio.begin());

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
