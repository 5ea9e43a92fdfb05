// memberjoin1 and memberjoin2 end to end: the clustering program's files in a
// fresh directory, the real program, and standard output, standard error and
// the joined table compared whole with expected text worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

using testing_support::run_program;
using testing_support::TempDir;

const std::string kHeader = "Cluster\tSize\tTagging SNP\tAvg. sim.\n";
const std::string kOutHeader = "NAME\tORVANTE\tTag\tPosition\tMAF\n";
const std::string kMissing = "<missing>";

struct Variant {
  std::string program, members, summary, output;
};
const Variant kGreedy = {MEMBERJOIN1_PATH, "Zentavor.result.Greedy.members.txt", "Zentavor.result.Greedy.out",
                         "greedy_output.txt"};
const Variant kMinimax = {MEMBERJOIN2_PATH, "Zentavor.result.Minimax.members.txt", "Zentavor.result.Minimax.out",
                          "minimax_output.txt"};

struct Case {
  std::string name;
  const Variant* variant;
  std::string members;  // kMissing: no such file
  std::string summary;
  std::string out;     // expected standard output
  std::string output;  // expected joined table, or kMissing
  std::string err = "";
  int status = 0;
};

// A Greedy member record: name, cluster, tag flag, position, MAF, four more.
std::string greedy(const std::string& name, const std::string& cluster, const std::string& flag, const std::string& pos,
                   const std::string& maf) {
  return name + "\t" + cluster + "\t" + flag + "\t" + pos + "\t" + maf + "\t10\t0.9\t3\t1\n";
}
// A Minimax member record: name, cluster, position, MAF, two more, tag flag,
// three more.
std::string minimax(const std::string& name, const std::string& cluster, const std::string& flag,
                    const std::string& pos, const std::string& maf) {
  return name + "\t" + cluster + "\t" + pos + "\t" + maf + "\t10\t3\t" + flag + "\t0.1\t1\tx\n";
}
// A line of the echo or of the joined table.
std::string line(const std::string& name, const std::string& cluster, const std::string& flag, const std::string& pos,
                 const std::string& maf) {
  return name + "\t" + cluster + "\t" + flag + "\t" + pos + "\t" + maf + "\n";
}

