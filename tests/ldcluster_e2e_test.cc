// ldcluster end to end: processed tables in a fresh directory, the real
// program, and every result file compared whole with text worked out by
// hand; the joiners on its results; bad input and failed writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

using testing_support::run_program;
using testing_support::TempDir;

const std::string kMissing = "<missing>";
const char* const kMethods[] = {"Greedy", "Minimax", "Minimum"};

std::vector<std::string> result_files() {
  std::vector<std::string> files;
  for (const char* m : kMethods) {
    files.push_back(std::string("Zentavor.result.") + m + ".members.txt");
    files.push_back(std::string("Zentavor.result.") + m + ".out");
  }
  return files;
}

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

// Five SNPs, each tagging its neighbours (the table of the Chain case of the
// methods' tests).
const std::vector<std::string> kNames = {"a", "b", "c", "d", "e"};
// clang-format off
const std::vector<std::vector<double>> kChain = {{1, 1.4, 0, 0, 0},
                                                 {1.1, 1, 1.1, 0, 0},
                                                 {0, 1.2, 1, 1.1, 0},
                                                 {0, 0, 1.2, 1, 1.3},
                                                 {0, 0, 0, 1.2, 1}};
const std::string kSnps =
    "a 100 0.100000\nb 200 0.200000\nc 300 0.300000\nd 400 0.400000\ne 500 0.450000\n";

std::string preamble(const std::string& method, int clusters, const std::string& notes = "") {
  return "ldcluster " LDTAG_VERSION ": " + method + " clusters\nInput: ld_processed.txt, maf_processed.txt\nSNPs: 5\n"
         "Clusters: " + std::to_string(clusters) + "\n" + notes + "\nCluster\tSize\tTagging SNP\tAvg. sim.\n";
}

const std::string kGreedyHeader = "SNP\tCluster\tTag\tPosition\tMAF\tChromosome\tSimilarityToTag\tClusterSize\tWeight\n";
const std::string kMinimaxHeader =
    "SNP\tCluster\tPosition\tMAF\tChromosome\tClusterSize\tTag\tSimilarityToTag\tMaxDistance\tWeight\n";

// Greedy and Minimum: tags b and d. a joins b (1.1); c joins d (1.2, over
// 1.1 from b); e joins d. Avg. sim. is the mean score from the tag, the tag's
// own 1.0 included: (1.1 + 1) / 2 and (1.2 + 1 + 1.3) / 3.
std::string greedy_members(const std::string& chromosome) {
  return kGreedyHeader + "a\t0\t0\t100\t0.100000\t" + chromosome + "\t1.100000\t2\t1\n" +
         "b\t0\t1\t200\t0.200000\t" + chromosome + "\t1.000000\t2\t1\n" +
         "c\t1\t0\t300\t0.300000\t" + chromosome + "\t1.200000\t3\t1\n" +
         "d\t1\t1\t400\t0.400000\t" + chromosome + "\t1.000000\t3\t1\n" +
         "e\t1\t0\t500\t0.450000\t" + chromosome + "\t1.300000\t3\t1\n";
}
const std::string kGreedyRows = "0\t2\tb\t1.050000\n1\t3\td\t1.166667\n";
// Minimax: a and b merge (1.4 from a), d and e (1.3), then c with them
// (centre d, lowest 1.2); a leads {a, b}. MaxDistance is 1 minus the lowest
// score from the tag to another member.
const std::string kMinimaxMembers = kMinimaxHeader + "a\t0\t100\t0.100000\tNA\t2\t1\t1.000000\t-0.400000\t1\n" +
                                    "b\t0\t200\t0.200000\tNA\t2\t0\t1.400000\t-0.400000\t1\n" +
                                    "c\t1\t300\t0.300000\tNA\t3\t0\t1.200000\t-0.200000\t1\n" +
                                    "d\t1\t400\t0.400000\tNA\t3\t1\t1.000000\t-0.200000\t1\n" +
                                    "e\t1\t500\t0.450000\tNA\t3\t0\t1.300000\t-0.200000\t1\n";
const std::string kMinimaxRows = "0\t2\ta\t1.200000\n1\t3\td\t1.166667\n";
// clang-format on

