// Maximum coverage on a tagging relation: with a budget of K tags, capture as
// many items as possible.
//
// An item is captured by a set of tags when one of them tags it
// (TagRelation). Forced candidates (the needed SNPs) are tags in every
// result and count against the budget. Items count once each; with several
// populations an item is a (population, SNP) pair.
//
// The greedy order takes the forced candidates, then again and again the
// candidate that captures the most items not yet captured. Its first K tags
// are the greedy budget of K. With F forced and k = K - |F| greedy picks,
// captured(greedy) - captured(F) >= (1 - 1/e) (captured(opt) - captured(F)):
// the items a set S captures beyond F's are a monotone submodular function
// of S, for which greedy reaches 1 - (1 - 1/k)^k >= 1 - 1/e of the best
// (Nemhauser, Wolsey and Fisher, 1978).
//
// The exact maximum is an integer program solved by CBC after reductions
// that keep its optimum; the same input gives the same tags every time
// unless the time limit stops the solver.
#ifndef LDCLUSTER_MAX_COVERAGE_H_
#define LDCLUSTER_MAX_COVERAGE_H_

#include <vector>

#include "ldcluster/methods.h"

namespace ldcluster {

// The greedy coverage order (curve.cc).
struct CoverageOrder {
  std::vector<int> tags;   // the forced candidates, then the greedy picks
  std::vector<int> gains;  // per tag, the items it captures that no earlier tag captures
  int forced = 0;          // how many of tags are forced
};

// The forced candidates (distinct, in the order given), then one at a time
// the candidate that captures the most items not yet captured, the earliest
// (lowest index) on a tie, until no candidate captures more: every item is
// captured that some candidate tags. Every gain after the forced ones is
// above 0 and no larger than the one before.
CoverageOrder coverage_order(const TagRelation& relation, const std::vector<int>& forced);

// Per item, the index in `tags` of the first tag that tags it, or -1 when
// none does.
std::vector<int> first_capture(const TagRelation& relation, const std::vector<int>& tags);

// The number of items that `tags` capture.
int captured_by(const TagRelation& relation, const std::vector<int>& tags);

// What a budget of tags captures (max_coverage.cc).
struct BudgetCover {
  std::vector<int> tags;  // in table order, the forced ones among them
  int captured = 0;       // items the tags capture
  int bound = 0;          // proven: no `budget` tags with the forced ones capture more
  bool optimal = true;    // captured == bound
};

// The most items `budget` tags can capture, the `forced` candidates among
// them (fewer than `budget`, distinct), solved exactly by CBC within
// `seconds`. `start`, a set of at most `budget` candidates holding the forced
// ones (the greedy budget), starts the solver, and the result captures at
// least as many items as it does. Before the solver runs, the items the
// forced candidates tag are taken as captured, items with the same
// candidates left merge into one weighted item, and a candidate whose items
// another candidate also tags is dropped (the later one of two that tag the
// same items). A budget shares out over the whole relation, so what is left
// is one integer program. When the time limit stops the solver, the best set
// found is returned with optimal false and the solver's proven bound.
BudgetCover maximum_coverage(const TagRelation& relation, const std::vector<int>& forced, int budget,
                             const std::vector<int>& start, double seconds);

}  // namespace ldcluster

#endif  // LDCLUSTER_MAX_COVERAGE_H_
