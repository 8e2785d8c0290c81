// Accuracy of the whole chain (search, inversion, error prediction) on every
// reference pair at its reference times, N = 64 and 128: what a user relies
// on. bench/accuracy_table prints the full table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#if defined(ORVANE_BACKEND_HOST)
#include "support/accuracy.h"
#endif

namespace {

#if defined(ORVANE_BACKEND_HOST)

// Transforms whose f(t) is smooth on (0, inf) and not fast-oscillating: the
// method reaches near machine precision on them at moderate t.
bool smooth(const reference::Pair& p) {
  const char* rough[] = {"singular_at_0", "nonsmooth_at_0", "log_singular_at_0", "jump", "kink",
                         "essential_singularity", "flat_at_0", "slowly_decaying_F", "high_frequency",
                         "delay"};
  for (const char* tag : rough)
    if (std::strstr(p.tags, tag) != nullptr) return false;
  return true;
}

const std::vector<accuracy::Row>& table() {
  static const std::vector<accuracy::Row> rows = [] {
    std::vector<accuracy::Row> out;
    for (const reference::Pair& p : reference::pairs())
      for (const reference::Value& v : p.values)
        for (int N : {64, 128}) out.push_back(accuracy::evaluate(p, v, N, 1e-8, false));
    return out;
  }();
  return rows;
}

// One test, so that the table (about 650 searches) is computed once.
TEST(Accuracy, WholeChainOnEveryReferencePair) {
  const std::vector<accuracy::Row>& rows = table();

  // Smooth transforms at moderate t reach near machine precision.
  int smoothChecked = 0;
  for (const reference::Pair& p : reference::pairs()) {
    if (!smooth(p)) continue;
    for (const accuracy::Row& r : rows) {
      if (r.id != p.id || r.N != 128 || r.t < 0.1 || r.t > 10) continue;
      EXPECT_LT(r.trueRel, 1e-10) << r.id << " t=" << r.t << " computed " << r.computed
                                  << " exact " << r.exact;
      ++smoothChecked;
    }
  }
  EXPECT_GE(smoothChecked, 100);

  // Where the flag says met, the true relative error is below the request.
  // The flag for a request R is RelErrPred < R; every R is checked at once.
  for (const accuracy::Row& r : rows) {
    EXPECT_EQ(r.pred.TolFlag, r.pred.RelErrPred < 1e-8 ? 0 : 1);  // the run's request
    for (int e = 1; e <= 13; ++e) {
      const double R = std::pow(10.0, -e);
      if (r.pred.RelErrPred < R) {
        EXPECT_LT(r.trueRel, R) << r.id << " t=" << r.t << " N=" << r.N << " RelErrPred "
                                << r.pred.RelErrPred;
      }
    }
  }

  // The predicted absolute error is not below a tenth of the true one, for
  // every pair and time, hopeless cases included: a large true error must be
  // matched by a large prediction.
  int hopeless = 0;
  for (const accuracy::Row& r : rows) {
    EXPECT_GE(r.pred.AbsErrPred * 10, r.trueAbs)
        << r.id << " t=" << r.t << " N=" << r.N << " computed " << r.computed << " exact " << r.exact;
    if (r.trueRel > 1e-2 && std::fabs(r.exact) > 1e-3) {
      ++hopeless;
      EXPECT_GT(r.pred.RelErrPred, 1e-3) << r.id << " t=" << r.t << " N=" << r.N;
    }
  }
  EXPECT_GT(hopeless, 0);  // the table does hold such cases
}

#else

TEST(Accuracy, NeedsTheHostBackend) { GTEST_SKIP() << "the reference transforms are host functions"; }

#endif

}  // namespace