std::vector<Case> cases() {
  // clang-format off
  std::vector<Case> c;
  const std::string summary = "Zentavor 1.0 clustering\n\n" + kHeader + "0\t3\tb\t0.85\n1\t1\tc\t1\n2\t9\tzz\t0.5\n";
  const std::string summary_echo =
      "Zentavor 1.0 clustering\n\n\n\n" + kHeader + "\n0\t3\tb\t0.850000\n1\t1\tc\t1.000000\n";
  // Record d carries flag 7 in field 3: memberjoin1 keeps it, so d is written
  // nowhere; memberjoin2 resets it and writes d as a member. Only K = 2
  // summary rows are read.
  c.push_back({"GreedyKeepsFieldThreeFlags", &kGreedy,
               "SNP\tCluster\tTag\tPosition\tMAF\tChr\tSim\tSize\tWeight\n" + greedy("a", "0", "0", "100", "0.10") +
                   greedy("b", "0", "0", "200", "0.20") + greedy("d", "0", "7", "250", "0.25") +
                   greedy("c", "1", "0", "300", "0.30"),
               summary,
               "SNP\tCluster\tTag\tPosition\tMAF\tChr\tSim\tSize\tWeight\n\n" + line("a", "0", "0", "100", "0.10") +
                   line("b", "0", "0", "200", "0.20") + line("d", "0", "7", "250", "0.25") +
                   line("c", "1", "0", "300", "0.30") + summary_echo,
               kOutHeader + line("b", "0", "1", "200", "0.20") + line("a", "0", "0", "100", "0.10") +
                   line("c", "1", "1", "300", "0.30")});
  c.push_back({"MinimaxResetsFlags", &kMinimax,
               "H\n" + minimax("a", "0", "0", "100", "0.10") + minimax("b", "0", "1", "200", "0.20") +
                   minimax("d", "0", "7", "250", "0.25") + minimax("c", "1", "1", "300", "0.30"),
               summary,
               "H\n\n" + line("a", "0", "0", "100", "0.10") + line("b", "0", "1", "200", "0.20") +
                   line("d", "0", "7", "250", "0.25") + line("c", "1", "1", "300", "0.30") + summary_echo,
               kOutHeader + line("b", "0", "1", "200", "0.20") + line("a", "0", "0", "100", "0.10") +
                   line("d", "0", "0", "250", "0.25") + line("c", "1", "1", "300", "0.30")});
  // Unsorted list and a missing cluster number: each walk takes the record
  // at the cursor whatever its cluster. Cluster 2's tag is no member: it is
  // reported and gets no tag line.
  c.push_back({"UnsortedListAndUnknownTag", &kGreedy,
               "H\n" + greedy("a", "1", "0", "pa", "ma") + greedy("b", "0", "0", "pb", "mb") +
                   greedy("c", "0", "0", "pc", "mc") + greedy("e", "3", "0", "pe", "me"),
               kHeader + "0\t2\tc\t1\n1\t1\ta\t1\n2\t1\tq\t1\n3\t1\te\t1\n",
               "H\n\n" + line("a", "1", "0", "pa", "ma") + line("b", "0", "0", "pb", "mb") +
                   line("c", "0", "0", "pc", "mc") + line("e", "3", "0", "pe", "me") + kHeader + "\n" +
                   "0\t2\tc\t1.000000\n1\t1\ta\t1.000000\n2\t1\tq\t1.000000\n3\t1\te\t1.000000\n",
               kOutHeader + line("c", "0", "1", "pc", "mc") + line("b", "0", "0", "pb", "mb") +
                   line("a", "1", "1", "pa", "ma") + line("e", "3", "1", "pe", "me"),
               "memberjoin1: Zentavor.result.Greedy.members.txt: record 2: cluster index 0 follows 1: the list is not "
               "sorted by cluster index, and records are joined in list order\n"
               "memberjoin1: Zentavor.result.Greedy.members.txt: cluster 2 has no record; its walk takes the first "
               "record that follows\n"
               "memberjoin1: Zentavor.result.Greedy.out: cluster 2: tag SNP \"q\" is not in the member list; the "
               "cluster gets no tag line\n"});
  // Two records named x are both flagged and the later one is the tag line;
  // two clusters naming x each get a tag line.
  c.push_back({"RepeatedNamesAndSharedTag", &kMinimax,
               "H\n" + minimax("x", "0", "0", "p1", "m1") + minimax("y", "0", "0", "p2", "m2") +
                   minimax("x", "0", "0", "p3", "m3") + minimax("z", "1", "0", "p4", "m4"),
               kHeader + "0\t3\tx\t0.5\n1\t1\tx\t0.5\n",
               "H\n\n" + line("x", "0", "0", "p1", "m1") + line("y", "0", "0", "p2", "m2") +
                   line("x", "0", "0", "p3", "m3") + line("z", "1", "0", "p4", "m4") + kHeader + "\n" +
                   "0\t3\tx\t0.500000\n1\t1\tx\t0.500000\n",
               kOutHeader + line("x", "0", "1", "p3", "m3") + line("y", "0", "0", "p2", "m2") +
                   line("x", "1", "1", "p3", "m3") + line("z", "1", "0", "p4", "m4")});
  // Fewer summary rows than clusters: missing rows keep the previous numbers
  // and have an empty tag name.
  c.push_back({"FewerSummaryRows", &kGreedy,
               "H\n" + greedy("a", "0", "0", "pa", "ma") + greedy("b", "1", "0", "pb", "mb") +
                   greedy("c", "2", "0", "pc", "mc"),
               "pre\n" + kHeader + "0\t2\ta\t0.5\n",
               "H\n\n" + line("a", "0", "0", "pa", "ma") + line("b", "1", "0", "pb", "mb") +
                   line("c", "2", "0", "pc", "mc") + "pre\n\n" + kHeader + "\n" +
                   "0\t2\ta\t0.500000\n0\t2\t\t0.500000\n0\t2\t\t0.500000\n",
               kOutHeader + line("a", "0", "1", "pa", "ma") + line("b", "1", "0", "pb", "mb") +
                   line("c", "2", "0", "pc", "mc"),
               "memberjoin1: Zentavor.result.Greedy.out: row 2 is missing (3 clusters); cluster 1 gets an empty tag "
               "name and the previous row's numbers\n"
               "memberjoin1: Zentavor.result.Greedy.out: row 3 is missing (3 clusters); cluster 2 gets an empty tag "
               "name and the previous row's numbers\n"
               "memberjoin1: Zentavor.result.Greedy.out: cluster 1: tag SNP \"\" is not in the member list; the "
               "cluster gets no tag line\n"
               "memberjoin1: Zentavor.result.Greedy.out: cluster 2: tag SNP \"\" is not in the member list; the "
               "cluster gets no tag line\n"});
  // A list holding only its first line gives one empty record in cluster 0,
  // which the missing row's empty tag name matches.
  c.push_back({"HeaderOnlyMemberList", &kGreedy, "H\n", kHeader,
               "H\n\n\t0\t0\t\t\n" + kHeader + "\n0\t0\t\t0.000000\n", kOutHeader + "\t0\t1\t\t\n",
               "memberjoin1: Zentavor.result.Greedy.out: row 1 is missing (1 clusters); cluster 0 gets an empty tag "
               "name and the previous row's numbers\n"});
  c.push_back({"EmptyMemberList", &kMinimax, "", kHeader + "0\t1\ta\t1\n", "\n" + kHeader + "\n", kOutHeader});
  c.push_back({"FirstLineWithoutLineEnd", &kGreedy, "H", kHeader, "H\n" + kHeader + "\n", kOutHeader});
  c.push_back({"NegativeLastClusterIndex", &kGreedy,
               "H\n" + greedy("a", "0", "0", "p", "m") + greedy("b", "-1", "0", "p", "m"), kHeader + "0\t1\ta\t1\n",
               "H\n\n" + line("a", "0", "0", "p", "m") + line("b", "-1", "0", "p", "m") + kHeader + "\n",
               kOutHeader,
               "memberjoin1: Zentavor.result.Greedy.members.txt: record 2: cluster index -1 follows 0: the list is "
               "not sorted by cluster index, and records are joined in list order\n"
               "memberjoin1: Zentavor.result.Greedy.members.txt: 2 records from record 1 on are left out of the "
               "table: the last record's cluster index gives 0 clusters, and the list is not sorted by it\n"});
  // A last record of a lower cluster than others: the walks stop after
  // cluster 0, the records they do not reach are left out, and a warning
  // says how many.
  c.push_back({"LastRecordNotOfTheHighestCluster", &kGreedy,
               "H\n" + greedy("a", "0", "0", "pa", "ma") + greedy("c", "1", "0", "pc", "mc") +
                   greedy("e", "2", "0", "pe", "me") + greedy("d", "0", "0", "pd", "md"),
               kHeader + "0\t2\ta\t1\n",
               "H\n\n" + line("a", "0", "0", "pa", "ma") + line("c", "1", "0", "pc", "mc") +
                   line("e", "2", "0", "pe", "me") + line("d", "0", "0", "pd", "md") + kHeader + "\n" +
                   "0\t2\ta\t1.000000\n",
               kOutHeader + line("a", "0", "1", "pa", "ma"),
               "memberjoin1: Zentavor.result.Greedy.members.txt: record 4: cluster index 0 follows 2: the list is "
               "not sorted by cluster index, and records are joined in list order\n"
               "memberjoin1: Zentavor.result.Greedy.members.txt: 3 records from record 2 on are left out of the "
               "table: the last record's cluster index gives 1 cluster, and the list is not sorted by it\n"});
  // Lines longer than a read are echoed in pieces; the rest of the member
  // list's first line is scanned as the first record.
  c.push_back({"LongLinesAreReadInPieces", &kGreedy, std::string(199, 'H') + greedy("a", "0", "0", "pa", "ma"),
               std::string(150, 'L') + "\n" + kHeader + "0\t1\ta\t1\n",
               std::string(199, 'H') + "\n" + line("a", "0", "0", "pa", "ma") + std::string(99, 'L') + "\n" +
                   std::string(51, 'L') + "\n\n" + kHeader + "\n0\t1\ta\t1.000000\n",
               kOutHeader + line("a", "0", "1", "pa", "ma")});
  c.push_back({"WindowsLineEnds", &kMinimax, "H\r\n" + minimax("a", "0", "0", "pa", "ma"),
               "Cluster\tSize\tTagging SNP\tAvg. sim.\r\n0\t1\ta\t0.5\r\n",
               "H\r\n\n" + line("a", "0", "0", "pa", "ma") + "Cluster\tSize\tTagging SNP\tAvg. sim.\r\n\n" +
                   "0\t1\ta\t0.500000\n",
               kOutHeader + line("a", "0", "1", "pa", "ma")});

  // Records and rows that do not scan fully are reported; the join goes on
  // with what was read.
  c.push_back({"FieldsThatDidNotScan", &kGreedy, "H\n" + greedy("b", "0", "0", "pb", "mb") + "a\t0\t0\tpa\n",
               kHeader + "0\t2\tb\tx\n",
               "H\n\n" + line("b", "0", "0", "pb", "mb") + line("a", "0", "0", "pa", "") + kHeader + "\n" +
                   "0\t2\tb\t0.000000\n",
               kOutHeader + line("b", "0", "1", "pb", "mb") + line("a", "0", "0", "pa", ""),
               "memberjoin1: Zentavor.result.Greedy.members.txt: record 2: only 4 of 9 fields scanned; the rest are "
               "0 or empty\n"
               "memberjoin1: Zentavor.result.Greedy.out: record 1: only 3 of 4 fields scanned; the previous row's "
               "values were used\n"});

  // Errors: nothing is written to the output file.
  const std::string name59(59, 'n'), name60(60, 'n');
  const std::string one = "H\n" + greedy("a", "0", "0", "p", "m");
  c.push_back({"MissingMemberList", &kGreedy, kMissing, kHeader, "", kMissing,
               "memberjoin1: cannot open Zentavor.result.Greedy.members.txt: No such file or directory\n", 1});
  c.push_back({"MissingSummary", &kMinimax, one, kMissing, "", kMissing,
               "memberjoin2: cannot open Zentavor.result.Minimax.out: No such file or directory\n", 1});
  c.push_back({"SummaryWithoutHeader", &kGreedy, one, "Cluster\tSize\n0\t1\ta\t1\n",
               "H\n\n" + line("a", "0", "0", "p", "m") + "Cluster\tSize\n\n0\t1\ta\t1\n\n", kMissing,
               "memberjoin1: Zentavor.result.Greedy.out: the header line \"Cluster<TAB>Size<TAB>Tagging "
               "SNP<TAB>Avg. sim.\" is missing\n",
               1});
  c.push_back({"OverlongName", &kGreedy, "H\n" + greedy(name60, "0", "0", "p", "m"), kHeader, "H\n\n", kMissing,
               "memberjoin1: Zentavor.result.Greedy.members.txt: record 1: SNP name \"" + name59 +
                   "...\" is longer than 59 characters\n",
               1});
  c.push_back({"OverlongTagName", &kGreedy, one, kHeader + "0\t1\t" + name60 + "\t1\n",
               "H\n\n" + line("a", "0", "0", "p", "m") + kHeader + "\n", kMissing,
               "memberjoin1: Zentavor.result.Greedy.out: record 1: tag SNP name \"" + name59 +
                   "...\" is longer than 59 characters\n",
               1});
  c.push_back({"ClusterIndexAbove32Bits", &kMinimax, "H\n" + minimax("a", "2147483648", "0", "p", "m"), kHeader,
               "H\n\n", kMissing,
               "memberjoin2: Zentavor.result.Minimax.members.txt: record 1: cluster index is outside the 32-bit "
               "signed range\n",
               1});
  c.push_back({"TagFlagBelow32Bits", &kGreedy, "H\n" + greedy("a", "0", "-2147483649", "p", "m"), kHeader,
               "H\n\n", kMissing,
               "memberjoin1: Zentavor.result.Greedy.members.txt: record 1: tag flag is outside the 32-bit signed "
               "range\n",
               1});
  c.push_back({"TooManyClusters", &kGreedy, "H\n" + greedy("a", "10000", "0", "p", "m"), kHeader,
               "H\n\n" + line("a", "10000", "0", "p", "m"), kMissing,
               "memberjoin1: Zentavor.result.Greedy.members.txt: the last record's cluster index 10000 gives more "
               "than 10000 clusters\n",
               1});
  return c;
  // clang-format on
}

