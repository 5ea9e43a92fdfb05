#include "textio/output_file.h"

#include <cerrno>
#include <cstdio>

#include "textio/diagnostics.h"

namespace textio {

OutputFile::OutputFile(std::string name, size_t buffer)
    : name_(std::move(name)), partial_(name_ + ".partial"), out_(buffer) {}

OutputFile::~OutputFile() {
  if (!open_) return;
  out_.discard();
  std::remove(partial_.c_str());
}

void OutputFile::create() {
  if (!out_.open(partial_.c_str())) fail_input("cannot create " + name_ + ": " + describe_errno(errno));
  open_ = true;
}

void OutputFile::commit() {
  open_ = false;
  int err = 0;
  if (!out_.close()) {
    err = out_.error();
  } else if (std::rename(partial_.c_str(), name_.c_str()) != 0) {
    err = errno;
  }
  if (err != 0) {
    std::remove(partial_.c_str());
    throw Failure{kExitWriteError, "cannot write " + name_ + ": " + describe_errno(err)};
  }
}

}  // namespace textio
