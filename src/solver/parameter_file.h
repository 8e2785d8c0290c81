// The reader of a parameter file, behind orvane::Parameters::fromText and
// fromFile: the file's text is walked with two steps only (discard a line;
// extract one value), and every value is checked, so a malformed file is
// refused with one message naming the line. The rules on single values are
// shared with Parameters::check().
#pragma once

#include <cstddef>
#include <string>

#include "orvane/parameters.h"

namespace orvane {
namespace detail {

// The file the console program reads, and the name its messages give it.
constexpr const char* kParameterFileName = "UserParameters.txt";

// Parses the whole text of a parameter file. On success fills `out` and
// returns true; otherwise returns false with `error` set to one line such as
//   UserParameters.txt, line 17: expected the number of expansion sizes, an integer, found "abc"
// where "UserParameters.txt" is `name`.
bool parseParameters(const std::string& text, const std::string& name, Parameters& out,
                     std::string& error);

// A parameter file is a few dozen short lines; anything beyond this many bytes
// (a log written over the file, a file grown without end) is refused unread
// rather than read until memory runs out.
constexpr std::size_t kMaxParameterFileBytes = std::size_t(64) << 20;

enum class FileRead { kRead, kUnreadable, kNotRegular, kTooLarge };

// Reads the whole file into `text`. kUnreadable when it cannot be opened or
// read, a directory included; kNotRegular for a FIFO, a device or a socket,
// which is refused without waiting for a writer; kTooLarge when it holds more
// than `maxBytes` bytes. `text` is left empty unless kRead. Running out of
// memory throws std::bad_alloc.
FileRead readWholeFile(const char* path, std::string& text,
                       std::size_t maxBytes = kMaxParameterFileBytes);

// Rules on single values. Each returns "" when the value passes, otherwise
// what was expected, worded to follow the value's name in a message:
// "inversion time 2 of 2, " + "a real number of at least 0".
std::string finiteRule(double value);          // what check() asks of every real
std::string inversionTimeRule(double time);    // f(t) is 0 for t < 0: nothing to compute
std::string positiveRule(double value);        // the user's b with SearchSwitch 0
std::string expansionSizeRule(int size);
// The search grid (SearchSwitch 1): the sigma range [sigmin, sigmax) must have
// a finite width, and each step must fit between 1 and INT_MAX times into its
// range, counted as the search counts: floor(width / step).
std::string sigmaRangeRule(double sigmin, double sigmax);
std::string sigmaStepRule(double step, double sigmin, double sigmax);
std::string bStepRule(double step, double bmax);

}  // namespace detail
}  // namespace orvane
