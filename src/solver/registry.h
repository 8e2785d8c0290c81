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
};

// The registered methods; Method::index() of one is its position here, and
// "auto" has the index count().
struct Registry {
  static int count();
  static const MethodEntry& entry(int index);
};

}  // namespace orvane
