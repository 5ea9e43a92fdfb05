// The score matrix and the tagging relation built from it.
#include "common/bits.h"
#include "ldcluster/methods.h"

namespace ldcluster {

void ScoreMatrix::reset(int n) {
  n_ = n;
  cells_.assign(static_cast<size_t>(n) * n, 0.0f);
}

void TagRelation::reset(int candidates, int items) {
  candidates_ = candidates;
  items_ = items;
  item_words_ = (items + 63) / 64;
  candidate_words_ = (candidates + 63) / 64;
  tagged_.assign(row(candidates, item_words_), 0);
  taggers_.assign(row(items, candidate_words_), 0);
}

void TagRelation::add(int candidate, int item) {
  tagged_[row(candidate, item_words_) + item / 64] |= uint64_t{1} << (item % 64);
  taggers_[row(item, candidate_words_) + candidate / 64] |= uint64_t{1} << (candidate % 64);
}

void TagRelation::take_part(const TagRelation& whole, const std::vector<int>& candidates,
                            const std::vector<int>& items) {
  reset(static_cast<int>(candidates.size()), static_cast<int>(items.size()));
  std::vector<int> item_of(whole.items(), -1);
  for (int k = 0; k < items_; ++k) item_of[items[k]] = k;
  for (int c = 0; c < candidates_; ++c) {
    common::for_each_bit(whole.tagged(candidates[c]), whole.item_words(), [&](int b) {
      if (item_of[b] >= 0) add(c, item_of[b]);
    });
  }
}

void TagRelation::build(const ScoreMatrix& scores) {
  const int n = scores.size();
  reset(n, n);
  for (int a = 0; a < n; ++a) {
    if (!scores.tags(a, a)) continue;  // it can be no tag
    const float* s = scores.row(a);
    uint64_t* bits = &tagged_[row(a, item_words_)];
    for (int b = 0; b < n; ++b) bits[b / 64] |= uint64_t{s[b] >= 1.0f} << (b % 64);
  }
  // The other direction, a word of candidates at a time.
  for (int b = 0; b < n; ++b) {
    uint64_t* bits = &taggers_[row(b, candidate_words_)];
    for (int a = 0; a < n; ++a) bits[a / 64] |= ((tagged_[row(a, item_words_) + b / 64] >> (b % 64)) & 1) << (a % 64);
  }
}

int TagRelation::untaggable() const {
  for (int b = 0; b < items_; ++b) {
    const uint64_t* bits = taggers(b);
    bool any = false;
    for (int w = 0; w < candidate_words_ && !any; ++w) any = bits[w] != 0;
    if (!any) return b;
  }
  return -1;
}

}  // namespace ldcluster
