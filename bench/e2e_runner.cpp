// End-to-end timing of the program's run: reads a parameter file like the
// program, runs WeeksMethod::Run K times (the best wall time counts, file
// reading excluded) and prints one line per time in the numpy peer's format.
//
// Usage: e2e_runner PARAMETER_FILE [--repeat K]
// stdout: t re(f) im(f) sigma b abs_err_pred rel_err_pred flag   (17 significant digits)
// stderr: inversion seconds: X
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "driver/weeks_method.h"
#include "orvane/error.h"
#include "driver/console_records.h"

namespace {

[[noreturn]] void usage(const char* message) {
  std::cerr << message << std::endl;
  std::cerr << "usage: e2e_runner PARAMETER_FILE [--repeat K]" << std::endl;
  std::exit(2);
}

// Runs `step` with the console output of the solver object silenced: its device
// report and its destruction line are not part of the result lines.
template <class Step>
void quietly(Step step) {
  std::streambuf* saved = std::cout.rdbuf(nullptr);
  step();
  std::cout.rdbuf(saved);
}

void printResult(const WeeksResult& r) {
  std::printf("%.17g %.17g %.17g %.17g %.17g %.17g %.17g %d\n", r.Time, r.ft.x, r.ft.y, r.sigma, r.b,
              r.AbsErrPred, r.RelErrPred, r.TolFlag);
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = nullptr;
  int repeat = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
      if (repeat < 1) usage("--repeat needs a count of at least 1");
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      usage("too many arguments");
    }
  }
  if (path == nullptr) usage("no parameter file given");

  orvane::Parameters parameters;
  try {
    parameters = orvane::Parameters::fromFile(path);
  } catch (const orvane::Error& e) {
    usage(e.what());
  }

  // Every repeat is a fresh solver object, as in a run of the program: nothing
  // the previous repeat computed (such as a search's error sums) carries over.
  WeeksMethod* weeks = nullptr;
  double best = 0.0;
  for (int k = 0; k < repeat; ++k) {
    if (weeks != nullptr) quietly([&] { delete weeks; });
    weeks = new WeeksMethod(parameters);
    // The device check fills the limits of device 0 as in the program.
    quietly([&] { weeks->wfnCheckGPU(); });
    const auto start = std::chrono::steady_clock::now();
    weeks->Run();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (k == 0 || seconds < best) best = seconds;
  }

  for (int i = 0; i < weeks->Ntimes; ++i) printResult(weeks->Results[i]);
  std::fflush(stdout);
  std::fprintf(stderr, "inversion seconds: %.6f\n", best);
  quietly([&] { delete weeks; });
  return 0;
}
