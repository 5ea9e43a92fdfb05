#include "textio/diagnostics.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "textio/reader.h"
#include "textio/writer.h"

namespace textio {

int Diagnostics::kind(const std::string& more) {
  for (size_t k = 0; k < kinds_.size(); ++k) {
    if (kinds_[k].more == more) return static_cast<int>(k);
  }
  kinds_.push_back(Kind{more, 0});
  return static_cast<int>(kinds_.size()) - 1;
}

bool Diagnostics::note(int kind) { return ++kinds_[kind].count <= kShown; }

void Diagnostics::finish() {
  for (Kind& k : kinds_) {
    if (k.count > kShown) print("... and " + std::to_string(k.count - kShown) + " more " + k.more);
    k.count = 0;
  }
}

void Diagnostics::print(const std::string& message) {
  std::string line = program_ + ": " + message + "\n";
  if (capture_) {
    capture_->append(line);
    return;
  }
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t w = ::write(2, p, left);
    if (w <= 0) return;  // nothing more can be said
    p += w;
    left -= static_cast<size_t>(w);
  }
}

std::string describe_errno(int err) { return std::strerror(err); }

std::string at_record(const std::string& file, long record) {
  return file + ": record " + std::to_string(record) + ": ";
}

void fail_input(const std::string& message) { throw Failure{kExitInputError, message}; }

void check_length(const Token& token, size_t limit, const std::string& file, long record, const char* what) {
  if (token.length() <= limit) return;
  fail_input(at_record(file, record) + what + " \"" + std::string(token.str().substr(0, limit)) +
             "...\" is longer than " + std::to_string(limit) + " characters");
}

void check_int32(int64_t value, const std::string& file, long record, const char* what) {
  if (value >= INT32_MIN && value <= INT32_MAX) return;
  fail_input(at_record(file, record) + what + " is outside the 32-bit signed range");
}

void open_input(Reader& in, const std::string& file) {
  if (!in.open(file.c_str())) fail_input("cannot open " + file + ": " + describe_errno(errno));
}

void check_read(const Reader& in, const std::string& file) {
  if (in.error()) fail_input("cannot read " + file + ": " + describe_errno(in.error()));
}

}  // namespace textio
