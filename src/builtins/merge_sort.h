// A stable merge sort of 32-bit keys with a caller-supplied scratch area, so sorting allocates nothing of
// its own. Any ordering is safe, even one that is not consistent (a comparison that failed, say): the
// result is then some permutation of the keys.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tov {

// Sorts keys[0..n) so that before(a, b) holds for no key a that follows b; keys that are not ordered
// keep their order. scratch has room for n keys.
template <class Before>
void merge_sort(uint32_t* keys, uint32_t* scratch, size_t n, Before before) {
  uint32_t* from = keys;
  uint32_t* to = scratch;
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = lo + width < n ? lo + width : n;
      const size_t hi = mid + width < n ? mid + width : n;
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) to[k++] = before(from[j], from[i]) ? from[j++] : from[i++];
      while (i < mid) to[k++] = from[i++];
      while (j < hi) to[k++] = from[j++];
    }
    uint32_t* t = from;
    from = to;
    to = t;
  }
  if (from != keys) std::memcpy(keys, from, n * sizeof(uint32_t));
}

}  // namespace tov
