// Outputs that appear under their names only when they are whole.
//
// An output is written to "<name>.partial" beside its final name and renamed
// into place when it has been written and closed, so that a reader, or a
// rerun after a kill, never finds a truncated file under the final name: the
// name holds the earlier whole file or the new whole file.
#ifndef TEXTIO_OUTPUT_FILE_H_
#define TEXTIO_OUTPUT_FILE_H_

#include <string>

#include "textio/writer.h"

namespace textio {

// "<file>.partial".
std::string partial_name(const std::string& file);

// Creates or empties partial_name(file) for `out`, or fails with "cannot
// create <file>: <reason>" (status 1), as when `file` is a directory. With
// `later`, emptying an existing partial file is left to Writer::empty().
void create_output(Writer& out, const std::string& file, bool later = false);

// Flushes and closes `out`, which writes partial_name(file), and renames it
// to `file`. Returns 0, or the errno value of the write, close or rename that
// failed; the partial file is then removed. A writer that writes to memory
// or to a descriptor it was given is only flushed and closed.
int commit(Writer& out, const std::string& file);

// Drops what `out` still holds, closes it and removes partial_name(file).
void abandon(Writer& out, const std::string& file);

// For a run that failed: abandons `out` and, when it wrote a file, empties
// `file` (empty_output()).
void leave_empty(Writer& out, const std::string& file);

// Empties `file` when it is a regular file, so that a run that failed leaves
// no earlier result that could pass for its own; creates nothing.
void empty_output(const std::string& file);

// One such output with its own Writer. Failures throw Failure naming the
// final file: status 1 when it cannot be created, 255 when it cannot be
// written, closed or renamed. Destroyed without commit(), it removes its
// partial file.
class OutputFile {
 public:
  explicit OutputFile(std::string name, size_t buffer = Writer::kDefaultBuffer);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or empties the partial file.
  void create();
  Writer& out() { return out_; }
  const std::string& name() const { return name_; }
  // Closes the partial file and renames it to the final name.
  void commit();

 private:
  std::string name_;
  Writer out_;
  bool open_ = false;
};

}  // namespace textio

#endif  // TEXTIO_OUTPUT_FILE_H_
