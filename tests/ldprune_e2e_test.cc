// ldprune end to end: input files in a fresh directory, the real program,
// and whole output files compared with expected files worked out by hand.
//
// Thresholds of 0.75 and dyadic r² values keep the tag scores exact:
// S = 1 - (threshold - r²), so an unlisted pair scores 0.25.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

using testing_support::run_program;
using testing_support::TempDir;

const std::string kBefore =
    "\n  Before deleting undesirable and untagged SNPs, and adjusting the weights for done and undersirable SNPs: r2 "
    "table:\n";
const std::string kAfter = "\n  After deleting and adjusting for done SNPs: new_r2 table:\n";

using Files = std::map<std::string, std::string>;

// A matrix dump: each row's cells, each followed by a blank, then a line end.
std::string dump(const std::vector<std::string>& rows) {
  std::string s;
  for (const std::string& r : rows) s += r + " \n";
  return s;
}

// ld_processed.txt from the names and the rows of the new_r2 dump.
std::string pairs(const std::vector<std::string>& names, const std::vector<std::string>& rows) {
  std::string s;
  for (size_t i = 0; i < names.size(); ++i) {
    size_t at = 0;
    for (size_t j = 0; j < names.size(); ++j) {
      size_t end = rows[i].find(' ', at);
      s += names[i] + " " + names[j] + " " + rows[i].substr(at, end - at) + "\n";
      at = end == std::string::npos ? end : end + 1;
    }
  }
  return s;
}

struct Case {
  std::string name;
  Files inputs;
  std::string log;
  std::string ld_processed;
  std::string maf_processed;
  std::string err = "";
};

Files snps_abc() {
  return {{"SNP_names.data", "SNP BP CHR\na 1\nb 2\nc 3\n"},
          {"maf.txt", "a 1 0.5\nb 2 0.5\nc 3 0.5\n"},
          {"weight.txt", "a 0.75\nb 0.75\nc 0.75\n"},
          {"done.txt", ""},
          {"undesirable.txt", ""}};
}

Files with(Files base, const Files& changes) {
  for (const auto& [k, v] : changes) base[k] = v;
  return base;
}

const std::string kMafAbc = "a 1 0.500000\nb 2 0.500000\nc 3 0.500000\n";

