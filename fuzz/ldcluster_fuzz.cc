// ldcluster's three methods on a maf_processed.txt and an ld_processed.txt
// cut from the fuzzer's bytes at the first 0x01 byte, in memory. Bad input
// must be an input error (status 1); on every table accepted, each method's
// clusters must hold the invariants: each SNP in exactly one cluster, whose
// tag can be a tag and tags it; a SNP that only it itself tags is a tag; and
// Minimum, when the solver proved it, is no larger than Greedy or Minimax.
#include <cstdint>
#include <string>
#include <vector>

#include "ldcluster/clusterer.h"

namespace {

int count_tags(const std::vector<int>& tag_of) {
  int k = 0;
  for (size_t x = 0; x < tag_of.size(); ++x) k += tag_of[x] == static_cast<int>(x);
  return k;
}

void check(const ldcluster::Table& t, const std::vector<int>& tag_of) {
  const ldcluster::TagRelation& r = t.relation;
  const int n = static_cast<int>(t.snps.size());
  if (static_cast<int>(tag_of.size()) != n) __builtin_trap();
  for (int x = 0; x < n; ++x) {
    const int t = tag_of[x];
    if (t < 0 || t >= n || tag_of[t] != t || !r.tags(t, t) || !r.tags(t, x)) __builtin_trap();
  }
  for (int b = 0; b < n; ++b) {
    bool others = false;
    for (int a = 0; a < n && !others; ++a) others = a != b && r.tags(a, b);
    if (r.tags(b, b) && !others && tag_of[b] != b) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find('\x01');
  std::string snps = input.substr(0, cut);
  std::string scores = cut == std::string::npos ? "" : input.substr(cut + 1);

  std::string messages;
  ldcluster::Clusterer c(&messages);
  c.options.time_limit = 2.0;
  c.split_bytes = size % 3 == 0 ? 0 : INT64_MAX;  // a third of the tables read in halves
  ldcluster::Table& t = c.add_table("");
  t.snp_in.open_string(snps);
  t.score_in.open_string(scores);
  try {
    ldcluster::read_snps(c);
    ldcluster::read_scores(c);
    ldcluster::build_relation(c);
    ldcluster::choose_tags(c);
  } catch (const textio::Failure& failure) {
    if (failure.status != 1) __builtin_trap();
    return 0;
  }
  for (const ldcluster::Result& result : t.results) check(t, result.tag_of);
  const int minimum = count_tags(t.results[ldcluster::kMinimum].tag_of);
  const bool proved = t.results[ldcluster::kMinimum].notes.empty() ||
                      t.results[ldcluster::kMinimum].notes[0].find("the fewest possible") != std::string::npos;
  if (proved && (minimum > count_tags(t.results[ldcluster::kGreedy].tag_of) ||
                 minimum > count_tags(t.results[ldcluster::kMinimax].tag_of))) {
    __builtin_trap();
  }
  return 0;
}
