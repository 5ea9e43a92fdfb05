// The coverage order and the best tags for a budget, on the relation the
// methods cover.
#include <algorithm>
#include <cstdio>
#include <string>

#include "ldcluster/clusterer.h"

namespace ldcluster {

const char* const kBudgetMethodNames[kBudgetMethods] = {"budget_greedy", "budget_maximum"};

std::string budget_file(BudgetMethod m) { return std::string(kBudgetMethodNames[m]) + ".tsv"; }

namespace {

const TagRelation& relation_of(const Clusterer& c) { return c.tables.size() > 1 ? c.joint : c.tables.front().relation; }

// The needed SNPs of every table as candidates, in table (joint) order.
std::vector<int> forced_candidates(const Clusterer& c) {
  std::vector<char> forced(relation_of(c).candidates(), 0);
  for (size_t k = 0; k < c.tables.size(); ++k) {
    const Table& t = c.tables[k];
    for (int b : c.coverage.needed[k]) {
      if (!t.relation.tags(b, b)) {
        textio::fail_input(t.path(c.options.coverage.needed.c_str()) + ": the needed SNP " + t.snps[b].name +
                           " cannot be a tag: its score for itself in " + t.path(c.options.score_file()) +
                           " is below 1.0");
      }
      forced[c.tables.size() > 1 ? t.to_joint[b] : b] = 1;
    }
  }
  std::vector<int> out;
  for (size_t a = 0; a < forced.size(); ++a) {
    if (forced[a]) out.push_back(static_cast<int>(a));
  }
  return out;
}

// The warning when the time limit stopped the solver.
void warn_time_limit(Clusterer& c, const BudgetCover& cover) {
  char limit[32];
  std::snprintf(limit, sizeof limit, "%g", c.options.time_limit);
  const std::string tags = std::to_string(c.options.coverage.max_tags);
  const std::string items =
      std::to_string(relation_of(c).items()) + (c.tables.size() > 1 ? " SNPs of all populations" : " SNPs");
  c.diag.print(std::string(kBudgetMethodNames[kBudgetMaximum]) + ": the time limit of " + limit +
               " s stopped the solver; the best " + tags + " tags found capture " + std::to_string(cover.captured) +
               " of the " + items + ", and " + tags + " tags can capture at most " + std::to_string(cover.bound) +
               " (a gap of " + std::to_string(cover.bound - cover.captured) + ")");
}

}  // namespace

void choose_by_coverage(Clusterer& c) {
  const CoverageOptions& o = c.options.coverage;
  if (!o.any()) return;
  const TagRelation& r = relation_of(c);
  CoverageResults& out = c.coverage;
  out.forced = forced_candidates(c);
  const int forced = static_cast<int>(out.forced.size());
  if (o.max_tags >= 0 && forced > o.max_tags) {
    textio::fail_input("--max-tags " + std::to_string(o.max_tags) + " is below the number of needed SNPs (" +
                       std::to_string(forced) + "), which are tags of every design");
  }
  out.order = coverage_order(r, out.forced);
  if (o.max_tags < 0) return;

  // Greedy: the first K tags of the order, so that orders merged across
  // regions count the same tags.
  BudgetCover& greedy = out.budgets[kBudgetGreedy];
  const size_t taken = std::min(static_cast<size_t>(o.max_tags), out.order.tags.size());
  greedy.tags.assign(out.order.tags.begin(), out.order.tags.begin() + static_cast<long>(taken));
  greedy.captured = 0;
  for (size_t k = 0; k < taken; ++k) greedy.captured += out.order.gains[k];
  // Without Maximum, no bound is known (-1) unless greedy captures all.
  greedy.bound = greedy.captured == r.items() ? greedy.captured : -1;
  if (o.runs(kBudgetMaximum)) {
    BudgetCover& maximum = out.budgets[kBudgetMaximum];
    maximum = maximum_coverage(r, out.forced, o.max_tags, greedy.tags, c.options.time_limit);
    if (!maximum.optimal) warn_time_limit(c, maximum);
    greedy.bound = maximum.bound;
  }
  greedy.optimal = greedy.bound == greedy.captured;
  std::sort(greedy.tags.begin(), greedy.tags.end());
}

}  // namespace ldcluster
