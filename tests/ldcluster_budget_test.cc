// The greedy coverage order and the best tags for a budget, on random
// relations of one and of two populations: the order checked step by step
// against its definition, the budgets against brute force over every set of
// K tags, and the time limit of the exact solver.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ldcluster/clusterer.h"

namespace {

using ldcluster::Clusterer;
using ldcluster::TagRelation;

// A population's table: SNP k of a pool of names ("s0", "s1", ...) is in it
// when `in[k]`. Scores are 1 plus a few steps when a SNP tags another, else
// 0.5. Some SNPs are undesirable (they tag nothing, as ldprune leaves them)
// and some needed (only they tag themselves); every SNP gets a tagger that
// can be a tag.
void fill_random(ldcluster::Table& t, std::mt19937& rng, const std::vector<char>& in) {
  for (size_t k = 0; k < in.size(); ++k) {
    if (in[k]) t.snps.push_back({"s" + std::to_string(k), std::to_string(100 * (k + 1)), "0.25"});
  }
  const int n = static_cast<int>(t.snps.size());
  std::vector<std::string_view> names;
  for (const auto& s : t.snps) names.push_back(s.name);
  t.index.build(names);
  std::bernoulli_distribution dense(std::uniform_real_distribution<double>(0.05, 0.4)(rng)), rare(0.15);
  std::uniform_int_distribution<int> step(0, 4);
  t.scores.reset(n);
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      t.scores.at(a, b) = a == b ? 1.2f : dense(rng) ? 1.0f + 0.05f * static_cast<float>(step(rng)) : 0.5f;
    }
  }
  std::vector<char> undesirable(n), needed(n);
  for (int x = 0; x < n; ++x) {
    undesirable[x] = rare(rng);
    needed[x] = !undesirable[x] && rare(rng);
  }
  if (std::count(undesirable.begin(), undesirable.end(), 1) == n) undesirable[0] = 0;
  for (int u = 0; u < n; ++u) {
    if (undesirable[u]) {
      for (int b = 0; b < n; ++b) t.scores.at(u, b) = 0.0f;
    }
  }
  for (int x = 0; x < n; ++x) {
    if (!needed[x]) continue;
    for (int a = 0; a < n; ++a) t.scores.at(a, x) = a == x ? 1.0f : 0.0f;
  }
  for (int b = 0; b < n; ++b) {
    bool tagged = false;
    for (int a = 0; a < n && !tagged; ++a) tagged = t.scores.tags(a, a) && t.scores.tags(a, b);
    for (int a = 0; a < n && !tagged; ++a) {
      if (!undesirable[a]) {
        t.scores.at(a, b) = 1.1f;
        tagged = true;
      }
    }
  }
}

// One or two populations over a pool of `n` SNPs, relations built.
void random_study(Clusterer& c, std::mt19937& rng, int populations, int n) {
  std::bernoulli_distribution varies(0.75);
  for (int p = 0; p < populations; ++p) {
    std::vector<char> in(n, 1);
    if (populations > 1) {
      for (char& x : in) x = varies(rng);
      in[std::uniform_int_distribution<int>(0, n - 1)(rng)] = 1;
    }
    fill_random(c.add_table(populations > 1 ? "P" + std::to_string(p + 1) : ""), rng, in);
  }
  ldcluster::build_relation(c);
}

const TagRelation& relation_of(const Clusterer& c) { return c.tables.size() > 1 ? c.joint : c.tables[0].relation; }

// Per candidate, the items it tags as bits (at most 64 items).
std::vector<uint64_t> masks(const TagRelation& r) {
  std::vector<uint64_t> out(r.candidates(), 0);
  for (int a = 0; a < r.candidates(); ++a) {
    for (int b = 0; b < r.items(); ++b) out[a] |= uint64_t{r.tags(a, b)} << b;
  }
  return out;
}

// The most items any `budget` candidates, the forced among them, capture:
// every set of the other candidates of the size left is tried.
int brute_force_best(const TagRelation& r, const std::vector<int>& forced, int budget) {
  const std::vector<uint64_t> m = masks(r);
  uint64_t base = 0;
  std::vector<char> is_forced(r.candidates(), 0);
  for (int a : forced) {
    base |= m[a];
    is_forced[a] = 1;
  }
  std::vector<uint64_t> others;
  for (int a = 0; a < r.candidates(); ++a) {
    if (!is_forced[a]) others.push_back(m[a]);
  }
  const int k = std::min(budget - static_cast<int>(forced.size()), static_cast<int>(others.size()));
  int best = 0;
  auto each = [&](auto&& self, size_t from, int left, uint64_t captured) -> void {
    if (left == 0) {
      best = std::max(best, std::popcount(captured));
      return;
    }
    for (size_t a = from; a + left <= others.size(); ++a) self(self, a + 1, left - 1, captured | others[a]);
  };
  each(each, 0, k, base);
  return best;
}

