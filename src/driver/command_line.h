// The command line of orvane and orvane-diag. Without arguments the programs
// run as they always have (UserParameters.txt in the working folder, the
// console report, a wait for Enter); with any argument this front end runs
// instead: any parameter file, a transform given at run time, machine formats,
// an output file, and never a wait.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/request_options.h"
#include "orvane/transform.h"

struct CommandLine {
  std::string parameterFile = "UserParameters.txt";
  bool parameterFileGiven = false;  // PARAMETER_FILE was on the command line
  RequestOptions request;           // --t, --rel-err, ... as given
  Request parsedRequest;
  std::string expr;           // --expr
  std::string transformFile;  // --transform
  std::vector<std::pair<std::string, double>> params;
  std::string method = "auto";  // a registered method, or auto
  bool methodGiven = false;     // --method was on the command line
  std::string format = "table";  // table, report, csv or json
  std::string output;            // --output; empty: standard output
  bool quiet = false;
  // Whether each was on the command line (an empty value is then refused).
  bool exprGiven = false;
  bool transformGiven = false;
  bool outputGiven = false;
};

// Parses argv. Returns -1 to go on with `cl` filled in, else the exit code
// (0 after --help or --version, 2 for a usage error, with its message written).
int parseCommandLine(int argc, char** argv, CommandLine& cl);

// Runs what the command line asks for; returns the exit code.
int runCommandLine(const CommandLine& cl);

// The transform compiled into this program.
std::unique_ptr<orvane::Transform> compiledInTransform();
