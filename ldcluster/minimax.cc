// Minimax linkage: clusters merged while their union has a centre.
//
// Clusters start as single SNPs. A centre of a set of SNPs is a member that
// can be a tag and tags every member; its value is its lowest score over the
// other members. The linkage of two clusters is the highest value of a centre
// of their union. Again and again the two clusters with the highest linkage
// merge; on a tie, the pair whose first SNPs come first in the table (the
// earlier of the two first SNPs, then the later). Merging stops when no two
// clusters have a centre. A cluster's tag is its best centre, the earliest in
// the table on a tie; a cluster of one SNP is led by that SNP.
//
// A SNP that cannot tag itself (an undesirable SNP) starts as a cluster
// without a centre and can only join a cluster whose centre tags it. ldprune
// gives each of them a tagger among the needed SNPs, which are tagged by
// themselves only: a needed SNP is the centre of any cluster it is in, so
// merging cannot stop while such a SNP is alone. A table not made by ldprune
// may lack that tagger. A SNP left alone then joins the tag that scores it
// best, or, when no tag tags it, its best tagger leaves its cluster to lead a
// new one with it; what that tagger leaves keeps its centre.
//
// No centre tags across two parts of the table that no tagging links, so
// each part is clustered on its own. In a part where one SNP tags every SNP,
// merging always ends in one cluster (that SNP would be a centre of any two
// clusters left), so such a part becomes one cluster at once.
#include <algorithm>
#include <limits>

#include "common/bits.h"
#include "common/union_find.h"
#include "ldcluster/methods.h"

namespace ldcluster {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNone = -kInf;  // no centre

// The parts of the table that tagging links, each in table order.
std::vector<std::vector<int>> parts(const TagRelation& r) {
  const int n = r.candidates();
  common::UnionFind groups(n);
  for (int a = 0; a < n; ++a) common::for_each_bit(r.tagged(a), r.item_words(), [&](int b) { groups.join(a, b); });
  std::vector<int> part_of(n, -1);
  std::vector<std::vector<int>> out;
  for (int a = 0; a < n; ++a) {
    int x = groups.root(a);
    if (part_of[x] < 0) {
      part_of[x] = static_cast<int>(out.size());
      out.emplace_back();
    }
    out[part_of[x]].push_back(a);
  }
  return out;
}

// The best centre of the whole part when one SNP tags all of it, else -1.
int universal_centre(const ScoreMatrix& s, const TagRelation& r, const std::vector<int>& part) {
  int best = -1;
  float best_value = kNone;
  for (int c : part) {
    float value = kInf;
    bool all = true;
    for (int x : part) {
      if (!r.tags(c, x)) {
        all = false;
        break;
      }
      if (x != c) value = std::min(value, s.at(c, x));
    }
    if (all && (best < 0 || value > best_value)) {
      best = c;
      best_value = value;
    }
  }
  return best;
}

// Merging within one part of m SNPs, in local indices 0..m-1 (table order).
// A cluster lives in the slot of its first SNP. V[c][x] is kept only for the
// SNPs c that are still a centre of their own cluster: a SNP that is not
// never becomes one again, since its cluster only grows.
class Merger {
 public:
  Merger(const ScoreMatrix& s, const TagRelation& r, const std::vector<int>& part)
      : m_(static_cast<int>(part.size())),
        v_(static_cast<size_t>(m_) * m_),
        link_(static_cast<size_t>(m_) * m_, kNone),
        members_(m_),
        centres_(m_),
        cluster_of_(m_),
        centre_(m_, 0),
        best_(m_),
        acc_(m_) {
    std::vector<int> local_of(r.candidates(), -1);
    for (int c = 0; c < m_; ++c) local_of[part[c]] = c;
    for (int c = 0; c < m_; ++c) {
      const float* row = s.row(part[c]);
      for (int x = 0; x < m_; ++x) v(c, x) = row[part[x]];
      v(c, c) = kInf;
      members_[c] = {c};
      cluster_of_[c] = c;
      if (r.tags(part[c], part[c])) {
        centres_[c] = {c};
        centre_[c] = 1;
      }
    }
    // Two single SNPs have a centre when one tags the other.
    for (int a = 0; a < m_; ++a) {
      if (!centre_[a]) continue;
      common::for_each_bit(r.tagged(part[a]), r.item_words(), [&](int b) {
        const int x = local_of[b];
        if (x != a) link(a, x) = link(x, a) = std::max(link(a, x), v(a, x));
      });
    }
    for (int a = 0; a < m_; ++a) rescan(a);
  }

  void run() {
    for (;;) {
      int x = -1;
      for (int a = 0; a < m_; ++a) {
        if (best_[a].value != kNone && (x < 0 || better(a, x))) x = a;
      }
      if (x < 0) return;
      merge(std::min(x, best_[x].partner), std::max(x, best_[x].partner));
    }
  }

  // Per local SNP, the local tag of its cluster, or -1 for a SNP alone
  // without a centre.
  std::vector<int> tags() const {
    std::vector<int> tag_of(m_, -1);
    for (int a = 0; a < m_; ++a) {
      if (members_[a].empty() || centres_[a].empty()) continue;
      int tag = centres_[a].front();
      for (int c : centres_[a]) {
        if (v(c, a) > v(tag, a)) tag = c;  // in table order: the first of equals stays
      }
      for (int x : members_[a]) tag_of[x] = tag;
    }
    return tag_of;
  }

