// Single ldprune steps on tables set up by hand, compared with the plain
// procedure they must reproduce.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "ldprune/steps.h"

namespace {

using ldprune::Preprocessor;
using ldprune::Snp;
using ldprune::TaggedUndesirable;
using textio::Token;

// A new table of n entries named s0..s(n-1), all kept, with the given cells.
void set_new_table(Preprocessor& p, int n, const std::vector<float>& cells) {
  p.new_table.clear();
  for (int i = 0; i < n; ++i) {
    Snp s;
    s.name = Token("s" + std::to_string(i));
    p.new_table.push_back(s);
  }
  p.n = n;
  p.r2.assign(n, cells.data());
  std::vector<int> kept(n);
  for (int i = 0; i < n; ++i) kept[i] = i;
  p.new_r2.reset(&p.r2, kept);
  std::vector<std::string_view> names;
  for (const Snp& s : p.new_table) names.push_back(s.name.str());
  p.new_index.build(names);
}

// The selection loop as written out: every score recomputed on every pick.
std::vector<int> plain_selection(Preprocessor& p, std::vector<int> needed) {
  const int nn = p.new_n();
  std::vector<char> covered(p.tagged.size(), 0);
  auto mark = [&](int i) {
    for (size_t e = 0; e < p.tagged.size(); ++e)
      if (!covered[e] && p.new_r2.at(i, p.tagged[e].new_index) >= 1.0f) covered[e] = 1;
  };
  for (int n : needed) mark(n);
  auto count = [&] { return static_cast<size_t>(std::count(covered.begin(), covered.end(), 1)); };
  while (count() < p.tagged.size()) {
    std::vector<long> score(nn, 0);
    for (int i = 0; i < nn; ++i)
      for (size_t e = 0; e < p.tagged.size(); ++e)
        score[i] += !covered[e] && p.new_r2.at(i, p.tagged[e].new_index) >= 1.0f;
    int best = 0;
    for (int i = 1; i < nn; ++i)
      if (score[i] > score[best]) best = i;
    needed.push_back(best);
    mark(best);
  }
  return needed;
}

TEST(SelectNeeded, MatchesThePlainProcedureOnRandomTables) {
  std::mt19937 rng(3);
  for (int round = 0; round < 300; ++round) {
    std::string log;
    Preprocessor p(&log);
    p.log.open_string(&log);
    int n = 2 + static_cast<int>(rng() % 40);
    std::vector<float> cells(static_cast<size_t>(n) * n);
    for (float& c : cells) c = (rng() % 4 == 0) ? 1.0f : 0.5f;
    // Every element gets a tagger whose row stays, so selection always ends.
    int t = static_cast<int>(rng() % 12);
    for (int e = 0; e < t; ++e) {
      int col = static_cast<int>(rng() % n);
      p.tagged.push_back(TaggedUndesirable{0, Token(), col});
      cells[static_cast<size_t>(rng() % n) * n + col] = 1.0f;
    }
    set_new_table(p, n, cells);
    for (int d = 0; d < static_cast<int>(rng() % 3); ++d) p.done.push_back(Token("s" + std::to_string(rng() % n)));
    std::vector<int> done_entries;
    for (const Token& d : p.done) done_entries.push_back(std::stoi(std::string(d.str().substr(1))));

    ldprune::select_needed(p);
    ASSERT_EQ(p.needed, plain_selection(p, done_entries)) << "round " << round;
  }
}

TEST(SelectNeeded, StopsWhenNoEntryTagsWhatIsLeft) {
  std::string diagnostics, log;
  Preprocessor p(&diagnostics);
  p.log.open_string(&log);
  set_new_table(p, 2, {1.0f, 0.5f, 0.5f, 0.0f});
  p.tagged.push_back(TaggedUndesirable{1, Token("s1"), 1});
  try {
    ldprune::select_needed(p);
    FAIL() << "selection went on";
  } catch (const textio::Failure& f) {
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.message, "no SNP tags the remaining 1 tagged undesirable SNPs; needed-SNP selection cannot go on");
  }
}

// Every record sets every cell (i <= j) whose row and column SNPs carry its
// names, one after another.
std::vector<float> plain_pairs(const std::vector<std::string>& names,
                               const std::vector<std::tuple<std::string, std::string, float>>& records) {
  const size_t n = names.size();
  std::vector<float> cells(n * n, 0.0f);
  for (const auto& [a, b, v] : records)
    for (size_t i = 0; i < n; ++i)
      for (size_t j = i; j < n; ++j)
        if (names[i] == a && names[j] == b) cells[i * n + j] = v;
  return cells;
}

