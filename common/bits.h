// Sets of indexes stored as bits of 64-bit words: index k is bit k % 64 of
// word k / 64. The functions below visit the indexes set in an array of
// `words` words, or in both of two such arrays, in increasing order.
#ifndef COMMON_BITS_H_
#define COMMON_BITS_H_

#include <bit>
#include <cstdint>

namespace common {

// Calls each(k) for every index k set in `set`.
template <class Each>
void for_each_bit(const uint64_t* set, int words, Each&& each) {
  for (int w = 0; w < words; ++w) {
    for (uint64_t b = set[w]; b; b &= b - 1) each(w * 64 + std::countr_zero(b));
  }
}

// Calls each(k) for every index k set in both `a` and `b`.
template <class Each>
void for_each_bit_in_both(const uint64_t* a, const uint64_t* b, int words, Each&& each) {
  for (int w = 0; w < words; ++w) {
    for (uint64_t x = a[w] & b[w]; x; x &= x - 1) each(w * 64 + std::countr_zero(x));
  }
}

// Whether test(k) holds for an index k set in both `a` and `b`; stops at the
// first such k.
template <class Test>
bool any_bit_in_both(const uint64_t* a, const uint64_t* b, int words, Test&& test) {
  for (int w = 0; w < words; ++w) {
    for (uint64_t x = a[w] & b[w]; x; x &= x - 1) {
      if (test(w * 64 + std::countr_zero(x))) return true;
    }
  }
  return false;
}

// The lowest index set in both `a` and `b`, or -1.
inline int first_bit_in_both(const uint64_t* a, const uint64_t* b, int words) {
  for (int w = 0; w < words; ++w) {
    if (uint64_t x = a[w] & b[w]) return w * 64 + std::countr_zero(x);
  }
  return -1;
}

// The number of indexes set in `set`.
inline int count_bits(const uint64_t* set, int words) {
  int n = 0;
  for (int w = 0; w < words; ++w) n += std::popcount(set[w]);
  return n;
}

}  // namespace common

#endif  // COMMON_BITS_H_
