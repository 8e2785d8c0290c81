// The solver: runs a set of parameters for a transform and returns one result
// per time. It owns the device resources of its runs (device buffers, FFT
// plans, timing events, the search's error sums) and reuses them from one run
// to the next; they are released with it.
//
// Threads: two solvers may run at the same time in two threads. One solver is
// not to be used from two threads at once.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "orvane/error.h"
#include "orvane/method.h"
#include "orvane/parameters.h"
#include "orvane/result.h"
#include "orvane/transform.h"

namespace orvane {

// Device 0 as the runtime describes it.
struct DeviceInfo {
  std::string name;
  int maxThreadsPerBlock = 0;
  int maxThreadsDim[3] = {0, 0, 0};
  int maxGridSize[3] = {0, 0, 0};
  int warpSize = 0;
  int major = 0;
  int minor = 0;
};

// The device check: what the runtime said and whether device 0 is usable.
struct DeviceCheck {
  int count = 0;               // devices counted (0 when the count failed)
  std::string countFailure;    // the runtime's reason when it could not count
  std::string describeFailure; // the runtime's reason when it could not describe device 0
  DeviceInfo device;           // device 0, when counted and described
  bool accepted = false;       // device 0 exists and has double precision (capability 1.3 or more)
};

DeviceCheck checkDevice();

struct SolverOptions {
  // Where the diagnostic lines go (the run loop's echo block and the stage
  // timing block); none when null. With a sink, every search runs the whole
  // batched pipeline so that its timing lines show.
  std::ostream* diagnostics = nullptr;
  // Host memory the search may keep for error sums reused across times;
  // beyond it a time recomputes its grid.
  std::size_t searchCacheBytes = std::size_t(256) << 20;
  // The most host memory one search may take for the estimates of its grid;
  // a larger grid is refused (Error kResources). 0: half of the machine's memory.
  std::size_t hostMemoryBytes = 0;
  // Called after each time with the number of times done and of all times;
  // none when empty.
  std::function<void(int done, int total)> progress;
  // The inversion method of every run (see method.h).
  Method method = Method::kWeeks;
};

class Solver {
 public:
  // Checks device 0; throws Error(kNoDevice) when it is not usable.
  explicit Solver(const SolverOptions& options = SolverOptions());
  // With a device check already made (its refusal throws as above).
  Solver(const SolverOptions& options, const DeviceCheck& check);
  ~Solver();
  Solver(Solver&&) noexcept;
  Solver& operator=(Solver&&) noexcept;
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  const DeviceInfo& device() const;

  // One result per time, in the order of p.Time. Throws Error on any failure
  // (a SearchSwitch other than 0 or 1, a size the device refuses, a failed
  // device call, a grid beyond the machine).
  std::vector<WeeksResult> run(const Parameters& p, const Transform& transform);

  // A compiled-in functor (see transform.h).
  template <class F, std::enable_if_t<!std::is_base_of<Transform, F>::value, int> = 0>
  std::vector<WeeksResult> run(const Parameters& p, const F& f) {
    return run(p, static_cast<const Transform&>(FunctorTransform<F>(f)));
  }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvane
