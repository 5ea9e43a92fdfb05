// The entry routine of ldprune.
#include "ldprune/steps.h"
#include "textio/output_file.h"

namespace ldprune {

int run_steps(Preprocessor& p) {
  try {
    read_inputs(p);
    build_r2_table(p);
    // From here on the run log grows past what its buffer holds before the
    // end, so old outputs must be gone before anything reaches the files.
    p.outputs_emptied();
    screen_undesirable(p);
    build_new_table(p);
    locate_and_silence(p);
    select_needed(p);
    force_needed(p);
    int status = write_outputs(p);
    p.diag.finish();
    return status;
  } catch (const textio::Failure& failure) {
    // The outputs keep nothing of a run that failed, not even an earlier
    // run's results: they are left empty.
    p.outputs_emptied();
    textio::leave_empty(p.log, kLogFile);
    textio::leave_empty(p.ld_out, kLdOutFile);
    textio::leave_empty(p.maf_out, kMafOutFile);
    p.diag.finish();
    p.diag.print(failure.message);
    return failure.status;
  }
}

int run() {
  Preprocessor p;
  try {
    open_files(p);
  } catch (const textio::Failure& failure) {
    p.diag.print(failure.message);
    return failure.status;
  }
  return run_steps(p);
}

}  // namespace ldprune
