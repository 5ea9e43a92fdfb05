// An output file that appears under its name only when it is whole.
//
// OutputFile writes to "<name>.partial" beside the final name and renames it
// into place at commit(), so that a reader, or a rerun after a kill, never
// finds a truncated file under the final name. An OutputFile destroyed
// without commit() removes its partial file. Failures throw Failure naming
// the final file: status 1 when it cannot be created, 255 when it cannot be
// written, closed or renamed.
#ifndef TEXTIO_OUTPUT_FILE_H_
#define TEXTIO_OUTPUT_FILE_H_

#include <string>

#include "textio/writer.h"

namespace textio {

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
  // Flushes and closes the partial file, then renames it to the final name.
  void commit();

 private:
  std::string name_;
  std::string partial_;
  Writer out_;
  bool open_ = false;
};

}  // namespace textio

#endif  // TEXTIO_OUTPUT_FILE_H_
