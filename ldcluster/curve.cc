// The greedy coverage order, and where along it each item is captured.
#include <cstdint>

#include "common/bits.h"
#include "ldcluster/max_coverage.h"

namespace ldcluster {

using common::count_bits;
using common::for_each_bit;

CoverageOrder coverage_order(const TagRelation& r, const std::vector<int>& forced) {
  const int nc = r.candidates();
  // open[a]: the items candidate a tags that no tag taken captures yet.
  std::vector<int> open(nc, 0);
  for (int a = 0; a < nc; ++a) open[a] = count_bits(r.tagged(a), r.item_words());
  std::vector<char> captured(r.items(), 0);
  CoverageOrder order;
  auto take = [&](int a) {
    int gain = 0;
    for_each_bit(r.tagged(a), r.item_words(), [&](int b) {
      if (captured[b]) return;
      captured[b] = 1;
      ++gain;
      for_each_bit(r.taggers(b), r.candidate_words(), [&](int d) { --open[d]; });
    });
    order.tags.push_back(a);
    order.gains.push_back(gain);
  };
  for (int a : forced) take(a);
  order.forced = static_cast<int>(forced.size());
  // A candidate taken has nothing open left, so it is never taken twice.
  // The gains do not increase: coverage is submodular, so a candidate's open
  // count can only fall as items are captured. The best count after a step
  // is some candidate's count, which was no larger before that step, when
  // it was at most the best count then.
  for (;;) {
    int best = -1;
    for (int a = 0; a < nc; ++a) {
      if (open[a] > 0 && (best < 0 || open[a] > open[best])) best = a;
    }
    if (best < 0) break;
    take(best);
  }
  return order;
}

std::vector<int> first_capture(const TagRelation& r, const std::vector<int>& tags) {
  std::vector<int> rank(r.items(), -1);
  for (size_t k = 0; k < tags.size(); ++k) {
    for_each_bit(r.tagged(tags[k]), r.item_words(), [&](int b) {
      if (rank[b] < 0) rank[b] = static_cast<int>(k);
    });
  }
  return rank;
}

int captured_by(const TagRelation& r, const std::vector<int>& tags) {
  std::vector<uint64_t> any(r.item_words(), 0);
  for (int a : tags) {
    for (int w = 0; w < r.item_words(); ++w) any[w] |= r.tagged(a)[w];
  }
  int count = 0;
  for (uint64_t w : any) count += std::popcount(w);
  return count;
}

}  // namespace ldcluster
