// Clusters around chosen tags.
#include "ldcluster/methods.h"

namespace ldcluster {

std::vector<int> join_best_tags(const ScoreMatrix& scores, const std::vector<int>& tags) {
  const int n = scores.size();
  std::vector<int> tag_of(n, -1);
  std::vector<char> is_tag(n, 0);
  for (int t : tags) is_tag[t] = 1;
  // Tags in table order, so that the first of equal scores wins.
  std::vector<int> ordered;
  for (int t = 0; t < n; ++t) {
    if (is_tag[t]) ordered.push_back(t);
  }
  for (int b = 0; b < n; ++b) {
    if (is_tag[b]) {
      tag_of[b] = b;
      continue;
    }
    int best = -1;
    for (int t : ordered) {
      if (scores.tags(t, b) && (best < 0 || scores.at(t, b) > scores.at(best, b))) best = t;
    }
    tag_of[b] = best;
  }
  return tag_of;
}

void place_lone_snps(const ScoreMatrix& scores, const TagRelation& relation, std::vector<int>& tag_of) {
  const int n = scores.size();
  // The SNP that tags u with the highest score, the earliest on a tie, among
  // those `can` allows; -1 when none does.
  auto best_for = [&](int u, auto&& can) {
    int best = -1;
    for (int t = 0; t < n; ++t) {
      if (can(t) && relation.tags(t, u) && (best < 0 || scores.at(t, u) > scores.at(best, u))) best = t;
    }
    return best;
  };
  for (int u = 0; u < n; ++u) {
    if (tag_of[u] >= 0) continue;
    int best = best_for(u, [&](int t) { return tag_of[t] == t; });
    if (best < 0) {
      best = best_for(u, [](int) { return true; });
      if (best < 0) continue;
      tag_of[best] = best;
    }
    tag_of[u] = best;
  }
}

}  // namespace ldcluster
