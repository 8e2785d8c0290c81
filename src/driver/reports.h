// The console reports of the solver object, written to any stream so that
// their exact text can be checked; the WeeksMethod members write them to
// standard output.
#pragma once

#include <ostream>

#include "driver/weeks_method.h"

// The input report, in fixed notation (left in force on the stream). Returns
// false, after the six general lines, when SearchSwitch is neither 0 nor 1.
bool writeInputReport(const WeeksMethod& weeks, std::ostream& out);

// The result report, in scientific notation (left in force on the stream).
void writeResultReport(const WeeksMethod& weeks, std::ostream& out);

// An empty line, then "Walk clock time = " and the elapsed seconds (a whole
// number of milliseconds divided by 1000.0) in the stream's current notation.
void writeWalkClockTime(long long elapsedMilliseconds, std::ostream& out);
