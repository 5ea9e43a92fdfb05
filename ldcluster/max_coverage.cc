// The most items a budget of tags captures: reductions, then one integer
// program solved by CBC.
//
// The program, on what the reductions leave: a binary x_c per candidate, a
// binary z_g per group of items (1 when the group is left uncaptured), and
//   minimise  sum_g weight_g z_g
//   subject to  z_g + sum_{c tags g} x_c >= 1   for every group g,
//               sum_c x_c <= k                 (as -sum_c x_c >= -k).
// The least weight left uncaptured is the most captured. Each reduction
// keeps the optimum: items the forced candidates tag are captured whatever
// else is chosen; items that the same candidates tag are captured together,
// so they are one item of their weight; and a candidate c whose items d
// also tags can give way to d in any solution (or be left out, when d is
// chosen too) without capturing fewer items.
#include "ldcluster/max_coverage.h"

#include <Cbc_C_Interface.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

#include "common/bits.h"

namespace ldcluster {
namespace {

using Words = std::vector<uint64_t>;

using common::for_each_bit;

int first_bit(const uint64_t* bits, int words) {
  for (int w = 0; w < words; ++w) {
    if (bits[w]) return w * 64 + std::countr_zero(bits[w]);
  }
  return -1;
}

// What is left to decide: the live candidates (indexes of the relation, in
// table order) and the groups of open items that the same live candidates
// tag, each weighted by its number of items, as a relation of their local
// indexes.
struct Reduced {
  std::vector<int> candidates;
  TagRelation relation;  // local candidate x group
  std::vector<int> weights;
};

Reduced group_items(const TagRelation& r, const Words& open, const std::vector<int>& live) {
  Reduced p;
  p.candidates = live;
  const int cw = r.candidate_words();
  Words live_bits(cw, 0);
  for (int c : live) live_bits[c / 64] |= uint64_t{1} << (c % 64);
  std::unordered_map<std::string, int> group_of;  // the bytes of an item's live taggers
  std::vector<int> first_item;                    // per group, one of its items
  std::string key(cw * sizeof(uint64_t), '\0');
  for_each_bit(open.data(), r.item_words(), [&](int i) {
    for (int w = 0; w < cw; ++w) {
      const uint64_t bits = r.taggers(i)[w] & live_bits[w];
      std::memcpy(&key[w * sizeof(uint64_t)], &bits, sizeof bits);
    }
    auto [it, fresh] = group_of.emplace(key, static_cast<int>(first_item.size()));
    if (fresh) {
      first_item.push_back(i);
      p.weights.push_back(0);
    }
    ++p.weights[it->second];
  });
  std::vector<int> local(r.candidates(), -1);
  for (size_t k = 0; k < live.size(); ++k) local[live[k]] = static_cast<int>(k);
  p.relation.reset(static_cast<int>(live.size()), static_cast<int>(first_item.size()));
  for (size_t g = 0; g < first_item.size(); ++g) {
    const uint64_t* by = r.taggers(first_item[g]);
    for (int w = 0; w < cw; ++w) {
      for (uint64_t b = by[w] & live_bits[w]; b; b &= b - 1) {
        p.relation.add(local[w * 64 + std::countr_zero(b)], static_cast<int>(g));
      }
    }
  }
  return p;
}

// Whether every bit of a is in b, and whether the two are equal.
void compare(const uint64_t* a, const uint64_t* b, int words, bool* subset, bool* equal) {
  *subset = *equal = true;
  for (int w = 0; w < words && *subset; ++w) {
    if (a[w] & ~b[w]) *subset = false;
    if (a[w] != b[w]) *equal = false;
  }
}

// Drops each candidate whose groups another candidate left also tags, the
// later of two that tag the same groups, and notes in gave_way_to (by
// indexes of the relation) the one it gave way to. Returns the candidates
// left.
std::vector<int> drop_dominated(const Reduced& p, std::vector<int>& gave_way_to) {
  const TagRelation& q = p.relation;
  const int n = q.candidates();
  std::vector<char> alive(n, 1);
  for (int c = 0; c < n; ++c) {
    const uint64_t* mine = q.tagged(c);
    // A candidate that tags all of c's groups tags its first one.
    const uint64_t* others = q.taggers(first_bit(mine, q.item_words()));
    int by = -1;
    for (int w = 0; w < q.candidate_words() && by < 0; ++w) {
      for (uint64_t b = others[w]; b && by < 0; b &= b - 1) {
        const int d = w * 64 + std::countr_zero(b);
        if (d == c || !alive[d]) continue;
        bool subset, equal;
        compare(mine, q.tagged(d), q.item_words(), &subset, &equal);
        if (subset && (!equal || d < c)) by = d;
      }
    }
    if (by >= 0) {
      alive[c] = 0;
      gave_way_to[p.candidates[c]] = p.candidates[by];
    }
  }
  std::vector<int> left;
  for (int c = 0; c < n; ++c) {
    if (alive[c]) left.push_back(p.candidates[c]);
  }
  return left;
}

// The weight of the groups that no candidate of `picks` (local) tags.
int uncaptured(const Reduced& p, const std::vector<int>& picks) {
  const TagRelation& q = p.relation;
  Words any(q.item_words(), 0);
  for (int x : picks) {
    for (int w = 0; w < q.item_words(); ++w) any[w] |= q.tagged(x)[w];
  }
  int weight = 0;
  for (int g = 0; g < q.items(); ++g) {
    if (!((any[g / 64] >> (g % 64)) & 1)) weight += p.weights[g];
  }
  return weight;
}

// A set of picks, and the least weight any k picks leave uncaptured.
struct Solved {
  std::vector<int> picks;  // local, ascending
  int uncaptured = 0;
  int lower = 0;
};

// Solves the program with CBC from `start` within `seconds`.
Solved solve(const Reduced& p, int k, const Solved& start, double seconds) {
  const TagRelation& q = p.relation;
  const int nx = q.candidates(), ng = q.items();
  const int cols = nx + ng, rows = ng + 1;
  std::vector<int> col_start{0}, index;
  std::vector<double> value;
  for (int x = 0; x < nx; ++x) {
    for_each_bit(q.tagged(x), q.item_words(), [&](int g) {
      index.push_back(g);
      value.push_back(1.0);
    });
    index.push_back(ng);  // the budget row
    value.push_back(-1.0);
    col_start.push_back(static_cast<int>(index.size()));
  }
  for (int g = 0; g < ng; ++g) {
    index.push_back(g);
    value.push_back(1.0);
    col_start.push_back(static_cast<int>(index.size()));
  }
  std::vector<double> lower(cols, 0.0), upper(cols, 1.0), cost(cols, 0.0), row_lower(rows, 1.0);
  for (int g = 0; g < ng; ++g) cost[nx + g] = p.weights[g];
  row_lower[ng] = -k;

  // The start in full: its picks, and the groups they leave uncaptured.
  std::vector<int> start_columns = start.picks;
  Words any(q.item_words(), 0);
  for (int x : start.picks) {
    for (int w = 0; w < q.item_words(); ++w) any[w] |= q.tagged(x)[w];
  }
  for (int g = 0; g < ng; ++g) {
    if (!((any[g / 64] >> (g % 64)) & 1)) start_columns.push_back(nx + g);
  }
  std::vector<double> ones(start_columns.size(), 1.0);

  Cbc_Model* model = Cbc_newModel();
  Cbc_loadProblem(model, cols, rows, col_start.data(), index.data(), value.data(), lower.data(), upper.data(),
                  cost.data(), row_lower.data(), nullptr);
  for (int j = 0; j < cols; ++j) Cbc_setInteger(model, j);
  Cbc_setMIPStartI(model, static_cast<int>(start_columns.size()), start_columns.data(), ones.data());
  Cbc_setLogLevel(model, 0);
  Cbc_setParameter(model, "threads", "1");
  Cbc_setParameter(model, "timeMode", "elapsed");
  Cbc_setMaximumSeconds(model, std::max(seconds, 0.001));
  Cbc_solve(model);

  Solved out = start;
  if (const double* solution = Cbc_bestSolution(model)) {
    std::vector<int> picks;
    for (int x = 0; x < nx; ++x) {
      if (solution[x] > 0.5) picks.push_back(x);
    }
    const int left = uncaptured(p, picks);
    if (static_cast<int>(picks.size()) <= k && left <= start.uncaptured) out = {picks, left, 0};
  }
  if (Cbc_isProvenOptimal(model)) {
    out.lower = out.uncaptured;
  } else {
    const double bound = Cbc_getBestPossibleObjValue(model);
    out.lower = std::isfinite(bound) ? std::clamp(static_cast<int>(std::ceil(bound - 1e-6)), 0, out.uncaptured) : 0;
  }
  Cbc_deleteModel(model);
  return out;
}

// The start's picks moved onto the candidates left: each dropped one onto
// the one it gave way to, in the end; the forced ones and those that tag
// no open item left out.
std::vector<int> start_picks(const Reduced& p, const std::vector<int>& start, const std::vector<int>& gave_way_to,
                             const std::vector<char>& forced, int k) {
  std::vector<int> local(gave_way_to.size(), -1);
  for (size_t x = 0; x < p.candidates.size(); ++x) local[p.candidates[x]] = static_cast<int>(x);
  std::vector<char> taken(p.candidates.size(), 0);
  for (int a : start) {
    if (forced[a]) continue;
    while (gave_way_to[a] >= 0) a = gave_way_to[a];
    if (local[a] >= 0) taken[local[a]] = 1;
  }
  std::vector<int> picks;
  for (size_t x = 0; x < taken.size() && static_cast<int>(picks.size()) < k; ++x) {
    if (taken[x]) picks.push_back(static_cast<int>(x));
  }
  return picks;
}

}  // namespace

BudgetCover maximum_coverage(const TagRelation& r, const std::vector<int>& forced, int budget,
                             const std::vector<int>& start, double seconds) {
  const auto began = std::chrono::steady_clock::now();
  const int nc = r.candidates(), iw = r.item_words();
  std::vector<char> is_forced(nc, 0);
  for (int a : forced) is_forced[a] = 1;
  // Open items: not captured by the forced candidates, and tagged by some
  // other candidate (an item no candidate tags counts for no set).
  Words open(iw, 0), forced_tag(iw, 0);
  for (int a = 0; a < nc; ++a) {
    Words& into = is_forced[a] ? forced_tag : open;
    for (int w = 0; w < iw; ++w) into[w] |= r.tagged(a)[w];
  }
  int captured_forced = 0;
  for (int w = 0; w < iw; ++w) {
    open[w] &= ~forced_tag[w];
    captured_forced += std::popcount(forced_tag[w]);
  }
  std::vector<int> live;
  for (int a = 0; a < nc; ++a) {
    bool any = false;
    for (int w = 0; w < iw && !any && !is_forced[a]; ++w) any = (r.tagged(a)[w] & open[w]) != 0;
    if (any) live.push_back(a);
  }

  std::vector<int> gave_way_to(nc, -1);
  Reduced p = group_items(r, open, live);
  for (;;) {
    std::vector<int> left = drop_dominated(p, gave_way_to);
    if (left.size() == p.candidates.size()) break;
    p = group_items(r, open, left);  // fewer candidates may make more groups alike
  }

  const int k = budget - static_cast<int>(forced.size());
  int total = 0;
  for (int weight : p.weights) total += weight;
  Solved best;
  if (k <= 0) {
    // The needed SNPs take the whole budget: nothing is left to choose.
    best.uncaptured = best.lower = total;
  } else if (static_cast<int>(p.candidates.size()) <= k) {
    // Every candidate left fits: they capture every open item.
    for (size_t x = 0; x < p.candidates.size(); ++x) best.picks.push_back(static_cast<int>(x));
  } else {
    best.picks = start_picks(p, start, gave_way_to, is_forced, k);
    best.uncaptured = uncaptured(p, best.picks);
    if (best.uncaptured > 0) {
      const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      best = solve(p, k, best, seconds - spent);
    }
  }

  BudgetCover out;
  out.tags = forced;
  for (int x : best.picks) out.tags.push_back(p.candidates[x]);
  std::sort(out.tags.begin(), out.tags.end());
  out.captured = captured_forced + total - best.uncaptured;
  out.bound = captured_forced + total - best.lower;
  out.optimal = out.bound == out.captured;
  return out;
}

}  // namespace ldcluster
