// The tag selection methods on score matrices in memory: hand-made tables
// for the tie rules, and random tables, shaped as ldprune shapes them or not,
// checked against brute force and a plain reference of minimax linkage.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "brute_force_cover.h"
#include "ldcluster/clusterer.h"
#include "ldcluster/methods.h"

namespace {

using ldcluster::ScoreMatrix;
using ldcluster::TagRelation;

constexpr float kNone = -std::numeric_limits<float>::infinity();

ScoreMatrix matrix(const std::vector<std::vector<float>>& rows) {
  ScoreMatrix s;
  s.reset(static_cast<int>(rows.size()));
  for (size_t a = 0; a < rows.size(); ++a) {
    for (size_t b = 0; b < rows.size(); ++b) s.at(static_cast<int>(a), static_cast<int>(b)) = rows[a][b];
  }
  return s;
}

TagRelation relation(const ScoreMatrix& s) {
  TagRelation r;
  r.build(s);
  return r;
}

// SNPs that only they themselves tag: every method must make them tags.
std::vector<int> self_only(const ScoreMatrix& s) {
  std::vector<int> out;
  for (int b = 0; b < s.size(); ++b) {
    bool others = false;
    for (int a = 0; a < s.size(); ++a) others = others || (a != b && s.tags(a, b) && s.tags(a, a));
    if (s.tags(b, b) && !others) out.push_back(b);
  }
  return out;
}

// The invariants of every result: each SNP in one cluster, led by a tag that
// tags itself and every member; the self-only SNPs are tags.
void expect_valid(const ScoreMatrix& s, const std::vector<int>& tag_of, const std::string& what) {
  ASSERT_EQ(static_cast<int>(tag_of.size()), s.size()) << what;
  for (int x = 0; x < s.size(); ++x) {
    const int t = tag_of[x];
    ASSERT_TRUE(t >= 0 && t < s.size()) << what << ": SNP " << x << " is in no cluster";
    EXPECT_EQ(tag_of[t], t) << what << ": the tag of SNP " << x << " leads another cluster";
    EXPECT_TRUE(s.tags(t, t)) << what << ": tag " << t << " cannot be a tag";
    EXPECT_TRUE(s.tags(t, x)) << what << ": tag " << t << " does not tag its member " << x;
  }
  for (int b : self_only(s)) EXPECT_EQ(tag_of[b], b) << what << ": SNP " << b << " is tagged by itself only";
}

int count_tags(const std::vector<int>& tag_of) {
  int k = 0;
  for (size_t x = 0; x < tag_of.size(); ++x) k += tag_of[x] == static_cast<int>(x);
  return k;
}

// Minimax linkage as its definition reads: every pair of clusters, every
// centre, from scratch at every step; then the SNPs left alone without a
// centre, as ldcluster(1) places them.
std::vector<int> reference_minimax(const ScoreMatrix& s) {
  const int n = s.size();
  auto centre_value = [&](int c, const std::vector<int>& set) {
    if (!s.tags(c, c)) return kNone;
    float value = std::numeric_limits<float>::infinity();
    for (int x : set) {
      if (!s.tags(c, x)) return kNone;
      if (x != c) value = std::min(value, s.at(c, x));
    }
    return value;
  };
  auto best_centre = [&](const std::vector<int>& set, float* value) {
    int best = -1;
    *value = kNone;
    for (int c : set) {
      float v = centre_value(c, set);
      if (v != kNone && (best < 0 || v > *value)) {
        best = c;
        *value = v;
      }
    }
    return best;
  };
  std::vector<std::vector<int>> clusters;
  for (int x = 0; x < n; ++x) clusters.push_back({x});
  for (;;) {
    int best_a = -1, best_b = -1;
    float best_value = kNone;
    for (size_t a = 0; a < clusters.size(); ++a) {
      for (size_t b = a + 1; b < clusters.size(); ++b) {
        std::vector<int> u = clusters[a];
        u.insert(u.end(), clusters[b].begin(), clusters[b].end());
        std::sort(u.begin(), u.end());
        float value;
        if (best_centre(u, &value) >= 0 && value > best_value) {
          best_value = value;
          best_a = static_cast<int>(a);
          best_b = static_cast<int>(b);
        }
      }
    }
    if (best_a < 0) break;
    clusters[best_a].insert(clusters[best_a].end(), clusters[best_b].begin(), clusters[best_b].end());
    std::sort(clusters[best_a].begin(), clusters[best_a].end());
    clusters.erase(clusters.begin() + best_b);
  }
  struct Led {
    int tag;
    std::vector<int> members;
  };
  std::vector<Led> led;
  std::vector<int> alone;
  for (const std::vector<int>& cl : clusters) {
    float value;
    const int tag = best_centre(cl, &value);
    if (tag >= 0) {
      led.push_back({tag, cl});
    } else {
      alone.insert(alone.end(), cl.begin(), cl.end());
    }
  }
  // In table order, a SNP left alone joins the tag that scores it best; when
  // no tag tags it, its best tagger leaves its cluster, which keeps its tag,
  // to lead a new one with it. The earliest in the table wins a tie.
  std::sort(alone.begin(), alone.end());
  for (int u : alone) {
    Led* best = nullptr;
    for (Led& l : led) {
      if (!s.tags(l.tag, u)) continue;
      if (!best || s.at(l.tag, u) > s.at(best->tag, u) || (s.at(l.tag, u) == s.at(best->tag, u) && l.tag < best->tag)) {
        best = &l;
      }
    }
    if (best) {
      best->members.push_back(u);
      continue;
    }
    int tagger = -1;
    for (int t = 0; t < n; ++t) {
      if (s.tags(t, t) && s.tags(t, u) && (tagger < 0 || s.at(t, u) > s.at(tagger, u))) tagger = t;
    }
    for (Led& l : led) std::erase(l.members, tagger);
    led.push_back({tagger, {tagger, u}});
  }
  std::vector<int> tag_of(n, -1);
  for (const Led& l : led) {
    for (int x : l.members) tag_of[x] = l.tag;
  }
  return tag_of;
}

// A random table. Scores are 1 plus or minus a few steps, so that ties are
// common. With `ldprune_shape`, undesirable SNPs tag nothing and are each
// tagged by a needed SNP, which only it tags, as ldprune leaves them;
// otherwise undesirable SNPs may be tagged by any SNP. Every SNP gets a
// tagger that can be a tag.
ScoreMatrix random_table(std::mt19937& rng, int n, bool ldprune_shape) {
  std::uniform_int_distribution<int> step(-4, 4);
  std::bernoulli_distribution dense(std::uniform_real_distribution<double>(0.1, 0.9)(rng));
  std::vector<std::vector<float>> rows(n, std::vector<float>(n));
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      rows[a][b] = a == b ? 1.0f : dense(rng) ? 1.0f + 0.05f * static_cast<float>(std::abs(step(rng))) : 0.5f;
    }
  }
  std::bernoulli_distribution pick(0.25);
  std::vector<char> undesirable(n), needed(n);
  for (int x = 0; x < n; ++x) {
    undesirable[x] = pick(rng);
    needed[x] = !undesirable[x] && pick(rng);
  }
  for (int u = 0; u < n; ++u) {
    if (!undesirable[u]) continue;
    std::fill(rows[u].begin(), rows[u].end(), 0.0f);
    if (!ldprune_shape) continue;
    int tagger = -1;
    for (int a = 0; a < n && tagger < 0; ++a) {
      if (needed[a] && rows[a][u] >= 1.0f) tagger = a;
    }
    if (tagger < 0) {
      std::vector<int> free;
      for (int a = 0; a < n; ++a) {
        if (!undesirable[a]) free.push_back(a);
      }
      if (free.empty()) {
        undesirable[u] = 0;
        rows[u][u] = 1.0f;
        continue;
      }
      tagger = free[std::uniform_int_distribution<size_t>(0, free.size() - 1)(rng)];
      needed[tagger] = 1;
      rows[tagger][u] = 1.1f;
    }
  }
  for (int x = 0; x < n; ++x) {
    if (!needed[x]) continue;
    for (int a = 0; a < n; ++a) rows[a][x] = a == x ? 1.0f : 0.0f;
  }
  // Any SNP still without a tagger that can be a tag gets one.
  for (int b = 0; b < n; ++b) {
    bool tagged = false;
    for (int a = 0; a < n && !tagged; ++a) tagged = rows[a][a] >= 1.0f && rows[a][b] >= 1.0f;
    if (tagged) continue;
    for (int a = 0; a < n; ++a) {
      if (rows[a][a] >= 1.0f && !needed[b]) {
        rows[a][b] = 1.05f;
        tagged = true;
        break;
      }
    }
    if (!tagged) rows[b][b] = 1.0f;  // a SNP nothing can tag: let it tag itself
  }
  return matrix(rows);
}

