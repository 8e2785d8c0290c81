// Program entry: banner, the solver object (which reads "UserParameters.txt"),
// device check, input report, run, result report, elapsed wall-clock time and
// a wait for Enter. Every failure ends the process inside the stage that meets it.
#include <chrono>
#include <iostream>

#include "driver/reports.h"
#include "driver/weeks_method.h"

namespace {

// Milliseconds on a steady clock: only differences are used.
long long clockMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int main() {
  const long long start = clockMilliseconds();

  std::cout << "Orvane " << std::endl;
  std::cout << "with CUDA Acceleration" << std::endl;
  std::cout << "Tessaly" << std::endl;
  std::cout << std::endl;

  WeeksMethod weeks;
  weeks.wfnCheckGPU();
  weeks.wfnDisplayInputs();
  weeks.Run();
  weeks.wfnDisplayResults();

  // Written in the scientific notation that the result report left in force.
  writeWalkClockTime(clockMilliseconds() - start, std::cout);

  std::cout << "Press enter to exit the main program..." << std::endl;
  std::cin.get();
  return 0;  // weeks is destroyed here: "Destruction complete..."
}
