// Transforms given at run time: statements that read the sample point `s` and
// assign `Fs` (as in a compiled-in transform file, or generated from an
// expression) are compiled into the sampling stage when the program runs and
// plugged in through the transform's row-level entry point. The host backend
// builds a shared object with the C++ compiler the engine was built with and
// the same flags, so results are bit-identical to the compiled-in build.
// Objects are cached on disk (object_cache.h), keyed by a digest of the
// source, the compiler, the flags, the backend, the library's version and the
// headers embedded in it (embedded_headers.h); the compiler runs as a child
// under a time limit (child_process.h).
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "orvane/transform.h"

namespace orvane {
namespace jit {

struct Options {
  // Where compiled objects are kept; empty: $XDG_CACHE_HOME/orvane, or
  // ~/.cache/orvane. Created private to the user (mode 0700); used only when
  // no one else may write it or a folder above it (see object_cache.h).
  std::string cacheDir;
  // Warnings (a cache that cannot be trusted, say); none when null.
  std::ostream* warnings = nullptr;
};

typedef std::vector<std::pair<std::string, double>> Params;

// Compiles `statements`; each parameter (at most 64, names as
// checkParameterNames takes them) is a real constant of its name in them.
// `origin` names the statements in compiler messages, whose line numbers are
// the statements' own. Throws Error(kParameters) when they do not compile, no
// compiler is at hand, or the compile passes its time limit
// (ORVANE_JIT_TIMEOUT seconds, default 60), with the compiler's diagnostics.
std::unique_ptr<Transform> compileStatements(const std::string& statements,
                                             const std::string& origin, const Params& params,
                                             const Options& options = Options());

// The source file the backend compiles for these statements (for tests and
// for the record of what ran).
std::string generatedSource(const std::string& statements, const std::string& origin,
                            const Params& params);
// The CUDA source NVRTC compiles for them: the sampling kernel orvane_jit_sample.
std::string generatedCudaSource(const std::string& statements, const std::string& origin,
                                const Params& params);

// Compiles a generated CUDA source to PTX for compute capability major.minor
// (NVRTC needs no GPU). Throws Error(kParameters) with NVRTC's log, whose
// lines name `origin`, when it does not compile, and when NVRTC is not part
// of this build.
std::string compileToPtx(const std::string& cudaSource, const std::string& origin, int major,
                         int minor);

std::string defaultCacheDir();

}  // namespace jit
}  // namespace orvane
