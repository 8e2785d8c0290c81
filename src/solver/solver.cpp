// The solver: the device check, the shared workspace, one instance of each
// registered method (made on first use), and the run of a call: one method
// on every time, its values vouched for as the registry says, or the
// automatic choice over all of them.
#include "orvane/solver.h"

#include <cmath>
#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <utility>

#include "device/check_gpu.h"
#include "device/workspace.h"
#include "solver/registry.h"
#include "solver/chooser.h"
#include "solver/solver_access.h"

namespace orvane {

namespace {

// The caller's transform, counting the points it is asked for (from any
// thread of a host loop).
class CountedTransform final : public Transform {
 public:
  explicit CountedTransform(const Transform& F) : F_(F) {}
  int sampleRows(const detail::SampleRows& rows, double2* devSamples) const override {
    count_.fetch_add((long long)rows.rowCount * rows.Nsamples, std::memory_order_relaxed);
    return F_.sampleRows(rows, devSamples);
  }
  int evaluate(const double2* devPoints, long long count, double2* devValues) const override {
    count_.fetch_add(count, std::memory_order_relaxed);
    return F_.evaluate(devPoints, count, devValues);
  }
  bool wantsWholeBatches() const override { return F_.wantsWholeBatches(); }
  long long count() const { return count_.load(); }

 private:
  const Transform& F_;
  mutable std::atomic<long long> count_{0};
};

}  // namespace

struct Solver::Impl {
  SolverSettings settings;
  CallStatistics last;
  DeviceInfo device;
  gpu::Workspace ws;
  std::vector<std::unique_ptr<InversionMethod>> methods;
  Impl(const SolverSettings& s, const DeviceInfo& d) : settings(s), device(d), methods(Registry::count()) {}

  InversionMethod& method(int index) {
    std::unique_ptr<InversionMethod>& m = methods[std::size_t(index)];
    if (!m) m = Registry::entry(index).make(settings);
    return *m;
  }

  std::vector<Result> run(const Transform& F, const std::vector<double>& t, const Options& o,
                          const std::vector<Pair>* shownPairs) {
    o.check(t);
    for (std::unique_ptr<InversionMethod>& m : methods)
      if (m) m->forget();
    last = CallStatistics();
    const CountedTransform counted(F);
    struct Tally {
      CallStatistics& last;
      const CountedTransform& counted;
      ~Tally() { last.evaluations = counted.count(); }
    } tally{last, counted};
    StageContext c{ws, counted, settings.diagnostics, device.maxThreadsPerBlock};
    Call call{*this, c, t, o, shownPairs};
    if (o.method.isAuto()) return call.automatic();
    const int m = o.method.index();
    if (Registry::entry(m).searches) {
      std::vector<Result> records = call.invert(m, call.all, o.progress);
      call.lookAgain(records, call.all);
      return records;
    }
    std::vector<Result> records = call.checked(m);
    if (o.progress) o.progress(int(t.size()), int(t.size()));
    return records;
  }

  // One call: the records of each method on all its times, made once, and
  // what the analyticity test found right of each shift.
  struct Call {
    Impl& solver;
    StageContext& c;
    const std::vector<double>& t;
    const Options& o;
    const std::vector<Pair>* shownPairs;
    std::vector<int> all;
    std::vector<std::vector<Result>> raw;
    std::map<std::pair<double, double>, Clearance> clearance;

    Call(Impl& s, StageContext& context, const std::vector<double>& times, const Options& options,
         const std::vector<Pair>* shown)
        : solver(s), c(context), t(times), o(options), shownPairs(shown), all(times.size()),
          raw(std::size_t(Registry::count())) {
      for (std::size_t i = 0; i < t.size(); ++i) all[i] = int(i);
    }

    std::vector<Result> invert(int m, const std::vector<int>& which,
                               const std::function<void(int, int)>& progress,
                               const Options* options = nullptr, double hopeless = 0.0) {
      const TimeBatch batch{t, options != nullptr ? *options : o, which, progress, shownPairs, hopeless};
      return solver.method(m).invert(c, batch);
    }

