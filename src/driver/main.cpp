// Program entry. Without arguments: banner, the solver object (which reads
// "UserParameters.txt"), device check, input report, run, result report,
// elapsed wall-clock time and a wait for Enter. With arguments: the command
// line (command_line.h). A failure anywhere arrives here as an orvane::Error and is
// reported with the stream, prompt and wait of its kind; the exit code is 1.
#include <chrono>
#include <cstdlib>
#include <cstring>
#if defined(__linux__)
#include <unistd.h>
#endif
#include <iostream>
#include <new>

#include "driver/command_line.h"
#include "driver/reports.h"
#include "driver/weeks_method.h"
#include "orvane/error.h"

namespace {

#if defined(__linux__) && defined(ORVANE_BACKEND_HOST)
// The OpenMP threads should sleep as soon as a parallel loop ends: by
// default they spin for a few milliseconds, and a run of this program is
// short parallel loops with serial work between them, which a spinning
// thread slows (on two cores, 100 times of the shipped transform took 10 to
// 20 ms with spinning threads, 4.4 ms without). Likewise the team's size
// should follow the machine's load where the user chose no thread count: on
// two cores kept busy by another process, two threads took 272 ms for 1,000
// times of a damped sine where one took 127 ms (132 ms following the load).
// The runtime reads its settings once, from the environment the process
// started with (a pre-initialiser's setenv comes too late for it), so where
// the user has not chosen, the program sets them and starts itself again,
// once: from its own image, unless that image is the dynamic loader's (the
// program run as `ld.so orvane ...`), which would run the first argument.
void sleepingThreads(char** argv) {
  const bool wait = std::getenv("OMP_WAIT_POLICY") == nullptr && std::getenv("GOMP_SPINCOUNT") == nullptr;
  const bool size = std::getenv("OMP_DYNAMIC") == nullptr && std::getenv("OMP_NUM_THREADS") == nullptr;
  if (!wait && !size) return;
  char image[4096];
  const ssize_t n = readlink("/proc/self/exe", image, sizeof image - 1);
  if (n <= 0) return;
  image[n] = '\0';
  const char* base = std::strrchr(image, '/');
  base = base != nullptr ? base + 1 : image;
  if (std::strncmp(base, "ld-", 3) == 0 || std::strncmp(base, "ld.so", 5) == 0) return;
  if (wait && setenv("OMP_WAIT_POLICY", "passive", 0) != 0) return;
  if (size && setenv("OMP_DYNAMIC", "true", 0) != 0) return;
  execv(image, argv);
  // Not started again: on as we are, with the environment as it was.
  if (wait) unsetenv("OMP_WAIT_POLICY");
  if (size) unsetenv("OMP_DYNAMIC");
}
#endif

// Milliseconds on a steady clock: only differences are used.
long long clockMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// How the console ends on a failure of each kind.
int reportFailure(const orvane::Error& e) {
  using orvane::ErrorKind;
  switch (e.kind()) {
    case ErrorKind::kParameterFile:
      std::cerr << e.what() << std::endl;
      std::cerr << "Press enter to exit the program!" << std::endl;
      std::cin.get();
      break;
    case ErrorKind::kSearchSwitch:
    case ErrorKind::kNoDevice:
      std::cerr << e.what() << std::endl;
      std::cerr << "Press <ENTER> to exit the program." << std::endl;
      std::cin.get();
      break;
    case ErrorKind::kSizeRefused:
      std::cerr << e.what() << std::endl;
      std::cin.get();
      break;
    case ErrorKind::kAllocation:
    case ErrorKind::kFft:
    case ErrorKind::kDeviceCall:
      // A failed device call is located on standard output, with no wait.
      std::cout << e.what() << std::endl;
      break;
    case ErrorKind::kParameters:
    case ErrorKind::kResources:
      std::cerr << e.what() << std::endl;
      break;
  }
  return 1;
}

// The whole run; the solver object is destroyed before it returns.
int runProgram(long long start) {
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

}  // namespace

int main(int argc, char** argv) {
#if defined(__linux__) && defined(ORVANE_BACKEND_HOST)
  sleepingThreads(argv);
#endif
  // Any argument: the command line, which never waits for Enter.
  if (argc > 1) {
    CommandLine cl;
    const int parsed = parseCommandLine(argc, argv, cl);
    return parsed >= 0 ? parsed : runCommandLine(cl);
  }

  const long long start = clockMilliseconds();

  writeBanner(std::cout);

  int code = 0;
  try {
    code = runProgram(start);
  } catch (const orvane::Error& e) {
    code = reportFailure(e);
  } catch (const std::bad_alloc&) {
    std::cerr << "Not enough memory to complete the run." << std::endl;
    code = 1;
  }

  // Output that could not be written (standard output closed, a full disk)
  // is a failed run, not a complete one.
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "The output could not be written to standard output." << std::endl;
    return 1;
  }
  return code;
}