std::vector<Case> cases() {
  // clang-format off
  std::vector<Case> c;
  {
    std::vector<std::string> m = {"1.000000 1.125000 1.000000", "0.875000 1.000000 0.500000",
                                  "1.000000 0.750000 1.000000"};
    c.push_back({"AsymmetricScoresWithoutScreening",
                 {{"SNP_names.data", "SNP\tBP\tCHR\na\t100\nb\t200\nc\t300\n"},
                  {"ld.txt", "a b 0.625\na c 0.75\nb c 0.25\n"},
                  {"maf.txt", "a 100 0.1\nb 200 0.25\nc 300 0.5\n"},
                  {"weight.txt", "a\t0.75\nb\t0.5\nc\t0.75\n"},
                  {"done.txt", ""},
                  {"undesirable.txt", ""}},
                 "total done SNP number is 0\nundesirable SNPs total number is 0\n"
                 "Undesirable and untagged SNPs number: 0\n" +
                     kBefore + dump(m) + kAfter + dump(m),
                 pairs({"a", "b", "c"}, m), "a 100 0.100000\nb 200 0.250000\nc 300 0.500000\n"});
  }
  {
    // Header and records spread over lines; maf.txt extras and a missing SNP
    // (b) that stops the cursor; weight.txt renames b to B, lacks c (threshold
    // 0) and ends without a line end; ld.txt pairs in reverse order, unknown,
    // listed twice, and under the old name; white-space-only done.txt.
    std::vector<std::string> m = {"1.000000 1.000000 1.500000", "0.750000 1.000000 1.000000",
                                  "0.750000 0.500000 1.000000"};
    c.push_back({"LayoutRenamingAndTolerance",
                 {{"SNP_names.data", "SNP\n BP\tCHR10\n a 1\n\n b\t2 c\n3\n\n\n"},
                  {"ld.txt", "a B 0.5\nB a 0.875\nc a 0.625\nq a 1\na c 0.25\na  \t c 0.5\nb c 0.75\n"},
                  {"maf.txt", "x 5 0.5\na 10 0.25\nc 30 0.75\n"},
                  {"weight.txt", "a\t0.75\n  B 0.5"},
                  {"done.txt", "\n\n \t\n"},
                  {"undesirable.txt", ""}},
                 "total done SNP number is 0\nundesirable SNPs total number is 0\n"
                 "Undesirable and untagged SNPs number: 0\n" +
                     kBefore + dump(m) + kAfter + dump(m),
                 pairs({"a", "B", "c"}, m), "a 10 0.250000\nB 0 0.000000\nc 0 0.000000\n",
                 // Every tolerated oddity is reported; the outputs stay as above.
                 "ldprune: maf.txt: no record for SNP b (SNP 2 of the SNP list) after record 2, where it should "
                 "follow; it and the 1 SNPs after it keep position 0 and MAF 0\n"
                 "ldprune: weight.txt: record 2: name B differs from b, SNP 2 of the SNP list; B is used\n"
                 "ldprune: weight.txt: 2 records for 3 SNPs; the last 1 SNPs get threshold 0, so every SNP tags "
                 "them\n"
                 "ldprune: ld.txt: record 2: SNPs B and a are listed in reverse SNP-list order; the record is "
                 "ignored\n"
                 "ldprune: ld.txt: record 3: SNPs c and a are listed in reverse SNP-list order; the record is "
                 "ignored\n"
                 "ldprune: ld.txt: record 4: SNP q is not in the SNP list; the record is ignored\n"
                 "ldprune: ld.txt: record 7: SNP b is not in the SNP list; the record is ignored\n"});
  }
  {
    // q: threshold 0.5, r² one step below 0.5 (shortfall 2^-25): p tags q.
    // r: threshold 0.8, r² one step below 0.8 (shortfall 2^-24): p does not
    // tag r, so r has no desirable tagger and is dropped.
    c.push_back({"SinglePrecisionRoundingEdges",
                 {{"SNP_names.data", "SNP BP CHR\np 1\nq 2\nr 3\n"},
                  {"ld.txt", "p q 0.49999997\np r 0.79999995\nq r 0.6\n"},
                  {"maf.txt", "p 1 0.1\nq 2 0.2\nr 3 0.3\n"},
                  {"weight.txt", "p 0.8\nq 0.5\nr 0.8\n"},
                  {"done.txt", ""},
                  {"undesirable.txt", "q\nr\n"}},
                 "total done SNP number is 0\nundesirable SNPs total number is 2\n"
                 "Undesirable SNP q is tagged by 1 other desirable SNPs\n"
                 "Undesirable SNP q can be tagged by other desirable SNPs\n"
                 "Undesirable SNP r is tagged by 0 other desirable SNPs\n"
                 "Undesirable and untagged SNPs number: 1\n"
                 "Undesirable and tagged SNP: q\n"
                 "The undesirable and tagged SNP q is the 1th SNP (counting from 0th) in the new table\n"
                 "the 0th needed SNP (counting from 0) is: p\n" +
                     kBefore +
                     dump({"1.000000 1.000000 1.000000", "0.700000 1.000000 0.800000",
                           "1.000000 1.100000 1.000000"}) +
                     kAfter + dump({"1.000000 1.000000", "0.000000 0.000000"}),
                 "p p 1.000000\np q 1.000000\nq p 0.000000\nq q 0.000000\n",
                 "p 1 0.100000\nq 2 0.200000\n"});
  }
  {
    // c is tagged by a (r² equal to the threshold); d only by undesirable c,
    // so d is dropped. Done b does not tag c, so a is picked and forced too.
    std::vector<std::string> fin = {"1.000000 0.000000 1.000000", "0.000000 1.000000 0.500000",
                                    "0.000000 0.000000 0.000000"};
    c.push_back({"ScreeningDropsAndSilences",
                 {{"SNP_names.data", "SNP BP CHR\na 1\nb 2\nc 3\nd 4\n"},
                  {"ld.txt", "a b 0.5\na c 0.75\nb c 0.25\nc d 0.875\n"},
                  {"maf.txt", "a 1 0.5\nb 2 0.5\nc 3 0.5\nd 4 0.5\n"},
                  {"weight.txt", "a 0.75\nb 0.75\nc 0.75\nd 0.75\n"},
                  {"done.txt", "b\n"},
                  {"undesirable.txt", "c\nd\n"}},
                 "total done SNP number is 1\nundesirable SNPs total number is 2\n"
                 "Undesirable SNP c is tagged by 1 other desirable SNPs\n"
                 "Undesirable SNP c can be tagged by other desirable SNPs\n"
                 "Undesirable SNP d is tagged by 0 other desirable SNPs\n"
                 "Undesirable and untagged SNPs number: 1\n"
                 "Undesirable and tagged SNP: c\n"
                 "The undesirable and tagged SNP c is the 2th SNP (counting from 0th) in the new table\n"
                 "the 0th needed SNP (counting from 0) is: b\n"
                 "the 1th needed SNP (counting from 0) is: a\n" +
                     kBefore +
                     dump({"1.000000 0.750000 1.000000 0.250000", "0.750000 1.000000 0.500000 0.250000",
                           "1.000000 0.500000 1.000000 1.125000", "0.250000 0.250000 1.125000 1.000000"}) +
                     kAfter + dump(fin),
                 pairs({"a", "b", "c"}, fin), kMafAbc});
  }
  {
    // d is tagged by a and b alike: the tie goes to a. Done c (listed twice)
    // already covers e. e is also done: forcing gives its zeroed row its
    // diagonal back.
    std::vector<std::string> fin = {"1.000000 0.250000 0.000000 1.000000 0.000000",
                                    "0.000000 1.000000 0.000000 1.000000 0.000000",
                                    "0.000000 0.250000 1.000000 0.250000 0.000000",
                                    "0.000000 0.000000 0.000000 0.000000 0.000000",
                                    "0.000000 0.000000 0.000000 0.000000 1.000000"};
    c.push_back({"NeededSnpsTiesAndDoneCoverage",
                 {{"SNP_names.data", "SNP BP CHR\na 1\nb 2\nc 3\nd 4\ne 5\n"},
                  {"ld.txt", "a d 0.75\nb d 0.75\nc e 0.75\n"},
                  {"maf.txt", "a 1 0.5\nb 2 0.5\nc 3 0.5\nd 4 0.5\ne 5 0.5\n"},
                  {"weight.txt", "a 0.75\nb 0.75\nc 0.75\nd 0.75\ne 0.75\n"},
                  {"done.txt", "c\nc\ne\n"},
                  {"undesirable.txt", "d\ne\n"}},
                 "total done SNP number is 3\nundesirable SNPs total number is 2\n"
                 "Undesirable SNP d is tagged by 2 other desirable SNPs\n"
                 "Undesirable SNP d can be tagged by other desirable SNPs\n"
                 "Undesirable SNP e is tagged by 1 other desirable SNPs\n"
                 "Undesirable SNP e can be tagged by other desirable SNPs\n"
                 "Undesirable and untagged SNPs number: 0\n"
                 "Undesirable and tagged SNP: d\n"
                 "Undesirable and tagged SNP: e\n"
                 "The undesirable and tagged SNP d is the 3th SNP (counting from 0th) in the new table\n"
                 "The undesirable and tagged SNP e is the 4th SNP (counting from 0th) in the new table\n"
                 "the 0th needed SNP (counting from 0) is: c\n"
                 "the 1th needed SNP (counting from 0) is: c\n"
                 "the 2th needed SNP (counting from 0) is: e\n"
                 "the 3th needed SNP (counting from 0) is: a\n" +
                     kBefore +
                     dump({"1.000000 0.250000 0.250000 1.000000 0.250000",
                           "0.250000 1.000000 0.250000 1.000000 0.250000",
                           "0.250000 0.250000 1.000000 0.250000 1.000000",
                           "1.000000 1.000000 0.250000 1.000000 0.250000",
                           "0.250000 0.250000 1.000000 0.250000 1.000000"}) +
                     kAfter + dump(fin),
                 pairs({"a", "b", "c", "d", "e"}, fin),
                 "a 1 0.500000\nb 2 0.500000\nc 3 0.500000\nd 4 0.500000\ne 5 0.500000\n"});
  }
  {
    // The SNP table names a twice: pairs reach every cell of their names in
    // table order, and the undesirable and done names take the last match.
    std::vector<std::string> fin = {"1.000000 0.750000", "0.000000 1.000000"};
    c.push_back({"RepeatedSnpNames",
                 {{"SNP_names.data", "SNP BP CHR\na 1\nb 2\na 3\n"},
                  {"ld.txt", "a b 0.5\nb a 0.25\na a 0.5\n"},
                  {"maf.txt", "a 1 0.5\nb 2 0.5\na 3 0.5\n"},
                  {"weight.txt", "a 0.75\nb 0.75\na 0.75\n"},
                  {"done.txt", "a\n"},
                  {"undesirable.txt", "a\n"}},
                 "total done SNP number is 1\nundesirable SNPs total number is 1\n"
                 "Undesirable SNP a is tagged by 0 other desirable SNPs\n"
                 "Undesirable and untagged SNPs number: 1\n"
                 "the 0th needed SNP (counting from 0) is: a\n" +
                     kBefore +
                     dump({"1.000000 0.750000 0.750000", "0.750000 1.000000 0.500000",
                           "0.750000 0.500000 1.000000"}) +
                     kAfter + dump(fin),
                 pairs({"a", "b"}, fin), "a 1 0.500000\nb 2 0.500000\n"});
  }
  {
    // An undesirable name that is in no SNP table entry is reported and takes
    // no part: SNP 0 (a) stays desirable and tags c.
    std::vector<std::string> fin = {"1.000000 0.250000 1.000000", "0.000000 1.000000 0.250000",
                                    "0.000000 0.000000 0.000000"};
    c.push_back({"UnknownUndesirableNameIsIgnored",
                 with(snps_abc(), {{"ld.txt", "a c 0.75\n"}, {"undesirable.txt", "zz\nc\n"}}),
                 "total done SNP number is 0\nundesirable SNPs total number is 2\n"
                 "Undesirable SNP c is tagged by 1 other desirable SNPs\n"
                 "Undesirable SNP c can be tagged by other desirable SNPs\n"
                 "Undesirable and untagged SNPs number: 0\n"
                 "Undesirable and tagged SNP: c\n"
                 "The undesirable and tagged SNP c is the 2th SNP (counting from 0th) in the new table\n"
                 "the 0th needed SNP (counting from 0) is: a\n" +
                     kBefore +
                     dump({"1.000000 0.250000 1.000000", "0.250000 1.000000 0.250000",
                           "1.000000 0.250000 1.000000"}) +
                     kAfter + dump(fin),
                 pairs({"a", "b", "c"}, fin), kMafAbc,
                 "ldprune: undesirable.txt: record 1: SNP zz is not in the SNP list; it is ignored\n"});
  }
  {
    // A done SNP that is undesirable and untagged is dropped: its done name
    // matches nothing and is left out of the needed list.
    std::vector<std::string> fin = {"1.000000 0.000000", "1.000000 1.000000"};
    c.push_back({"DroppedDoneSnpIsLeftOut",
                 with(snps_abc(), {{"ld.txt", "a b 0.75\n"}, {"undesirable.txt", "c\n"}, {"done.txt", "c\nb\n"}}),
                 "total done SNP number is 2\nundesirable SNPs total number is 1\n"
                 "Undesirable SNP c is tagged by 0 other desirable SNPs\n"
                 "Undesirable and untagged SNPs number: 1\n"
                 "the 0th needed SNP (counting from 0) is: b\n" +
                     kBefore +
                     dump({"1.000000 1.000000 0.250000", "1.000000 1.000000 0.250000",
                           "0.250000 0.250000 1.000000"}) +
                     kAfter + dump(fin),
                 pairs({"a", "b"}, fin), "a 1 0.500000\nb 2 0.500000\n",
                 "ldprune: done.txt: record 1: SNP c is not in the new table (not in the SNP list, or an undesirable "
                 "SNP that no desirable SNP tags); it is ignored\n"});
  }
  {
    const std::string empty_log = "total done SNP number is 0\nundesirable SNPs total number is 0\n"
                                  "Undesirable and untagged SNPs number: 0\n" +
                                  kBefore + kAfter;
    c.push_back({"HeaderOnlySnpList",
                 with(snps_abc(), {{"SNP_names.data", "SNP BP CHR\n"}, {"ld.txt", "a b 0.5\n"}}), empty_log, "",
                 "", "ldprune: ld.txt: record 1: SNP a is not in the SNP list; the record is ignored\n"});
    c.push_back({"EmptySnpList", with(snps_abc(), {{"SNP_names.data", ""}, {"ld.txt", ""}}), empty_log, "", ""});
  }
  return c;
  // clang-format on
}

