// One set of tags for several populations: hand-made tables worked out by
// hand, and random ones against brute force over (population, SNP) pairs.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "brute_force_cover.h"
#include "ldcluster/clusterer.h"

namespace {

using ldcluster::Clusterer;
using ldcluster::Table;

// A population's SNPs (names, in table order) and their scores by pair;
// pairs not given score 0, and a SNP scores 1 for itself unless it is given.
struct Population {
  std::string name;
  std::vector<std::string> snps;
  std::map<std::pair<std::string, std::string>, float> scores;
};

// SNP positions: a SNP's place in the alphabet of its name's first letter.
std::string position_of(const std::string& name) { return std::to_string(name[0] - 'a' + 1); }

void fill(Table& t, const Population& p) {
  const int n = static_cast<int>(p.snps.size());
  for (const std::string& s : p.snps) t.snps.push_back({s, position_of(s), "0.25"});
  std::vector<std::string_view> names;
  for (const auto& s : t.snps) names.push_back(s.name);
  t.index.build(names);
  t.scores.reset(n);
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      auto it = p.scores.find({p.snps[a], p.snps[b]});
      t.scores.at(a, b) = it != p.scores.end() ? it->second : a == b ? 1.0f : 0.0f;
    }
  }
}

// Runs the three methods on the populations' tables.
void choose(Clusterer& c, const std::vector<Population>& populations) {
  for (const Population& p : populations) fill(c.add_table(p.name), p);
  ldcluster::build_relation(c);
  ldcluster::choose_tags(c);
}

// Per population, per SNP: the name of its tag.
std::map<std::string, std::map<std::string, std::string>> tags_by_population(const Clusterer& c, ldcluster::Method m) {
  std::map<std::string, std::map<std::string, std::string>> out;
  for (const Table& t : c.tables) {
    for (size_t b = 0; b < t.snps.size(); ++b) out[t.population][t.snps[b].name] = t.snps[t.results[m].tag_of[b]].name;
  }
  return out;
}

std::set<std::string> chosen(const Clusterer& c, ldcluster::Method m) {
  std::set<std::string> tags;
  for (const Table& t : c.tables) {
    for (size_t b = 0; b < t.snps.size(); ++b) {
      if (t.results[m].tag_of[b] == static_cast<int>(b)) tags.insert(t.snps[b].name);
    }
  }
  return tags;
}

using Tags = std::map<std::string, std::map<std::string, std::string>>;

struct Case {
  std::string name;
  std::vector<Population> populations;
  Tags greedy, minimum, minimax;
};