TEST(LdclusterEndToEnd, WritesEachMethodsResultAsWorkedOutByHand) {
  TempDir dir;
  dir.write("maf_processed.txt", kSnps);
  dir.write("ld_processed.txt", scores(kNames, kChain));
  auto r = run_program(LDCLUSTER_PATH, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.read("Zentavor.result.Greedy.members.txt"), greedy_members("NA"));
  EXPECT_EQ(dir.read("Zentavor.result.Greedy.out"), preamble("Greedy", 2) + kGreedyRows);
  EXPECT_EQ(dir.read("Zentavor.result.Minimax.members.txt"), kMinimaxMembers);
  EXPECT_EQ(dir.read("Zentavor.result.Minimax.out"), preamble("Minimax", 2) + kMinimaxRows);
  EXPECT_EQ(dir.read("Zentavor.result.Minimum.members.txt"), greedy_members("NA"));
  EXPECT_EQ(dir.read("Zentavor.result.Minimum.out"),
            preamble("Minimum", 2, "Tags: 2, the fewest possible\n") + kGreedyRows);

  // The joiners take the results as they are: every SNP once, tag first.
  ASSERT_EQ(run_program(MEMBERJOIN1_PATH, dir).status, 0);
  ASSERT_EQ(run_program(MEMBERJOIN2_PATH, dir).status, 0);
  const std::string header = "NAME\tORVANTE\tTag\tPosition\tMAF\n";
  // clang-format off
  EXPECT_EQ(dir.read("greedy_output.txt"), header + "b\t0\t1\t200\t0.200000\na\t0\t0\t100\t0.100000\n"
                                                    "d\t1\t1\t400\t0.400000\nc\t1\t0\t300\t0.300000\n"
                                                    "e\t1\t0\t500\t0.450000\n");
  EXPECT_EQ(dir.read("minimax_output.txt"), header + "a\t0\t1\t100\t0.100000\nb\t0\t0\t200\t0.200000\n"
                                                     "d\t1\t1\t400\t0.400000\nc\t1\t0\t300\t0.300000\n"
                                                     "e\t1\t0\t500\t0.450000\n");
  // clang-format on
}

