// The entry routine of ldcluster, and the methods run in turn.
#include <cstdio>
#include <string>

#include "ldcluster/clusterer.h"
#include "textio/output_file.h"

namespace ldcluster {

namespace {

// What the summary and a warning say of the Minimum cover.
std::string minimum_note(Clusterer& c, const MinimumCover& cover) {
  const std::string tags = std::to_string(cover.tags.size());
  const std::string where = c.tables.size() > 1 ? " for all populations" : "";
  if (cover.optimal) return "Tags: " + tags + where + ", the fewest possible";
  const std::string bound = std::to_string(cover.lower_bound);
  char limit[32];
  std::snprintf(limit, sizeof limit, "%g", c.options.time_limit);
  const std::string gap = std::to_string(cover.tags.size() - static_cast<size_t>(cover.lower_bound));
  c.diag.print(std::string("Minimum: the time limit of ") + limit + " s stopped the solver; the best cover found has " +
               tags + " tags, and the fewest possible are at least " + bound + " (a gap of " + gap + ")");
  return "Tags: " + tags + where + "; the time limit stopped the solver: the fewest possible are at least " + bound;
}

}  // namespace

void choose_tags(Clusterer& c) {
  if (c.tables.size() == 1) {
    Table& t = c.tables.front();
    if (c.options.methods[kGreedy]) t.results[kGreedy].tag_of = join_best_tags(t.scores, greedy_cover(t.relation));
    if (c.options.methods[kMinimum]) {
      MinimumCover cover = minimum_cover(t.relation, c.options.time_limit);
      t.results[kMinimum].notes.push_back(minimum_note(c, cover));
      t.results[kMinimum].tag_of = join_best_tags(t.scores, cover.tags);
    }
    if (c.options.methods[kMinimax]) t.results[kMinimax].tag_of = minimax_clusters(t.scores, t.relation);
    return;
  }
  // Several populations: one set of tags for all (populations.cc).
  if (c.options.methods[kGreedy]) join_jointly_chosen(c, kGreedy, greedy_cover(c.joint));
  if (c.options.methods[kMinimum]) {
    MinimumCover cover = minimum_cover(c.joint, c.options.time_limit);
    const std::string note = minimum_note(c, cover);
    for (Table& t : c.tables) t.results[kMinimum].notes.push_back(note);
    join_jointly_chosen(c, kMinimum, cover.tags);
  }
  if (c.options.methods[kMinimax]) minimax_jointly(c);
}

int run(Clusterer& c) {
  try {
    open_inputs(c);
    read_snps(c);
    read_needed(c);
    read_scores(c);
    build_relation(c);
    choose_tags(c);
    choose_by_coverage(c);
    write_results(c);
    write_coverage_results(c);
  } catch (const textio::Failure& failure) {
    // Results of an earlier run are not those of these inputs: they are
    // left empty.
    for (const Table& t : c.tables) {
      for (int m = 0; m < kMethods; ++m) {
        if (!c.options.methods[m]) continue;
        textio::empty_output(t.folder + members_file(Method(m)));
        textio::empty_output(t.folder + summary_file(Method(m)));
      }
    }
    empty_coverage_results(c);
    c.diag.finish();
    c.diag.print(failure.message);
    return failure.status;
  }
  c.diag.finish();
  return textio::kExitOk;
}

}  // namespace ldcluster