    // Method m's own records of every time.
    const std::vector<Result>& records(int m) {
      std::vector<Result>& r = raw[std::size_t(m)];
      if (r.empty() && !t.empty())
        r = invert(m, all, !o.method.isAuto() && o.method.index() == m ? o.progress : beat(0));
      return r;
    }
    // The caller's progress hook told, while a method works, the times
    // settled before it (a hook may end a long call there: Ctrl-C).
    std::function<void(int, int)> beat(int settled) const {
      if (!o.progress) return std::function<void(int, int)>();
      const std::function<void(int, int)>& hook = o.progress;
      const int total = int(t.size());
      return [&hook, settled, total](int, int) { hook(settled, total); };
    }

    // What the methods that can see right of a line find right of it, a
    // pole at `shift` set aside (kUnknown where none can).
    Clearance clearAt(double line, double shift) {
      const std::pair<double, double> key(line, shift);
      auto found = clearance.find(key);
      if (found != clearance.end()) return found->second;
      Clearance seen = Clearance::kUnknown;
      for (int m = 0; m < Registry::count() && seen == Clearance::kUnknown; ++m)
        seen = solver.method(m).rightOf(c, line, shift);
      clearance[key] = seen;
      return seen;
    }
    // The same right of the checked line of a shift, for its latest time
    // (the latest time of each shift found once per call, so that a call
    // stays linear in its number of times).
    std::map<double, double> latestOfShift;
    Clearance clearRightOf(double shift) {
      if (latestOfShift.empty())
        for (std::size_t i = 0; i < t.size(); ++i) {
          double& tMax = latestOfShift[shiftOf(i)];
          tMax = std::fmax(tMax, t[i]);
        }
      auto found = latestOfShift.find(shift);
      return clearAt(checkedLine(shift, found != latestOfShift.end() ? found->second : 0.0), shift);
    }
    // Where the checked line of the shift was not clear, a record of a
    // search (of the times `which`) with a bound is looked at once more:
    // right of its sigma (each sigma once, for its latest time) with the rows
    // that see further than the search's own, and beside a line method's
    // value with its sigma as the shift, whose lines lie right of
    // singularities close to that sigma that no row sees: where the two
    // differ by more than both predictions, the record's error is raised to
    // what that value guarantees. (Where the shift's line was clear, theirs,
    // further right, is too.)
    void lookAgain(std::vector<Result>& found, const std::vector<int>& which) {
      std::map<double, double> latest;
      for (std::size_t k = 0; k < which.size(); ++k)
        if (std::isfinite(found[k].rel_err))
          latest[found[k].sigma] = std::fmax(latest[found[k].sigma], t[std::size_t(which[k])]);
      for (std::size_t k = 0; k < which.size(); ++k) {
        const std::size_t i = std::size_t(which[k]);
        if (!std::isfinite(found[k].rel_err) || clearRightOf(shiftOf(i)) == Clearance::kClear) continue;
        if (clearAt(checkedLine(found[k].sigma, latest[found[k].sigma]), shiftOf(i)) == Clearance::kSingular) {
          found[k] = unbounded(found[k]);
          continue;
        }
        const Result& line = lineValue(i, found[k].sigma);
        const double gap = std::abs(found[k].f - line.f);
        if (std::isfinite(gap) && !(gap <= found[k].abs_err + line.abs_err))
          found[k] = vouched(found[k], {Peer{&line, 1.0}}, o.request(i));
      }
    }

