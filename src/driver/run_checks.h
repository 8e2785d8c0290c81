// Checks of a command line before anything runs: what cannot be meant (an
// empty formula, constants with no transform to use them, an empty output
// name, an output that would destroy a device, a link or an input) is refused
// with what was wrong and what was expected, and the transform file is read
// under the same rules as a parameter file.
#pragma once

#include <string>

struct CommandLine;

// The refusal of the arguments themselves (a usage error), or "".
std::string argumentProblem(const CommandLine& cl);

// The refusal of the output file as a target of this run, or "".
std::string outputProblem(const CommandLine& cl);

// The statements of a --transform file: a non-empty regular file of at most
// the parameter file's size. Throws Error(kParameters) naming the file.
std::string readTransformFile(const std::string& path);
