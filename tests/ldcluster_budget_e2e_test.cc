// ldcluster's coverage order and budgets end to end: processed tables in a
// fresh directory, the real program, and every new file compared whole with
// text worked out by hand; bad input, wrong options and the time limit.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

using testing_support::run_program;
using testing_support::TempDir;

// ld_processed.txt as ldprune writes it, from rows of scores.
std::string scores(const std::vector<std::string>& names, const std::vector<std::vector<double>>& rows) {
  std::string out;
  char value[32];
  for (size_t a = 0; a < names.size(); ++a) {
    for (size_t b = 0; b < names.size(); ++b) {
      std::snprintf(value, sizeof value, "%f", rows[a][b]);
      out += names[a] + " " + names[b] + " " + value + "\n";
    }
  }
  return out;
}

// Ten SNPs. s1 tags s1-s4, s2 tags s1 and s2, s4 tags s2-s6, s8 tags s5-s8;
// s3, s5, s6 and s7 tag only themselves. u is undesirable (it tags nothing)
// and n, needed, is tagged only by itself and tags u. Every other score is
// 0.5, and a SNP that can be a tag scores 1.2 for itself (n: 1.0).
const std::vector<std::string> kNames = {"s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8", "u", "n"};
std::vector<std::vector<double>> ten_snps() {
  std::vector<std::vector<double>> rows(10, std::vector<double>(10, 0.5));
  for (int a = 0; a < 8; ++a) rows[a][a] = 1.2;
  rows[0][1] = 1.1, rows[0][2] = 1.05, rows[0][3] = 1.3;
  rows[1][0] = 1.1;
  rows[3][1] = 1.1, rows[3][2] = 1.15, rows[3][4] = 1.1, rows[3][5] = 1.15;
  rows[7][4] = 1.2, rows[7][5] = 1.15, rows[7][6] = 1.1;
  rows[8] = std::vector<double>(10, 0.0);
  for (int a = 0; a < 10; ++a) rows[a][9] = 0.0;
  rows[9][9] = 1.0, rows[9][8] = 1.05;
  return rows;
}
const std::string kSnps =
    "s1 100 0.1\ns2 200 0.1\ns3 300 0.1\ns4 400 0.1\ns5 500 0.1\ns6 600 0.1\ns7 700 0.1\ns8 800 0.1\n"
    "u 900 0.1\nn 1000 0.1\n";

void write_ten(const TempDir& dir) {
  dir.write("maf_processed.txt", kSnps);
  dir.write("ld_processed.txt", scores(kNames, ten_snps()));
  dir.write("needed.txt", "n\n");
}

// The order: n, needed, captures u and itself. Then s4 captures the most
// (s2-s6: 5, against s1's and s8's 4); then s8 (s7, s8: 2); then s1 and s2
// each capture s1 alone, and s1 is the earlier.
const std::string kOrder =
    "rank\tsnp\tposition\tneeded\tgain\n"
    "1\tn\t1000\t1\t2\n"
    "2\ts4\t400\t0\t5\n"
    "3\ts8\t800\t0\t2\n"
    "4\ts1\t100\t0\t1\n";
const std::string kRanks = "snp\trank\ns1\t4\ns2\t2\ns3\t2\ns4\t2\ns5\t2\ns6\t2\ns7\t3\ns8\t3\nu\t1\nn\t1\n";

