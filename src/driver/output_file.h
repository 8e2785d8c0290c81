// Writing a data file whole or not at all: the text goes to a temporary file
// beside the target, which is renamed over it only once everything is written.
// A target is never destroyed: one that exists must be a regular file (not a
// device, a folder, a FIFO or a symbolic link), must not be one of the run's
// inputs (under any name, hard links included), must not be read-only, and
// keeps its mode.
#pragma once

#include <string>
#include <vector>

// Why `path` may not be written as an output of a run that reads `inputs`,
// e.g. "is a symbolic link"; "" when it may.
std::string outputTargetProblem(const std::string& path, const std::vector<std::string>& inputs = {});

// Why no new file can be made beside `path` now (its folder missing, read-only
// by its mode, or refusing a file: a read-only file system, a full disk), so
// that a run can be refused before its work; "" when one can.
std::string outputFolderProblem(const std::string& path);

// Returns an empty string on success, else the reason; nothing is left behind
// on failure (no target, no temporary). The target is checked again as
// outputTargetProblem does.
std::string writeFileAtomically(const std::string& path, const std::string& text,
                                const std::vector<std::string>& inputs = {});
