#include "textio/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "textio/diagnostics.h"

namespace textio {

std::string partial_name(const std::string& file) { return file + ".partial"; }

void create_output(Writer& out, const std::string& file, bool later) {
  // A directory under the final name would only refuse the rename at the
  // end: it is refused now, as opening it for writing would be.
  struct stat st;
  if (::stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    fail_input("cannot create " + file + ": " + describe_errno(EISDIR));
  }
  if (!out.open(partial_name(file).c_str(), later ? Writer::Emptying::kLater : Writer::Emptying::kNow)) {
    fail_input("cannot create " + file + ": " + describe_errno(errno));
  }
}

int commit(Writer& out, const std::string& file) {
  if (!out.writes_file()) return out.close() ? 0 : out.error();
  const std::string partial = partial_name(file);
  int err = 0;
  if (!out.close()) {
    err = out.error();
  } else if (std::rename(partial.c_str(), file.c_str()) != 0) {
    err = errno;
  }
  if (err != 0) std::remove(partial.c_str());
  return err;
}

void abandon(Writer& out, const std::string& file) {
  const bool file_written = out.writes_file();
  out.discard();
  if (file_written) std::remove(partial_name(file).c_str());
}

void leave_empty(Writer& out, const std::string& file) {
  const bool file_written = out.writes_file();
  abandon(out, file);
  if (file_written) empty_output(file);
}

void empty_output(const std::string& file) {
  struct stat st;
  if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::truncate(file.c_str(), 0) != 0) {
    return;  // nothing more can be done about it
  }
}

OutputFile::OutputFile(std::string name, size_t buffer) : name_(std::move(name)), out_(buffer) {}

OutputFile::~OutputFile() {
  if (open_) abandon(out_, name_);
}

void OutputFile::create() {
  create_output(out_, name_);
  open_ = true;
}

void OutputFile::commit() {
  open_ = false;
  if (int err = textio::commit(out_, name_); err != 0) {
    throw Failure{kExitWriteError, "cannot write " + name_ + ": " + describe_errno(err)};
  }
}

}  // namespace textio
