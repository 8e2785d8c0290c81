// The reader of a parameter file: the file's text is walked with two steps
// only (discard a line; extract one value), and every value is checked, so a
// malformed file is refused with one message naming the line. The rules on
// single values are shared with Options::check().
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "orvane/parameter_file.h"

namespace orvane {
namespace detail {

// The fields of a parameter file in file order, named as the file's format
// names them. The console programs report them as they are; the library takes
// them as Inputs (inputsOf).
struct FileFields {
  std::vector<double> Time;       // inversion times t, each 0 or more
  std::vector<double> RelErr;     // requested relative error of each time
  int SearchSwitch = 1;           // 0: the user's (sigma, b) of each time; 1: search a grid
  std::vector<int> NLag{64};      // expansion sizes N, tried in order, each 1 or more
  std::vector<double> sigmaUser;  // the user's sigma of each time
  std::vector<double> bUser;      // the user's b of each time
  double sigmin = 0.0;            // sigma search range [sigmin, sigmax)
  double sigmax = 30.0;
  std::vector<double> tols{1.0, 0.5};  // sigma grid step of each tolerance
  double bmax = 30.0;                  // b search range (0, bmax]
  std::vector<double> tolb{1.0, 0.5};  // b grid step of each tolerance

  int Ntimes() const { return int(Time.size()); }
  int Nsizes() const { return int(NLag.size()); }
  int Ntol() const { return int(tols.size()); }

  // Reads and checks a parameter file. `name` is how messages call the file
  // ("UserParameters.txt, line 19: expected ..."); it defaults to the path.
  // Throws Error(kParameterFile).
  static FileFields fromFile(const std::string& path, const std::string& name = "");
  static FileFields fromText(const std::string& text, const std::string& name = "UserParameters.txt");
};

// Throws Error(kSearchSwitch): a SearchSwitch neither 0 nor 1.
[[noreturn]] void refuseSearchSwitch();

// The times and options of the fields (a search, or the file's pairs where
// SearchSwitch is 0); throws Error(kSearchSwitch) for any other switch.
Inputs inputsOf(const FileFields& fields);

// The file the console program reads, and the name its messages give it.
constexpr const char* kParameterFileName = "UserParameters.txt";

// Parses the whole text of a parameter file. On success fills `out` and
// returns true; otherwise returns false with `error` set to one line such as
//   UserParameters.txt, line 17: expected the number of expansion sizes, an integer, found "abc"
// where "UserParameters.txt" is `name`.
bool parseParameters(const std::string& text, const std::string& name, FileFields& out,
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
std::string requestRule(double relErr);        // a requested relative error: positive and finite
std::string expansionSizeRule(int size);
// The search grid (SearchSwitch 1): the sigma range [sigmin, sigmax) must have
// a finite width, and each step must fit between 1 and INT_MAX times into its
// range, counted as the search counts: floor(width / step).
std::string sigmaRangeRule(double sigmin, double sigmax);
std::string sigmaStepRule(double step, double sigmin, double sigmax);
std::string bStepRule(double step, double bmax);
// The work of one search grid whose steps pass the rules above, against a
// bound of `maxPoints` points (0: none): "" within it, else what the grid
// would take, worded to follow its resolution in a message ("0.001:0.001, a
// grid of 30000 x 30000 = 9e+08 points: 7.2 GB of estimates and 2.3e+11
// evaluations of F at N = 64"). `largestSize` is the largest N tried.
std::string gridWorkProblem(double sigmaStep, double bStep, double sigmin, double sigmax, double bmax,
                            int largestSize, long long maxPoints);

}  // namespace detail
}  // namespace orvane
