// The reader of "UserParameters.txt": the file's text is walked with two steps
// only (discard a line; extract one value), and every value is checked, so a
// malformed file is refused with one message naming the line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Everything the parameter file holds, in file order.
struct ParsedParameters {
  int Ntimes = 0;
  std::vector<double> Time;
  std::vector<double> RelErr;
  int SearchSwitch = 0;
  int Nsizes = 0;
  std::vector<int> NLag;
  std::vector<double> sigmaUser;
  std::vector<double> bUser;
  int Ntol = 0;
  double sigmin = 0.0;
  double sigmax = 0.0;
  std::vector<double> tols;
  double bmax = 0.0;
  std::vector<double> tolb;
};

// The name of the parameter file, as the messages give it.
extern const char* const kParameterFileName;

// Parses the whole text of a parameter file. On success fills `out` and
// returns true; otherwise returns false with `error` set to one line such as
//   UserParameters.txt, line 17: expected the number of expansion sizes, an integer, found "abc"
bool parseParameters(const std::string& text, ParsedParameters& out, std::string& error);

// A parameter file is a few dozen short lines; anything beyond this many bytes
// (a device such as /dev/zero, a log written over the file) is refused unread
// rather than read until memory runs out.
constexpr std::size_t kMaxParameterFileBytes = std::size_t(64) << 20;

enum class FileRead { kRead, kUnreadable, kTooLarge };

// Reads the whole file into `text`. kUnreadable when it cannot be opened or
// read (a directory of that name cannot be read either); kTooLarge when it
// holds more than `maxBytes` bytes. Running out of memory throws std::bad_alloc.
FileRead readWholeFile(const char* path, std::string& text,
                       std::size_t maxBytes = kMaxParameterFileBytes);