TEST(BudgetEndToEnd, CurveAsWorkedOutByHand) {
  TempDir dir;
  write_ten(dir);
  auto r = run_program(LDCLUSTER_PATH, dir, {"--method", "none", "--needed", "needed.txt", "--curve"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.read("coverage_order.tsv"), kOrder);
  EXPECT_EQ(dir.read("capture_rank.tsv"), kRanks);
  // Only what was asked for.
  EXPECT_FALSE(dir.exists("Zentavor.result.Greedy.out"));
  EXPECT_FALSE(dir.exists("budget_summary.tsv"));
}

// K = 3. Greedy takes the order's first three, n, s4 and s8, and leaves s1
// uncaptured: 9 of 10. The best three are n, s1 and s8: all 10. Each SNP
// joins the chosen tag that scores it highest: s5 gets s8 (1.2 over s4's
// 1.1); s6 gets s4 and s8 alike (1.15), so s4, the earlier.
const std::string kGreedyTags =
    "snp\ttag\tscore\n"
    "s1\tNA\tNA\n"
    "s2\ts4\t1.100000\n"
    "s3\ts4\t1.150000\n"
    "s4\ts4\t1.200000\n"
    "s5\ts8\t1.200000\n"
    "s6\ts4\t1.150000\n"
    "s7\ts8\t1.100000\n"
    "s8\ts8\t1.200000\n"
    "u\tn\t1.050000\n"
    "n\tn\t1.000000\n";
const std::string kMaximumTags =
    "snp\ttag\tscore\n"
    "s1\ts1\t1.200000\n"
    "s2\ts1\t1.100000\n"
    "s3\ts1\t1.050000\n"
    "s4\ts1\t1.300000\n"
    "s5\ts8\t1.200000\n"
    "s6\ts8\t1.150000\n"
    "s7\ts8\t1.100000\n"
    "s8\ts8\t1.200000\n"
    "u\tn\t1.050000\n"
    "n\tn\t1.000000\n";

TEST(BudgetEndToEnd, BudgetAsWorkedOutByHand) {
  TempDir dir;
  write_ten(dir);
  auto r = run_program(LDCLUSTER_PATH, dir, {"--method=none", "--needed=needed.txt", "--max-tags", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("budget_greedy.tsv"), kGreedyTags);
  EXPECT_EQ(dir.read("budget_maximum.tsv"), kMaximumTags);
  EXPECT_EQ(dir.read("budget_summary.tsv"),
            "method\ttags\tcaptured\titems\tbound\toptimal\n"
            "budget_greedy\t3\t9\t10\t10\t0\n"
            "budget_maximum\t3\t10\t10\t10\t1\n");
  EXPECT_FALSE(dir.exists("coverage_order.tsv"));

  // Greedy alone: no bound is known.
  TempDir alone;
  write_ten(alone);
  r = run_program(LDCLUSTER_PATH, alone,
                  {"--method", "none", "--needed", "needed.txt", "--max-tags", "3", "--budget-method", "GREEDY"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(alone.read("budget_greedy.tsv"), kGreedyTags);
  EXPECT_FALSE(alone.exists("budget_maximum.tsv"));
  EXPECT_EQ(alone.read("budget_summary.tsv"),
            "method\ttags\tcaptured\titems\tbound\toptimal\nbudget_greedy\t3\t9\t10\tNA\t0\n");
}

// The pairs that tag, row by row as ld_processed.txt gives them: each SNP
// that can be a tag with itself, and the scores of ten_snps() of 1.0 or more.
const std::string kTaggingPairs =
    "s1 s1 1.200000\ns1 s2 1.100000\ns1 s3 1.050000\ns1 s4 1.300000\n"
    "s2 s1 1.100000\ns2 s2 1.200000\n"
    "s3 s3 1.200000\n"
    "s4 s2 1.100000\ns4 s3 1.150000\ns4 s4 1.200000\ns4 s5 1.100000\ns4 s6 1.150000\n"
    "s5 s5 1.200000\ns6 s6 1.200000\ns7 s7 1.200000\n"
    "s8 s5 1.200000\ns8 s6 1.150000\ns8 s7 1.100000\ns8 s8 1.200000\n"
    "n u 1.050000\nn n 1.000000\n";

// The pairs that tag are written for a later run, which reads them with
// --scores in place of the whole table and finds the same budgets.
TEST(BudgetEndToEnd, TaggingPairsServeALaterBudget) {
  TempDir dir;
  write_ten(dir);
  auto r = run_program(LDCLUSTER_PATH, dir,
                       {"--method", "none", "--needed", "needed.txt", "--curve", "--tagging-pairs", "pairs.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("pairs.txt"), kTaggingPairs);
  EXPECT_EQ(dir.read("coverage_order.tsv"), kOrder);
  const std::vector<std::string> budget = {"--method", "none", "--needed", "needed.txt", "--max-tags", "3"};
  r = run_program(LDCLUSTER_PATH, dir, budget);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string summary = dir.read("budget_summary.tsv");
  std::vector<std::string> with_scores = budget;
  with_scores.insert(with_scores.end(), {"--scores", "pairs.txt"});
  std::filesystem::remove(dir.path() / "ld_processed.txt");
  r = run_program(LDCLUSTER_PATH, dir, with_scores);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("budget_greedy.tsv"), kGreedyTags);
  EXPECT_EQ(dir.read("budget_maximum.tsv"), kMaximumTags);
  EXPECT_EQ(dir.read("budget_summary.tsv"), summary);
}

// A budget of the needed SNPs alone: n captures itself and u, both ways, and
// nothing more can be chosen; without needed SNPs a budget of 0 captures
// nothing. Both are proven at once.
TEST(BudgetEndToEnd, BudgetsOfTheNeededSnpsAlone) {
  TempDir dir;
  write_ten(dir);
  auto r = run_program(LDCLUSTER_PATH, dir, {"--method", "none", "--needed", "needed.txt", "--max-tags", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("budget_summary.tsv"),
            "method\ttags\tcaptured\titems\tbound\toptimal\n"
            "budget_greedy\t1\t2\t10\t2\t1\n"
            "budget_maximum\t1\t2\t10\t2\t1\n");
  EXPECT_EQ(dir.read("budget_maximum.tsv"), dir.read("budget_greedy.tsv"));
  dir.write("needed.txt", "");
  r = run_program(LDCLUSTER_PATH, dir, {"--method", "none", "--needed", "needed.txt", "--max-tags", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("budget_summary.tsv"),
            "method\ttags\tcaptured\titems\tbound\toptimal\n"
            "budget_greedy\t0\t0\t10\t0\t1\n"
            "budget_maximum\t0\t0\t10\t0\t1\n");
}

// A budget as large as the whole order: both capture everything.
TEST(BudgetEndToEnd, LargeBudgetsAndNoNeededSnps) {
  TempDir dir;
  write_ten(dir);
  auto r = run_program(LDCLUSTER_PATH, dir, {"--method", "none", "--needed", "needed.txt", "--max-tags", "4"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("budget_summary.tsv"),
            "method\ttags\tcaptured\titems\tbound\toptimal\n"
            "budget_greedy\t4\t10\t10\t10\t1\n"
            "budget_maximum\t4\t10\t10\t10\t1\n");

  // Without needed SNPs: s4 first (5); then s8 and n capture two each, s8
  // the earlier; then n; then s1. One tag captures at most s4's five.
  r = run_program(LDCLUSTER_PATH, dir, {"--method", "none", "--curve", "--max-tags", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("coverage_order.tsv"),
            "rank\tsnp\tposition\tneeded\tgain\n"
            "1\ts4\t400\t0\t5\n"
            "2\ts8\t800\t0\t2\n"
            "3\tn\t1000\t0\t2\n"
            "4\ts1\t100\t0\t1\n");
  EXPECT_EQ(dir.read("capture_rank.tsv"),
            "snp\trank\ns1\t4\ns2\t1\ns3\t1\ns4\t1\ns5\t1\ns6\t1\ns7\t2\ns8\t2\nu\t3\nn\t3\n");
  EXPECT_EQ(dir.read("budget_summary.tsv"),
            "method\ttags\tcaptured\titems\tbound\toptimal\n"
            "budget_greedy\t1\t5\t10\t5\t1\n"
            "budget_maximum\t1\t5\t10\t5\t1\n");
}

// Two populations. A holds a, b, c: b tags a, c tags b. B holds b, c, d: b
// is needed there (only it tags itself), c tags d, and d is undesirable.
// b, needed, captures A's a and b and B's b; then c captures the other three.
TEST(BudgetEndToEnd, PopulationsShareOneOrder) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "A");
  std::filesystem::create_directory(dir.path() / "B");
  dir.write("A/maf_processed.txt", "a 100 0.1\nb 200 0.2\nc 300 0.3\n");
  dir.write("A/ld_processed.txt", scores({"a", "b", "c"}, {{1.2, 0.5, 0.5}, {1.1, 1.2, 0.5}, {0.5, 1.15, 1.2}}));
  dir.write("A/needed.txt", "");
  dir.write("B/maf_processed.txt", "b 200 0.25\nc 300 0.35\nd 400 0.4\n");
  dir.write("B/ld_processed.txt", scores({"b", "c", "d"}, {{1.0, 0.5, 0.5}, {0.0, 1.2, 1.3}, {0.0, 0.0, 0.0}}));
  dir.write("B/needed.txt", " b\n\n");
  auto r =
      run_program(LDCLUSTER_PATH, dir,
                  {"--populations", "A,B", "--method", "none", "--needed", "needed.txt", "--curve", "--max-tags", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("coverage_order.tsv"), "rank\tsnp\tposition\tneeded\tgain\n1\tb\t200\t1\t3\n2\tc\t300\t0\t3\n");
  EXPECT_EQ(dir.read("A/capture_rank.tsv"), "snp\trank\na\t1\nb\t1\nc\t2\n");
  EXPECT_EQ(dir.read("B/capture_rank.tsv"), "snp\trank\nb\t1\nc\t2\nd\t2\n");
  // b is its own tag in A, though c scores it 1.15.
  const std::string tags_a = "snp\ttag\tscore\na\tb\t1.100000\nb\tb\t1.200000\nc\tc\t1.200000\n";
  const std::string tags_b = "snp\ttag\tscore\nb\tb\t1.000000\nc\tc\t1.200000\nd\tc\t1.300000\n";
  for (const char* m : {"budget_greedy.tsv", "budget_maximum.tsv"}) {
    EXPECT_EQ(dir.read(std::string("A/") + m), tags_a) << m;
    EXPECT_EQ(dir.read(std::string("B/") + m), tags_b) << m;
    EXPECT_FALSE(dir.exists(m)) << m;
  }
  EXPECT_EQ(dir.read("budget_summary.tsv"),
            "method\ttags\tcaptured\titems\tbound\toptimal\n"
            "budget_greedy\t2\t6\t6\t6\t1\n"
            "budget_maximum\t2\t6\t6\t6\t1\n");
  EXPECT_FALSE(dir.exists("capture_rank.tsv"));
}

// The methods' own results are the same, byte for byte, with the new
// options as without.
TEST(BudgetEndToEnd, MethodsResultsDoNotChange) {
  TempDir plain, with;
  write_ten(plain);
  write_ten(with);
  ASSERT_EQ(run_program(LDCLUSTER_PATH, plain).status, 0);
  auto r = run_program(LDCLUSTER_PATH, with, {"--needed", "needed.txt", "--curve", "--max-tags", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* m : {"Greedy", "Minimax", "Minimum"}) {
    for (const char* end : {".members.txt", ".out"}) {
      const std::string f = std::string("Zentavor.result.") + m + end;
      EXPECT_EQ(plain.read(f), with.read(f)) << f;
      EXPECT_NE(plain.read(f), "<missing>") << f;
    }
  }
  EXPECT_EQ(with.read("coverage_order.tsv"), kOrder);
}

TEST(BudgetEndToEnd, WrongOptionsAreUsageErrors) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--max-tags", "-3"}, "--max-tags '-3' is not a whole number of tags"},
      {{"--max-tags", "2.5"}, "--max-tags '2.5' is not a whole number of tags"},
      {{"--max-tags", "99999999999"}, "--max-tags '99999999999' is not a whole number of tags"},
      {{"--max-tags", "3", "--budget-method", "fast"},
       "unknown budget method 'fast' (the budget methods are greedy and maximum)"},
      {{"--curve", "--budget-method", "greedy"}, "--budget-method needs --max-tags"},
      {{"--needed", "needed.txt"}, "--needed needs --curve or --max-tags"},
      {{"--method", "none"}, "--method none leaves nothing to do without --curve or --max-tags"},
      {{"--curve=yes"}, "option '--curve' takes no value"},
      {{"--max-tags"}, "option '--max-tags' needs a value"},
      {{"--tagging-pairs", "pairs.txt"}, "--tagging-pairs needs --curve or --max-tags"},
      // Written in each table's folder, it would replace an input or an output.
      {{"--method", "none", "--curve", "--tagging-pairs", "ld_processed.txt"},
       "--tagging-pairs 'ld_processed.txt' is a file ldcluster reads or writes itself: give another name"},
      {{"--method", "none", "--curve", "--needed", "needed.txt", "--tagging-pairs", "needed.txt"},
       "--tagging-pairs 'needed.txt' is a file ldcluster reads or writes itself: give another name"},
      {{"--curve", "--tagging-pairs", "Zentavor.result.Greedy.out"},
       "--tagging-pairs 'Zentavor.result.Greedy.out' is a file ldcluster reads or writes itself: give another "
       "name"},
      {{"--max-tags", "3", "--tagging-pairs", "coverage_order.tsv"},
       "--tagging-pairs 'coverage_order.tsv' is a file ldcluster reads or writes itself: give another name"},
      {{"--curve", "--scores", "pairs.txt"},
       "--scores lists only the pairs that tag, which serves --curve and --max-tags alone: give --method none"},
      {{"--curve", "--method", "none", "--scores", "a/b.txt"}, "--scores 'a/b.txt' is not a file name"},
  };
  for (const auto& [args, message] : cases) {
    TempDir dir;
    write_ten(dir);
    auto r = run_program(LDCLUSTER_PATH, dir, args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.err, "ldcluster: " + message + "; try 'ldcluster --help'\n");
    EXPECT_FALSE(dir.exists("Zentavor.result.Greedy.out")) << args[0];
    EXPECT_FALSE(dir.exists("coverage_order.tsv")) << args[0];
  }
}

struct BadInput {
  std::string name;
  std::string needed;  // needed.txt, or "<missing>"
  std::vector<std::string> args;
  std::string err;
};

std::vector<BadInput> bad_inputs() {
  const std::vector<std::string> both = {"--curve", "--max-tags", "3"};
  return {
      {"NeededNotInTable", "n\nzz\n", both, "ldcluster: needed.txt: record 2: SNP zz is not in maf_processed.txt\n"},
      {"NoNeededFile", "<missing>", both, "ldcluster: cannot open needed.txt: No such file or directory\n"},
      {"NeededCannotBeATag", "u\n", both,
       "ldcluster: needed.txt: the needed SNP u cannot be a tag: its score for itself in ld_processed.txt is below "
       "1.0\n"},
      {"LongNeededName", std::string(60, 'x') + "\n", both,
       "ldcluster: needed.txt: record 1: SNP name \"" + std::string(59, 'x') + "...\" is longer than 59 characters\n"},
      {"BudgetBelowTheNeededSnps",
       "n\ns1\nn\n",
       {"--curve", "--max-tags", "1"},
       "ldcluster: --max-tags 1 is below the number of needed SNPs (2), which are tags of every design\n"},
  };
}

class BudgetBadInput : public testing::TestWithParam<BadInput> {};

// Bad input: one line, exit status 1, and the new outputs of an earlier run
// emptied, no partial file left.
TEST_P(BudgetBadInput, FailsWithOneLineAndLeavesTheOutputsEmpty) {
  const BadInput& c = GetParam();
  TempDir dir;
  write_ten(dir);
  if (c.needed == "<missing>") {
    std::filesystem::remove(dir.path() / "needed.txt");
  } else {
    dir.write("needed.txt", c.needed);
  }
  const std::vector<std::string> outputs = {"coverage_order.tsv", "capture_rank.tsv", "budget_greedy.tsv",
                                            "budget_maximum.tsv", "budget_summary.tsv"};
  for (const std::string& f : outputs) dir.write(f, "an earlier run's\n");
  std::vector<std::string> args = {"--method", "none", "--needed", "needed.txt"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  auto r = run_program(LDCLUSTER_PATH, dir, args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, c.err);
  for (const std::string& f : outputs) EXPECT_EQ(dir.read(f), "") << f;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BudgetBadInput, testing::ValuesIn(bad_inputs()),
                         [](const testing::TestParamInfo<BadInput>& p) { return p.param.name; });

// With populations, each folder's names are checked against its own table.
TEST(BudgetEndToEnd, NeededNamesAreCheckedPerPopulation) {
  TempDir dir;
  for (const char* p : {"A", "B"}) {
    std::filesystem::create_directory(dir.path() / p);
    dir.write(std::string(p) + "/ld_processed.txt", scores({"a", "b"}, {{1.2, 1.1}, {1.1, 1.2}}));
  }
  dir.write("A/maf_processed.txt", "a 1 0.1\nb 2 0.1\n");
  dir.write("B/maf_processed.txt", "b 2 0.1\nc 3 0.1\n");
  dir.write("B/ld_processed.txt", scores({"b", "c"}, {{1.2, 1.1}, {1.1, 1.2}}));
  dir.write("A/needed.txt", "a\n");
  dir.write("B/needed.txt", "a\n");
  auto r = run_program(LDCLUSTER_PATH, dir, {"--populations", "A,B", "--needed", "needed.txt", "--curve"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ldcluster: B/needed.txt: record 1: SNP a is not in B/maf_processed.txt\n");
}

// A write that fails: exit status 255, naming the file, and nothing under
// the new outputs' names.
TEST(BudgetEndToEnd, FailedWriteLeavesNothing) {
  TempDir dir;
  std::vector<std::string> names;
  std::vector<std::vector<double>> rows(100, std::vector<double>(100, 0.5));
  std::string snps;
  for (int k = 0; k < 100; ++k) {
    names.push_back("rs" + std::to_string(100000 + k));
    snps += names.back() + " " + std::to_string(1000 * k) + " 0.250000\n";
    rows[k][k] = 1.0;
  }
  dir.write("maf_processed.txt", snps);
  dir.write("ld_processed.txt", scores(names, rows));
  auto r = run_program(
      "/bin/bash", dir,
      {"-c", std::string("trap '' XFSZ; ulimit -f 1; exec ") + LDCLUSTER_PATH + " --method none --curve --max-tags 5"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "ldcluster: cannot write coverage_order.tsv: File too large\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "maf_processed.txt" || name == "ld_processed.txt") << name << " is left";
  }
}

// A budget the solver cannot settle within a tiny time limit: the best set
// found, never worse than greedy's, a warning with the bound and the gap,
// and the summary says so. 600 SNPs, each tagging itself and six others
// near it.
TEST(BudgetEndToEnd, TimeLimitGivesTheBestSetFoundAndAWarning) {
  const int n = 600;
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> offset(-12, 12);
  std::vector<std::string> names;
  std::string snps;
  std::vector<std::vector<double>> rows(n, std::vector<double>(n, 0.5));
  for (int a = 0; a < n; ++a) {
    names.push_back("s" + std::to_string(a));
    snps += names.back() + " " + std::to_string(a + 1) + " 0.2\n";
    rows[a][a] = 1.2;
    for (int k = 0; k < 6; ++k) rows[a][(a + n + offset(rng)) % n] = 1.1;
  }
  TempDir dir;
  dir.write("maf_processed.txt", snps);
  dir.write("ld_processed.txt", scores(names, rows));
  auto r = run_program(LDCLUSTER_PATH, dir, {"--method", "none", "--max-tags", "60", "--time-limit", "0.000001"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The summary's counts, then every line whole with them.
  const std::string summary = dir.read("budget_summary.tsv");
  int greedy = -1, tags = -1, captured = -1, bound = -1;
  ASSERT_EQ(std::sscanf(summary.c_str(),
                        "method\ttags\tcaptured\titems\tbound\toptimal\nbudget_greedy\t60\t%d\t600\t%*d\t0\n"
                        "budget_maximum\t%d\t%d\t600\t%d",
                        &greedy, &tags, &captured, &bound),
            4)
      << summary;
  EXPECT_EQ(summary, "method\ttags\tcaptured\titems\tbound\toptimal\nbudget_greedy\t60\t" + std::to_string(greedy) +
                         "\t600\t" + std::to_string(bound) + "\t0\nbudget_maximum\t" + std::to_string(tags) + "\t" +
                         std::to_string(captured) + "\t600\t" + std::to_string(bound) + "\t0\n");
  EXPECT_EQ(r.err,
            "ldcluster: budget_maximum: the time limit of 1e-06 s stopped the solver; the best 60 tags found "
            "capture " +
                std::to_string(captured) + " of the 600 SNPs, and 60 tags can capture at most " +
                std::to_string(bound) + " (a gap of " + std::to_string(bound - captured) + ")\n");
  EXPECT_LE(greedy, captured);
  EXPECT_LT(captured, bound);
  EXPECT_LE(tags, 60);

  // The file agrees: as many SNPs with a tag as captured, each by a tag
  // that tags it, from at most 60 tags.
  std::istringstream lines(dir.read("budget_maximum.tsv"));
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "snp\ttag\tscore");
  std::set<std::string> used;
  int tagged = 0;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string snp, tag, score;
    fields >> snp >> tag >> score;
    if (tag == "NA") continue;
    ++tagged;
    used.insert(tag);
    const int a = std::stoi(tag.substr(1)), b = std::stoi(snp.substr(1));
    EXPECT_GE(rows[a][b], 1.0) << line;
  }
  EXPECT_EQ(tagged, captured);
  EXPECT_EQ(used.size(), static_cast<size_t>(tags));
}

}  // namespace
