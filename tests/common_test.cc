// The shared bit-set walks and union-find against plain brute force on
// random cases, words at their edges included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "common/bits.h"
#include "common/union_find.h"

namespace {

bool has(const std::vector<uint64_t>& set, int k) { return (set[k / 64] >> (k % 64)) & 1; }

// Random words, some empty, some full, some with only their end bits set.
std::vector<uint64_t> random_set(std::mt19937_64& rng, int words) {
  std::vector<uint64_t> set(words);
  for (uint64_t& w : set) {
    switch (rng() % 5) {
      case 0:
        w = 0;
        break;
      case 1:
        w = ~uint64_t{0};
        break;
      case 2:
        w = (uint64_t{1} << 63) | 1;
        break;
      default:
        w = rng() & rng();
        break;
    }
  }
  return set;
}

TEST(Bits, WalksVisitWhatTestingEveryIndexFinds) {
  std::mt19937_64 rng(25);
  for (int round = 0; round < 500; ++round) {
    const int words = static_cast<int>(rng() % 5);
    const std::vector<uint64_t> a = random_set(rng, words), b = random_set(rng, words);
    std::vector<int> in_a, in_both;
    for (int k = 0; k < words * 64; ++k) {
      if (has(a, k)) in_a.push_back(k);
      if (has(a, k) && has(b, k)) in_both.push_back(k);
    }

    std::vector<int> seen;
    common::for_each_bit(a.data(), words, [&](int k) { seen.push_back(k); });
    EXPECT_EQ(seen, in_a);
    EXPECT_EQ(common::count_bits(a.data(), words), static_cast<int>(in_a.size()));

    seen.clear();
    common::for_each_bit_in_both(a.data(), b.data(), words, [&](int k) { seen.push_back(k); });
    EXPECT_EQ(seen, in_both);
    EXPECT_EQ(common::first_bit_in_both(a.data(), b.data(), words), in_both.empty() ? -1 : in_both.front());

    // any_bit_in_both stops at the first index that passes: here the
    // second one in both, when there is one.
    seen.clear();
    const bool found = common::any_bit_in_both(a.data(), b.data(), words, [&](int k) {
      seen.push_back(k);
      return seen.size() == 2;
    });
    EXPECT_EQ(found, in_both.size() >= 2);
    EXPECT_EQ(seen, std::vector<int>(in_both.begin(), in_both.begin() + std::min<size_t>(in_both.size(), 2)));
  }
}

TEST(UnionFind, GroupsAreWhatLinksReachAndRootsTheirLowestIndex) {
  std::mt19937 rng(26);
  for (int round = 0; round < 300; ++round) {
    const int n = 1 + static_cast<int>(rng() % 40);
    common::UnionFind groups(n);
    std::vector<std::vector<char>> linked(n, std::vector<char>(n, 0));
    for (int x = 0; x < n; ++x) linked[x][x] = 1;
    for (int k = static_cast<int>(rng() % (2 * n)); k > 0; --k) {
      const int x = static_cast<int>(rng() % n), y = static_cast<int>(rng() % n);
      groups.join(x, y);
      linked[x][y] = linked[y][x] = 1;
    }
    // What the links reach, by closing them (Floyd-Warshall).
    for (int m = 0; m < n; ++m) {
      for (int x = 0; x < n; ++x) {
        for (int y = 0; y < n; ++y) linked[x][y] = linked[x][y] || (linked[x][m] && linked[m][y]);
      }
    }
    for (int x = 0; x < n; ++x) {
      int lowest = 0;
      while (!linked[x][lowest]) ++lowest;
      EXPECT_EQ(groups.root(x), lowest) << "round " << round << ", index " << x;
    }
  }
}

}  // namespace