    // The value of time i of the first line method without a checker (de
    // Hoog's) with the shift sigma, as it comes.
    std::map<std::pair<std::size_t, double>, Result> lineValues;
    const Result& lineValue(std::size_t i, double sigma) {
      const std::pair<std::size_t, double> key(i, sigma);
      auto found = lineValues.find(key);
      if (found != lineValues.end()) return found->second;
      int line = 0;
      while (line < Registry::count() &&
             !(Registry::entry(line).onLine && Registry::entry(line).checkedBy == nullptr))
        ++line;
      Result r = unbounded(Result());
      if (line < Registry::count()) {
        Options at = o;
        at.pairs = {Pair{sigma, 0.0}};
        r = invert(line, {int(i)}, std::function<void(int, int)>(), &at)[0];
      }
      return lineValues[key] = r;
    }
    double shiftOf(std::size_t i) const { return o.search() ? o.sigma_min : o.pair(i).sigma; }

    // A record of method m as far as it is vouched for, with `extra` peers
    // beside the method's own checker.
    Result vouch(int m, std::size_t i, const std::vector<Peer>& extra = {}) {
      const MethodEntry& e = Registry::entry(m);
      const Result& r = records(m)[i];
      if (e.onLine && !(r.t > 0.0 && clearRightOf(shiftOf(i)) == Clearance::kClear))
        return unbounded(r);
      const int checker = Registry::find(e.checkedBy);
      if (checker < 0 && extra.empty()) return r;
      std::vector<Peer> peers = extra;
      if (checker >= 0) peers.push_back(Peer{&records(checker)[i], Registry::entry(checker).peerWeight});
      return vouched(r, peers, o.request(i));
    }

    std::vector<Result> checked(int m) {
      std::vector<Result> out;
      for (std::size_t i = 0; i < t.size(); ++i) out.push_back(vouch(m, i));
      return out;
    }

    // The methods without a search or a checker first, on every time, each
    // value vouched for; the best kept (a method with a checker would not
    // beat it: its error is at least the checker's). A method with a search
    // on the times they leave unmet, with the grids of unmetSearch(); its
    // record, and those of every method without a search vouched for by it
    // too, compete there.
    std::vector<Result> automatic() {
      const int count = Registry::count();
      std::vector<Result> kept(t.size());
      std::vector<bool> any(t.size(), false);
      for (int m = 0; m < count; ++m) {
        if (Registry::entry(m).searches || Registry::entry(m).checkedBy != nullptr) continue;
        for (std::size_t i = 0; i < t.size(); ++i) {
          const Result r = vouch(m, i);
          if (!any[i] || betterRecord(r.rel_err, kept[i].rel_err)) kept[i] = r;
          any[i] = true;
        }
      }
      std::vector<int> unmet;
      for (int i : all)
        if (!any[std::size_t(i)] || kept[std::size_t(i)].flag != 0) unmet.push_back(i);
      const int total = int(t.size());
      int settled = total - int(unmet.size());
      if (o.progress && settled > 0) o.progress(settled, total);
      // The methods not run yet (those with a checker) on the unmet times only.
      for (int m = 0; m < count && !unmet.empty(); ++m) {
        std::vector<Result>& r = raw[std::size_t(m)];
        if (Registry::entry(m).searches || !r.empty()) continue;
        const std::vector<Result> found = invert(m, unmet, beat(settled));
        r.assign(t.size(), unbounded(Result()));
        for (std::size_t k = 0; k < unmet.size(); ++k) r[std::size_t(unmet[k])] = found[k];
      }
      // The search in windows that serve the times they are for: the times
      // with a scale (t > 0) over the window of the earliest of them, and
      // t = 0, which the window of a positive time leaves out, over the
      // whole range.
      std::map<int, std::vector<int>> bands;
      for (int i : unmet) {
        const double ti = t[std::size_t(i)];
        bands[ti > 0.0 && std::isfinite(ti) ? 1 : 0].push_back(i);
      }
      for (int s = 0; s < count && !unmet.empty(); ++s) {
        if (!Registry::entry(s).searches) continue;
        for (const auto& band : bands) searchBand(s, band.second, kept, any, settled, total, o);
        // Sizes that follow the request: the larger ones, for the times
        // still unmet only.
        if (o.larger_sizes.empty()) continue;
        Options larger = o;
        larger.sizes = o.larger_sizes;
        for (const auto& band : bands) {
          // Not the times where the search found no digit (f = 0 before a
          // delay, a zero of f): more terms do not give one there.
          std::vector<int> still;
          for (int i : band.second) {
            const Result& k = kept[std::size_t(i)];
            if (k.flag != 0 && !(k.rel_err > std::fmax(kSearchHopeless * o.request(std::size_t(i)), 0.1)))
              still.push_back(i);
          }
          if (!still.empty()) searchBand(s, still, kept, any, settled, total, larger);
        }
      }
      return kept;
    }

    // The search of method s on the unmet times `which` (one band), its
    // records competing with those kept, and vouching for the methods
    // without a search.
    void searchBand(int s, const std::vector<int>& which, std::vector<Result>& kept,
                    std::vector<bool>& any, int& settled, int total, const Options& base) {
      const int count = Registry::count();
      const Options searched = unmetSearch(base, t, which);
      std::function<void(int, int)> progress;
      const int before = settled;
      if (o.progress) progress = [&](int done, int) { o.progress(std::min(total, before + done), total); };
      std::vector<Result> found = invert(s, which, progress, &searched, kSearchHopeless);
      settled = std::min(total, settled + int(which.size()));
      lookAgain(found, which);
      {
        for (std::size_t k = 0; k < which.size(); ++k) {
          const std::size_t i = std::size_t(which[k]);
          // A record whose error bar misses that of a vouched value of a
          // method without a search is wrong by at least their gap: it is
          // vouched for by that value (the search's own prediction cannot see
          // what its expansion misses: f = erfc(x/(2 sqrt t)) at t = 1e-9,
          // content high above its scale).
          for (int m = 0; m < count; ++m) {
            if (Registry::entry(m).searches || raw[std::size_t(m)].empty()) continue;
            const Result line = vouch(m, i);
            const double gap = std::abs(found[k].f - line.f);
            if (std::isfinite(line.abs_err) && std::isfinite(gap) &&
                !(gap <= found[k].abs_err + line.abs_err))
              found[k] = vouched(found[k], {Peer{&line, 1.0}}, o.request(i));
          }
          if (!any[i] || betterRecord(found[k].rel_err, kept[i].rel_err)) kept[i] = found[k];
          any[i] = true;
          const std::vector<Peer> by{Peer{&found[k], Registry::entry(s).peerWeight}};
          for (int m = 0; m < count; ++m) {
            if (Registry::entry(m).searches) continue;
            const Result r = vouch(m, i, by);
            if (betterRecord(r.rel_err, kept[i].rel_err)) kept[i] = r;
          }
        }
      }
    }
  };
};

Solver::Solver(const SolverSettings& settings) : Solver(settings, checkDevice()) {}

Solver::Solver(const SolverSettings& settings, const DeviceCheck& check) {
  requireDevice(check);
  impl_.reset(new Impl(settings, check.device));
}

Solver::~Solver() = default;
Solver::Solver(Solver&&) noexcept = default;
Solver& Solver::operator=(Solver&&) noexcept = default;

namespace {
// A solver whose resources were moved to another holds none.
void requireImpl(const void* impl) {
  if (impl == nullptr)
    throw Error(ErrorKind::kParameters, "solver: this solver was moved from; make a new one to invert");
}
}  // namespace

const DeviceInfo& Solver::device() const {
  requireImpl(impl_.get());
  return impl_->device;
}

const CallStatistics& Solver::lastCall() const {
  requireImpl(impl_.get());
  return impl_->last;
}

std::vector<Result> Solver::invert(const Transform& F, const std::vector<double>& t,
                                   const Options& options) {
  requireImpl(impl_.get());
  return impl_->run(F, t, options, nullptr);
}

std::vector<Result> SolverAccess::invert(Solver& solver, const Transform& F,
                                         const std::vector<double>& t, const Options& options,
                                         const std::vector<Pair>* shownPairs) {
  requireImpl(solver.impl_.get());
  return solver.impl_->run(F, t, options, shownPairs);
}

}  // namespace orvane
