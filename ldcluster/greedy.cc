// Greedy cover: the tags that must be tags, then the most useful tag, again
// and again.
#include "common/bits.h"
#include "ldcluster/methods.h"

namespace ldcluster {

std::vector<int> greedy_cover(const TagRelation& r) {
  const int nc = r.candidates(), ni = r.items();
  // open[a]: items candidate a tags that no chosen tag tags yet.
  std::vector<int> open(nc, 0);
  for (int a = 0; a < nc; ++a) open[a] = common::count_bits(r.tagged(a), r.item_words());
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
      common::for_each_bit(r.taggers(b), r.candidate_words(), [&](int by) { --open[by]; });
    }
  };

  // Sole taggers, in table order: no cover goes without them.
  std::vector<char> sole(nc, 0);
  for (int b = 0; b < ni; ++b) {
    if (common::count_bits(r.taggers(b), r.candidate_words()) != 1) continue;
    common::for_each_bit(r.taggers(b), r.candidate_words(), [&](int by) { sole[by] = 1; });
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