TEST(LdclusterMethods, RandomTablesKeepEveryInvariant) {
  std::mt19937 rng(20261207);
  for (int round = 0; round < 640; ++round) {
    const int n = round < 600 ? 1 + round % 14 : 15 + round % 6;  // the last 40 up to 20 SNPs
    const bool shaped = round % 2 == 0;
    const ScoreMatrix s = random_table(rng, n, shaped);
    const TagRelation r = relation(s);
    ASSERT_EQ(r.untaggable(), -1);
    const std::string what = "round " + std::to_string(round);

    const std::vector<int> greedy = ldcluster::join_best_tags(s, ldcluster::greedy_cover(r));
    ldcluster::MinimumCover cover = ldcluster::minimum_cover(r, 10.0);
    const std::vector<int> minimum = ldcluster::join_best_tags(s, cover.tags);
    const std::vector<int> minimax = ldcluster::minimax_clusters(s, r);
    expect_valid(s, greedy, what + " Greedy");
    expect_valid(s, minimum, what + " Minimum");
    expect_valid(s, minimax, what + " Minimax");

    EXPECT_TRUE(cover.optimal) << what;
    EXPECT_EQ(static_cast<int>(cover.tags.size()), testing_support::brute_force_minimum(r)) << what;
    EXPECT_EQ(count_tags(minimum), static_cast<int>(cover.tags.size())) << what;
    EXPECT_GE(count_tags(greedy), count_tags(minimum)) << what;
    EXPECT_GE(count_tags(minimax), count_tags(minimum)) << what;

    EXPECT_EQ(minimax, reference_minimax(s)) << what;
    EXPECT_EQ(minimax, ldcluster::minimax_clusters(s, r, /*shortcut=*/false)) << what;
  }
}

