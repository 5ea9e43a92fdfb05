// One set of tags for several populations.
//
// Each population has its own processed tables: the SNPs that vary there and
// their scores there. A SNP can tag only in the populations whose table holds
// it. Greedy and Minimum cover (population, SNP) pairs: the chosen set holds,
// for each population, a tag for each SNP of its table, and the tag may
// differ from one population to another. Minimax keeps one tag per SNP, its
// "universal proxy", which tags it in every population whose table holds it;
// it needs more tags. In every population each SNP then joins, among the
// chosen tags its table holds, the one that gives it the highest score there
// (Greedy, Minimum), or its universal proxy (Minimax).
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <string>
#include <unordered_map>

#include "ldcluster/clusterer.h"

namespace ldcluster {

void build_joint_relation(Clusterer& c) {
  // Every SNP by position; of equal positions, in the order the populations
  // give them.
  struct Entry {
    long long position;
    size_t seen;
    std::string name;
  };
  std::vector<Entry> entries;
  std::unordered_map<std::string, size_t> first;
  for (const Table& t : c.tables) {
    for (const Snp& s : t.snps) {
      if (first.emplace(s.name, entries.size()).second) {
        entries.push_back({std::strtoll(s.position.c_str(), nullptr, 10), entries.size(), s.name});
      }
    }
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.position != b.position ? a.position < b.position : a.seen < b.seen;
  });
  c.joint_names.clear();
  std::unordered_map<std::string, int> joint_of;
  for (const Entry& e : entries) {
    joint_of.emplace(e.name, static_cast<int>(c.joint_names.size()));
    c.joint_names.push_back(e.name);
  }
  int items = 0;
  for (Table& t : c.tables) {
    t.to_joint.clear();
    for (const Snp& s : t.snps) t.to_joint.push_back(joint_of.at(s.name));
    items += static_cast<int>(t.snps.size());
  }
  c.joint.reset(static_cast<int>(c.joint_names.size()), items);
  int offset = 0;
  for (const Table& t : c.tables) {
    const int n = static_cast<int>(t.snps.size());
    for (int a = 0; a < n; ++a) {
      for (int b = 0; b < n; ++b) {
        if (t.relation.tags(a, b)) c.joint.add(t.to_joint[a], offset + b);
      }
    }
    offset += n;
  }
}

void join_jointly_chosen(Clusterer& c, Method m, const std::vector<int>& tags) {
  std::vector<char> chosen(c.joint_names.size(), 0);
  for (int tag : tags) chosen[tag] = 1;
  for (Table& t : c.tables) {
    // The chosen tags this table holds and that can be tags here: the cover
    // gave every SNP here one of them that tags it here.
    std::vector<int> local;
    for (size_t b = 0; b < t.snps.size(); ++b) {
      const int k = static_cast<int>(b);
      if (chosen[t.to_joint[b]] && t.relation.tags(k, k)) local.push_back(k);
    }
    t.results[m].tag_of = join_best_tags(t.scores, local);
  }
}

void minimax_jointly(Clusterer& c) {
  // The universal score of SNP a for SNP x: its lowest score for x over the
  // populations whose table holds x, and 0 when one of them does not hold a.
  const int n = static_cast<int>(c.joint_names.size());
  ScoreMatrix universal;
  universal.reset(n);
  std::vector<char> seen(n, 0);
  std::vector<int> local_of(n);
  for (const Table& t : c.tables) {
    std::fill(local_of.begin(), local_of.end(), -1);
    for (size_t b = 0; b < t.snps.size(); ++b) local_of[t.to_joint[b]] = static_cast<int>(b);
    for (int x = 0; x < n; ++x) {
      const int lx = local_of[x];
      if (lx < 0) continue;
      for (int a = 0; a < n; ++a) {
        const int la = local_of[a];
        const float score = la < 0 ? 0.0f : t.scores.at(la, lx);
        universal.at(a, x) = seen[x] ? std::min(universal.at(a, x), score) : score;
      }
      seen[x] = 1;
    }
  }
  TagRelation relation;
  relation.build(universal);
  const std::vector<int> proxy = minimax_clusters(universal, relation);

  // A SNP that no one SNP tags in every population (only a SNP that cannot
  // be a tag can be one) gets its proxy in each population apart: the
  // universal tag that tags it best there, or else its best tagger there,
  // which becomes a tag in that population.
  for (Table& t : c.tables) {
    const int m = static_cast<int>(t.snps.size());
    std::vector<int>& tag_of = t.results[kMinimax].tag_of;
    tag_of.assign(m, -1);
    std::fill(local_of.begin(), local_of.end(), -1);
    for (int b = 0; b < m; ++b) local_of[t.to_joint[b]] = b;
    for (int b = 0; b < m; ++b) {
      const int p = proxy[t.to_joint[b]];
      if (p >= 0) tag_of[b] = local_of[p];
    }
    place_lone_snps(t.scores, t.relation, tag_of);
  }
}

}  // namespace ldcluster
