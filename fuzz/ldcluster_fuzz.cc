// ldcluster's three methods on a maf_processed.txt and an ld_processed.txt
// cut from the fuzzer's bytes at the first 0x01 byte, in memory; bytes after
// a 0x02 byte are a second population's tables, whose tags are chosen with
// the first's. Bad input must be an input error (status 1); on every table
// accepted, each method's clusters must hold the invariants: each SNP in
// exactly one cluster, whose tag can be a tag and tags it; a SNP that only
// it itself tags is a tag; and Minimum, when the solver proved it, has no
// more tags (over all populations) than Greedy or Minimax. Then the
// coverage order and the budgets on the same tables (check_coverage).
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "ldcluster/clusterer.h"

namespace {

// The tags of a method over all populations.
size_t count_tags(const ldcluster::Clusterer& c, ldcluster::Method m) {
  std::set<std::string> tags;
  for (const ldcluster::Table& t : c.tables) {
    const std::vector<int>& tag_of = t.results[m].tag_of;
    for (size_t x = 0; x < tag_of.size(); ++x) {
      if (tag_of[x] == static_cast<int>(x)) tags.insert(t.snps[x].name);
    }
  }
  return tags.size();
}

void check(const ldcluster::Table& t, const std::vector<int>& tag_of) {
  const ldcluster::TagRelation& r = t.relation;
  const int n = static_cast<int>(t.snps.size());
  if (static_cast<int>(tag_of.size()) != n) __builtin_trap();
  for (int x = 0; x < n; ++x) {
    const int tag = tag_of[x];
    if (tag < 0 || tag >= n || tag_of[tag] != tag || !r.tags(tag, tag) || !r.tags(tag, x)) __builtin_trap();
  }
  for (int b = 0; b < n; ++b) {
    bool others = false;
    for (int a = 0; a < n && !others; ++a) others = a != b && r.tags(a, b);
    if (r.tags(b, b) && !others && tag_of[b] != b) __builtin_trap();
  }
}

// The coverage order and the budgets (budget.h) on the same tables, with
// every `step`-th SNP that can be a tag needed: the order starts with the
// needed SNPs, its later gains are above 0 and never increase, and it
// captures every item, each first by the tag of its rank; greedy's budget is
// the order's first K tags; Maximum holds the needed SNPs in at most K tags
// and captures at least what greedy does and at most the bound.
void check_coverage(ldcluster::Clusterer& c, size_t step) {
  c.coverage.needed.assign(c.tables.size(), {});
  for (size_t k = 0; k < c.tables.size(); ++k) {
    const ldcluster::Table& t = c.tables[k];
    for (size_t b = 0; b < t.snps.size(); b += step) {
      const int x = static_cast<int>(b);
      if (t.relation.tags(x, x)) c.coverage.needed[k].push_back(x);
    }
  }
  ldcluster::CoverageOptions& o = c.options.coverage;
  o.curve = true;
  o.max_tags = 1;
  for (const auto& needed : c.coverage.needed) o.max_tags += static_cast<int>(needed.size());
  o.max_tags += static_cast<int>(step % 4);
  c.options.time_limit = 0.5;
  try {
    ldcluster::choose_by_coverage(c);
  } catch (const textio::Failure&) {
    __builtin_trap();
  }
  const ldcluster::TagRelation& r = c.tables.size() > 1 ? c.joint : c.tables.front().relation;
  const ldcluster::CoverageResults& out = c.coverage;
  const ldcluster::CoverageOrder& order = out.order;
  const int forced = static_cast<int>(out.forced.size());
  if (order.forced != forced || !std::equal(out.forced.begin(), out.forced.end(), order.tags.begin())) __builtin_trap();
  int total = 0;
  for (size_t k = 0; k < order.gains.size(); ++k) {
    const int i = static_cast<int>(k);
    if (i >= forced && (order.gains[k] <= 0 || (i > forced && order.gains[k] > order.gains[k - 1]))) __builtin_trap();
    total += order.gains[k];
  }
  if (total != r.items()) __builtin_trap();
  std::vector<int> firsts(order.tags.size(), 0);
  for (int rank : ldcluster::first_capture(r, order.tags)) {
    if (rank < 0) __builtin_trap();
    ++firsts[rank];
  }
  if (firsts != order.gains) __builtin_trap();

  const ldcluster::BudgetCover& greedy = out.budgets[ldcluster::kBudgetGreedy];
  const ldcluster::BudgetCover& maximum = out.budgets[ldcluster::kBudgetMaximum];
  std::vector<int> first_k(order.tags.begin(),
                           order.tags.begin() + std::min(order.tags.size(), static_cast<size_t>(o.max_tags)));
  std::sort(first_k.begin(), first_k.end());
  if (greedy.tags != first_k || greedy.captured != ldcluster::captured_by(r, greedy.tags)) __builtin_trap();
  if (maximum.captured != ldcluster::captured_by(r, maximum.tags) ||
      maximum.tags.size() > static_cast<size_t>(o.max_tags)) {
    __builtin_trap();
  }
  for (int a : out.forced) {
    if (!std::binary_search(maximum.tags.begin(), maximum.tags.end(), a)) __builtin_trap();
  }
  if (maximum.captured < greedy.captured || maximum.captured > maximum.bound || greedy.bound != maximum.bound ||
      maximum.optimal != (maximum.captured == maximum.bound)) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t second = input.find('\x02');
  std::vector<std::string> parts = {input.substr(0, second)};
  if (second != std::string::npos) parts.push_back(input.substr(second + 1));

  std::string messages;
  ldcluster::Clusterer c(&messages);
  c.options.time_limit = 2.0;
  c.split_bytes = size % 3 == 0 ? 0 : INT64_MAX;  // a third of the tables read in halves
  // The strings stay alive while their tables are read.
  std::vector<std::string> snps(parts.size()), scores(parts.size());
  for (size_t k = 0; k < parts.size(); ++k) {
    const size_t cut = parts[k].find('\x01');
    snps[k] = parts[k].substr(0, cut);
    scores[k] = cut == std::string::npos ? "" : parts[k].substr(cut + 1);
    ldcluster::Table& t = c.add_table(parts.size() > 1 ? "p" + std::to_string(k) : "");
    t.snp_in.open_string(snps[k]);
    t.score_in.open_string(scores[k]);
  }
  try {
    ldcluster::read_snps(c);
    ldcluster::read_scores(c);
    ldcluster::build_relation(c);
    ldcluster::choose_tags(c);
  } catch (const textio::Failure& failure) {
    if (failure.status != 1) __builtin_trap();
    return 0;
  }
  for (const ldcluster::Table& t : c.tables) {
    for (const ldcluster::Result& result : t.results) check(t, result.tag_of);
  }
  const ldcluster::Result& first = c.tables.front().results[ldcluster::kMinimum];
  const bool proved = first.notes.empty() || first.notes[0].find("the fewest possible") != std::string::npos;
  const size_t minimum = count_tags(c, ldcluster::kMinimum);
  if (proved && (minimum > count_tags(c, ldcluster::kGreedy) || minimum > count_tags(c, ldcluster::kMinimax))) {
    __builtin_trap();
  }
  check_coverage(c, 2 + size % 5);
  return 0;
}