// Larger tables: the reductions and CBC against the greedy bound, and
// minimax with and without the shortcut.
TEST(LdclusterMethods, LargerRandomTablesAgree) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    const int n = 20 + round * 3;
    const ScoreMatrix s = random_table(rng, n, round % 2 == 0);
    const TagRelation r = relation(s);
    const std::string what = "round " + std::to_string(round);
    ldcluster::MinimumCover cover = ldcluster::minimum_cover(r, 10.0);
    expect_valid(s, ldcluster::join_best_tags(s, cover.tags), what + " Minimum");
    EXPECT_TRUE(cover.optimal);
    EXPECT_LE(cover.tags.size(), ldcluster::greedy_cover(r).size()) << what;
    const std::vector<int> minimax = ldcluster::minimax_clusters(s, r);
    expect_valid(s, minimax, what + " Minimax");
    EXPECT_EQ(minimax, ldcluster::minimax_clusters(s, r, false)) << what;
    if (n <= 40) {
      EXPECT_EQ(minimax, reference_minimax(s)) << what;
    }
  }
}

struct Case {
  std::string name;
  std::vector<std::vector<float>> scores;
  std::vector<int> greedy;  // tag per SNP
  std::vector<int> minimax;
  std::vector<int> minimum;
};

// Scores worked out by hand; 0 does not tag, 1 and above does.
std::vector<Case> cases() {
  return {
      // Each SNP tags its neighbours. Greedy takes 1 (tags 0, 1, 2) first,
      // the earliest of the three that tag three; then 3 for 3 and 4. 2 joins
      // 3, whose score for it is higher. Minimax merges the highest pair
      // first: 0 and 1 (1.4 from 0), then 3 and 4 (1.3), then 2 with {3, 4},
      // whose centre 3 tags 2 with 1.2 and 4 with 1.3: 1.2, better than
      // {0, 1, 2} under centre 1 (lowest 1.1).
      {"Chain",
       {{1, 1.4f, 0, 0, 0}, {1.1f, 1, 1.1f, 0, 0}, {0, 1.2f, 1, 1.1f, 0}, {0, 0, 1.2f, 1, 1.3f}, {0, 0, 0, 1.2f, 1}},
       {1, 1, 3, 3, 3},
       {0, 0, 3, 3, 3},
       {1, 1, 3, 3, 3}},
      // SNP 2 is undesirable: it tags nothing, not even itself; 0 and 1 tag
      // it. Needed SNP 3 is tagged by itself only. 0 and 1 tag the same
      // SNPs, so Greedy and Minimum take 0, the earlier. Minimax merges 1 and
      // 2 first (1.3), then 0 with them: centre 1 (lowest 1.15) beats 0 (1.1).
      {"UndesirableAndNeeded",
       {{1, 1.1f, 1.2f, 0}, {1.15f, 1, 1.3f, 0}, {0, 0, 0, 0}, {0, 0, 0, 1}},
       {0, 0, 0, 3},
       {1, 1, 1, 3},
       {0, 0, 0, 3}},
      // Ties: all three tag each other equally. Greedy and Minimum take the
      // first; Minimax merges 0 and 1 first (the earliest pair), then 2.
      {"TiesGoToTheEarliest", {{1, 1.1f, 1.1f}, {1.1f, 1, 1.1f}, {1.1f, 1.1f, 1}}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
      // A needed SNP (0) that tags an undesirable SNP (1): the undesirable
      // SNP has no other tagger, so every method puts it with 0.
      {"NeededTagsUndesirable", {{1, 1.05f, 0}, {0, 0, 0}, {0, 0, 1}}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}},
      // A table ldprune would not make: undesirable SNPs 2 and 3 are tagged
      // by 1 alone, which does not tag 0. Minimax merges 0 and 1 (centre 0),
      // then stops: no centre tags 0 and 2, or 0 and 3, and 2 and 3 tag
      // nothing. Left alone, 2 takes its tagger 1 out of {0, 1} to lead a
      // cluster of its own ({0} keeps 0), and 3 joins the tag 1.
      {"LoneSnpsTakeTheirTaggerFromItsCluster",
       {{1, 1.3f, 0, 0}, {0, 1, 1.1f, 1.05f}, {0, 0, 0, 0}, {0, 0, 0, 0}},
       {0, 1, 1, 1},
       {0, 1, 1, 1},
       {0, 1, 1, 1}},
  };
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class HandMade : public testing::TestWithParam<Case> {};

TEST_P(HandMade, EachMethodGivesTheTagsWorkedOutByHand) {
  const Case& c = GetParam();
  const ScoreMatrix s = matrix(c.scores);
  const TagRelation r = relation(s);
  EXPECT_EQ(ldcluster::join_best_tags(s, ldcluster::greedy_cover(r)), c.greedy);
  EXPECT_EQ(ldcluster::minimax_clusters(s, r), c.minimax);
  EXPECT_EQ(reference_minimax(s), c.minimax);
  EXPECT_EQ(ldcluster::join_best_tags(s, ldcluster::minimum_cover(r, 10.0).tags), c.minimum);
}

INSTANTIATE_TEST_SUITE_P(Tables, HandMade, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& p) { return p.param.name; });

