// Variant table and entry routine of the result joiner.
#include "memberjoin/joiner.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "textio/command_line.h"
#include "textio/output_file.h"

namespace memberjoin {

// clang-format off
const Variant kGreedy = {
    "memberjoin1",
    "Greedy",
    "Zentavor.result.Greedy.members.txt",
    "Zentavor.result.Greedy.out",
    "%s\t%d\t%d\t%s\t%s\t%s\t%s\t%s\t%s\n",
    1, 2, 3, 4, 5,
    false,
    "greedy_output.txt",
};

const Variant kMinimax = {
    "memberjoin2",
    "Minimax",
    "Zentavor.result.Minimax.members.txt",
    "Zentavor.result.Minimax.out",
    "%s\t%d\t%s\t%s\t%s\t%s\t%d\t%s\t%s\t%s\n",
    1, 2, 7, 3, 4,
    true,
    "minimax_output.txt",
};
// clang-format on

void open_inputs(Joiner& j) {
  textio::open_input(j.member_in, j.variant.member_file);
  textio::open_input(j.summary_in, j.variant.summary_file);
}

int run(const Variant& variant) {
  Joiner j(variant);
  j.echo.attach(STDOUT_FILENO);
  int status;
  try {
    open_inputs(j);
    read_members(j);
    read_summary(j);
    // The output is created only once both inputs have been read.
    textio::create_output(j.out, j.variant.output_file);
    status = mark_and_write(j);
  } catch (const textio::Failure& failure) {
    j.diag.finish();
    j.echo.close();
    j.diag.print(failure.message);
    return failure.status;
  }
  j.diag.finish();
  if (!j.echo.close()) {
    j.diag.print("cannot write standard output: " + textio::describe_errno(j.echo.error()));
    status = textio::kExitWriteError;
  }
  return status;
}

int main(int argc, char** argv, const Variant& variant) {
  const std::string v = variant.program;
  // clang-format off
  const std::string usage =
      "Usage: " + v + " [--help | --version]\n"
      "\n"
      "Joins the clustering program's " + variant.method + " result into one table with\n"
      "one line per SNP: name, cluster, tag mark, position and MAF, each cluster's\n"
      "tag SNP first, then its other members.\n"
      "Reads, in the current directory: " + variant.member_file + "\n"
      "and " + variant.summary_file + ", and echoes both to standard output.\n"
      "Writes " + variant.output_file + " there. Errors and warnings go to standard error.\n"
      "\n"
      "Exit status: 0 on success; 1 when an input cannot be read or breaks a\n"
      "limit; 2 for a wrong argument; 255 when an output cannot be written.\n"
      "See " + v + "(1).\n";
  // clang-format on
  int status = textio::standard_arguments(argc, argv, variant.program, usage.c_str());
  if (status != textio::kRun) return status;
  return run(variant);
}

}  // namespace memberjoin
