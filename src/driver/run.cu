// WeeksMethod::Run: the library's solver on the compiled-in transform, made
// with the options of this build.
#include <iostream>

#include "driver/command_line.h"
#include "driver/user_transform.h"
#include "driver/weeks_method.h"

void WeeksMethod::makeSolver(const orvane::DeviceCheck& check) {
  orvane::SolverSettings settings;
  // The diagnostic build writes the run loop's echo lines and the stage
  // timing lines on the console.
  settings.diagnostics = ORVANE_DIAG ? &std::cout : nullptr;
  solver_.reset(new orvane::Solver(settings, check));
}

void WeeksMethod::Run() {
  if (!solver_) makeSolver(orvane::checkDevice());
  const orvane::FunctorTransform<UserTransform> F;
  // The file runs as it always has: the format's rules only, none of the
  // library's further bounds (a size the device refuses is found by the run).
  orvane::Options request;
  request.method = orvane::Method("weeks");
  request.strict = false;
  const std::vector<orvane::Result> results = runParameters(*solver_, parameters(), F, request);
  for (int i = 0; i < Ntimes; ++i) Results[i] = weeksResult(results[std::size_t(i)]);
}

std::unique_ptr<orvane::Transform> compiledInTransform() {
  return std::unique_ptr<orvane::Transform>(new orvane::FunctorTransform<UserTransform>());
}