TEST(LdclusterEndToEnd, OptionsSelectMethodsAndNameTheChromosome) {
  TempDir dir;
  dir.write("maf_processed.txt", kSnps);
  dir.write("ld_processed.txt", scores(kNames, kChain));
  dir.write("Zentavor.result.Minimax.out", "an earlier run's\n");
  auto r = run_program(LDCLUSTER_PATH, dir, {"--method", "greedy,MINIMUM", "--chromosome=10", "--time-limit", "2.5"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("Zentavor.result.Greedy.members.txt"), greedy_members("10"));
  EXPECT_EQ(dir.read("Zentavor.result.Minimum.members.txt"), greedy_members("10"));
  EXPECT_EQ(dir.read("Zentavor.result.Minimax.members.txt"), kMissing);
  EXPECT_EQ(dir.read("Zentavor.result.Minimax.out"), "an earlier run's\n");  // not selected: left alone
}

// Two populations, each in its folder. In A, b tags a and c; in B, b tags
// only itself and c tags d. One set serves both: b (B's b has no other
// tagger) and c (nor has B's c), by every method. Minimax's universal proxy
// of a is b (a holds in A only), and of d is c (d holds in B only).
TEST(LdclusterEndToEnd, PopulationsShareOneSetOfTags) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "A");
  std::filesystem::create_directory(dir.path() / "B");
  dir.write("A/maf_processed.txt", "a 100 0.100000\nb 200 0.200000\nc 300 0.300000\n");
  dir.write("A/ld_processed.txt", scores({"a", "b", "c"}, {{1, 1.2, 0}, {1.2, 1, 1.1}, {0, 1.1, 1}}));
  dir.write("B/maf_processed.txt", "b 200 0.250000\nc 300 0.350000\nd 400 0.400000\n");
  dir.write("B/ld_processed.txt", scores({"b", "c", "d"}, {{1, 0, 0}, {0, 1, 1.3}, {0, 0.5, 1}}));
  auto r = run_program(LDCLUSTER_PATH, dir, {"--populations", "A,B"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(dir.exists("Zentavor.result.Greedy.out"));

  auto summary = [](const std::string& method, const std::string& population, const std::string& notes,
                    const std::string& rows) {
    return "ldcluster " LDTAG_VERSION ": " + method + " clusters\nPopulation: " + population +
           ", one of A, B, whose tags are chosen together\nInput: " + population + "/ld_processed.txt, " + population +
           "/maf_processed.txt\nSNPs: 3\nClusters: 2\n" + notes + "\nCluster\tSize\tTagging SNP\tAvg. sim.\n" + rows;
  };
  const std::string rows_a = "0\t2\tb\t1.100000\n1\t1\tc\t1.000000\n";
  const std::string rows_b = "0\t1\tb\t1.000000\n1\t2\tc\t1.150000\n";
  const std::string greedy_a = kGreedyHeader + "a\t0\t0\t100\t0.100000\tNA\t1.200000\t2\t1\n" +
                               "b\t0\t1\t200\t0.200000\tNA\t1.000000\t2\t1\n" +
                               "c\t1\t1\t300\t0.300000\tNA\t1.000000\t1\t1\n";
  const std::string greedy_b = kGreedyHeader + "b\t0\t1\t200\t0.250000\tNA\t1.000000\t1\t1\n" +
                               "c\t1\t1\t300\t0.350000\tNA\t1.000000\t2\t1\n" +
                               "d\t1\t0\t400\t0.400000\tNA\t1.300000\t2\t1\n";
  const std::string note = "Tags: 2 for all populations, the fewest possible\n";
  EXPECT_EQ(dir.read("A/Zentavor.result.Greedy.members.txt"), greedy_a);
  EXPECT_EQ(dir.read("B/Zentavor.result.Greedy.members.txt"), greedy_b);
  EXPECT_EQ(dir.read("A/Zentavor.result.Minimum.members.txt"), greedy_a);
  EXPECT_EQ(dir.read("B/Zentavor.result.Minimum.members.txt"), greedy_b);
  EXPECT_EQ(dir.read("A/Zentavor.result.Greedy.out"), summary("Greedy", "A", "", rows_a));
  EXPECT_EQ(dir.read("B/Zentavor.result.Greedy.out"), summary("Greedy", "B", "", rows_b));
  EXPECT_EQ(dir.read("A/Zentavor.result.Minimum.out"), summary("Minimum", "A", note, rows_a));
  EXPECT_EQ(dir.read("B/Zentavor.result.Minimum.out"), summary("Minimum", "B", note, rows_b));
  EXPECT_EQ(dir.read("A/Zentavor.result.Minimax.members.txt"),
            kMinimaxHeader + "a\t0\t100\t0.100000\tNA\t2\t0\t1.200000\t-0.200000\t1\n" +
                "b\t0\t200\t0.200000\tNA\t2\t1\t1.000000\t-0.200000\t1\n" +
                "c\t1\t300\t0.300000\tNA\t1\t1\t1.000000\t0.000000\t1\n");
  EXPECT_EQ(dir.read("B/Zentavor.result.Minimax.members.txt"),
            kMinimaxHeader + "b\t0\t200\t0.250000\tNA\t1\t1\t1.000000\t0.000000\t1\n" +
                "c\t1\t300\t0.350000\tNA\t2\t1\t1.000000\t-0.300000\t1\n" +
                "d\t1\t400\t0.400000\tNA\t2\t0\t1.300000\t-0.300000\t1\n");
  EXPECT_EQ(dir.read("B/Zentavor.result.Minimax.out"), summary("Minimax", "B", "", rows_b));

  // The joiners run unchanged in a population's folder.
  TempDir in_b;
  for (const char* f : {"Zentavor.result.Greedy.members.txt", "Zentavor.result.Greedy.out"}) {
    in_b.write(f, dir.read(std::string("B/") + f));
  }
  ASSERT_EQ(run_program(MEMBERJOIN1_PATH, in_b).status, 0);
  // clang-format off
  EXPECT_EQ(in_b.read("greedy_output.txt"), "NAME\tORVANTE\tTag\tPosition\tMAF\n"
                                            "b\t0\t1\t200\t0.250000\nc\t1\t1\t300\t0.350000\n"
                                            "d\t1\t0\t400\t0.400000\n");
  // clang-format on

  // A population without its tables: one line, and no results anywhere.
  std::filesystem::remove(dir.path() / "B" / "maf_processed.txt");
  r = run_program(LDCLUSTER_PATH, dir, {"--populations", "A,B"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ldcluster: cannot open B/maf_processed.txt: No such file or directory\n");
  EXPECT_EQ(dir.read("A/Zentavor.result.Greedy.members.txt"), "");
}

// Wrong options: a usage error that touches no file.
TEST(LdclusterEndToEnd, WrongOptionsAreUsageErrors) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--method", "fastest"}, "unknown method 'fastest' (the methods are greedy, minimax and minimum)"},
      {{"--method", "greedy,"}, "unknown method '' (the methods are greedy, minimax and minimum)"},
      {{"--method"}, "option '--method' needs a value"},
      {{"--time-limit", "0"}, "--time-limit '0' is not a number of seconds above 0"},
      {{"--time-limit=ten"}, "--time-limit 'ten' is not a number of seconds above 0"},
      {{"--chromosome", "1 2"}, "--chromosome '1 2' must be one word of at most 59 characters"},
      {{"greedy"}, "unexpected argument 'greedy'"},
      {{"--populations", "A,B,A"}, "--populations: A is given twice"},
      {{"--populations=A,,B"}, "--populations: '' is not the name of a folder here"},
      {{"--populations", "../A"}, "--populations: '../A' is not the name of a folder here"},
  };
  for (const auto& [args, message] : cases) {
    TempDir dir;
    dir.write("maf_processed.txt", kSnps);
    dir.write("ld_processed.txt", scores(kNames, kChain));
    auto r = run_program(LDCLUSTER_PATH, dir, args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.err, "ldcluster: " + message + "; try 'ldcluster --help'\n");
    EXPECT_FALSE(dir.exists("Zentavor.result.Greedy.out")) << args[0];
  }
}

struct BadInput {
  std::string name;
  std::string snps;   // maf_processed.txt, or kMissing
  std::string pairs;  // ld_processed.txt, or kMissing
  std::string err;    // the one line on standard error
  int status = 1;
};

std::vector<BadInput> bad_inputs() {
  const std::vector<std::vector<double>> two = {{1, 1.1}, {1.1, 1}};
  const std::string ab = "a 1 0.1\nb 2 0.2\n";
  std::string many;
  for (int k = 0; k <= 2000; ++k) many += "s" + std::to_string(k) + " 1 0.1\n";
  return {
      {"NoSnpTable", kMissing, scores({"a", "b"}, two),
       "ldcluster: cannot open maf_processed.txt: No such file or directory\n"},
      {"NoScores", ab, kMissing, "ldcluster: cannot open ld_processed.txt: No such file or directory\n"},
      {"ShortSnpRecord", "a 1 0.1\nb 2\n", scores({"a", "b"}, two),
       "ldcluster: maf_processed.txt: record 2: expected a SNP name, its position and its MAF\n"},
      {"SnpListedTwice", "a 1 0.1\nb 2 0.2\na 3 0.3\n", scores({"a", "b"}, two),
       "ldcluster: maf_processed.txt: SNP a is listed twice (records 1 and 3)\n"},
      {"TooManySnps", many, "", "ldcluster: maf_processed.txt: more than 2000 SNPs\n"},
      {"LongName", "a 1 0.1\n" + std::string(60, 'x') + " 2 0.2\n", "",
       "ldcluster: maf_processed.txt: record 2: SNP name \"" + std::string(59, 'x') +
           "...\" is longer than 59 characters\n"},
      {"UnknownSnp", ab, "a a 1.0\na b 1.1\nb z 1.1\n",
       "ldcluster: ld_processed.txt: record 3: SNP z is not in maf_processed.txt\n"},
      {"ShortScoreRecord", ab, "a a 1.0\na b\n",
       "ldcluster: ld_processed.txt: record 2: expected two SNP names and a score\n"},
      {"ScoreNotANumber", ab, "a a 1.0\na b x\n",
       "ldcluster: ld_processed.txt: record 2: expected two SNP names and a score\n"},
      {"ScoreNotFinite", ab, "a a 1.0\na b nan\nb a 1\nb b 1\n",
       "ldcluster: ld_processed.txt: record 2: the score of a for b is not a finite number\n"},
      {"PairTwice", ab, "a a 1.0\na b 1.1\nb a 1.1\nb b 1.0\na b 1.2\n",
       "ldcluster: ld_processed.txt: record 5: the score of a for b is given a second time\n"},
      {"PairMissing", ab, "a a 1.0\na b 1.1\nb b 1.0\n",
       "ldcluster: ld_processed.txt: no score of b for a (1 of the 4 ordered pairs have none)\n"},
      {"Untaggable", ab, "a a 1.0\na b 0.5\nb a 1.1\nb b 0.0\n",
       "ldcluster: ld_processed.txt: SNP b is tagged by no SNP that can be a tag (no score of at least 1.0 for b "
       "from a SNP whose score for itself is at least 1.0), so no cluster can hold it\n"},
  };
}

class LdclusterBadInput : public testing::TestWithParam<BadInput> {};

// Bad input: one clear line, exit status 1, and no result left behind: an
// earlier run's results are emptied, and no partial file is left.
TEST_P(LdclusterBadInput, FailsWithOneLineAndLeavesNoResult) {
  const BadInput& c = GetParam();
  TempDir dir;
  if (c.snps != kMissing) dir.write("maf_processed.txt", c.snps);
  if (c.pairs != kMissing) dir.write("ld_processed.txt", c.pairs);
  for (const std::string& f : result_files()) dir.write(f, "an earlier run's\n");
  auto r = run_program(LDCLUSTER_PATH, dir);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.err, c.err);
  for (const std::string& f : result_files()) EXPECT_EQ(dir.read(f), "") << f;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find(".partial"), std::string::npos) << name << " is left";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LdclusterBadInput, testing::ValuesIn(bad_inputs()),
                         [](const testing::TestParamInfo<BadInput>& p) { return p.param.name; });

