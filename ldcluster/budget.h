// ldcluster's outputs for an array of a fixed number of slots: the greedy
// coverage order (--curve) and the best K tags (--max-tags K), on the
// relation the methods cover: a table's SNPs, or with several populations
// their (population, SNP) items and the joint SNPs as candidates.
//
// The needed SNPs (--needed, a file in each table's folder) are tags in
// every result and come first; with several populations they are the union
// over the folders. Files, each renamed into place when whole:
//   coverage_order.tsv   (current directory) the greedy order, a row per tag;
//   capture_rank.tsv     (each table's folder) per SNP, the rank of the
//                        first tag of that order that tags it there;
//   budget_greedy.tsv, budget_maximum.tsv  (each table's folder) per SNP, the
//                        chosen tag that tags it there with the highest score;
//   budget_summary.tsv   (current directory) a row per budget method;
//   --tagging-pairs FILE (each table's folder) the records of the score
//                        table whose score is at least 1.0: the pairs that
//                        tag, as they were given, for a later run to read
//                        with --scores FILE instead of the whole table.
// --scores FILE reads the scores from FILE in each table's folder, where an
// ordered pair it does not list scores 0 (tags nothing); it serves only the
// order and the budgets (--method none), which depend on no other score.
#ifndef LDCLUSTER_BUDGET_H_
#define LDCLUSTER_BUDGET_H_

#include <string>
#include <vector>

#include "ldcluster/max_coverage.h"

namespace ldcluster {

enum BudgetMethod { kBudgetGreedy, kBudgetMaximum, kBudgetMethods };
extern const char* const kBudgetMethodNames[kBudgetMethods];  // "budget_greedy", "budget_maximum"

constexpr const char* kOrderFile = "coverage_order.tsv";
constexpr const char* kRankFile = "capture_rank.tsv";
constexpr const char* kBudgetSummaryFile = "budget_summary.tsv";
// "budget_greedy.tsv" or "budget_maximum.tsv".
std::string budget_file(BudgetMethod m);

struct CoverageOptions {
  std::string needed;                                  // --needed: a file name in each table's folder; "" for none
  std::string scores;                                  // --scores: read instead of ld_processed.txt; "" for none
  std::string tagging_pairs;                           // --tagging-pairs: written in each table's folder
  bool curve = false;                                  // --curve
  int max_tags = -1;                                   // --max-tags; -1 for none
  bool budget_methods[kBudgetMethods] = {true, true};  // --budget-method
  bool budget_method_given = false;
  bool any() const { return curve || max_tags >= 0; }
  bool runs(BudgetMethod m) const { return max_tags >= 0 && budget_methods[m]; }
};

// Takes one of the options above (name, value as given; "" for --curve).
// Returns "" or the message of a usage error (coverage_options.cc).
std::string take_coverage_option(const std::string& name, const std::string& value, CoverageOptions* o);
// The names of the options that take a value, and of those that take none.
extern const std::vector<std::string> kCoverageOptions;
extern const std::vector<std::string> kCoverageFlags;
// The usage error of options that do not fit together, or "". `methods` is
// whether any of Greedy, Minimax and Minimum runs.
std::string check_coverage_options(const CoverageOptions& o, bool methods);

struct CoverageResults {
  std::vector<std::vector<int>> needed;  // per table, its needed SNPs (table indexes)
  std::vector<int> forced;               // the candidates they are, in table (joint) order
  CoverageOrder order;
  BudgetCover budgets[kBudgetMethods];
};

struct Clusterer;
// Reads each table's needed SNPs, after its SNPs (needed.cc).
void read_needed(Clusterer& c);
// Makes the order and the budgets of the options given, after the
// relations; a needed SNP that cannot be a tag, or a budget below the
// number of needed SNPs, is an input error (budget.cc).
void choose_by_coverage(Clusterer& c);
// Writes the files of the options given (coverage_files.cc).
void write_coverage_results(const Clusterer& c);
// After a failure: empties the files of the options given.
void empty_coverage_results(const Clusterer& c);

}  // namespace ldcluster

#endif  // LDCLUSTER_BUDGET_H_
