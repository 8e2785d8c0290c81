// orvane::Parameters: reading a parameter file into the value.
#include "orvane/parameters.h"

#include <new>
#include <string>

#include "orvane/error.h"
#include "solver/parameter_file.h"

namespace orvane {

Parameters Parameters::fromText(const std::string& text, const std::string& name) {
  Parameters p;
  std::string error;
  if (!detail::parseParameters(text, name, p, error)) throw Error(ErrorKind::kParameterFile, error);
  return p;
}

Parameters Parameters::fromFile(const std::string& path, const std::string& name) {
  auto fail = [](const std::string& message) { throw Error(ErrorKind::kParameterFile, message); };
  std::string text;
  detail::FileRead read = detail::FileRead::kUnreadable;
  // A path with a NUL in it names no file (the C call would see a shorter one).
  if (path.find('\0') == std::string::npos) {
    try {
      read = detail::readWholeFile(path.c_str(), text);
    } catch (const std::bad_alloc&) {
      fail("Not enough memory to read the input parameters file!");
    }
  }
  switch (read) {
    case detail::FileRead::kRead: break;
    case detail::FileRead::kUnreadable: fail("Unable to open the input parameters file!"); break;
    case detail::FileRead::kNotRegular:
      fail("The input parameters file is not a regular file!");
      break;
    case detail::FileRead::kTooLarge:
      fail("The input parameters file is larger than " +
           std::to_string(detail::kMaxParameterFileBytes) + " bytes!");
      break;
  }
  return fromText(text, name.empty() ? path : name);
}

}  // namespace orvane