// A file-size limit makes writes fail: exit status 255, naming the file, and
// nothing under a result name.
TEST(LdclusterEndToEnd, FailedWriteLeavesNothing) {
  TempDir dir;
  std::vector<std::string> names;
  std::vector<std::vector<double>> rows(40, std::vector<double>(40, 0.0));
  std::string snps;
  for (int k = 0; k < 40; ++k) {
    names.push_back("rs" + std::to_string(100000 + k));
    snps += names.back() + " " + std::to_string(1000 * k) + " 0.250000\n";
    rows[k][k] = 1.0;
  }
  dir.write("maf_processed.txt", snps);
  dir.write("ld_processed.txt", scores(names, rows));
  auto r = run_program("/bin/bash", dir,
                       {"-c", std::string("trap '' XFSZ; ulimit -f 1; exec ") + LDCLUSTER_PATH + " --method greedy"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "ldcluster: cannot write Zentavor.result.Greedy.members.txt: File too large\n");
  EXPECT_FALSE(dir.exists("Zentavor.result.Greedy.members.txt"));
  EXPECT_FALSE(dir.exists("Zentavor.result.Greedy.members.txt.partial"));
  EXPECT_FALSE(dir.exists("Zentavor.result.Greedy.out"));
  EXPECT_FALSE(dir.exists("Zentavor.result.Greedy.out.partial"));
}

// A table large enough to be read in two halves on two threads.
struct LargeTable {
  std::vector<std::string> names;
  std::string snps;
  std::vector<std::string> lines;  // ld_processed.txt, a record per line
};

LargeTable large_table() {
  LargeTable t;
  const int n = 700;
  for (int k = 0; k < n; ++k) {
    t.names.push_back("rs" + std::to_string(1000000 + k));
    t.snps += t.names.back() + " " + std::to_string(100 * k) + " 0.300000\n";
  }
  char value[32];
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      const int d = std::abs(a - b);
      std::snprintf(value, sizeof value, "%f", a == b ? 1.0 : d < 6 ? 1.0 + 0.01 * ((a * 7 + b * 3) % 11) : 0.2);
      t.lines.push_back(t.names[a] + " " + t.names[b] + " " + value + "\n");
    }
  }
  return t;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l;
  return s;
}

