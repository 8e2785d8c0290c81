// The digest of the embedded headers (their data is generated at configure
// time into the build folder).
#include "jit/embedded_headers.h"

#include "jit/sha256.h"

namespace orvane {
namespace jit {

const std::string& embeddedHeadersDigest() {
  static const std::string digest = [] {
    std::string all;
    for (int k = 0; k < kEmbeddedHeaderCount; ++k) {
      all += kEmbeddedHeaders[k].name;
      all += '\0';
      all += sha256Hex(kEmbeddedHeaders[k].data, kEmbeddedHeaders[k].size);
    }
    return sha256Hex(all);
  }();
  return digest;
}

}  // namespace jit
}  // namespace orvane
