// The machine formats of the command line: csv and json, every number with 17
// significant digits, so that a result read back is the double that was computed.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "driver/console_records.h"

// What the json record says of the run's inputs beyond the parameters.
struct RunInputs {
  std::string parameterFile;
  std::string transform;  // "compiled-in", or "expr" / "transform"
  std::string source;     // the expression or the statements file's path
  std::vector<std::pair<std::string, double>> params;
  std::string method = "weeks";  // the method asked for; each result names its own
};

// A number with 17 significant digits; csv writes nan, inf and -inf, json null.
std::string csvNumber(double v);
std::string jsonNumber(double v);
// A json string literal, with quotes, backslashes and control characters escaped.
std::string jsonString(const std::string& text);

// The header line t,re,im,sigma,b,abs_err,rel_err,flag,N,method and one line
// per time; method is the one that produced the result.
void writeCsv(const std::vector<orvane::Result>& results, std::ostream& out);
// One object: {"inputs": {...}, "results": [{ the ten fields }, ...]}.
void writeJson(const std::vector<orvane::Result>& results, const orvane::Parameters& p,
               const RunInputs& inputs, std::ostream& out);
