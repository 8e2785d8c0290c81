// orvane::Parameters: reading a parameter file into the value, and the same
// checks on a value built in code. Both apply the rules of parameter_file.h,
// so that whatever a file may hold, a value may hold, and no more.
#include "orvane/parameters.h"

#include <charconv>
#include <climits>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

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

namespace {

// The shortest text that reads back as the same double.
std::string shown(double value) {
  char text[64];
  const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
  return std::string(text, end.ptr);
}

// Every refusal reads "parameters: <subject> is <found>; expected <expectation>".
[[noreturn]] void refuse(const std::string& subject, const std::string& found,
                         const std::string& expected) {
  throw Error(ErrorKind::kParameters,
              "parameters: " + subject + " is " + found + "; expected " + expected);
}

std::string element(const char* field, std::size_t i) {
  return std::string(field) + "[" + std::to_string(i) + "]";
}

// A real must be finite (a file cannot spell "inf" or "nan") and then pass
// `rule`, taken as computed from the value ("" when none applies).
void requireReal(const std::string& subject, double value, const std::string& rule = "") {
  const std::string finite = detail::finiteRule(value);
  if (!finite.empty()) refuse(subject, shown(value), finite);
  if (!rule.empty()) refuse(subject, shown(value), rule);
}

void requireReals(const char* field, const std::vector<double>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) requireReal(element(field, i), values[i]);
}

}  // namespace

void Parameters::check() const {
  // The counts are the lengths of Time, NLag and tols, and the run keeps them in ints.
  struct Count {
    const char* field;
    std::size_t size;
    std::size_t minimum;
  };
  for (const Count& c : {Count{"Time", Time.size(), 0}, Count{"NLag", NLag.size(), 1},
                         Count{"tols", tols.size(), 1}}) {
    const std::string subject = std::string("the size of ") + c.field;
    if (c.size < c.minimum) {
      refuse(subject, std::to_string(c.size), "at least " + std::to_string(c.minimum));
    }
    if (c.size > std::size_t(INT_MAX)) {
      refuse(subject, std::to_string(c.size), "at most " + std::to_string(INT_MAX));
    }
  }
  struct SameLength {
    const char* field;
    std::size_t size;
    const char* as;
    std::size_t expected;
  };
  for (const SameLength& s :
       {SameLength{"RelErr", RelErr.size(), "Time", Time.size()},
        SameLength{"sigmaUser", sigmaUser.size(), "Time", Time.size()},
        SameLength{"bUser", bUser.size(), "Time", Time.size()},
        SameLength{"tolb", tolb.size(), "tols", tols.size()}}) {
    // With a search the user's pairs are unused and may be left empty.
    const bool userList = s.field[0] == 's' || s.field[0] == 'b';
    if (userList && SearchSwitch != 0 && s.size == 0) continue;
    if (s.size != s.expected) {
      refuse(std::string("the size of ") + s.field, std::to_string(s.size),
             std::to_string(s.expected) + ", the size of " + s.as);
    }
  }

  // The values, in the order of the file.
  const bool user = SearchSwitch == 0;
  const bool search = SearchSwitch == 1;
  for (std::size_t i = 0; i < Time.size(); ++i) {
    requireReal(element("Time", i), Time[i], detail::inversionTimeRule(Time[i]));
  }
  requireReals("RelErr", RelErr);
  for (std::size_t j = 0; j < NLag.size(); ++j) {
    const std::string broken = detail::expansionSizeRule(NLag[j]);
    if (!broken.empty()) refuse(element("NLag", j), std::to_string(NLag[j]), broken);
  }
  requireReals("sigmaUser", sigmaUser);
  for (std::size_t i = 0; i < bUser.size(); ++i) {
    requireReal(element("bUser", i), bUser[i], user ? detail::positiveRule(bUser[i]) : "");
  }
  requireReal("sigmin", sigmin);
  requireReal("sigmax", sigmax, search ? detail::sigmaRangeRule(sigmin, sigmax) : "");
  for (std::size_t k = 0; k < tols.size(); ++k) {
    requireReal(element("tols", k), tols[k],
                search ? detail::sigmaStepRule(tols[k], sigmin, sigmax) : "");
  }
  requireReal("bmax", bmax);
  for (std::size_t k = 0; k < tolb.size(); ++k) {
    requireReal(element("tolb", k), tolb[k], search ? detail::bStepRule(tolb[k], bmax) : "");
  }
}

}  // namespace orvane
