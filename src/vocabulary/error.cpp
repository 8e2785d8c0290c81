// The names of the kinds of failure, as logs and language bindings show them.
#include "orvane/error.h"

namespace orvane {

const char* kindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kParameterFile: return "parameter file";
    case ErrorKind::kParameters: return "parameters";
    case ErrorKind::kSearchSwitch: return "search switch";
    case ErrorKind::kNoDevice: return "no device";
    case ErrorKind::kSizeRefused: return "size refused";
    case ErrorKind::kAllocation: return "allocation";
    case ErrorKind::kFft: return "FFT";
    case ErrorKind::kDeviceCall: return "device call";
    case ErrorKind::kResources: return "resources";
  }
  return "unknown";  // a value outside the enumeration
}

}  // namespace orvane