 private:
  struct Best {
    float value = kNone;
    int partner = -1;
  };

  float& v(int c, int x) { return v_[static_cast<size_t>(c) * m_ + x]; }
  float v(int c, int x) const { return v_[static_cast<size_t>(c) * m_ + x]; }
  float& link(int a, int b) { return link_[static_cast<size_t>(a) * m_ + b]; }

  // Whether row a's best pair comes before row b's.
  bool better(int a, int b) const {
    if (best_[a].value != best_[b].value) return best_[a].value > best_[b].value;
    auto key = [&](int row) {
      int p = best_[row].partner;
      return std::pair(std::min(row, p), std::max(row, p));
    };
    return key(a) < key(b);
  }

  // Row a's best partner: the highest linkage, the earliest partner on a
  // tie, which is also the pair that comes first.
  void rescan(int a) {
    const float* row = &link_[static_cast<size_t>(a) * m_];
    Best b;
    for (int x = 0; x < m_; ++x) {
      if (row[x] > b.value) b = {row[x], x};
    }
    best_[a] = b;
  }

  // Cluster b joins cluster a (a < b).
  void merge(int a, int b) {
    for (int x : members_[b]) cluster_of_[x] = a;
    members_[a].insert(members_[a].end(), members_[b].begin(), members_[b].end());
    members_[b].clear();
    // V[c][a] becomes the lowest score of c over the union.
    for (int c = 0; c < m_; ++c) {
      if (centre_[c]) v(c, a) = std::min(v(c, a), v(c, b));
    }
    std::vector<int> centres;
    for (const std::vector<int>* list : {&centres_[a], &centres_[b]}) {
      for (int c : *list) {
        if (v(c, a) >= 1.0f) {
          centres.push_back(c);
        } else {
          centre_[c] = 0;
        }
      }
    }
    std::sort(centres.begin(), centres.end());
    centres_[a] = std::move(centres);
    centres_[b].clear();
    for (int x = 0; x < m_; ++x) {
      if (link(b, x) != kNone) link(b, x) = link(x, b) = kNone;
    }
    best_[b] = Best{};

    // The linkage of the union with every other cluster: its own centres
    // over each cluster, then each cluster's centres over the union.
    std::fill(acc_.begin(), acc_.end(), kNone);
    float* acc = acc_.data();
    for (int c : centres_[a]) {
      const float own = v(c, a);
      const float* row = &v_[static_cast<size_t>(c) * m_];
      for (int x = 0; x < m_; ++x) acc[x] = std::max(acc[x], std::min(own, row[x]));
    }
    for (int c = 0; c < m_; ++c) {
      const int x = cluster_of_[c];
      if (centre_[c] && x != a) acc[x] = std::max(acc[x], std::min(v(c, x), v(c, a)));
    }
    for (int x = 0; x < m_; ++x) {
      if (x == a || members_[x].empty()) continue;
      const float value = acc[x] >= 1.0f ? acc[x] : kNone;
      if (value != link(a, x)) link(a, x) = link(x, a) = value;
    }
    rescan(a);
    const float* row = &link_[static_cast<size_t>(a) * m_];
    for (int x = 0; x < m_; ++x) {
      if (x == a || members_[x].empty()) continue;
      if (best_[x].partner == a || best_[x].partner == b) {
        rescan(x);
      } else if (row[x] > best_[x].value || (row[x] == best_[x].value && row[x] != kNone && a < best_[x].partner)) {
        best_[x] = {row[x], a};
      }
    }
  }

  int m_;
  std::vector<float> v_;                   // V[c][x]: lowest score of SNP c over cluster x, c left out
  std::vector<float> link_;                // linkage of two clusters, kNone without a centre
  std::vector<std::vector<int>> members_;  // per slot, empty once merged away
  std::vector<std::vector<int>> centres_;  // per slot, in table order
  std::vector<int> cluster_of_;            // per SNP, its cluster's slot
  std::vector<char> centre_;               // per SNP, whether it is a centre of its cluster
  std::vector<Best> best_;
  std::vector<float> acc_;
};

}  // namespace

std::vector<int> minimax_clusters(const ScoreMatrix& s, const TagRelation& r, bool shortcut) {
  const int n = s.size();
  std::vector<int> tag_of(n, -1);
  for (const std::vector<int>& part : parts(r)) {
    if (part.size() == 1) {
      if (r.tags(part[0], part[0])) tag_of[part[0]] = part[0];
      continue;
    }
    if (int centre = shortcut ? universal_centre(s, r, part) : -1; centre >= 0) {
      for (int x : part) tag_of[x] = centre;
      continue;
    }
    Merger merger(s, r, part);
    merger.run();
    std::vector<int> local = merger.tags();
    for (size_t k = 0; k < part.size(); ++k) tag_of[part[k]] = local[k] < 0 ? -1 : part[local[k]];
  }

  // SNPs left alone without a centre; see the top of this file.
  place_lone_snps(s, r, tag_of);
  return tag_of;
}

}  // namespace ldcluster
