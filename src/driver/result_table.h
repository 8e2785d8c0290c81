// The table the command line writes for people: one aligned row per time
// (t, f(t) to 15 significant digits, the predicted relative error, whether the
// request was met, the method, N, sigma and b), then one line per time whose
// request was not met, saying what limited it and what to try.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "orvane/result.h"

// `requests` holds the requested relative error of each time.
void writeResultTable(const std::vector<orvane::Result>& results, const std::vector<double>& requests,
                      std::ostream& out);

// Why a time missed its request and what to try, in one sentence, after the
// time, the request, the prediction and the method.
std::string unmetAdvice(const orvane::Result& r, double request);

// The options named in the advice: the command line's (--sizes 64,128,256) or
// the arguments of Python's invert (sizes=(64, 128, 256)).
enum class AdviceSpelling { kCommandLine, kPython };

// What limited an unmet time and what to try, alone: the advice's sentence
// without its head, as Python's result carries it per time.
std::string unmetReason(const orvane::Result& r, AdviceSpelling spelling);