// Forced candidates: now and then one that tags something.
std::vector<int> some_forced(const TagRelation& r, std::mt19937& rng) {
  std::bernoulli_distribution pick(0.2);
  std::vector<int> forced;
  for (int a = 0; a < r.candidates(); ++a) {
    bool can = false;
    for (int b = 0; b < r.items() && !can; ++b) can = r.tags(a, b);
    if (can && pick(rng)) forced.push_back(a);
  }
  return forced;
}

// The order against its definition, step by step.
void expect_order(const TagRelation& r, const std::vector<int>& forced, const ldcluster::CoverageOrder& order,
                  const std::string& what) {
  ASSERT_EQ(order.tags.size(), order.gains.size()) << what;
  ASSERT_EQ(order.forced, static_cast<int>(forced.size())) << what;
  ASSERT_GE(order.tags.size(), forced.size()) << what;
  EXPECT_TRUE(std::equal(forced.begin(), forced.end(), order.tags.begin())) << what;
  std::vector<char> captured(r.items(), 0);
  auto gain_of = [&](int a) {
    int gain = 0;
    for (int b = 0; b < r.items(); ++b) gain += r.tags(a, b) && !captured[b];
    return gain;
  };
  int total = 0;
  for (size_t k = 0; k < order.tags.size(); ++k) {
    const int a = order.tags[k];
    if (static_cast<int>(k) >= order.forced) {
      // The most items not yet captured, the earliest on a tie.
      int best = -1, best_gain = 0;
      for (int d = 0; d < r.candidates(); ++d) {
        if (gain_of(d) > best_gain) {
          best = d;
          best_gain = gain_of(d);
        }
      }
      EXPECT_EQ(a, best) << what << " step " << k;
      EXPECT_GT(order.gains[k], 0) << what << " step " << k;
      if (static_cast<int>(k) > order.forced) {
        EXPECT_LE(order.gains[k], order.gains[k - 1]) << what << " step " << k;
      }
    }
    EXPECT_EQ(order.gains[k], gain_of(a)) << what << " step " << k;
    total += order.gains[k];
    for (int b = 0; b < r.items(); ++b) captured[b] = captured[b] || r.tags(a, b);
  }
  // It ends when every item that some candidate tags is captured.
  for (int d = 0; d < r.candidates(); ++d) EXPECT_EQ(gain_of(d), 0) << what << " candidate " << d;
  EXPECT_EQ(total, ldcluster::captured_by(r, order.tags)) << what;

  // The rank of each item: the first tag of the order that tags it; each
  // tag captures first as many items as its gain.
  const std::vector<int> first = ldcluster::first_capture(r, order.tags);
  std::vector<int> count(order.tags.size(), 0);
  for (int b = 0; b < r.items(); ++b) {
    int expected = -1;
    for (size_t k = 0; k < order.tags.size() && expected < 0; ++k) {
      if (r.tags(order.tags[k], b)) expected = static_cast<int>(k);
    }
    EXPECT_EQ(first[b], expected) << what << " item " << b;
    if (first[b] >= 0) ++count[first[b]];
  }
  EXPECT_EQ(count, order.gains) << what;
}

// A budget's result: the forced among at most `budget` tags, capturing as
// many items as it says.
void expect_valid(const TagRelation& r, const std::vector<int>& forced, int budget, const ldcluster::BudgetCover& cover,
                  const std::string& what) {
  EXPECT_LE(static_cast<int>(cover.tags.size()), budget) << what;
  EXPECT_TRUE(std::is_sorted(cover.tags.begin(), cover.tags.end())) << what;
  EXPECT_EQ(std::adjacent_find(cover.tags.begin(), cover.tags.end()), cover.tags.end()) << what;
  for (int a : forced)
    EXPECT_TRUE(std::binary_search(cover.tags.begin(), cover.tags.end(), a)) << what << " forced " << a;
  EXPECT_EQ(cover.captured, ldcluster::captured_by(r, cover.tags)) << what;
  EXPECT_LE(cover.captured, cover.bound) << what;
  EXPECT_EQ(cover.optimal, cover.captured == cover.bound) << what;
}

