// Greedy cover: the tags that must be tags, then the most useful tag, again
// and again.
#include <bit>

#include "ldcluster/methods.h"

namespace ldcluster {

std::vector<int> greedy_cover(const TagRelation& r) {
  const int nc = r.candidates(), ni = r.items();
  // open[a]: items candidate a tags that no chosen tag tags yet.
  std::vector<int> open(nc, 0);
  for (int a = 0; a < nc; ++a) {
    for (int w = 0; w < r.item_words(); ++w) open[a] += std::popcount(r.tagged(a)[w]);
  }
  std::vector<char> tagged(ni, 0), chosen(nc, 0);
  std::vector<int> tags;
  int left = ni;
  auto choose = [&](int a) {
    chosen[a] = 1;
    tags.push_back(a);
    for (int b = 0; b < ni; ++b) {
      if (tagged[b] || !r.tags(a, b)) continue;
      tagged[b] = 1;
      --left;
      const uint64_t* by = r.taggers(b);
      for (int w = 0; w < r.candidate_words(); ++w) {
        for (uint64_t bits = by[w]; bits; bits &= bits - 1) --open[w * 64 + std::countr_zero(bits)];
      }
    }
  };

  // Sole taggers, in table order: no cover goes without them.
  std::vector<char> sole(nc, 0);
  for (int b = 0; b < ni; ++b) {
    const uint64_t* by = r.taggers(b);
    int count = 0, last = -1;
    for (int w = 0; w < r.candidate_words() && count < 2; ++w) {
      if (by[w] == 0) continue;
      count += std::popcount(by[w]);
      last = w * 64 + std::countr_zero(by[w]);
    }
    if (count == 1) sole[last] = 1;
  }
  for (int a = 0; a < nc; ++a) {
    if (sole[a]) choose(a);
  }

  while (left > 0) {
    int best = -1;
    for (int a = 0; a < nc; ++a) {
      if (!chosen[a] && open[a] > 0 && (best < 0 || open[a] > open[best])) best = a;
    }
    if (best < 0) break;  // an item nothing tags; the caller checked there is none
    choose(best);
  }
  return tags;
}

}  // namespace ldcluster
