// The command line every program shares: --help, --version, and a usage
// error for anything else, which touches no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

using testing_support::run_program;
using testing_support::TempDir;

struct Program {
  std::string name;
  std::string path;
};

std::vector<Program> programs() {
  return {{"ldprune", LDPRUNE_PATH}, {"memberjoin1", MEMBERJOIN1_PATH}, {"memberjoin2", MEMBERJOIN2_PATH},
          {"ldprep", LDPREP_PATH},   {"ldcluster", LDCLUSTER_PATH},     {"clustering-standin", STANDIN_PATH}};
}

// A folder with every input any program reads, so that a program that ran
// anyway would write its outputs.
TempDir folder_with_inputs() {
  TempDir dir;
  for (const char* name : {"SNP_names.data", "ld.txt", "maf.txt", "weight.txt", "done.txt", "undesirable.txt",
                           "Zentavor.result.Greedy.members.txt", "Zentavor.result.Greedy.out",
                           "Zentavor.result.Minimax.members.txt", "Zentavor.result.Minimax.out"}) {
    std::filesystem::copy_file(std::filesystem::path(EXAMPLES_DIR) / name, dir.path() / name);
  }
  dir.write("ld_processed.txt", "a a 1.000000\n");
  dir.write("maf_processed.txt", "a 1 0.5\n");
  return dir;
}

std::vector<std::string> listing(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string() + ":" + std::to_string(entry.file_size()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CommandLine : public testing::TestWithParam<Program> {};

TEST_P(CommandLine, HelpAndVersionGoToStandardOutput) {
  const Program& p = GetParam();
  TempDir dir;
  auto help = run_program(p.path, dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind("Usage: " + p.name + " ", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("Exit status: 0 on success"), std::string::npos) << help.out;
  auto version = run_program(p.path, dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, p.name + " " LDTAG_VERSION "\n");
  EXPECT_EQ(version.err, "");
}

TEST_P(CommandLine, AnythingElseIsAUsageErrorThatTouchesNoFile) {
  const Program& p = GetParam();
  struct Bad {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Bad> bad = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-h"}, "unknown option '-h'"},
      {{"--help", "now"}, "unexpected argument 'now'"},
      {{"--version", "--help"}, "unexpected argument '--help'"},
  };
  for (const Bad& b : bad) {
    // ldprep and ldcluster take options: these are their own errors.
    if ((p.name == "ldprep" || p.name == "ldcluster") && b.args.size() > 1) continue;
    TempDir dir = folder_with_inputs();
    auto before = listing(dir);
    auto r = run_program(p.path, dir, b.args);
    EXPECT_EQ(r.status, 2) << b.args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, p.name + ": " + b.message + "; try '" + p.name + " --help'\n");
    EXPECT_EQ(listing(dir), before) << b.args[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, CommandLine, testing::ValuesIn(programs()),
                         [](const testing::TestParamInfo<Program>& p) {
                           std::string name = p.param.name;
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace
