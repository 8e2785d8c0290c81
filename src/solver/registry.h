// The registry of inversion methods: the one list of them. Each entry names a
// method and makes one for a solver; "auto" is not an entry but the solver's
// chooser over all of them, tried in the order listed here, cheapest first
// where that is known. A new method is a folder of its own under src/methods/
// and one line (with its include) in registry.cpp.
#pragma once

#include <memory>

#include "methods/method.h"
#include "orvane/solver.h"

namespace orvane {

struct MethodEntry {
  const char* name;
  std::unique_ptr<InversionMethod> (*make)(const SolverSettings& settings);
  // What a value of the method may be vouched for by besides its own
  // prediction, which cannot see where the method's assumptions fail:
  // - onLine: its line or contour assumes F analytic right of its shift, and
  //   a value is vouched for only where a method that can see there
  //   (InversionMethod::rightOf) finds it so;
  // - checkedBy: the method whose value of the same time vouches for it (the
  //   gap between the two plus that one's prediction), or null.
  bool onLine;
  const char* checkedBy;
  // A search of its own, many times the cost of the others: the automatic
  // choice runs it last, on the times the others leave unmet.
  bool searches;
  // The factor its prediction is taken with when it vouches for another's.
  double peerWeight;
};

// The registered methods; Method::index() of one is its position here, and
// "auto" has the index count().
struct Registry {
  static int count();
  static const MethodEntry& entry(int index);
  // The index of a method by name; -1 for none (or null).
  static int find(const char* name);
};

}  // namespace orvane
