#include "textio/halves.h"

namespace textio {

int64_t record_after(const Reader& whole, int64_t from) {
  Reader probe(4096);
  if (!probe.open_part(whole, from)) return -1;
  char line[256];
  for (size_t got; (got = probe.read_line(line, sizeof line)) > 0 && line[got - 1] != '\n';) {
  }
  static const Pattern space(" ");
  Field none[1];
  probe.scan(space, none);
  return probe.error() ? -1 : probe.offset();
}

}  // namespace textio
