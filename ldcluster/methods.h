// The tag selection methods, on a score matrix in memory.
//
// Scores come from ldprune: score(a, b) >= 1.0 means SNP a tags SNP b. The
// relation is directed. A SNP can be a tag only when it tags itself; ldprune
// gives an undesirable SNP the score 0 for every SNP, itself included, and a
// needed SNP a score of at least 1.0 from itself only.
//
// Every method needs each SNP to have a tagger that can be a tag
// (TagRelation::untaggable() finds one that has none). Ties are broken by
// table order, as each function says, so a method gives the same tags for the
// same input on every run; the Minimum method does too unless its time limit
// stops the solver.
#ifndef LDCLUSTER_METHODS_H_
#define LDCLUSTER_METHODS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ldcluster {

class ScoreMatrix {
 public:
  // n x n scores, all 0.
  void reset(int n);
  int size() const { return n_; }
  float at(int a, int b) const { return cells_[static_cast<size_t>(a) * n_ + b]; }
  float& at(int a, int b) { return cells_[static_cast<size_t>(a) * n_ + b]; }
  const float* row(int a) const { return cells_.data() + static_cast<size_t>(a) * n_; }
  bool tags(int a, int b) const { return at(a, b) >= 1.0f; }

 private:
  std::vector<float> cells_;
  int n_ = 0;
};

// Which candidate tags which item, as bit rows both ways. For one population
// candidates and items are both the SNPs of the table.
class TagRelation {
 public:
  // Candidate a tags item b when scores.tags(a, b) and a tags itself.
  void build(const ScoreMatrix& scores);
  // An empty relation of `candidates` x `items`, to be filled with add().
  void reset(int candidates, int items);
  void add(int candidate, int item);
  // The part of `whole` between the given candidates and items, each listed
  // in table order, renumbered in that order from 0.
  void take_part(const TagRelation& whole, const std::vector<int>& candidates, const std::vector<int>& items);

  int candidates() const { return candidates_; }
  int items() const { return items_; }
  bool tags(int a, int b) const { return (tagged_[row(a, item_words_) + b / 64] >> (b % 64)) & 1; }
  // Bits of the items candidate a tags, and of the candidates that tag item b.
  const uint64_t* tagged(int a) const { return &tagged_[row(a, item_words_)]; }
  const uint64_t* taggers(int b) const { return &taggers_[row(b, candidate_words_)]; }
  int item_words() const { return item_words_; }
  int candidate_words() const { return candidate_words_; }
  // The first item no candidate tags, or -1.
  int untaggable() const;

 private:
  static size_t row(int k, int words) { return static_cast<size_t>(k) * words; }
  int candidates_ = 0, items_ = 0;
  int item_words_ = 0, candidate_words_ = 0;
  std::vector<uint64_t> tagged_;   // candidates x item_words_
  std::vector<uint64_t> taggers_;  // items x candidate_words_
};

// Greedy cover (greedy.cc). First, in table order, every candidate that is
// the only tagger of some item (the needed SNPs among them); then, one at a
// time, the candidate that tags the most items not yet tagged, the earliest
// in the table on a tie, until every item is tagged. Returns the tags in the
// order chosen.
std::vector<int> greedy_cover(const TagRelation& relation);

// The fewest tags that tag every item (minimum.cc).
struct MinimumCover {
  std::vector<int> tags;  // in table order
  bool optimal = true;    // false when the time limit stopped the solver
  int lower_bound = 0;    // the solver's proven bound on the fewest tags
};
// Reduces the cover problem (tags that are the only tagger of an item are
// taken; an item whose taggers all tag another item is dropped; a candidate
// whose items another candidate also tags is dropped, the later one when
// both tag the same), then solves each connected part that is left as an
// integer program with CBC, started from the greedy cover. `seconds` limits
// the solver's time over all parts.
MinimumCover minimum_cover(const TagRelation& relation, double seconds);

// Every SNP joins the tag that gives it the highest score, the earliest tag
// in the table on a tie; a tag is in its own cluster. Returns per SNP the tag
// of its cluster. Every SNP must be tagged by one of `tags` (clusters.cc).
std::vector<int> join_best_tags(const ScoreMatrix& scores, const std::vector<int>& tags);

// Gives each SNP that is in no cluster (tag_of[x] < 0), in table order, the
// tag that scores it best; when no tag tags it, its best tagger leaves its
// cluster to lead a new one with it (the cluster it leaves keeps its tag).
// The earliest in the table wins a tie. A SNP that nothing tags stays in no
// cluster (clusters.cc).
void place_lone_snps(const ScoreMatrix& scores, const TagRelation& relation, std::vector<int>& tag_of);

// Agglomerative clustering by minimax linkage (minimax.cc). Returns per SNP
// the tag of its cluster. See minimax.cc for the linkage and its ties.
// `shortcut` lets a part of the table in which one SNP tags every SNP
// become one cluster at once, which is what merging gives there too; tests
// turn it off to check that.
std::vector<int> minimax_clusters(const ScoreMatrix& scores, const TagRelation& relation, bool shortcut = true);

}  // namespace ldcluster

#endif  // LDCLUSTER_METHODS_H_
