#include "textio/diagnostics.h"

#include <unistd.h>

#include <cstring>

namespace textio {

void Diagnostics::warn(const std::string& kind, const std::string& message,
                       const std::string& more) {
  ++warnings_;
  Kind& k = kinds_[kind];
  k.more = more;
  if (++k.count <= kShown) print(message);
}

void Diagnostics::finish() {
  for (auto& [name, k] : kinds_) {
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

}  // namespace textio