struct Shape {
  std::string name;
  int populations;
  bool forced;
};

class RandomRelations : public testing::TestWithParam<Shape> {};

TEST_P(RandomRelations, OrderAndBudgetsAgreeWithBruteForce) {
  const Shape& shape = GetParam();
  std::mt19937 rng(shape.populations * 100 + shape.forced);
  int greedy_short = 0, cases = 0;
  for (int round = 0; round < 200; ++round) {
    const int n = 1 + round % 16;
    Clusterer c;
    random_study(c, rng, shape.populations, n);
    const TagRelation& r = relation_of(c);
    ASSERT_LE(r.items(), 64);
    const std::vector<int> forced = shape.forced ? some_forced(r, rng) : std::vector<int>{};
    const std::string what = shape.name + " round " + std::to_string(round);
    const ldcluster::CoverageOrder order = ldcluster::coverage_order(r, forced);
    expect_order(r, forced, order, what);

    const int f = static_cast<int>(forced.size());
    const int captured_forced = ldcluster::captured_by(r, forced);
    for (int budget = f + 1; budget <= r.candidates() + 1; ++budget) {
      const std::string at = what + " K " + std::to_string(budget);
      const int best = brute_force_best(r, forced, budget);
      // Greedy: the first K tags of the order, within its guarantee.
      const std::vector<int> greedy(order.tags.begin(),
                                    order.tags.begin() + std::min<long>(budget, static_cast<long>(order.tags.size())));
      const int greedy_captured = ldcluster::captured_by(r, greedy);
      EXPECT_LE(greedy_captured, best) << at;
      EXPECT_GE(greedy_captured - captured_forced, (1 - 1 / std::exp(1.0)) * (best - captured_forced) - 1e-9) << at;

      const ldcluster::BudgetCover maximum = ldcluster::maximum_coverage(r, forced, budget, greedy, 10.0);
      expect_valid(r, forced, budget, maximum, at);
      EXPECT_TRUE(maximum.optimal) << at;
      if (maximum.optimal) {
        EXPECT_EQ(maximum.captured, best) << at;
      }
      EXPECT_GE(maximum.bound, best) << at;
      EXPECT_GE(maximum.captured, greedy_captured) << at;
      greedy_short += greedy_captured < best;
      ++cases;
    }
  }
  // Some relations leave greedy short of the best, so the solver has work.
  EXPECT_GT(greedy_short, 0) << cases << " budgets";
}

INSTANTIATE_TEST_SUITE_P(Shapes, RandomRelations,
                         testing::Values(Shape{"OnePopulation", 1, false}, Shape{"OnePopulationForced", 1, true},
                                         Shape{"TwoPopulations", 2, false}, Shape{"TwoPopulationsForced", 2, true}),
                         [](const testing::TestParamInfo<Shape>& p) { return p.param.name; });

// Larger relations, beyond brute force: the order's invariants, and
// Maximum between greedy and its bound.
TEST(Budget, LargerRelationsKeepTheInvariants) {
  std::mt19937 rng(5);
  for (int round = 0; round < 12; ++round) {
    Clusterer c;
    random_study(c, rng, 1 + round % 2, 30 + 10 * round);
    const TagRelation& r = relation_of(c);
    const std::vector<int> forced = some_forced(r, rng);
    const std::string what = "round " + std::to_string(round);
    const ldcluster::CoverageOrder order = ldcluster::coverage_order(r, forced);
    expect_order(r, forced, order, what);
    const int budget = static_cast<int>(forced.size()) + 1 + static_cast<int>(order.tags.size() - forced.size()) / 3;
    const std::vector<int> greedy(order.tags.begin(),
                                  order.tags.begin() + std::min<long>(budget, static_cast<long>(order.tags.size())));
    const ldcluster::BudgetCover maximum = ldcluster::maximum_coverage(r, forced, budget, greedy, 10.0);
    expect_valid(r, forced, budget, maximum, what);
    EXPECT_GE(maximum.captured, ldcluster::captured_by(r, greedy)) << what;
  }
}

// A relation built item by item: n candidates, each tagging itself and a
// few of the items next to it, so that many sets overlap and no reduction
// settles the program.
TagRelation overlapping(int n, std::mt19937& rng) {
  TagRelation r;
  r.reset(n, n);
  std::uniform_int_distribution<int> offset(-12, 12);
  for (int a = 0; a < n; ++a) {
    r.add(a, a);
    for (int k = 0; k < 6; ++k) r.add(a, (a + n + offset(rng)) % n);
  }
  return r;
}

