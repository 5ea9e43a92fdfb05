// Needed SNPs: the done SNPs plus greedy picks that tag every tagged
// undesirable SNP, each then tagged by itself only.
#include <cstdint>
#include <string>

#include "ldprune/steps.h"

namespace ldprune {
namespace {

using textio::Failure;

// Scores of the greedy pick, kept up to date as elements get covered: the
// score of entry i is the number of uncovered elements that i tags. The
// scores are counted once, row by row, noting each element's taggers; a
// newly covered element then lowers just its taggers' scores.
class Coverage {
 public:
  Coverage(Preprocessor& p) : p_(p), covered_(p.tagged.size(), 0) {}

  size_t covered() const { return count_; }
  size_t elements() const { return covered_.size(); }

  // Covers every element that entry i tags.
  void cover_by(int i) {
    for (size_t e = 0; e < covered_.size(); ++e) {
      if (!covered_[e] && tags(p_.new_r2.at(i, p_.tagged[e].new_index))) cover(e);
    }
  }

  // The entry with the highest score, the lowest index among equals, and
  // its score.
  std::pair<int, long> best() {
    if (score_.empty()) start_scores();
    int best = 0;
    for (int i = 1; i < p_.new_n(); ++i) {
      if (score_[i] > score_[best]) best = i;
    }
    return {best, p_.new_n() > 0 ? score_[best] : 0};
  }

 private:
  void start_scores() {
    const int nn = p_.new_n();
    score_.assign(nn, 0);
    taggers_.assign(covered_.size(), {});
    std::vector<size_t> open;
    for (size_t e = 0; e < covered_.size(); ++e) {
      if (!covered_[e]) open.push_back(e);
    }
    std::vector<float> row(nn);
    for (int i = 0; i < nn; ++i) {
      p_.new_r2.row(i, row.data());
      for (size_t e : open) {
        if (tags(row[p_.tagged[e].new_index])) {
          ++score_[i];
          taggers_[e].push_back(static_cast<uint16_t>(i));
        }
      }
    }
  }
  void cover(size_t e) {
    covered_[e] = 1;
    ++count_;
    if (score_.empty()) return;
    for (uint16_t i : taggers_[e]) --score_[i];
  }

  Preprocessor& p_;
  std::vector<char> covered_;
  size_t count_ = 0;
  std::vector<long> score_;
  std::vector<std::vector<uint16_t>> taggers_;  // per element, once scores exist
};

}  // namespace

void select_needed(Preprocessor& p) {
  // Each done SNP is the last new-table entry of its name. A done name that
  // is not in the new table (unknown, or a dropped undesirable SNP) is left
  // out: it covers nothing and is not forced.
  p.needed.clear();
  const int unknown = p.diag.kind(std::string("SNPs of ") + kDoneFile + " not in the new table");
  for (size_t d = 0; d < p.done.size(); ++d) {
    int g = p.new_index.find(p.done[d]);
    if (g == textio::NameIndex::kNone) {
      p.diag.warn(unknown, [&] {
        return textio::at_record(kDoneFile, static_cast<long>(d + 1)) + "SNP " + std::string(p.done[d].str()) +
               " is not in the new table (not in the SNP list, or an undesirable SNP that no desirable SNP "
               "tags); it is ignored";
      });
      continue;
    }
    p.needed.push_back(p.new_index.last(g));
  }

  Coverage coverage(p);
  for (int n : p.needed) coverage.cover_by(n);
  while (coverage.covered() < coverage.elements()) {
    auto [best, score] = coverage.best();
    if (score == 0) {
      throw Failure{textio::kExitInputError, "no SNP tags the remaining " +
                                                 std::to_string(coverage.elements() - coverage.covered()) +
                                                 " tagged undesirable SNPs; needed-SNP selection cannot go on"};
    }
    if (p.needed.size() >= static_cast<size_t>(common::kMaxSnps)) {
      throw Failure{textio::kExitInputError, "more than " + std::to_string(common::kMaxSnps) + " needed SNPs"};
    }
    p.needed.push_back(best);
    coverage.cover_by(best);
  }

  for (size_t k = 0; k < p.needed.size(); ++k) {
    p.log.put("the ");
    p.log.put_integer(static_cast<int64_t>(k));
    p.log.put("th needed SNP (counting from 0) is: ");
    p.log.put(p.new_table[p.needed[k]].name.str());
    p.log.put('\n');
  }
}

void force_needed(Preprocessor& p) {
  for (int n : p.needed) p.new_r2.force_column(n);
}

}  // namespace ldprune
