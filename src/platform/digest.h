// Message digests computed by the system's cryptography (Windows) or its crypto library (POSIX).
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

enum class Digest { MD5, SHA1, SHA256, SHA384, SHA512 };

constexpr size_t DIGEST_MAX_BYTES = 64;

// Bytes of a digest of the algorithm.
size_t digest_size(Digest algorithm);
// The digest of n bytes into out (DIGEST_MAX_BYTES room); false when the system cannot compute it.
bool digest(Digest algorithm, const void* data, size_t n, uint8_t* out);

}  // namespace plat