TEST(BuildR2Table, RepeatedNamesMatchRecordByRecordAssignment) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    int n = 1 + static_cast<int>(rng() % 12);
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) names.push_back(std::string(1, static_cast<char>('a' + rng() % 4)));
    std::vector<std::tuple<std::string, std::string, float>> records;
    std::string text;
    for (int r = 0; r < static_cast<int>(rng() % 30); ++r) {
      std::string a(1, static_cast<char>('a' + rng() % 5)), b(1, static_cast<char>('a' + rng() % 5));
      float v = static_cast<float>(1 + rng() % 100) / 128.0f;
      records.emplace_back(a, b, v);
      char value[32];
      std::snprintf(value, sizeof value, "%.9g", static_cast<double>(v));
      text += a + " " + b + " " + value + "\n";
    }
    std::string messages;  // warnings about names that are not in the table
    Preprocessor p(&messages);
    p.n = n;
    p.snps.resize(n);
    for (int i = 0; i < n; ++i) p.snps[i].name = Token(names[i]);
    std::vector<std::string_view> views;
    for (int i = 0; i < n; ++i) views.push_back(p.snps[i].name.str());
    p.snp_index.build(views);
    p.ld_in.open_string(text);
    ldprune::build_r2_table(p);

    // Thresholds are 0: off the diagonal S = 1 + r², mirrored from above.
    std::vector<float> upper = plain_pairs(names, records);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        float r2 = i <= j ? upper[i * n + j] : upper[j * n + i];
        float want = i == j ? 1.0f : static_cast<float>(1.0 + static_cast<double>(r2));
        ASSERT_EQ(p.r2_at(i, j), want) << "round " << round << " cell " << i << "," << j;
      }
    }
  }
}

}  // namespace

// A large ld.txt is read in two halves at once. Whatever the bytes, the
// table and the warnings must be those of one reading from start to end:
// records that do not scan, span lines, name unknown SNPs or come in reverse
// order, on either side of the middle.
TEST(BuildR2Table, ReadingInHalvesMatchesOneReading) {
  std::mt19937 rng(12);
  // clang-format off
  const std::vector<std::string> pieces = {
      "a", "b", "c", "d", "zz", "a", "b", "c", "0.5", "0.25", "1", "-0.75", "1e", "x", ".", "-", "1e-2", "0x1p-3",
      std::string(70, 'q'), "nan"};
  // clang-format on
  const std::vector<std::string> gaps = {" ", "\t", "\n", " \n", "\n\n", " \t "};
  auto run = [&](const std::string& text, const std::vector<std::string>& names, int64_t split_bytes,
                 std::string* messages) {
    Preprocessor p(messages);
    p.ld_split_bytes = split_bytes;
    p.n = static_cast<int>(names.size());
    p.snps.resize(p.n);
    for (int i = 0; i < p.n; ++i) p.snps[i].name = Token(names[i]);
    std::vector<std::string_view> views;
    for (int i = 0; i < p.n; ++i) views.push_back(p.snps[i].name.str());
    p.snp_index.build(views);
    p.ld_in.open_string(text);
    ldprune::build_r2_table(p);
    p.diag.finish();
    return std::vector<float>(p.r2.data(), p.r2.data() + static_cast<size_t>(p.n) * p.n);
  };
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::string> names;
    int n = 1 + static_cast<int>(rng() % 5);
    for (int i = 0; i < n; ++i) names.push_back(std::string(1, static_cast<char>('a' + rng() % (round % 2 ? 4 : 26))));
    std::string text;
    int records = static_cast<int>(rng() % 40);
    for (int r = 0; r < records; ++r) {
      if (rng() % 4) {  // a well-formed line
        text += names[rng() % n] + " " + names[rng() % n] + " 0." + std::to_string(rng() % 1000) + "\n";
      } else {
        for (int k = static_cast<int>(rng() % 5); k > 0; --k)
          text += pieces[rng() % pieces.size()] + gaps[rng() % gaps.size()];
      }
    }
    if (rng() % 2) text += gaps[rng() % gaps.size()];
    std::string whole_messages, halves_messages;
    std::vector<float> whole = run(text, names, INT64_MAX, &whole_messages);
    std::vector<float> halves = run(text, names, 0, &halves_messages);
    ASSERT_EQ(whole_messages, halves_messages) << text;
    ASSERT_EQ(0, std::memcmp(whole.data(), halves.data(), whole.size() * sizeof(float))) << text;
  }
}
