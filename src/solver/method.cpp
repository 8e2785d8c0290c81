// The names of the inversion methods, as the command line and the formats write them.
#include "orvane/method.h"

namespace orvane {

const char* methodName(Method m) {
  switch (m) {
    case Method::kWeeks: return "weeks";
    case Method::kTalbot: return "talbot";
    case Method::kAuto: return "auto";
  }
  return "unknown";  // a value outside the enumeration
}

bool parseMethod(const std::string& name, Method* m) {
  for (Method c : {Method::kWeeks, Method::kTalbot, Method::kAuto})
    if (name == methodName(c)) {
      *m = c;
      return true;
    }
  return false;
}

}  // namespace orvane
