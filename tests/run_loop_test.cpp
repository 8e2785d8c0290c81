// The run loop's choice among records, driven by scripted stage results.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "methods/weeks/run_loop.h"
#include "support/scripted_stages.h"
#include "support/test_util.h"

namespace {

using test_util::kNaN;

struct LoopCase {
  const char* name;
  int SearchSwitch;
  std::vector<int> sizes;
  int ntol;
  std::vector<double> rel;  // RelErrPred of evaluation 0, 1, ... (request 1e-6)
  int evaluations;          // how many the loop makes
  int stored;               // which evaluation's record ends in Results
};

TEST(RunLoop, ChoiceAmongRecords) {
  const LoopCase cases[] = {
      {"met at the first try", 1, {64, 128}, 2, {1e-7, 1e-9, 1e-9, 1e-9}, 1, 0},
      {"lowest of 5e-3, 1e-3, 2e-3", 1, {64}, 3, {5e-3, 1e-3, 2e-3}, 3, 1},
      {"equal values keep the earlier", 1, {64}, 3, {2e-3, 1e-3, 1e-3}, 3, 1},
      {"first equal to later", 1, {64, 128}, 1, {1e-3, 1e-3}, 2, 0},
      {"met later ends the time", 1, {64, 128, 256}, 2, {5e-3, 1e-3, 2e-7, 1e-9}, 3, 2},
      {"met at a later tolerance", 1, {64}, 2, {5e-3, 9e-7}, 2, 1},
      {"NaN never replaces a number", 1, {64}, 3, {2e-3, kNaN, 3e-3}, 3, 0},
      {"a number replaces a stored NaN", 1, {64}, 3, {kNaN, 4e-3, 3e-3}, 3, 2},
      {"user pair: once per size", 0, {64, 128, 256}, 2, {5e-3, 1e-3, 2e-3}, 3, 1},
      {"user pair: stops at the size that meets", 0, {64, 128, 256}, 2, {5e-3, 1e-7, 1e-9}, 2, 1},
  };
  for (const LoopCase& c : cases) {
    FakeSolver wm;
    wm.SearchSwitch = c.SearchSwitch;
    wm.NLagV = c.sizes;
    wm.tolsV.assign(c.ntol, 0);
    wm.tolbV.assign(c.ntol, 0);
    for (int k = 0; k < c.ntol; ++k) {
      wm.tolsV[k] = 1.0 / (k + 1);
      wm.tolbV[k] = 0.5 / (k + 1);
    }
    wm.bind();
    ScriptedStages st;
    st.rel = c.rel;
    wm.run(st, nullptr);

    ASSERT_EQ(int(st.cores.size()), c.evaluations) << c.name;
    ASSERT_EQ(int(st.estimates.size()), c.evaluations) << c.name;
    EXPECT_EQ(int(st.searches.size()), c.SearchSwitch ? c.evaluations : 0) << c.name;
    const WeeksResult& r = wm.Results[0];
    EXPECT_EQ(r.ft.x, double(c.stored)) << c.name;
    const double rel = c.rel[c.stored];
    if (std::isnan(rel)) EXPECT_TRUE(std::isnan(r.RelErrPred)) << c.name;
    else EXPECT_EQ(r.RelErrPred, rel) << c.name;
    EXPECT_EQ(r.AbsErrPred, 2 * r.RelErrPred) << c.name;
    EXPECT_EQ(r.TolFlag, rel < 1e-6 ? 0 : 1) << c.name;
    EXPECT_EQ(r.Time, 0.5) << c.name;
  }
}

TEST(RunLoop, StagesGetTheCurrentTimeSizeToleranceAndPair) {
  FakeSolver wm;
  wm.TimeV = {0.5, 2.0};
  wm.RelErrV = {1e-6, 1e-3};
  wm.sigmaUserV = {0.25, 0.75};
  wm.bUserV = {2.0, 3.0};
  wm.NLagV = {16, 32};
  wm.tolsV = {1.0, 0.5};
  wm.tolbV = {2.0, 0.25};
  wm.bind();
  ScriptedStages st;
  st.rel = {1, 1, 1, 1, 1, 1e-4};  // time 0: four misses; time 1: miss, then met
  wm.run(st, nullptr);

  ASSERT_EQ(st.cores.size(), 6u);
  const int N[] = {16, 16, 32, 32, 16, 16};
  const double tols[] = {1.0, 0.5, 1.0, 0.5, 1.0, 0.5}, tolb[] = {2.0, 0.25, 2.0, 0.25, 2.0, 0.25};
  for (int e = 0; e < 6; ++e) {
    const double t = e < 4 ? 0.5 : 2.0;
    EXPECT_EQ(st.searches[e].t, t);
    EXPECT_EQ(st.searches[e].N, N[e]);
    EXPECT_EQ(st.searches[e].tols, tols[e]);
    EXPECT_EQ(st.searches[e].tolb, tolb[e]);
    // The searched pair goes to the core and to the prediction with the core's f(t).
    EXPECT_EQ(st.cores[e].sigma, tols[e] * 10);
    EXPECT_EQ(st.cores[e].b, tolb[e] * 100);
    EXPECT_EQ(st.estimates[e].sigma, tols[e] * 10);
    EXPECT_EQ(st.estimates[e].b, tolb[e] * 100);
    EXPECT_EQ(st.estimates[e].N, N[e]);
    EXPECT_EQ(st.estimates[e].tols, double(e));           // ft.x of evaluation e
    EXPECT_EQ(st.estimates[e].tolb, e < 4 ? 1e-6 : 1e-3);  // the time's request
  }
  // Each time starts afresh: time 1 keeps its own first record, then the met one.
  EXPECT_EQ(wm.Results[0].ft.x, 0.0);
  EXPECT_EQ(wm.Results[1].ft.x, 5.0);
  EXPECT_EQ(wm.Results[1].sigma, 5.0);
  EXPECT_EQ(wm.Results[1].b, 25.0);
}

TEST(RunLoop, UserPairIsUsedWhenTheSearchIsOff) {
  FakeSolver wm;
  wm.SearchSwitch = 0;
  wm.NLagV = {16, 32};
  wm.tolsV = {1.0, 0.5, 0.25};
  wm.tolbV = {1.0, 0.5, 0.25};
  wm.bind();
  ScriptedStages st;
  wm.run(st, nullptr);
  ASSERT_EQ(st.cores.size(), 2u);
  for (const Call& c : st.cores) {
    EXPECT_EQ(c.sigma, 0.25);
    EXPECT_EQ(c.b, 2.0);
  }
  EXPECT_EQ(st.cores[1].N, 32);
}

TEST(RunLoop, NoEvaluationLeavesADefinedRecord) {
  for (int which = 0; which < 3; ++which) {
    FakeSolver wm;
    if (which == 0) wm.NLagV.clear();
    if (which == 1) wm.tolsV.clear(), wm.tolbV.clear();
    if (which == 2) wm.TimeV.clear();
    wm.bind();
    ScriptedStages st;
    wm.run(st, nullptr);
    EXPECT_EQ(st.cores.size(), 0u);
    if (which == 2) continue;
    EXPECT_EQ(wm.Results[0].Time, 0.5);
    EXPECT_TRUE(std::isnan(wm.Results[0].ft.x));
    EXPECT_TRUE(std::isnan(wm.Results[0].RelErrPred));
    EXPECT_EQ(wm.Results[0].TolFlag, 1);
  }
}

}  // namespace
