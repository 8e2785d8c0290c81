// The headers that the code generated for a run-time transform includes,
// embedded in the library when it is built, so that an installed program
// compiles transforms without the source tree: NVRTC takes them from memory,
// the host compiler from a private folder written for each compile.
#pragma once

#include <cstddef>
#include <string>

namespace orvane {
namespace jit {

struct EmbeddedHeader {
  const char* name;  // as the generated code includes it: "orvane/config.h"
  const unsigned char* data;
  std::size_t size;
};

extern const EmbeddedHeader kEmbeddedHeaders[];
extern const int kEmbeddedHeaderCount;

// SHA-256 over every embedded header's name and text: part of the key of
// every cached object, so that an edited header never loads a stale one.
const std::string& embeddedHeadersDigest();

}  // namespace jit
}  // namespace orvane
