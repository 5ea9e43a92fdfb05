// Variant table and entry routine of the result joiner.
#include "memberjoin/joiner.h"

#include <unistd.h>

#include <cerrno>

namespace memberjoin {

const Variant kGreedy = {
    "memberjoin1",
    "Zentavor.result.Greedy.members.txt",
    "Zentavor.result.Greedy.out",
    "%s\t%d\t%d\t%s\t%s\t%s\t%s\t%s\t%s\n",
    1, 2, 3, 4, 5,
    false,
    "greedy_output.txt",
};

const Variant kMinimax = {
    "memberjoin2",
    "Zentavor.result.Minimax.members.txt",
    "Zentavor.result.Minimax.out",
    "%s\t%d\t%s\t%s\t%s\t%s\t%d\t%s\t%s\t%s\n",
    1, 2, 7, 3, 4,
    true,
    "minimax_output.txt",
};

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

}  // namespace memberjoin