std::vector<Case> cases() {
  return {
      // a varies in P1 only, d in P2 only. c alone tags itself in P1, b alone
      // in P2: both are tags, and they tag the rest; Minimax's universal
      // proxies are the same.
      {"VariesInOnePopulationOnly",
       {{"P1", {"a", "b", "c"}, {{{"a", "b"}, 1.1f}, {{"b", "a"}, 1.1f}}},
        {"P2", {"b", "c", "d"}, {{{"c", "d"}, 1.2f}, {{"d", "c"}, 1.1f}}}},
       {{"P1", {{"a", "b"}, {"b", "b"}, {"c", "c"}}}, {"P2", {{"b", "b"}, {"c", "c"}, {"d", "c"}}}},
       {{"P1", {{"a", "b"}, {"b", "b"}, {"c", "c"}}}, {"P2", {{"b", "b"}, {"c", "c"}, {"d", "c"}}}},
       {{"P1", {{"a", "b"}, {"b", "b"}, {"c", "c"}}}, {"P2", {{"b", "b"}, {"c", "c"}, {"d", "c"}}}}},
      // t varies in P1 only and tags x there; in P2, x and y tag each other.
      // t is needed (only it tags itself); then x, the first of x and y, for
      // P2. x is a chosen tag in P1 too, so it leads its own cluster there.
      // Minimax: t cannot be x's proxy (it does not vary in P2), x is y's.
      {"TagInOnePopulationOnly",
       {{"P1", {"t", "x"}, {{{"t", "x"}, 1.2f}}}, {"P2", {"x", "y"}, {{{"x", "y"}, 1.1f}, {{"y", "x"}, 1.1f}}}},
       {{"P1", {{"t", "t"}, {"x", "x"}}}, {"P2", {{"x", "x"}, {"y", "x"}}}},
       {{"P1", {{"t", "t"}, {"x", "x"}}}, {"P2", {{"x", "x"}, {"y", "x"}}}},
       {{"P1", {{"t", "t"}, {"x", "x"}}}, {"P2", {{"x", "x"}, {"y", "x"}}}}},
      // b is needed in P2 (tagged by itself only) and tags a in both: one
      // tag for both populations.
      {"NeededInOnePopulation",
       {{"P1", {"a", "b"}, {{{"a", "b"}, 1.1f}, {{"b", "a"}, 1.1f}}},
        {"P2", {"a", "b"}, {{{"a", "b"}, 0.0f}, {{"b", "a"}, 1.2f}}}},
       {{"P1", {{"a", "b"}, {"b", "b"}}}, {"P2", {{"a", "b"}, {"b", "b"}}}},
       {{"P1", {{"a", "b"}, {"b", "b"}}}, {"P2", {{"a", "b"}, {"b", "b"}}}},
       {{"P1", {{"a", "b"}, {"b", "b"}}}, {"P2", {{"a", "b"}, {"b", "b"}}}}},
      // Three populations. b and c are needed (P1, P2); P3 needs a or d, a
      // the first. No SNP tags another in every population where that one
      // varies, so Minimax's universal proxies are the SNPs themselves.
      {"ThreePopulations",
       {{"P1", {"a", "b", "c"}, {{{"b", "a"}, 1.1f}, {{"b", "c"}, 1.1f}}},
        {"P2", {"b", "c", "d"}, {{{"c", "b"}, 1.1f}, {{"c", "d"}, 1.1f}}},
        {"P3", {"a", "d"}, {{{"a", "d"}, 1.1f}, {{"d", "a"}, 1.1f}}}},
       {{"P1", {{"a", "a"}, {"b", "b"}, {"c", "c"}}},
        {"P2", {{"b", "b"}, {"c", "c"}, {"d", "c"}}},
        {"P3", {{"a", "a"}, {"d", "a"}}}},
       {{"P1", {{"a", "a"}, {"b", "b"}, {"c", "c"}}},
        {"P2", {{"b", "b"}, {"c", "c"}, {"d", "c"}}},
        {"P3", {{"a", "a"}, {"d", "a"}}}},
       {{"P1", {{"a", "a"}, {"b", "b"}, {"c", "c"}}},
        {"P2", {{"b", "b"}, {"c", "c"}, {"d", "d"}}},
        {"P3", {{"a", "a"}, {"d", "d"}}}}},
  };
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class JointChoice : public testing::TestWithParam<Case> {};

TEST_P(JointChoice, EachMethodGivesTheTagsWorkedOutByHand) {
  const Case& k = GetParam();
  Clusterer c;
  choose(c, k.populations);
  EXPECT_EQ(tags_by_population(c, ldcluster::kGreedy), k.greedy);
  EXPECT_EQ(tags_by_population(c, ldcluster::kMinimum), k.minimum);
  EXPECT_EQ(tags_by_population(c, ldcluster::kMinimax), k.minimax);
}

INSTANTIATE_TEST_SUITE_P(Tables, JointChoice, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& p) { return p.param.name; });

