// The files of --curve and --max-tags, tab-separated with a header line.
//
//   coverage_order.tsv   rank snp position needed gain: a row per tag of the
//                        greedy order, ranked from 1; needed is 1 or 0.
//   capture_rank.tsv     snp rank: a row per SNP of the table, the rank of
//                        the first tag of the order that tags it there.
//   budget_<method>.tsv  snp tag score: a row per SNP of the table, the
//                        chosen tag that tags it there with the highest score
//                        (the earliest in the table on a tie; a tag is its
//                        own tag), or NA NA when none does.
//   budget_summary.tsv   method tags captured items bound optimal: a row per
//                        budget method; bound is NA when none is known.
//   --tagging-pairs      name name score: the pairs that tag, row by row.
#include <memory>
#include <string>

#include "ldcluster/clusterer.h"
#include "textio/output_file.h"
#include "textio/row.h"

namespace ldcluster {
namespace {

bool joint(const Clusterer& c) { return c.tables.size() > 1; }

// The candidate of a table's SNP.
int candidate_of(const Clusterer& c, const Table& t, int b) { return joint(c) ? t.to_joint[b] : b; }

void write_order(const Clusterer& c, textio::Writer& out) {
  // Each candidate's position, from the first table that holds it.
  std::vector<const std::string*> position(joint(c) ? c.joint_names.size() : c.tables.front().snps.size(), nullptr);
  for (const Table& t : c.tables) {
    for (size_t b = 0; b < t.snps.size(); ++b) {
      const std::string*& p = position[candidate_of(c, t, static_cast<int>(b))];
      if (!p) p = &t.snps[b].position;
    }
  }
  const CoverageOrder& order = c.coverage.order;
  out.put("rank\tsnp\tposition\tneeded\tgain\n");
  for (size_t k = 0; k < order.tags.size(); ++k) {
    const int a = order.tags[k];
    const std::string& name = joint(c) ? c.joint_names[a] : c.tables.front().snps[a].name;
    textio::put_row(out, '\t', k + 1, name, *position[a], static_cast<int>(k) < order.forced ? 1 : 0, order.gains[k]);
  }
}

// `first` is per item of the relation; the table's items start at `offset`.
void write_ranks(const Table& t, const std::vector<int>& first, int offset, textio::Writer& out) {
  out.put("snp\trank\n");
  for (size_t b = 0; b < t.snps.size(); ++b) {
    const int k = first[offset + b];
    if (k < 0) {
      textio::put_row(out, '\t', t.snps[b].name, "NA");
    } else {
      textio::put_row(out, '\t', t.snps[b].name, k + 1);
    }
  }
}

void write_budget(const Clusterer& c, const Table& t, const BudgetCover& cover, textio::Writer& out) {
  std::vector<char> chosen(joint(c) ? c.joint_names.size() : t.snps.size(), 0);
  for (int a : cover.tags) chosen[a] = 1;
  // The chosen tags that can be tags here, in table order.
  const int n = static_cast<int>(t.snps.size());
  std::vector<int> local;
  for (int a = 0; a < n; ++a) {
    if (chosen[candidate_of(c, t, a)] && t.relation.tags(a, a)) local.push_back(a);
  }
  std::vector<char> is_tag(n, 0);
  for (int a : local) is_tag[a] = 1;
  out.put("snp\ttag\tscore\n");
  for (int b = 0; b < n; ++b) {
    int best = is_tag[b] ? b : -1;
    for (size_t k = 0; k < local.size() && !is_tag[b]; ++k) {
      const int a = local[k];
      if (t.relation.tags(a, b) && (best < 0 || t.scores.at(a, b) > t.scores.at(best, b))) best = a;
    }
    if (best < 0) {
      textio::put_row(out, '\t', t.snps[b].name, "NA", "NA");
    } else {
      textio::put_row(out, '\t', t.snps[b].name, t.snps[best].name, t.scores.at(best, b));
    }
  }
}

// The pairs that tag (score at least 1.0) in the score table's layout,
// "name name score", row by row.
void write_tagging_pairs(const Table& t, textio::Writer& out) {
  const int n = t.scores.size();
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      if (t.scores.tags(a, b)) textio::put_row(out, ' ', t.snps[a].name, t.snps[b].name, t.scores.at(a, b));
    }
  }
}

void write_summary(const Clusterer& c, textio::Writer& out) {
  const int items = joint(c) ? c.joint.items() : c.tables.front().relation.items();
  out.put("method\ttags\tcaptured\titems\tbound\toptimal\n");
  for (int m = 0; m < kBudgetMethods; ++m) {
    if (!c.options.coverage.runs(BudgetMethod(m))) continue;
    const BudgetCover& cover = c.coverage.budgets[m];
    const std::string bound = cover.bound < 0 ? "NA" : std::to_string(cover.bound);
    textio::put_row(out, '\t', kBudgetMethodNames[m], cover.tags.size(), cover.captured, items, bound,
                    cover.optimal ? 1 : 0);
  }
}

}  // namespace

void write_coverage_results(const Clusterer& c) {
  const CoverageOptions& o = c.options.coverage;
  if (!o.any()) return;
  // Every file is written whole beside its name first, then all are renamed.
  std::vector<std::unique_ptr<textio::OutputFile>> files;
  auto open = [&](const std::string& name) -> textio::Writer& {
    textio::OutputFile* f = files.emplace_back(std::make_unique<textio::OutputFile>(name, 1 << 16)).get();
    f->create();
    return f->out();
  };
  if (o.curve) {
    write_order(c, open(kOrderFile));
    const std::vector<int> first = first_capture(joint(c) ? c.joint : c.tables.front().relation, c.coverage.order.tags);
    int offset = 0;
    for (const Table& t : c.tables) {
      write_ranks(t, first, offset, open(t.path(kRankFile)));
      offset += static_cast<int>(t.snps.size());
    }
  }
  for (int m = 0; m < kBudgetMethods; ++m) {
    if (!o.runs(BudgetMethod(m))) continue;
    for (const Table& t : c.tables)
      write_budget(c, t, c.coverage.budgets[m], open(t.path(budget_file(BudgetMethod(m)).c_str())));
  }
  if (o.max_tags >= 0) write_summary(c, open(kBudgetSummaryFile));
  if (!o.tagging_pairs.empty()) {
    for (const Table& t : c.tables) write_tagging_pairs(t, open(t.path(o.tagging_pairs.c_str())));
  }
  for (auto& f : files) f->commit();
}

void empty_coverage_results(const Clusterer& c) {
  const CoverageOptions& o = c.options.coverage;
  if (o.curve) textio::empty_output(kOrderFile);
  for (const Table& t : c.tables) {
    if (o.curve) textio::empty_output(t.path(kRankFile));
    for (int m = 0; m < kBudgetMethods; ++m) {
      if (o.runs(BudgetMethod(m))) textio::empty_output(t.path(budget_file(BudgetMethod(m)).c_str()));
    }
  }
  if (o.max_tags >= 0) textio::empty_output(kBudgetSummaryFile);
  if (!o.tagging_pairs.empty()) {
    for (const Table& t : c.tables) textio::empty_output(t.path(o.tagging_pairs.c_str()));
  }
}

}  // namespace ldcluster
