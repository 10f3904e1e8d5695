// The sizes of the message digests, the same on every system.
#include "platform/digest.h"

namespace plat {

size_t digest_size(Digest algorithm) {
  switch (algorithm) {
    case Digest::MD5: return 16;
    case Digest::SHA1: return 20;
    case Digest::SHA256: return 32;
    case Digest::SHA384: return 48;
    case Digest::SHA512: return 64;
  }
  return 0;
}

}  // namespace plat
