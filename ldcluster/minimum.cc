// The fewest tags: set cover, reduced, then solved exactly by CBC.
#include <Cbc_C_Interface.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <string>

#include "common/bits.h"
#include "common/union_find.h"
#include "ldcluster/methods.h"

namespace ldcluster {
namespace {

// A set of indexes as bits.
class Bits {
 public:
  explicit Bits(int size, bool all = false) : words_((size + 63) / 64, all ? ~uint64_t{0} : 0) {
    if (all && size % 64) words_.back() = (uint64_t{1} << (size % 64)) - 1;
  }
  bool has(int k) const { return (words_[k / 64] >> (k % 64)) & 1; }
  void clear(int k) { words_[k / 64] &= ~(uint64_t{1} << (k % 64)); }
  const uint64_t* data() const { return words_.data(); }
  uint64_t* data() { return words_.data(); }
  int words() const { return static_cast<int>(words_.size()); }

 private:
  std::vector<uint64_t> words_;
};

// out = a & b over `words` words; returns the number of bits set.
int intersect(const uint64_t* a, const uint64_t* b, int words, uint64_t* out) {
  int count = 0;
  for (int w = 0; w < words; ++w) count += std::popcount(out[w] = a[w] & b[w]);
  return count;
}

// Whether a & live is a subset of b & live, and whether the two are equal.
void compare(const uint64_t* a, const uint64_t* b, const uint64_t* live, int words, bool* subset, bool* equal) {
  *subset = *equal = true;
  for (int w = 0; w < words && *subset; ++w) {
    uint64_t x = a[w] & live[w], y = b[w] & live[w];
    if (x & ~y) *subset = false;
    if (x != y) *equal = false;
  }
}

// The cover problem as the reductions leave it.
struct Reduced {
  Reduced(const TagRelation& r) : items(r.items(), true), candidates(r.candidates(), true) {}
  Bits items;       // still to be tagged
  Bits candidates;  // still worth choosing
  std::vector<int> taken;
};

// Takes every candidate that is the only one left to tag some item.
bool take_sole_taggers(const TagRelation& r, Reduced& p) {
  bool changed = false;
  std::vector<uint64_t> scratch(r.candidate_words());
  for (int i = 0; i < r.items(); ++i) {
    if (!p.items.has(i)) continue;
    if (intersect(r.taggers(i), p.candidates.data(), r.candidate_words(), scratch.data()) != 1) continue;
    int c = -1;
    common::for_each_bit(scratch.data(), r.candidate_words(), [&](int k) { c = k; });
    p.taken.push_back(c);
    p.candidates.clear(c);
    common::for_each_bit(r.tagged(c), r.item_words(), [&](int k) { p.items.clear(k); });
    changed = true;
  }
  return changed;
}

// Drops each candidate whose items left are all tagged by another candidate
// left too; of two that tag the same items, the later one.
bool drop_dominated_candidates(const TagRelation& r, Reduced& p) {
  bool changed = false;
  for (int c = 0; c < r.candidates(); ++c) {
    if (!p.candidates.has(c)) continue;
    const uint64_t* mine = r.tagged(c);
    const int first = common::first_bit_in_both(mine, p.items.data(), r.item_words());
    // A candidate that tags all of c's items tags its first one.
    const bool dominated =
        first < 0 || common::any_bit_in_both(r.taggers(first), p.candidates.data(), r.candidate_words(), [&](int d) {
          if (d == c) return false;
          bool subset, equal;
          compare(mine, r.tagged(d), p.items.data(), r.item_words(), &subset, &equal);
          return subset && (!equal || d < c);
        });
    if (dominated) {
      p.candidates.clear(c);
      changed = true;
    }
  }
  return changed;
}

// Drops each item whose taggers left all tag another item left too: tagging
// that one tags it. Of two with the same taggers, the later one.
bool drop_dominated_items(const TagRelation& r, Reduced& p) {
  bool changed = false;
  for (int s = 0; s < r.items(); ++s) {
    if (!p.items.has(s)) continue;
    const uint64_t* mine = r.taggers(s);
    const int first = common::first_bit_in_both(mine, p.candidates.data(), r.candidate_words());
    if (first < 0) continue;
    // An item with all of s's taggers is tagged by s's first one.
    common::for_each_bit_in_both(r.tagged(first), p.items.data(), r.item_words(), [&](int i) {
      if (i == s) return;
      bool subset, equal;
      compare(mine, r.taggers(i), p.candidates.data(), r.candidate_words(), &subset, &equal);
      if (subset && (!equal || s < i)) {
        p.items.clear(i);
        changed = true;
      }
    });
  }
  return changed;
}

// A part of the reduced problem that no tagging links to the rest.
struct Part {
  std::vector<int> items, candidates;
};

std::vector<Part> split(const TagRelation& r, const Reduced& p) {
  // Items and candidates in one union-find: candidates first, then items.
  const int nc = r.candidates();
  common::UnionFind groups(nc + r.items());
  for (int c = 0; c < nc; ++c) {
    if (!p.candidates.has(c)) continue;
    common::for_each_bit_in_both(r.tagged(c), p.items.data(), r.item_words(), [&](int i) { groups.join(c, nc + i); });
  }
  std::vector<int> part_of(nc + r.items(), -1);
  std::vector<Part> parts;
  auto part = [&](int x) -> Part& {
    int root_x = groups.root(x);
    if (part_of[root_x] < 0) {
      part_of[root_x] = static_cast<int>(parts.size());
      parts.emplace_back();
    }
    return parts[part_of[root_x]];
  };
  for (int c = 0; c < nc; ++c) {
    if (p.candidates.has(c)) part(c).candidates.push_back(c);
  }
  for (int i = 0; i < r.items(); ++i) {
    if (p.items.has(i)) part(nc + i).items.push_back(i);
  }
  // Candidates that tag no item left form parts without items: not needed.
  std::erase_if(parts, [](const Part& q) { return q.items.empty(); });
  return parts;
}

struct PartCover {
  std::vector<int> tags;  // candidates
  bool optimal = true;
  int lower_bound = 0;
};

// Solves one part with CBC within `seconds`, started from its greedy cover.
// The reductions left no item of the part with a sole tagger, so that cover
// is made of the candidates that tag the most items left, one at a time.
PartCover solve_part(const TagRelation& r, const Part& q, double seconds) {
  TagRelation part;
  part.take_part(r, q.candidates, q.items);
  std::vector<int> start_cover = greedy_cover(part);
  PartCover out;
  // Greedy's first tag tags the most items: when two tags do, one cannot.
  if (start_cover.size() <= 2) {
    for (int k : start_cover) out.tags.push_back(q.candidates[k]);
    out.lower_bound = static_cast<int>(out.tags.size());
    return out;
  }
  const int cols = part.candidates(), rows = part.items();
  std::vector<int> start{0}, index;
  for (int k = 0; k < cols; ++k) {
    common::for_each_bit(part.tagged(k), part.item_words(), [&](int row) { index.push_back(row); });
    start.push_back(static_cast<int>(index.size()));
  }
  std::vector<double> value(index.size(), 1.0), lower(cols, 0.0), upper(cols, 1.0), cost(cols, 1.0);
  std::vector<double> row_lower(rows, 1.0);

  Cbc_Model* model = Cbc_newModel();
  Cbc_loadProblem(model, cols, rows, start.data(), index.data(), value.data(), lower.data(), upper.data(), cost.data(),
                  row_lower.data(), nullptr);
  for (int k = 0; k < cols; ++k) Cbc_setInteger(model, k);
  std::vector<double> ones(start_cover.size(), 1.0);
  Cbc_setMIPStartI(model, static_cast<int>(start_cover.size()), start_cover.data(), ones.data());
  Cbc_setLogLevel(model, 0);
  Cbc_setParameter(model, "threads", "1");
  Cbc_setParameter(model, "timeMode", "elapsed");
  Cbc_setMaximumSeconds(model, std::max(seconds, 0.001));
  Cbc_solve(model);
  const double* solution = Cbc_bestSolution(model);
  if (solution) {
    for (int k = 0; k < cols; ++k) {
      if (solution[k] > 0.5) out.tags.push_back(q.candidates[k]);
    }
  } else {
    for (int k : start_cover) out.tags.push_back(q.candidates[k]);
  }
  out.optimal = Cbc_isProvenOptimal(model) != 0;
  const int found = static_cast<int>(out.tags.size());
  if (out.optimal) {
    out.lower_bound = found;
  } else {
    double bound = Cbc_getBestPossibleObjValue(model);
    out.lower_bound = std::isfinite(bound) ? std::clamp(static_cast<int>(std::ceil(bound - 1e-6)), 1, found) : 1;
  }
  Cbc_deleteModel(model);
  return out;
}

}  // namespace

MinimumCover minimum_cover(const TagRelation& r, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  Reduced p(r);
  // Candidates that tag nothing are no use.
  for (int c = 0; c < r.candidates(); ++c) {
    bool any = false;
    for (int w = 0; w < r.item_words() && !any; ++w) any = r.tagged(c)[w] != 0;
    if (!any) p.candidates.clear(c);
  }
  for (bool changed = true; changed;) {
    changed = take_sole_taggers(r, p);
    changed |= drop_dominated_candidates(r, p);
    changed |= drop_dominated_items(r, p);
  }

  MinimumCover out;
  out.tags = p.taken;
  out.lower_bound = static_cast<int>(p.taken.size());
  for (const Part& q : split(r, p)) {
    double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
    PartCover cover = solve_part(r, q, left);
    out.tags.insert(out.tags.end(), cover.tags.begin(), cover.tags.end());
    out.optimal = out.optimal && cover.optimal;
    out.lower_bound += cover.lower_bound;
  }
  std::sort(out.tags.begin(), out.tags.end());
  return out;
}

}  // namespace ldcluster
