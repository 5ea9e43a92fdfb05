// The entry routine of ldprep.
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "ldprep/converter.h"
#include "textio/output_file.h"

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
    // Each output is whole beside its name: now they all take their names.
    for (const char* file : kOutputs) {
      if (std::rename(textio::partial_name(file).c_str(), file) != 0) {
        throw textio::Failure{textio::kExitWriteError,
                              std::string("cannot write ") + file + ": " + textio::describe_errno(errno)};
      }
    }
  } catch (const textio::Failure& failure) {
    if (c.pairs_fd >= 0) ::close(c.pairs_fd);
    // A failed run leaves no half-written region behind: its partial files
    // go, and its outputs are emptied, those of an earlier run included.
    for (const char* file : kOutputs) {
      std::remove(textio::partial_name(file).c_str());
      if (writing) textio::empty_output(file);
    }
    c.diag.finish();
    c.diag.print(failure.message);
    return failure.status;
  }
  c.diag.finish();
  return textio::kExitOk;
}

}  // namespace ldprep
