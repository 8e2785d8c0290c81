// The inversion methods: the Weeks expansion, Talbot's contour, and the
// automatic choice between them per time.
#pragma once

#include <string>

namespace orvane {

enum class Method {
  kWeeks,   // the Laguerre series of the Weeks method only
  kTalbot,  // the midpoint rule on a Talbot contour only
  kAuto,    // Weeks first; where its kept record misses the request, Talbot is
            // tried and the record with the lower predicted relative error kept
};

// "weeks", "talbot" or "auto".
const char* methodName(Method m);
// The method of such a name; false (and *m untouched) for any other text.
bool parseMethod(const std::string& name, Method* m);

}  // namespace orvane