// Random populations: scores around 1, a SNP now and then undesirable (it
// tags nothing) or needed in one population (tagged only by itself there).
std::vector<Population> random_populations(std::mt19937& rng, int count, int n) {
  std::bernoulli_distribution varies(0.7), undesirable(0.1), needed(0.15), dense(0.4);
  std::uniform_int_distribution<int> step(0, 4);
  std::vector<std::string> names;
  for (int k = 0; k < n; ++k) names.push_back(std::string(1, static_cast<char>('a' + k)));
  std::set<std::string> unwanted;
  for (const std::string& s : names) {
    if (undesirable(rng)) unwanted.insert(s);
  }
  std::vector<Population> out;
  for (int p = 0; p < count; ++p) {
    Population pop{"P" + std::to_string(p + 1), {}, {}};
    for (const std::string& s : names) {
      if (varies(rng)) pop.snps.push_back(s);
    }
    if (pop.snps.empty()) pop.snps.push_back(names[static_cast<size_t>(p) % names.size()]);
    for (const std::string& a : pop.snps) {
      for (const std::string& b : pop.snps) {
        if (a == b) continue;
        pop.scores[{a, b}] = dense(rng) ? 1.0f + 0.05f * static_cast<float>(step(rng)) : 0.5f;
      }
    }
    for (const std::string& u : pop.snps) {
      if (!unwanted.count(u)) continue;
      for (const std::string& b : pop.snps) pop.scores[{u, b}] = 0.0f;
      // Someone that can be a tag tags it, as ldprune makes sure.
      for (const std::string& a : pop.snps) {
        if (!unwanted.count(a)) {
          pop.scores[{a, u}] = 1.1f;
          break;
        }
      }
    }
    for (const std::string& x : pop.snps) {
      if (unwanted.count(x) || !needed(rng)) continue;
      for (const std::string& a : pop.snps) pop.scores[{a, x}] = a == x ? 1.0f : 0.0f;
    }
    // A population of undesirable SNPs only gets a SNP that can tag them.
    bool any = false;
    for (const std::string& a : pop.snps) any = any || !unwanted.count(a);
    if (!any) {
      for (const std::string& a : pop.snps) pop.scores[{a, a}] = 1.0f;
    }
    out.push_back(pop);
  }
  return out;
}

TEST(JointChoice, RandomPopulationsKeepEveryInvariantAndMinimumIsTheFewest) {
  std::mt19937 rng(17);
  int rounds = 0;
  for (int round = 0; rounds < 300; ++round) {
    const int count = 2 + round % 2;
    const int n = 2 + round % 7;
    std::vector<Population> populations = random_populations(rng, count, n);
    Clusterer c;
    for (const Population& p : populations) fill(c.add_table(p.name), p);
    try {
      ldcluster::build_relation(c);
    } catch (const textio::Failure&) {
      continue;  // a SNP no one can tag in some population: not a table ldprune writes
    }
    ++rounds;
    if (c.joint.items() > 60) continue;
    ldcluster::choose_tags(c);
    const std::string what = "round " + std::to_string(round);
    for (int m = 0; m < ldcluster::kMethods; ++m) {
      for (const Table& t : c.tables) {
        const std::vector<int>& tag_of = t.results[m].tag_of;
        ASSERT_EQ(tag_of.size(), t.snps.size()) << what;
        for (size_t x = 0; x < t.snps.size(); ++x) {
          const int tag = tag_of[x];
          ASSERT_GE(tag, 0) << what << " method " << m << " " << t.population << " SNP " << x;
          EXPECT_EQ(tag_of[tag], tag) << what;
          EXPECT_TRUE(t.relation.tags(tag, tag) && t.relation.tags(tag, static_cast<int>(x)))
              << what << " method " << m << " " << t.population << " SNP " << x;
        }
      }
    }
    // The fewest tags that tag every (population, SNP) pair.
    const size_t fewest = static_cast<size_t>(testing_support::brute_force_minimum(c.joint));
    EXPECT_EQ(chosen(c, ldcluster::kMinimum).size(), fewest) << what;
    EXPECT_GE(chosen(c, ldcluster::kGreedy).size(), fewest) << what;
    EXPECT_GE(chosen(c, ldcluster::kMinimax).size(), fewest) << what;
  }
}

}  // namespace