class MemberjoinEndToEnd : public testing::TestWithParam<Case> {};

TEST_P(MemberjoinEndToEnd, EchoesAndJoins) {
  const Case& c = GetParam();
  const Variant& v = *c.variant;
  TempDir dir;
  if (c.members != kMissing) dir.write(v.members, c.members);
  if (c.summary != kMissing) dir.write(v.summary, c.summary);
  auto r = run_program(v.program, dir);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(dir.read(v.output), c.output);
}

INSTANTIATE_TEST_SUITE_P(Cases, MemberjoinEndToEnd, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& p) { return p.param.name; });

std::string many(int count, const std::string& record) {
  std::string s;
  for (int i = 0; i < count; ++i) s += record;
  return s;
}

TEST(MemberjoinLimits, TenThousandRecordsAndClustersFit) {
  TempDir dir;
  std::string members = "H\n", rows = kHeader;
  for (int i = 0; i < 10000; ++i) {
    const std::string number = std::to_string(i);
    std::string name = "s";
    name += number;
    members += greedy(name, number, "0", "p", "m");
    rows += number + "\t1\t" + name + "\t1\n";
  }
  dir.write(kGreedy.members, members);
  dir.write(kGreedy.summary, rows);
  auto r = run_program(kGreedy.program, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  std::string output = dir.read(kGreedy.output);
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 10001);
  EXPECT_TRUE(output.ends_with("\ns9999\t9999\t1\tp\tm\n"));
}

