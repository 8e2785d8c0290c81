// The solver: inverts a transform at a list of times and returns one result
// per time. It owns the device resources of its runs (FFT plans, timing
// events, each method's buffers, the search's kept error sums) and reuses
// them from one call to the next; they are released with it.
//
// Threads: two solvers may run at the same time in two threads. One solver is
// not to be used from two threads at once.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <type_traits>
#include <vector>

#include "orvane/device.h"
#include "orvane/error.h"
#include "orvane/options.h"
#include "orvane/result.h"
#include "orvane/transform.h"

namespace orvane {

struct SolverAccess;

// How a solver runs, whatever it is asked.
struct SolverSettings {
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
};

// What a call cost: the points at which F was evaluated (the samples of
// every method and of every check), whatever the call's outcome.
struct CallStatistics {
  long long evaluations = 0;
};

class Solver {
 public:
  // Checks device 0; throws Error(kNoDevice) when it is not usable.
  explicit Solver(const SolverSettings& settings = SolverSettings());
  // With a device check already made (its refusal throws as above).
  Solver(const SolverSettings& settings, const DeviceCheck& check);
  ~Solver();
  Solver(Solver&&) noexcept;
  Solver& operator=(Solver&&) noexcept;
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  const DeviceInfo& device() const;
  // The cost of the latest call of invert() (zeros before the first).
  const CallStatistics& lastCall() const;

  // One result per time, in the order of `t`. Throws Error on any failure
  // (options that fail their check, a size the device refuses, a failed
  // device call, a grid beyond the machine).
  std::vector<Result> invert(const Transform& F, const std::vector<double>& t,
                             const Options& options = Options());

  // A compiled-in functor (see transform.h).
  template <class F, std::enable_if_t<!std::is_base_of<Transform, F>::value, int> = 0>
  std::vector<Result> invert(const F& f, const std::vector<double>& t,
                             const Options& options = Options()) {
    return invert(static_cast<const Transform&>(FunctorTransform<F>(f)), t, options);
  }

 private:
  friend struct SolverAccess;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvane
