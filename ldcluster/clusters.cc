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

}  // namespace ldcluster