TEST(MemberjoinLimits, MoreThanTenThousandRecordsIsAnError) {
  TempDir dir;
  dir.write(kMinimax.members, "H\n" + many(10001, minimax("a", "0", "0", "p", "m")));
  dir.write(kMinimax.summary, kHeader);
  auto r = run_program(kMinimax.program, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "memberjoin2: Zentavor.result.Minimax.members.txt: more than 10000 records\n");
  EXPECT_FALSE(dir.exists(kMinimax.output));
}

TEST(MemberjoinOutputs, FailedWriteExits255) {
  TempDir dir;
  dir.write(kGreedy.members, "H\n" + greedy("a", "0", "0", "p", "m"));
  dir.write(kGreedy.summary, kHeader + "0\t1\ta\t1\n");
  dir.write(kGreedy.output, "an earlier run's table\n");
  std::filesystem::create_symlink("/dev/full", dir.path() / (kGreedy.output + ".partial"));
  auto r = run_program(kGreedy.program, dir);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "memberjoin1: cannot write greedy_output.txt: No space left on device\n");
  EXPECT_EQ(dir.read(kGreedy.output), "");  // written beside its name: the name is left empty
  EXPECT_FALSE(dir.exists(kGreedy.output + ".partial"));
}

TEST(MemberjoinOutputs, UncreatableOutputIsAnError) {
  TempDir dir;
  dir.write(kMinimax.members, "H\n" + minimax("a", "0", "0", "p", "m"));
  dir.write(kMinimax.summary, kHeader + "0\t1\ta\t1\n");
  std::filesystem::create_directory(dir.path() / kMinimax.output);
  auto r = run_program(kMinimax.program, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "memberjoin2: cannot create minimax_output.txt: Is a directory\n");
}

}  // namespace
