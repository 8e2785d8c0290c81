// The run-time compiler as a child process: started by a guard, a copy of
// this process that runs only async-signal-safe calls (it allocates nothing)
// and leads a process group of its own, with a time limit; the compiler and
// everything it started are killed when the limit passes, when the caller
// leaves by an exception, when this process is ended by SIGINT, SIGTERM,
// SIGHUP or SIGQUIT, and, by the guard, when this process dies in any other
// way (SIGKILL). Files and folders registered with a run are removed on those
// signals too, whatever the compiler put in them, so an interrupted compile
// leaves nothing; what a killed process left is removed by a later one
// (CacheFolder).
#pragma once

#include <string>
#include <vector>

namespace orvane {
namespace jit {

struct ChildResult {
  int status = -1;         // the exit status; -1 when it could not start or was killed
  bool timedOut = false;   // killed at the time limit
  int signal = 0;          // else the signal that ended it, if one did
  bool startFailed = false;
  std::string output;      // standard output and error together, at most 1 MiB
};

// Runs argv (argv[0] an absolute path; no shell). `cleanup`: paths removed,
// files, or folders with all they hold, in the order given, if this process is
// ended by a signal while the child runs. `environment`: the child's, as
// NAME=VALUE strings.
ChildResult runChild(const std::vector<std::string>& argv, double timeoutSeconds,
                     const std::vector<std::string>& cleanup, const std::vector<std::string>& environment);

// The time limit of a compile: ORVANE_JIT_TIMEOUT in seconds (a number above
// 0), else 60. Throws Error(kParameters) for a value that is not one.
double compileTimeout();

}  // namespace jit
}  // namespace orvane
