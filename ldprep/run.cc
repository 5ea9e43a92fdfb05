// The entry routine of ldprep.
#include <unistd.h>

#include "ldprep/converter.h"

namespace ldprep {

int run(Converter& c) {
  bool writing = false;
  try {
    read_snps(c);
    read_freq(c);
    read_thresholds(c);
    read_lists(c);
    open_pairs(c);
    // Every input is read and checked before any output is touched.
    writing = true;
    write_tables(c);
    write_pairs(c);
  } catch (const textio::Failure& failure) {
    if (c.pairs_fd >= 0) ::close(c.pairs_fd);
    // A failed run leaves no half-written region behind: its outputs are
    // emptied, those of an earlier run included.
    if (writing) {
      for (const char* file : kOutputs) {
        if (::truncate(file, 0) != 0) continue;  // one that is not there holds nothing stale
      }
    }
    c.diag.finish();
    c.diag.print(failure.message);
    return failure.status;
  }
  c.diag.finish();
  return textio::kExitOk;
}

}  // namespace ldprep
