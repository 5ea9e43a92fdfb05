// ldprep end to end: PLINK's output for a region in a fresh directory, the
// real program, and the six files it writes compared whole with files worked
// out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

using testing_support::run_program;
using testing_support::TempDir;
using Files = std::map<std::string, std::string>;

const char* const kOutputs[] = {"SNP_names.data", "ld.txt", "maf.txt", "weight.txt", "done.txt", "undesirable.txt"};
const double kNan = std::numeric_limits<double>::quiet_NaN();

// PLINK's square r² matrix: row-major doubles, the diagonal 1.
std::string matrix(int n, const std::map<std::pair<int, int>, double>& r2) {
  std::vector<double> cells(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) cells[static_cast<size_t>(i) * n + i] = 1.0;
  for (const auto& [pair, value] : r2) {
    cells[static_cast<size_t>(pair.first) * n + pair.second] = value;
    cells[static_cast<size_t>(pair.second) * n + pair.first] = value;
  }
  std::string bytes(cells.size() * sizeof(double), '\0');
  std::memcpy(bytes.data(), cells.data(), bytes.size());
  return bytes;
}

const std::string kFreqHeader = " CHR  SNP   A1   A2          MAF  NCHROBS\n";

// Three SNPs of chromosome 10, as PLINK writes them.
Files region_abc() {
  return {{"plink.bim", "10\ta\t0\t100\tA\tG\n10\tb\t0\t200\tC\tT\n10\tc\t0\t300\tG\tT\n"},
          {"plink.frq", kFreqHeader + "  10  a    G    A       0.25     2000\n  10  b    T    C     0.1004     1990\n"
                                      "  10  c    T    G     0.4999     2000\n"},
          {"plink.ld.bin", matrix(3, {{{0, 1}, 0.5}, {{0, 2}, 0.25}, {{1, 2}, 0.1234567}})}};
}

const std::vector<std::string> kPlinkArgs = {"--bim", "plink.bim", "--freq", "plink.frq", "--ld", "plink.ld.bin"};

