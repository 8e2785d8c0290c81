// The console reports of the solver object, written to any stream so that
// their exact text can be checked; the WeeksMethod members write them to
// standard output.
#pragma once

#include <ostream>

#include "driver/weeks_method.h"
#include "orvane/solver.h"

// The banner that opens a run: three lines and an empty one.
void writeBanner(std::ostream& out);

// The description of device 0: seven lines from "Information for the CUDA
// device = <count>" to "Computer Capability: <major>.<minor>", then two empty lines.
void writeDeviceDescription(int count, const orvane::DeviceInfo& device, std::ostream& out);

// The device check: the count line and, when there is a device, its
// description on `out`; the runtime's reason for a failed query on `err`.
// The refusal of an unusable device is the caller's to write.
void writeDeviceCheck(const orvane::DeviceCheck& check, std::ostream& out, std::ostream& err);

// The input report, in fixed notation (left in force on the stream). Returns
// false, after the six general lines, when SearchSwitch is neither 0 nor 1.
bool writeInputReport(const orvane::Parameters& parameters, std::ostream& out);
bool writeInputReport(const WeeksMethod& weeks, std::ostream& out);

// The result report, in scientific notation (left in force on the stream);
// with `showMethod`, each time's block ends with the method that produced it.
void writeResultReport(const WeeksResult* results, int count, std::ostream& out,
                       bool showMethod = false);
void writeResultReport(const WeeksMethod& weeks, std::ostream& out);

// An empty line, then "Walk clock time = " and the elapsed seconds (a whole
// number of milliseconds divided by 1000.0) in the stream's current notation.
void writeWalkClockTime(long long elapsedMilliseconds, std::ostream& out);