// The two halves give what one reader gives: a record split over two lines
// across the middle makes the program read the whole file again on one
// thread, with the same results; an error in the second half is reported
// with its record number in the whole file.
TEST(LdclusterEndToEnd, LargeTablesReadInHalvesGiveTheSameResults) {
  const LargeTable t = large_table();
  TempDir plain, split;
  plain.write("maf_processed.txt", t.snps);
  plain.write("ld_processed.txt", joined(t.lines));
  // Split the first record that starts past the middle of the file before
  // its score, and pad the file's end with line ends so that its middle
  // falls inside that record's first name: the second half then starts at
  // the score.
  std::vector<std::string> lines = t.lines;
  const size_t size = joined(lines).size();
  size_t start = 0, k = 0;
  while (start + 3 < size / 2) start += lines[k++].size();
  std::string& record = lines[k];
  record[record.find(' ', record.find(' ') + 1)] = '\n';
  lines.push_back(std::string(2 * (start + 3) - size, '\n'));
  split.write("maf_processed.txt", t.snps);
  split.write("ld_processed.txt", joined(lines));
  ASSERT_EQ(run_program(LDCLUSTER_PATH, plain).status, 0);
  ASSERT_EQ(run_program(LDCLUSTER_PATH, split).status, 0);
  for (const std::string& f : result_files()) EXPECT_EQ(plain.read(f), split.read(f)) << f;

  lines = t.lines;
  lines[400000] = t.names[571] + " rs_gone 1.0\n";
  TempDir bad;
  bad.write("maf_processed.txt", t.snps);
  bad.write("ld_processed.txt", joined(lines));
  auto r = run_program(LDCLUSTER_PATH, bad);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ldcluster: ld_processed.txt: record 400001: SNP rs_gone is not in maf_processed.txt\n");
}

}  // namespace
