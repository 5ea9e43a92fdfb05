// The fewest candidates of a tagging relation that tag every item, by trying
// every set of candidates of one size, then of the next: the answer the
// Minimum method is checked against, for relations of at most 64 items.
#ifndef TESTS_BRUTE_FORCE_COVER_H_
#define TESTS_BRUTE_FORCE_COVER_H_

#include <cstdint>
#include <vector>

#include "ldcluster/methods.h"

namespace testing_support {

inline int brute_force_minimum(const ldcluster::TagRelation& r) {
  const int n = r.candidates();
  std::vector<uint64_t> covers(n, 0);
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < r.items(); ++b) covers[a] |= uint64_t{r.tags(a, b)} << b;
  }
  const uint64_t all = r.items() == 64 ? ~uint64_t{0} : (uint64_t{1} << r.items()) - 1;
  // Whether `left` more candidates from `from` on tag what `covered` lacks.
  auto fits = [&](auto&& self, int from, int left, uint64_t covered) -> bool {
    if (covered == all) return true;
    if (left == 0) return false;
    for (int a = from; a < n; ++a) {
      if (self(self, a + 1, left - 1, covered | covers[a])) return true;
    }
    return false;
  };
  for (int k = 0;; ++k) {
    if (fits(fits, 0, k, 0)) return k;
  }
}

}  // namespace testing_support

#endif  // TESTS_BRUTE_FORCE_COVER_H_