// Greedy's order: the tags only they can give first, in table order, then by
// how many untagged SNPs each tags.
TEST(LdclusterMethods, GreedyTakesSoleTaggersFirst) {
  // 3 is needed (tagged by itself only) and 0 alone tags 4, so both come
  // first; then 1 and 2 each tag one SNP left (2), and 1 is the earlier.
  const ScoreMatrix s =
      matrix({{1, 1.1f, 0, 0, 1.1f}, {1.1f, 1, 1.1f, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, 1, 0}, {0, 0, 0, 0, 0}});
  EXPECT_EQ(ldcluster::greedy_cover(relation(s)), (std::vector<int>{0, 3, 1}));
}

// A part of a relation tags as the whole does between the SNPs it keeps.
TEST(LdclusterMethods, APartOfARelationTagsAsTheWholeDoes) {
  std::mt19937 rng(5);
  for (int round = 0; round < 100; ++round) {
    const int n = 1 + round % 150;
    const TagRelation whole = relation(random_table(rng, n, round % 2 == 0));
    std::bernoulli_distribution keep(0.5);
    std::vector<int> candidates, items;
    for (int x = 0; x < n; ++x) {
      if (keep(rng)) candidates.push_back(x);
      if (keep(rng)) items.push_back(x);
    }
    TagRelation part;
    part.take_part(whole, candidates, items);
    ASSERT_EQ(part.candidates(), static_cast<int>(candidates.size()));
    ASSERT_EQ(part.items(), static_cast<int>(items.size()));
    for (size_t c = 0; c < candidates.size(); ++c) {
      for (size_t i = 0; i < items.size(); ++i) {
        const int k = static_cast<int>(c), j = static_cast<int>(i);
        ASSERT_EQ(part.tags(k, j), whole.tags(candidates[c], items[i])) << "round " << round;
        ASSERT_EQ((part.taggers(j)[k / 64] >> (k % 64)) & 1, uint64_t{part.tags(k, j)}) << "round " << round;
      }
    }
  }
}