class LdpruneEndToEnd : public testing::TestWithParam<Case> {};

TEST_P(LdpruneEndToEnd, WritesExpectedFiles) {
  const Case& c = GetParam();
  TempDir dir;
  for (const auto& [name, content] : c.inputs) dir.write(name, content);
  // Outputs of an earlier, larger run leave nothing behind.
  for (const char* out : {"ld_processed_temp.txt", "ld_processed.txt", "maf_processed.txt"}) {
    dir.write(out, std::string(100000, 'x'));
  }
  auto r = run_program(LDPRUNE_PATH, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.read("ld_processed_temp.txt"), c.log);
  EXPECT_EQ(dir.read("ld_processed.txt"), c.ld_processed);
  EXPECT_EQ(dir.read("maf_processed.txt"), c.maf_processed);
  for (const auto& [name, content] : c.inputs) EXPECT_EQ(dir.read(name), content) << name << " was changed";
}

INSTANTIATE_TEST_SUITE_P(Cases, LdpruneEndToEnd, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& p) { return p.param.name; });

std::string repeat(const std::string& line, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += line;
  return s;
}

std::string numbered(const std::string& prefix, int count, const std::string& suffix) {
  std::string s;
  for (int i = 0; i < count; ++i) s += prefix + std::to_string(i) + suffix;
  return s;
}