std::vector<std::string> with(std::vector<std::string> more) {
  std::vector<std::string> args = kPlinkArgs;
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

struct Case {
  std::string name;
  Files inputs;
  std::vector<std::string> args;
  Files outputs;  // all six, or none when the run must not write
  std::string err = "";
  int status = 0;
  std::string out = "";
};

Files abc_outputs(const std::string& weights, const std::string& done = "", const std::string& undesirable = "") {
  return {{"SNP_names.data", "SNP BP CHR10\na 100\nb 200\nc 300\n"},
          {"ld.txt", "a b 0.500000\na c 0.250000\nb c 0.123457\n"},
          {"maf.txt", "a 100 0.25\nb 200 0.1004\nc 300 0.4999\n"},
          {"weight.txt", weights},
          {"done.txt", done},
          {"undesirable.txt", undesirable}};
}

Files plus(Files a, const Files& b) {
  for (const auto& [k, v] : b) a[k] = v;
  return a;
}

std::vector<Case> cases() {
  // clang-format off
  std::vector<Case> c;
  c.push_back({"DefaultThreshold", region_abc(), kPlinkArgs, abc_outputs("a 0.8\nb 0.8\nc 0.8\n")});
  // Thresholds override the default as written; names outside the region are
  // skipped in every list; the lists keep their order, and a name listed
  // twice is kept once (ldprune would count it twice as done).
  c.push_back({"ThresholdsAndListsCutToTheRegion",
               plus(region_abc(), {{"t.txt", "b 0.9\nzz 0.5\n  c\t.85\n"},
                                   {"d.txt", "x c\na\n"},
                                   {"u.txt", "b\nq\n\nb\n"}}),
               with({"--threshold", "0.75", "--thresholds", "t.txt", "--done", "d.txt", "--undesirable=u.txt"}),
               abc_outputs("a 0.75\nb 0.9\nc .85\n", "c\na\n", "b\n")});
  c.push_back({"DoneListedTwiceIsKeptOnce",
               plus(region_abc(), {{"d.txt", "c\na c\nzz\na\n"}}),
               with({"--done", "d.txt"}),
               abc_outputs("a 0.8\nb 0.8\nc 0.8\n", "c\na\n")});
  // A pair without an r² is written as 0, with a warning; so is a SNP
  // without an allele frequency.
  Files missing = region_abc();
  missing["plink.ld.bin"] = matrix(3, {{{0, 1}, kNan}, {{0, 2}, 0.25}, {{1, 2}, 1.0}});
  missing["plink.frq"] = kFreqHeader + "10 a G A NA 0\n10 b T C 0.1004 1990\n10 c T G 0.4999 2000\n";
  c.push_back({"MissingValues", missing, kPlinkArgs,
               plus(abc_outputs("a 0.8\nb 0.8\nc 0.8\n"),
                    {{"ld.txt", "a b 0.000000\na c 0.250000\nb c 1.000000\n"},
                     {"maf.txt", "a 100 0\nb 200 0.1004\nc 300 0.4999\n"}}),
               "ldprep: plink.frq: line 2: SNP a has no allele frequency (\"NA\"); its MAF is written as 0\n"
               "ldprep: plink.ld.bin: no r² for SNPs a and b; it is written as 0\n"});

  // Input that cannot be used: nothing is written.
  Files short_matrix = region_abc();
  short_matrix["plink.ld.bin"] = matrix(2, {});
  c.push_back({"MatrixOfTheWrongSize", short_matrix, kPlinkArgs, {},
               "ldprep: plink.ld.bin: 32 bytes, where the r² matrix of 3 SNPs takes 72 (PLINK's --r2 square bin for "
               "the SNPs of plink.bim)\n",
               1});
  Files swapped = region_abc();
  swapped["plink.frq"] = kFreqHeader + "10 b T C 0.1 2000\n10 a G A 0.2 2000\n10 c T G 0.3 2000\n";
  c.push_back({"FrequenciesInAnotherOrder", swapped, kPlinkArgs, {},
               "ldprep: plink.frq: line 2: SNP b, where plink.bim has a: the two must list the same SNPs in the same "
               "order\n",
               1});
  c.push_back({"ThresholdOutOfRange", plus(region_abc(), {{"t.txt", "zz 0.5 b 1.5\n"}}), with({"--thresholds", "t.txt"}),
               {}, "ldprep: t.txt: record 2: threshold \"1.5\" of SNP b is not a number above 0 and at most 1\n", 1});
  c.push_back({"ThresholdListedTwice", plus(region_abc(), {{"t.txt", "a 0.5\nb 0.5\na 0.6\n"}}),
               with({"--thresholds", "t.txt"}), {}, "ldprep: t.txt: record 3: SNP a is listed twice (records 1 and 3)\n",
               1});
  c.push_back({"ThresholdMissing", plus(region_abc(), {{"t.txt", "a 0.5\nb\n"}}), with({"--thresholds", "t.txt"}), {},
               "ldprep: t.txt: record 2: SNP b has no threshold\n", 1});
  Files repeated = region_abc();
  repeated["plink.bim"] = "10 a 0 100 A G\n10 b 0 200 C T\n10 a 0 300 G T\n";
  c.push_back({"RepeatedName", repeated, kPlinkArgs, {}, "ldprep: plink.bim: SNP a is listed 2 times (lines 1 and 3)\n",
               1});
  Files two_chromosomes = region_abc();
  two_chromosomes["plink.bim"] = "10 a 0 100 A G\n11 b 0 200 C T\n10 c 0 300 G T\n";
  c.push_back({"TwoChromosomes", two_chromosomes, kPlinkArgs, {},
               "ldprep: plink.bim: line 2: chromosome 11 after 10: a region lies on one chromosome\n", 1});
  std::string big;
  for (int k = 0; k <= 2000; ++k) big += "1 s" + std::to_string(k) + " 0 " + std::to_string(k) + " A G\n";
  c.push_back({"MoreThan2000Snps", plus(region_abc(), {{"plink.bim", big}}), kPlinkArgs, {},
               "ldprep: plink.bim: more than 2000 SNPs\n", 1});
  c.push_back({"MissingList", region_abc(), with({"--done", "nothere.txt"}), {},
               "ldprep: cannot open nothere.txt: No such file or directory\n", 1});

  // The command line.
  c.push_back({"NoArguments", region_abc(), {}, {}, "ldprep: missing option '--bim'; try 'ldprep --help'\n", 2});
  c.push_back({"UnknownOption", region_abc(), with({"--window", "3"}), {},
               "ldprep: unknown option '--window'; try 'ldprep --help'\n", 2});
  c.push_back({"BadDefaultThreshold", region_abc(), with({"--threshold", "0"}), {},
               "ldprep: --threshold '0' is not a number above 0 and at most 1; try 'ldprep --help'\n", 2});
  c.push_back({"OptionWithoutValue", region_abc(), with({"--done"}), {},
               "ldprep: option '--done' needs a value; try 'ldprep --help'\n", 2});
  c.push_back({"Version", region_abc(), {"--version"}, {}, "", 0, "ldprep " LDTAG_VERSION "\n"});
  return c;
  // clang-format on
}

class LdprepEndToEnd : public testing::TestWithParam<Case> {};

TEST_P(LdprepEndToEnd, WritesTheSixInputs) {
  const Case& c = GetParam();
  TempDir dir;
  for (const auto& [name, content] : c.inputs) dir.write(name, content);
  auto r = run_program(LDPREP_PATH, dir, c.args);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(r.out, c.out);
  for (const char* file : kOutputs) {
    if (c.outputs.empty()) {
      EXPECT_FALSE(dir.exists(file)) << file;
    } else {
      EXPECT_EQ(dir.read(file), c.outputs.at(file)) << file;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LdprepEndToEnd, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& p) { return p.param.name; });

// A write that fails is reported with status 255. The outputs are written
// beside their names and take them only once all six are whole, so no half
// region is left behind: the partial files go, and an earlier run's outputs
// are emptied.
TEST(LdprepEndToEnd, FailedWriteLeavesNoHalfRegion) {
  TempDir dir;
  for (const auto& [name, content] : region_abc()) dir.write(name, content);
  dir.write("maf.txt", "stale\n");
  std::filesystem::create_symlink("/dev/full", dir.path() / "ld.txt.partial");
  auto r = run_program(LDPREP_PATH, dir, kPlinkArgs);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "ldprep: cannot write ld.txt: No space left on device\n");
  EXPECT_EQ(dir.read("maf.txt"), "");
  for (const char* file : kOutputs) {
    EXPECT_FALSE(dir.exists(std::string(file) + ".partial")) << file;
    if (std::string(file) != "maf.txt") {
      EXPECT_FALSE(dir.exists(file)) << file;
    }
  }
}

TEST(LdprepEndToEnd, HelpSaysWhatItReadsAndWrites) {
  TempDir dir;
  auto r = run_program(LDPREP_PATH, dir, {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.rfind("Usage: ldprep --bim FILE --freq FILE --ld FILE", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Exit status:"), std::string::npos);
}

}  // namespace