// A block in which every SNP tags every other is one cluster, led by the SNP
// whose lowest score is the highest, whether it is found at once or merged.
TEST(LdclusterMethods, MinimaxBlockBecomesOneCluster) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> score(1.0f, 1.2f);
  const int n = 60;
  std::vector<std::vector<float>> rows(n, std::vector<float>(n, 1.0f));
  for (auto& row : rows) {
    for (float& x : row) x = score(rng);
  }
  for (int a = 0; a < n; ++a) rows[a][a] = 1.0f;
  const ScoreMatrix s = matrix(rows);
  const TagRelation r = relation(s);
  int best = 0;
  float best_low = 0;
  for (int c = 0; c < n; ++c) {
    float low = 2;
    for (int x = 0; x < n; ++x) {
      if (x != c) low = std::min(low, rows[c][x]);
    }
    if (low > best_low) {
      best = c;
      best_low = low;
    }
  }
  EXPECT_EQ(ldcluster::minimax_clusters(s, r), std::vector<int>(n, best));
  EXPECT_EQ(ldcluster::minimax_clusters(s, r, false), std::vector<int>(n, best));
}

// A cover problem CBC cannot prove in a millisecond: 200 SNPs, each tagging
// itself and about one in twelve of the others, so that a cover needs many
// tags, few candidates dominate others, and the linear relaxation leaves a
// gap to close by branching.
ScoreMatrix hard_cover_table() {
  std::mt19937 rng(11);
  std::bernoulli_distribution tags(1.0 / 12);
  std::uniform_int_distribution<int> step(0, 9);
  const int n = 200;
  std::vector<std::vector<float>> rows(n, std::vector<float>(n, 0.5f));
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      if (a == b) {
        rows[a][b] = 1.0f;
      } else if (tags(rng)) {
        rows[a][b] = 1.0f + 0.01f * static_cast<float>(step(rng));
      }
    }
  }
  return matrix(rows);
}

// A time limit too short for the solver still gives a cover, with a bound
// that is no larger.
TEST(LdclusterMethods, MinimumStoppedByItsTimeLimitStillCovers) {
  const ScoreMatrix s = hard_cover_table();
  const TagRelation r = relation(s);
  ldcluster::MinimumCover cover = ldcluster::minimum_cover(r, 0.001);
  EXPECT_FALSE(cover.optimal) << "the solver proved the cover within the limit: the test no longer tests the limit";
  expect_valid(s, ldcluster::join_best_tags(s, cover.tags), "tiny limit");
  EXPECT_TRUE(std::is_sorted(cover.tags.begin(), cover.tags.end()));
  EXPECT_LE(cover.tags.size(), ldcluster::greedy_cover(r).size());
  EXPECT_LE(cover.lower_bound, static_cast<int>(cover.tags.size()));
  EXPECT_GE(cover.lower_bound, 1);
}

// The run says so: a warning with the cover's size, the bound and the gap,
// and the same in the summary's note.
TEST(LdclusterMethods, MinimumStoppedByItsTimeLimitSaysSo) {
  std::string messages;
  ldcluster::Clusterer c(&messages);
  c.options.time_limit = 0.001;
  c.options.methods[ldcluster::kGreedy] = c.options.methods[ldcluster::kMinimax] = false;
  ldcluster::Table& t = c.add_table("");
  t.scores = hard_cover_table();
  for (int x = 0; x < t.scores.size(); ++x) t.snps.push_back({"rs" + std::to_string(x), std::to_string(x), "0.3"});
  ldcluster::build_relation(c);
  ldcluster::choose_tags(c);

  const std::vector<int>& tag_of = t.results[ldcluster::kMinimum].tag_of;
  expect_valid(t.scores, tag_of, "tiny limit");
  const int tags = count_tags(tag_of);
  ASSERT_EQ(t.results[ldcluster::kMinimum].notes.size(), 1u);
  const std::string& note = t.results[ldcluster::kMinimum].notes[0];
  const std::string lead = "Tags: " + std::to_string(tags) +
                           "; the time limit stopped the solver: the fewest possible "
                           "are at least ";
  ASSERT_EQ(note.substr(0, lead.size()), lead) << note;
  const int bound = std::stoi(note.substr(lead.size()));
  EXPECT_GE(bound, 1);
  EXPECT_LE(bound, tags);
  EXPECT_EQ(note, lead + std::to_string(bound));
  EXPECT_EQ(messages, "ldcluster: Minimum: the time limit of 0.001 s stopped the solver; the best cover found has " +
                          std::to_string(tags) + " tags, and the fewest possible are at least " +
                          std::to_string(bound) + " (a gap of " + std::to_string(tags - bound) + ")\n");
}

}  // namespace
