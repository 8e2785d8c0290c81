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

// Why a time missed its request and what to try, in one sentence.
std::string unmetAdvice(const orvane::Result& r, double request);