// A time limit too short for the solver: the best set found, never worse
// than greedy's, with a bound at or above it.
TEST(Budget, TimeLimitKeepsTheBestSetFound) {
  std::mt19937 rng(9);
  const TagRelation r = overlapping(600, rng);
  const ldcluster::CoverageOrder order = ldcluster::coverage_order(r, {});
  const int budget = 60;
  const std::vector<int> greedy(order.tags.begin(), order.tags.begin() + budget);
  const ldcluster::BudgetCover maximum = ldcluster::maximum_coverage(r, {}, budget, greedy, 1e-6);
  expect_valid(r, {}, budget, maximum, "tiny limit");
  EXPECT_FALSE(maximum.optimal);
  EXPECT_GE(maximum.captured, ldcluster::captured_by(r, greedy));
  EXPECT_GT(maximum.bound, maximum.captured);
}

// The run's step: needed SNPs as forced tags, the greedy budget as the
// order's first K, Maximum's bound on both rows, and the warning when the
// time limit stops the solver.
TEST(Budget, StepUsesTheNeededSnpsAndWarnsAtTheTimeLimit) {
  std::mt19937 rng(3);
  std::string messages;
  Clusterer c(&messages);
  // 400 SNPs, each tagging those the overlapping relation says.
  const TagRelation shape = overlapping(400, rng);
  ldcluster::Table& t = c.add_table("");
  std::vector<std::string_view> names;
  for (int k = 0; k < 400; ++k) t.snps.push_back({"s" + std::to_string(k), std::to_string(k + 1), "0.25"});
  for (const auto& s : t.snps) names.push_back(s.name);
  t.index.build(names);
  t.scores.reset(400);
  for (int a = 0; a < 400; ++a) {
    for (int b = 0; b < 400; ++b) t.scores.at(a, b) = a == b ? 1.2f : shape.tags(a, b) ? 1.1f : 0.5f;
  }
  ldcluster::build_relation(c);
  // Every tenth SNP that can be a tag is needed.
  c.coverage.needed.assign(1, {});
  for (int b = 0; b < static_cast<int>(t.snps.size()); b += 10) {
    if (t.relation.tags(b, b)) c.coverage.needed[0].push_back(b);
  }
  const int needed = static_cast<int>(c.coverage.needed[0].size());
  c.options.coverage.max_tags = needed + 20;
  c.options.time_limit = 1e-6;
  ldcluster::choose_by_coverage(c);
  EXPECT_EQ(c.coverage.forced, c.coverage.needed[0]);
  const ldcluster::BudgetCover& greedy = c.coverage.budgets[ldcluster::kBudgetGreedy];
  const ldcluster::BudgetCover& maximum = c.coverage.budgets[ldcluster::kBudgetMaximum];
  ASSERT_GT(c.coverage.order.tags.size(), static_cast<size_t>(needed + 20));
  std::vector<int> first(c.coverage.order.tags.begin(), c.coverage.order.tags.begin() + needed + 20);
  std::sort(first.begin(), first.end());
  EXPECT_EQ(greedy.tags, first);
  EXPECT_EQ(greedy.bound, maximum.bound);
  expect_valid(t.relation, c.coverage.forced, needed + 20, maximum, "step");
  EXPECT_GE(maximum.captured, greedy.captured);
  if (!maximum.optimal) {
    // The message whole, with the counts the step found.
    const std::string k = std::to_string(needed + 20);
    EXPECT_EQ(messages, "ldcluster: budget_maximum: the time limit of 1e-06 s stopped the solver; the best " + k +
                            " tags found capture " + std::to_string(maximum.captured) + " of the 400 SNPs, and " + k +
                            " tags can capture at most " + std::to_string(maximum.bound) + " (a gap of " +
                            std::to_string(maximum.bound - maximum.captured) + ")\n");
  } else {
    EXPECT_EQ(messages, "");
  }

  // A budget below the needed SNPs is an input error.
  c.options.coverage.max_tags = needed - 1;
  try {
    ldcluster::choose_by_coverage(c);
    ADD_FAILURE() << "no failure";
  } catch (const textio::Failure& failure) {
    EXPECT_EQ(failure.status, 1);
    EXPECT_EQ(failure.message, "--max-tags " + std::to_string(needed - 1) + " is below the number of needed SNPs (" +
                                   std::to_string(needed) + "), which are tags of every design");
  }
}

}  // namespace
