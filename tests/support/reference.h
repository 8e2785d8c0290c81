// Test support: the reference transform pairs (generated from transforms.json
// and tests/data/classic_pairs.json)
// and a transform functor over any of them, usable with the generic pipeline
// stages of the host backend.
#pragma once

#include <complex>

#include "orvane/config.h"
#include "support/engine_names.h"
#include "transforms_table.h"
#include "classic_table.h"

// Evaluates a host F(s) in double and returns it in the kernel's working precision.
struct HostTransform {
  reference::cplx (*F)(reference::cplx);
  template <class C>
  C operator()(C s) const {
    reference::cplx v = F(reference::cplx(double(s.x), double(s.y)));
    C out;
    out.x = decltype(s.x)(v.real());
    out.y = decltype(s.x)(v.imag());
    return out;
  }
};

// The pair with this id; fails the calling test when there is none.
const reference::Pair& referencePair(const char* id);
