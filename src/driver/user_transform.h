// The user's transform F(s), compiled in: the statements of the configured
// UserFs file read the sample point `s` and assign `Fs`. The sampling kernel is
// generic over any functor of this shape; UserTransform is the default one.
#pragma once

#include <cmath>
#include <math.h>

#include "orvane/config.h"

#ifndef ORVANE_USER_FS_FILE
#error "ORVANE_USER_FS_FILE must name the user transform file"
#endif

struct UserTransform {
  // The names the statements may use for the working precision.
  typedef orvane::wreal wreal;
  typedef orvane::wcomplex wcomplex;
  ORVANE_HD wcomplex operator()(wcomplex s) const {
    wcomplex Fs;
    Fs.x = 0;
    Fs.y = 0;
#if ORVANE_SINGLE
#include "jit/demote_begin.h"
#endif
#include ORVANE_USER_FS_FILE
#if ORVANE_SINGLE
#include "jit/demote_end.h"
#endif
    return Fs;
  }
};
