// The run-time compiler as a child process: started with posix_spawn (nothing
// runs in the child between fork and exec), in a process group of its own,
// with a time limit, and killed together with everything it started when the
// limit passes, when the caller leaves by an exception, or when this process
// is ended by SIGINT, SIGTERM, SIGHUP or SIGQUIT. Files registered with a run are
// removed in that last case too, so an interrupted compile leaves nothing.
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

// Runs argv (argv[0] an absolute path; no shell). `cleanup`: paths removed
// (files with unlink, then folders with rmdir, in the order given) if this
// process is ended by a signal while the child runs. `environment`: the
// child's, as NAME=VALUE strings.
ChildResult runChild(const std::vector<std::string>& argv, double timeoutSeconds,
                     const std::vector<std::string>& cleanup, const std::vector<std::string>& environment);

// The time limit of a compile: ORVANE_JIT_TIMEOUT in seconds (a number above
// 0), else 60. Throws Error(kParameters) for a value that is not one.
double compileTimeout();

}  // namespace jit
}  // namespace orvane
