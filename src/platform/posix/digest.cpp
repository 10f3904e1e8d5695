// Message digests through the crypto library's one-shot digest. The library is loaded at the first digest:
// binding its thousands of symbols at every start of the runner would cost more than most scripts run.
#include <dlfcn.h>
#include <openssl/evp.h>

#include "platform/digest.h"

namespace plat {

namespace {

struct CryptoLibrary {
  const EVP_MD* (*md5)();
  const EVP_MD* (*sha1)();
  const EVP_MD* (*sha256)();
  const EVP_MD* (*sha384)();
  const EVP_MD* (*sha512)();
  int (*digest)(const void*, size_t, unsigned char*, unsigned int*, const EVP_MD*, ENGINE*);
  bool loaded;
};

template <typename F>
bool bind(void* library, const char* name, F* out) {
  *out = reinterpret_cast<F>(dlsym(library, name));
  return *out != nullptr;
}

CryptoLibrary load() {
  CryptoLibrary c{};
  void* library = dlopen(TOV_CRYPTO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (!library) return c;
  c.loaded = bind(library, "EVP_md5", &c.md5) && bind(library, "EVP_sha1", &c.sha1) &&
             bind(library, "EVP_sha256", &c.sha256) && bind(library, "EVP_sha384", &c.sha384) &&
             bind(library, "EVP_sha512", &c.sha512) && bind(library, "EVP_Digest", &c.digest);
  return c;
}

const CryptoLibrary& crypto() {
  static const CryptoLibrary library = load();
  return library;
}

const EVP_MD* method(const CryptoLibrary& c, Digest algorithm) {
  switch (algorithm) {
    case Digest::MD5: return c.md5();
    case Digest::SHA1: return c.sha1();
    case Digest::SHA256: return c.sha256();
    case Digest::SHA384: return c.sha384();
    case Digest::SHA512: return c.sha512();
  }
  return nullptr;
}

}  // namespace

bool digest(Digest algorithm, const void* data, size_t n, uint8_t* out) {
  const CryptoLibrary& c = crypto();
  if (!c.loaded) return false;
  const EVP_MD* md = method(c, algorithm);
  unsigned int size = 0;
  return md && c.digest(data, n, out, &size, md, nullptr) == 1 && size == digest_size(algorithm);
}

}  // namespace plat
