// Failures of the engine. Every failure travels up to the caller as an
// orvane::Error carrying its kind and the exact message; the library never
// ends the process, writes to the console or waits for input. A front end
// decides the stream, the wait and the exit code from the kind.
#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

enum class ErrorKind {
  kParameterFile,  // parameter file missing, unreadable, too large or malformed
  kParameters,     // parameters built in code that fail a check of the reader
  kSearchSwitch,   // SearchSwitch neither 0 nor 1
  kNoDevice,       // no acceptable device 0
  kSizeRefused,    // an expansion size the device cannot run (2N over its threads per block, N < 1)
  kAllocation,     // a device or stage buffer could not be allocated
  kFft,            // an FFT plan could not be made or executed
  kDeviceCall,     // any other failed GPU runtime call
  kResources,      // a grid or a host buffer beyond the machine's limits
};

// The kind's name ("parameter file", "allocation", ...), for logs and bindings.
const char* kindName(ErrorKind kind);

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  ErrorKind kind() const noexcept { return kind_; }

 private:
  ErrorKind kind_;
};

}  // namespace orvane
