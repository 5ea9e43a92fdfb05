// The entry routine of ldcluster, and the methods run in turn.
#include <cstdio>
#include <string>

#include "ldcluster/clusterer.h"
#include "textio/output_file.h"

namespace ldcluster {

void choose_tags(Clusterer& c) {
  if (c.options.methods[kGreedy]) {
    c.results[kGreedy].tag_of = join_best_tags(c.scores, greedy_cover(c.relation));
  }
  if (c.options.methods[kMinimum]) {
    MinimumCover cover = minimum_cover(c.relation, c.options.time_limit);
    const std::string tags = std::to_string(cover.tags.size());
    if (cover.optimal) {
      c.results[kMinimum].notes.push_back("Tags: " + tags + ", the fewest possible");
    } else {
      const std::string bound = std::to_string(cover.lower_bound);
      char limit[32];
      std::snprintf(limit, sizeof limit, "%g", c.options.time_limit);
      const std::string gap = std::to_string(cover.tags.size() - static_cast<size_t>(cover.lower_bound));
      c.results[kMinimum].notes.push_back("Tags: " + tags + "; the time limit stopped the solver: the fewest possible are at least " + bound);
      c.diag.print(std::string("Minimum: the time limit of ") + limit +
                   " s stopped the solver; the best cover found has " + tags +
                   " tags, and the fewest possible are at least " + bound + " (a gap of " + gap + ")");
    }
    c.results[kMinimum].tag_of = join_best_tags(c.scores, cover.tags);
  }
  if (c.options.methods[kMinimax]) {
    c.results[kMinimax].tag_of = minimax_clusters(c.scores, c.relation);
  }
}

int run(Clusterer& c) {
  try {
    open_inputs(c);
    read_snps(c);
    read_scores(c);
    build_relation(c);
    choose_tags(c);
    write_results(c);
  } catch (const textio::Failure& failure) {
    // Results of an earlier run are not those of these inputs: they are
    // left empty.
    for (int m = 0; m < kMethods; ++m) {
      if (!c.options.methods[m]) continue;
      textio::empty_output(members_file(Method(m)));
      textio::empty_output(summary_file(Method(m)));
    }
    c.diag.finish();
    c.diag.print(failure.message);
    return failure.status;
  }
  c.diag.finish();
  return textio::kExitOk;
}

}  // namespace ldcluster
