// The diagnostic build: the run loop's echo lines and the error grid driver's
// timing line, and the error kernel's arithmetic in single precision.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "methods/weeks/run_loop.h"
#include "methods/weeks/error_kernel.h"
#include "support/transforms_hd.h"
#include "support/scripted_stages.h"
#include "support/test_util.h"
#include "support/stages.h"

namespace {

using test_util::lines;

int countPrefix(const std::vector<std::string>& ls, const std::string& prefix) {
  int n = 0;
  for (const std::string& l : ls) n += l.rfind(prefix, 0) == 0;
  return n;
}

TEST(DiagRunLoop, EchoBlockPerTimeNLagPerSizeTolsPerEvaluation) {
  static_assert(ORVANE_DIAG == 1, "the diagnostic solver");
  FakeSolver wm;
  wm.TimeV = {0.5, 1.0};
  wm.RelErrV = {1e-6, 1e-3};
  wm.sigmaUserV = {0.25, 0.5};
  wm.bUserV = {2.0, 3.0};
  wm.NLagV = {16, 32, 64};
  wm.tolsV = {1.0, 0.5};
  wm.tolbV = {2.0, 0.25};
  wm.bind();
  ScriptedStages st;
  // Time 0: met at its fourth evaluation (second size); time 1: never met.
  st.rel = {1, 1, 1, 1e-7, 1, 1, 1, 1, 1, 1};
  testing::internal::CaptureStdout();
  wm.run(st, &std::cout);
  const std::vector<std::string> ls = lines(testing::internal::GetCapturedStdout());

  EXPECT_EQ(countPrefix(ls, "Time Input = "), 2);
  EXPECT_EQ(countPrefix(ls, "NLagInput "), 2 + 3);
  EXPECT_EQ(countPrefix(ls, "tolsInput "), 4 + 6);
  const std::vector<std::string> block = {"",
                                          "Time Input = 0.5",
                                          "Relative Error Input = 1e-06",
                                          "sigma Input = 0.25",
                                          "b Input = 2",
                                          "Tolerance Met Flag = 1",
                                          "Best Relative Error = 0",
                                          "",
                                          "NLagInput 16",
                                          "tolsInput 1 tolbInput 2",
                                          "tolsInput 0.5 tolbInput 0.25",
                                          "NLagInput 32",
                                          "tolsInput 1 tolbInput 2",
                                          "tolsInput 0.5 tolbInput 0.25",
                                          ""};
  ASSERT_GE(ls.size(), block.size());
  for (std::size_t n = 0; n < block.size(); ++n) EXPECT_EQ(ls[n], block[n]) << "line " << n;
  EXPECT_EQ(ls[block.size()], "Time Input = 1");
}

TEST(DiagErrorCore, PipelineBlockThenOneTimingLineAndAnEmptyLine) {
  hd::Ramp f;
  std::vector<double> e(6);
  testing::internal::CaptureStdout();
  stages_test::errorCore(f, 1.0, 2, 3, 8, 0.5, 2.5, 3.0, e.data(), &std::cout);
  const std::vector<std::string> ls = lines(testing::internal::GetCapturedStdout());
  ASSERT_GE(ls.size(), 3u);
  EXPECT_EQ(ls.front(), "GPU Timing [ms]");
  EXPECT_EQ(countPrefix(ls, "GPU Error Estimation Time = "), 1);
  EXPECT_EQ(ls[ls.size() - 2].rfind("GPU Error Estimation Time = ", 0), 0u);
  EXPECT_EQ(ls.back(), "");
  EXPECT_EQ(countPrefix(ls, "Total Coefficients GPU time = "), 1);
}

TEST(DiagErrorKernel, SinglePrecisionArithmetic) {
  // 3+4i contributes exactly 5 in float too; 1 + 2^-30 is rounded to 1 in the
  // float sum, while double would keep it.
  std::vector<double2> data(4);
  data[1].x = 3;
  data[1].y = 4;
  double e = -1;
  orvane::wfnLagError(0, 0, 4, orvane::detail::Grid::single(0.0, 1.0), 1.0, data.data(), &e);
  EXPECT_EQ(e, 5.0);
  data[1].x = 1.0 + std::ldexp(1.0, -30);
  data[1].y = 0;
  orvane::wfnLagError(0, 0, 4, orvane::detail::Grid::single(0.0, 1.0), 1.0, data.data(), &e);
  EXPECT_EQ(e, 1.0);
}

}  // namespace
