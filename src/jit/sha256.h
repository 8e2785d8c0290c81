// SHA-256 of a byte string, as 64 lowercase hexadecimal digits: the digest
// that names and checks entries of the cache of compiled transforms.
#pragma once

#include <cstddef>
#include <string>

namespace orvane {
namespace jit {

std::string sha256Hex(const void* data, std::size_t size);
inline std::string sha256Hex(const std::string& text) { return sha256Hex(text.data(), text.size()); }

}  // namespace jit
}  // namespace orvane
