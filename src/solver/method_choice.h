// The records of Talbot's method and the automatic choice between a Weeks
// record and a Talbot record of the same time.
#pragma once

#include <cmath>

#include "orvane/result.h"
#include "solver/run_loop.h"
#include "talbot/talbot.h"

namespace orvane {

// The kept record of a Talbot value: sigma is the contour's shift, b 0, NLag
// the node count of the value.
inline WeeksResult talbotResult(double t, double shift, const TalbotRecord& r) {
  WeeksResult w;
  w.Time = t;
  w.ft = r.ft;
  w.sigma = shift;
  w.b = 0.0;
  w.AbsErrPred = r.AbsErrPred;
  w.RelErrPred = r.RelErrPred;
  w.TolFlag = r.TolFlag;
  w.NLag = r.nodes;
  w.tols = 0.0;
  w.tolb = 0.0;
  w.method = Method::kTalbot;
  return w;
}

// The record kept for a time whose Weeks record missed its request. The two
// values must agree within their predicted errors, the Weeks one taken ten
// times over (on the reference pairs no Weeks prediction lies below a tenth
// of the true error). Where they do not, Talbot's contours have missed
// something (a pole beyond all of them) and its error is put at their gap
// plus that Weeks bound. The Talbot record replaces the Weeks record only
// with a strictly lower predicted relative error.
inline WeeksResult autoChoice(const WeeksResult& weeks, WeeksResult talbot, double relErr) {
  const double gap = std::hypot(talbot.ft.x - weeks.ft.x, talbot.ft.y - weeks.ft.y);
  const double weeksBound = 10.0 * weeks.AbsErrPred;
  if (std::isfinite(weeksBound) && std::isfinite(talbot.AbsErrPred) &&
      gap > weeksBound + talbot.AbsErrPred) {
    talbot.AbsErrPred = gap + weeksBound;
    const double modulus = std::hypot(talbot.ft.x, talbot.ft.y);
    talbot.RelErrPred = modulus > 0.0 ? talbot.AbsErrPred / modulus : INFINITY;
    talbot.TolFlag = relErr > talbot.RelErrPred ? 0 : 1;
  }
  return betterRecord(talbot.RelErrPred, weeks.RelErrPred) ? talbot : weeks;
}

}  // namespace orvane
