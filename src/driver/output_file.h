// Writing a data file whole or not at all: the text goes to a temporary file
// beside the target, which is renamed over it only once everything is written.
#pragma once

#include <string>

// Returns an empty string on success, else the reason; nothing is left behind
// on failure (no target, no temporary).
std::string writeFileAtomically(const std::string& path, const std::string& text);
