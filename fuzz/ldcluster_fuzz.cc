// ldcluster's three methods on a maf_processed.txt and an ld_processed.txt
// cut from the fuzzer's bytes at the first 0x01 byte, in memory; bytes after
// a 0x02 byte are a second population's tables, whose tags are chosen with
// the first's. Bad input must be an input error (status 1); on every table
// accepted, each method's clusters must hold the invariants: each SNP in
// exactly one cluster, whose tag can be a tag and tags it; a SNP that only
// it itself tags is a tag; and Minimum, when the solver proved it, has no
// more tags (over all populations) than Greedy or Minimax.
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
  return 0;
}
