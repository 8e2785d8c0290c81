// Failures of the engine. Every failure travels up to the caller as an
// orvane::Error carrying its kind and the exact message; the library never
// ends the process, writes to the console or waits for input. A front end
// decides the stream, the wait and the exit code from the kind.
//
// A refused option names what was wrong as data too: the field of Options
// ("sizes", "resolutions.sigma", ...), the index within it where the field is
// a list, the value found and what was expected, so that each front end can
// word the refusal in its own names.
#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

enum class ErrorKind {
  kParameterFile,  // parameter file missing, unreadable, too large or malformed
  kParameters,     // options or times that fail a check
  kSearchSwitch,   // a parameter file's SearchSwitch neither 0 nor 1
  kNoDevice,       // no acceptable device 0
  kSizeRefused,    // an expansion size the device cannot run (2N over its threads per block, N < 1)
  kAllocation,     // a device or stage buffer could not be allocated
  kFft,            // an FFT plan could not be made or executed
  kDeviceCall,     // any other failed GPU runtime call
  kResources,      // a grid or a host buffer beyond the machine's limits
};

// The kind's name ("parameter file", "allocation", ...), for logs and bindings.
const char* kindName(ErrorKind kind);

// What a refused value was: its field, its index (-1 for a single value or
// the whole list), whether the list's length was refused rather than a value,
// the value (or length) as found and what was expected instead.
struct Refusal {
  std::string field;
  long long index = -1;
  bool length = false;
  std::string found;
  std::string expected;
};

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Error(ErrorKind kind, const std::string& message, const Refusal& refusal)
      : std::runtime_error(message), kind_(kind), refusal_(refusal) {}
  ErrorKind kind() const noexcept { return kind_; }
  // The refused value; its field is empty where the failure is not one value's.
  const Refusal& refusal() const noexcept { return refusal_; }

 private:
  ErrorKind kind_;
  Refusal refusal_;
};

}  // namespace orvane
