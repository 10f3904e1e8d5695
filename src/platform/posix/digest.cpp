// Message digests through the crypto library's one-shot digest.
#include <openssl/evp.h>

#include "platform/digest.h"

namespace plat {

namespace {

const EVP_MD* method(Digest algorithm) {
  switch (algorithm) {
    case Digest::MD5: return EVP_md5();
    case Digest::SHA1: return EVP_sha1();
    case Digest::SHA256: return EVP_sha256();
    case Digest::SHA384: return EVP_sha384();
    case Digest::SHA512: return EVP_sha512();
  }
  return nullptr;
}

}  // namespace

size_t digest_size(Digest algorithm) { return size_t(EVP_MD_size(method(algorithm))); }

bool digest(Digest algorithm, const void* data, size_t n, uint8_t* out) {
  unsigned int size = 0;
  return EVP_Digest(data, n, out, &size, method(algorithm), nullptr) == 1 && size == digest_size(algorithm);
}

}  // namespace plat
