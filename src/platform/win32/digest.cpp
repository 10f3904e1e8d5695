// Message digests through the system's cryptography (CNG).
#include <windows.h>
#include <bcrypt.h>

#include "platform/digest.h"

namespace plat {

namespace {

const wchar_t* algorithm_id(Digest algorithm) {
  switch (algorithm) {
    case Digest::MD5: return BCRYPT_MD5_ALGORITHM;
    case Digest::SHA1: return BCRYPT_SHA1_ALGORITHM;
    case Digest::SHA256: return BCRYPT_SHA256_ALGORITHM;
    case Digest::SHA384: return BCRYPT_SHA384_ALGORITHM;
    case Digest::SHA512: return BCRYPT_SHA512_ALGORITHM;
  }
  return nullptr;
}

bool succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

bool digest(Digest algorithm, const void* data, size_t n, uint8_t* out) {
  BCRYPT_ALG_HANDLE provider = nullptr;
  if (!succeeded(BCryptOpenAlgorithmProvider(&provider, algorithm_id(algorithm), nullptr, 0))) return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = succeeded(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0));
  // The data goes in pieces that a ULONG can count.
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t left = n; ok && left;) {
    const ULONG piece = left > 0x40000000u ? 0x40000000u : ULONG(left);
    ok = succeeded(BCryptHashData(hash, const_cast<PUCHAR>(p), piece, 0));
    p += piece;
    left -= piece;
  }
  ok = ok && succeeded(BCryptFinishHash(hash, out, ULONG(digest_size(algorithm)), 0));
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(provider, 0);
  return ok;
}

}  // namespace plat
