// The command line's checks before a run.
#include "driver/run_checks.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "driver/command_line.h"
#include "driver/output_file.h"
#include "orvane/error.h"
#include "vocabulary/parameter_file.h"

namespace {

bool blank(const std::string& text) { return text.find_first_not_of(" \t\r\n\f\v") == std::string::npos; }

[[noreturn]] void refuseFile(const std::string& path, const std::string& what) {
  throw orvane::Error(orvane::ErrorKind::kParameters, "the transform file " + path + " " + what);
}

}  // namespace

std::string argumentProblem(const CommandLine& cl) {
  if (cl.exprGiven && blank(cl.expr)) return "--expr is empty; expected a formula in s, e.g. '1/(s+1)'";
  if (cl.transformGiven && cl.transformFile.empty()) return "--transform is empty; expected a file name";
  if (!cl.params.empty() && !cl.exprGiven && !cl.transformGiven)
    return "--param is given without --expr or --transform; it names a constant of the transform";
  if (cl.outputGiven && cl.output.empty()) return "--output is empty; expected a file name";
  return "";
}

std::string outputProblem(const CommandLine& cl) {
  if (!cl.outputGiven) return "";
  std::string problem = outputTargetProblem(cl.output, {cl.parameterFile, cl.transformFile});
  if (problem.empty()) problem = outputFolderProblem(cl.output);
  return problem.empty() ? "" : "the output file " + cl.output + " " + problem;
}

std::string readTransformFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) refuseFile(path, std::string("cannot be read: ") + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) refuseFile(path, "is a folder; expected a file of statements");
  std::string text;
  switch (orvane::detail::readWholeFile(path.c_str(), text)) {
    case orvane::detail::FileRead::kRead:
      break;
    case orvane::detail::FileRead::kNotRegular:
      refuseFile(path, "is not a regular file (a FIFO, a device or a socket); expected a file of statements");
    case orvane::detail::FileRead::kTooLarge:
      refuseFile(path, "is larger than " + std::to_string(orvane::detail::kMaxParameterFileBytes >> 20) +
                           " MiB; expected a few statements");
    case orvane::detail::FileRead::kUnreadable:
      refuseFile(path, std::string("cannot be read: ") + std::strerror(errno));
  }
  if (blank(text)) refuseFile(path, "is empty; expected statements that assign Fs");
  return text;
}