struct ErrorCase {
  std::string name;
  Files changes;  // applied to the three-SNP inputs; "" with key prefix "-" removes a file
  int status;
  std::string err;
};

std::vector<ErrorCase> error_cases() {
  // clang-format off
  const std::string name29(29, 'n'), name30(30, 'n');
  return {
      {"TooManyDoneRecords", {{"done.txt", repeat("a\n", 2001)}}, 1, "ldprune: done.txt: more than 2000 records\n"},
      {"TooManyUndesirableRecords", {{"undesirable.txt", repeat("c\n", 2001)}}, 1,
       "ldprune: undesirable.txt: more than 2000 records\n"},
      {"TooManyWeightRecords", {{"weight.txt", repeat("a 0.5\n", 2001)}}, 1,
       "ldprune: weight.txt: more than 2000 records\n"},
      {"TooManySnps", {{"SNP_names.data", "S B C\n" + numbered("s", 2001, " 1\n")}}, 1,
       "ldprune: SNP_names.data: more than 2000 records\n"},
      {"OverlongSnpName", {{"SNP_names.data", "S B C\na 1\n" + name30 + " 2\n"}}, 1,
       "ldprune: SNP_names.data: record 2: SNP name \"" + name29 + "...\" is longer than 29 characters\n"},
      {"OverlongWeightName", {{"weight.txt", "a 0.5\nb 0.5\nc 0.5\n" + name30 + " 0.5\n"}}, 1,
       "ldprune: weight.txt: record 4: SNP name \"" + name29 + "...\" is longer than 29 characters\n"},
      {"OverlongDoneName", {{"done.txt", name30 + "\n"}}, 1,
       "ldprune: done.txt: record 1: SNP name \"" + name29 + "...\" is longer than 29 characters\n"},
      {"PositionAbove32Bits", {{"maf.txt", "a 1 0.5\nb 2147483648 0.5\n"}}, 1,
       "ldprune: maf.txt: record 2: position is outside the 32-bit signed range\n"},
      {"PositionBelow32Bits", {{"maf.txt", "zz -2147483649 0.5\n"}}, 1,
       "ldprune: maf.txt: record 1: position is outside the 32-bit signed range\n"},
      {"MissingInput", {{"-weight.txt", ""}}, 1, "ldprune: cannot open weight.txt: No such file or directory\n"},
      {"MissingSnpList", {{"-SNP_names.data", ""}}, 1,
       "ldprune: cannot open SNP_names.data: No such file or directory\n"},
      {"NeededListOverflows",
       {{"ld.txt", "b c 0.75\n"}, {"undesirable.txt", "c\n"}, {"done.txt", repeat("a\n", 2000)}}, 1,
       "ldprune: more than 2000 needed SNPs\n"},
  };
  // clang-format on
}

class LdpruneErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(LdpruneErrors, ReportsAndLeavesNoResults) {
  const ErrorCase& c = GetParam();
  TempDir dir;
  Files inputs = with(snps_abc(), {{"ld.txt", ""}});
  for (const auto& [name, content] : c.changes) {
    if (name[0] == '-') inputs.erase(name.substr(1));
    else inputs[name] = content;
  }
  for (const auto& [name, content] : inputs) dir.write(name, content);
  bool opens_fail = c.name.rfind("Missing", 0) == 0;
  for (const char* out : {"ld_processed_temp.txt", "ld_processed.txt", "maf_processed.txt"}) {
    if (!opens_fail || out == std::string("ld_processed.txt")) dir.write(out, "earlier results\n");
  }
  auto r = run_program(LDPRUNE_PATH, dir);
  EXPECT_EQ(r.status, c.status);
  // The error is the last line; warnings about records read before it may
  // come first.
  EXPECT_TRUE(r.err.ends_with(c.err)) << r.err;
  if (opens_fail) {
    // Nothing is created or changed when an input cannot be opened.
    EXPECT_FALSE(dir.exists("ld_processed_temp.txt"));
    EXPECT_FALSE(dir.exists("maf_processed.txt"));
    EXPECT_EQ(dir.read("ld_processed.txt"), "earlier results\n");
  } else {
    // A run that fails after opening its outputs leaves them empty.
    for (const char* out : {"ld_processed_temp.txt", "ld_processed.txt", "maf_processed.txt"}) {
      EXPECT_EQ(dir.read(out), "") << out;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LdpruneErrors, testing::ValuesIn(error_cases()),
                         [](const testing::TestParamInfo<ErrorCase>& p) { return p.param.name; });

TEST(LdpruneLimits, AcceptsExactlyTheCapacitiesAndLongDiscardedTokens) {
  TempDir dir;
  const std::string long_token(100, 't'), name29(29, 'n');
  Files inputs =
      with(snps_abc(), {{"SNP_names.data", long_token + " B C\na " + long_token + "\nb 2\n" + name29 + " 3\n"},
                        {"weight.txt", "a 0.75\nb 0.75\n" + name29 + " 0.75\n" + repeat("x 0\n", 1997)},
                        {"maf.txt", "a -2147483648 0.5\n" + long_token + " 7 0.5\nb 2147483647 0.5\n"},
                        {"ld.txt", long_token + " a 0.5\n"},
                        {"done.txt", repeat("a\n", 2000)},
                        {"undesirable.txt", ""}});
  for (const auto& [name, content] : inputs) dir.write(name, content);
  auto r = run_program(LDPRUNE_PATH, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "ldprune: maf.txt: no record for SNP " + name29 +
                       " (SNP 3 of the SNP list) after record 3, where it should follow; it and the 0 SNPs after "
                       "it keep position 0 and MAF 0\n"
                       "ldprune: ld.txt: record 1: SNP " +
                       std::string(40, 't') + "... is not in the SNP list; the record is ignored\n");
  EXPECT_EQ(dir.read("maf_processed.txt"),
            "a -2147483648 0.500000\nb 2147483647 0.500000\n" + name29 + " 0 0.000000\n");
  EXPECT_NE(dir.read("ld_processed_temp.txt").find("total done SNP number is 2000\n"), std::string::npos);
  EXPECT_NE(dir.read("ld_processed_temp.txt").find("the 1999th needed SNP (counting from 0) is: a\n"),
            std::string::npos);
}

TEST(LdpruneOutputs, UncreatableOutputIsAnInputError) {
  TempDir dir;
  for (const auto& [name, content] : with(snps_abc(), {{"ld.txt", ""}})) dir.write(name, content);
  std::filesystem::create_directory(dir.path() / "ld_processed.txt");
  dir.write("ld_processed_temp.txt", "a log of an earlier run\n");
  dir.write("maf_processed.txt", "a table of an earlier run\n");
  auto r = run_program(LDPRUNE_PATH, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ldprune: cannot create ld_processed.txt: Is a directory\n");
  // Nothing is changed, and no partial file is left.
  EXPECT_EQ(dir.read("ld_processed_temp.txt"), "a log of an earlier run\n");
  EXPECT_EQ(dir.read("maf_processed.txt"), "a table of an earlier run\n");
  EXPECT_FALSE(dir.exists("ld_processed_temp.txt.partial"));
}

// Outputs are written beside their names ("<name>.partial") and renamed into
// place when whole; a partial file that leads to a full disk makes a write
// fail.
TEST(LdpruneOutputs, FailedWriteExits255AndNamesTheFile) {
  TempDir dir;
  for (const auto& [name, content] : with(snps_abc(), {{"ld.txt", ""}})) dir.write(name, content);
  dir.write("ld_processed.txt", "an earlier run's table\n");
  std::filesystem::create_symlink("/dev/full", dir.path() / "ld_processed.txt.partial");
  auto r = run_program(LDPRUNE_PATH, dir);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "ldprune: cannot write ld_processed.txt: No space left on device\n");
  // That output is left empty and its partial file goes; the other outputs,
  // written in full, are emptied too, so that no table of the failed run
  // passes for a result.
  EXPECT_EQ(dir.read("ld_processed.txt"), "");
  EXPECT_FALSE(dir.exists("ld_processed.txt.partial"));
  EXPECT_EQ(dir.read("maf_processed.txt"), "");
  EXPECT_EQ(dir.read("ld_processed_temp.txt"), "");
}

// Numbers no r², threshold or MAF can be are used as read, each with a
// warning that names it: the run's outputs are what the reading gives.
TEST(LdpruneWarnings, NumbersOutOfRangeAreUsedAndNamed) {
  TempDir dir;
  for (const auto& [name, content] : with(snps_abc(), {{"ld.txt", "a b nan\na c 1.0000002\n"},
                                                       {"weight.txt", "a 0.75\nb 1e-50\nc 2\n"},
                                                       {"maf.txt", "a 1 0.5\nb 2 -0.25\nc 3 inf\n"}})) {
    dir.write(name, content);
  }
  auto r = run_program(LDPRUNE_PATH, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "ldprune: maf.txt: record 2: MAF -0.25 of SNP b is not a number from 0 to 1; it is used as read\n"
            "ldprune: maf.txt: record 3: MAF inf of SNP c is not a number from 0 to 1; it is used as read\n"
            "ldprune: weight.txt: record 2: threshold 0, as read in single precision, is not above 0 and at most 1; "
            "it is used so\n"
            "ldprune: weight.txt: record 3: threshold 2, as read in single precision, is not above 0 and at most 1; "
            "it is used so\n"
            "ldprune: ld.txt: SNPs a and b: r² nan is not a number from 0 to 1; it is used as read\n"
            "ldprune: ld.txt: SNPs a and c: r² 1.00000024 is not a number from 0 to 1; it is used as read\n");
  EXPECT_EQ(dir.read("maf_processed.txt"), "a 1 0.500000\nb 2 -0.250000\nc 3 inf\n");
}

// A partial file left by a run that was killed is written over.
TEST(LdpruneOutputs, PartialFilesOfAKilledRunAreReplaced) {
  TempDir dir;
  for (const auto& [name, content] : with(snps_abc(), {{"ld.txt", ""}})) dir.write(name, content);
  dir.write("maf_processed.txt.partial", std::string(100000, 'x'));
  auto r = run_program(LDPRUNE_PATH, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(dir.read("maf_processed.txt"), kMafAbc);
  EXPECT_FALSE(dir.exists("maf_processed.txt.partial"));
}

TEST(LdpruneOutputs, FailedLogWriteExits255) {
  TempDir dir;
  for (const auto& [name, content] : with(snps_abc(), {{"ld.txt", ""}})) dir.write(name, content);
  std::filesystem::create_symlink("/dev/full", dir.path() / "ld_processed_temp.txt.partial");
  auto r = run_program(LDPRUNE_PATH, dir);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "ldprune: cannot write ld_processed_temp.txt: No space left on device\n");
  EXPECT_EQ(dir.read("maf_processed.txt"), "");
  EXPECT_EQ(dir.read("ld_processed.txt"), "");
}

}  // namespace

namespace {

// Quietly tolerated input is reported on standard error, while the outputs
// stay exactly what the tolerant reading gives.
struct WarningCase {
  std::string name;
  Files changes;
  std::string err;
  std::string ld_processed;
  std::string maf_processed;
};

std::vector<WarningCase> warning_cases() {
  // clang-format off
  std::string unknown;
  for (int i = 0; i < 8; ++i) unknown += "zz" + std::to_string(i) + " a 0.5\n";
  std::string unknown_err;
  for (int i = 0; i < 5; ++i) {
    unknown_err += "ldprune: ld.txt: record " + std::to_string(i + 1) + ": SNP zz" + std::to_string(i) +
                   " is not in the SNP list; the record is ignored\n";
  }
  unknown_err += "ldprune: ... and 3 more records in ld.txt naming an SNP not in the SNP list\n";
  const std::string unlisted = pairs({"a", "b", "c"}, {"1.000000 0.250000 0.250000", "0.250000 1.000000 0.250000",
                                                       "0.250000 0.250000 1.000000"});
  return {
      // The value of record 2 does not scan: record 1's value is used for
      // (a, c). Record 3 is what is left: "zz", and nothing after it.
      {"ValueThatDidNotScan",
       {{"ld.txt", "a b 0.5\na c zz\n"}},
       "ldprune: ld.txt: record 2: only 2 of 3 fields scanned; the previous record's values were used\n"
       "ldprune: ld.txt: record 3: only 1 of 3 fields scanned; the previous record's values were used\n"
       "ldprune: ld.txt: record 3: SNP zz is not in the SNP list; the record is ignored\n",
       pairs({"a", "b", "c"}, {"1.000000 0.750000 0.750000", "0.750000 1.000000 0.250000",
                               "0.750000 0.250000 1.000000"}),
       kMafAbc},
      {"ManyUnknownNamesAreSummarised", {{"ld.txt", unknown}}, unknown_err, unlisted, kMafAbc},
      // maf.txt record 1 lacks its MAF (the scratch MAF, 0, is stored for a);
      // what is left of it, "x", is record 2.
      {"MafFieldsThatDidNotScan",
       {{"ld.txt", ""}, {"maf.txt", "a 1 x\nb 2 0.5\nc 3 0.5\n"}},
       "ldprune: maf.txt: record 1: only 2 of 3 fields scanned; the previous record's values were used\n"
       "ldprune: maf.txt: record 2: only 1 of 3 fields scanned; the previous record's values were used\n",
       unlisted, "a 1 0.000000\nb 2 0.500000\nc 3 0.500000\n"},
      {"ThresholdThatDidNotScan",
       {{"ld.txt", ""}, {"weight.txt", "a 0.75\nb 0.75\nc"}},
       "ldprune: weight.txt: record 3: the threshold did not scan; it stays 0\n",
       pairs({"a", "b", "c"}, {"1.000000 0.250000 1.000000", "0.250000 1.000000 1.000000",
                               "0.250000 0.250000 1.000000"}),
       kMafAbc},
  };
  // clang-format on
}

class LdpruneWarnings : public testing::TestWithParam<WarningCase> {};

TEST_P(LdpruneWarnings, ReportsAndKeepsTheOutputs) {
  const WarningCase& c = GetParam();
  TempDir dir;
  for (const auto& [name, content] : with(snps_abc(), with({{"ld.txt", ""}}, c.changes))) dir.write(name, content);
  auto r = run_program(LDPRUNE_PATH, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(dir.read("ld_processed.txt"), c.ld_processed);
  EXPECT_EQ(dir.read("maf_processed.txt"), c.maf_processed);
}

INSTANTIATE_TEST_SUITE_P(Cases, LdpruneWarnings, testing::ValuesIn(warning_cases()),
                         [](const testing::TestParamInfo<WarningCase>& p) { return p.param.name; });

TEST(ExampleData, RunsWithoutAnyWarning) {
  TempDir dir;
  for (const char* name : {"SNP_names.data", "ld.txt", "maf.txt", "weight.txt", "done.txt", "undesirable.txt",
                           "Zentavor.result.Greedy.members.txt", "Zentavor.result.Greedy.out",
                           "Zentavor.result.Minimax.members.txt", "Zentavor.result.Minimax.out"}) {
    std::filesystem::copy_file(std::filesystem::path(EXAMPLES_DIR) / name, dir.path() / name);
  }
  for (const char* program : {LDPRUNE_PATH, MEMBERJOIN1_PATH, MEMBERJOIN2_PATH}) {
    auto r = run_program(program, dir);
    EXPECT_EQ(r.status, 0) << program;
    EXPECT_EQ(r.err, "") << program;
  }
  // Every SNP of maf_processed.txt is in each joined table once.
  std::string maf = dir.read("maf_processed.txt");
  for (const char* out : {"greedy_output.txt", "minimax_output.txt"}) {
    std::string joined = dir.read(out);
    EXPECT_EQ(std::count(joined.begin(), joined.end(), '\n'), std::count(maf.begin(), maf.end(), '\n') + 1) << out;
  }
}

}  // namespace
