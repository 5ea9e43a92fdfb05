// One record of a table file: fields between separators, then a line end.
//
// put_row(out, '\t', name, 3, 0.5f) writes "name\t3\t0.500000\n". Each field
// prints as printf prints it: text as "%s", a whole number as "%ld", a float
// (widened to double) and a double as "%f" (Writer::put_real and
// put_double).
#ifndef TEXTIO_ROW_H_
#define TEXTIO_ROW_H_

#include <cstdint>
#include <string_view>
#include <type_traits>

#include "textio/writer.h"

namespace textio {

// One field, printed as put_row() prints it.
template <class Field>
void put_field(Writer& out, const Field& field) {
  if constexpr (std::is_same_v<Field, float>) {
    out.put_real(field);
  } else if constexpr (std::is_same_v<Field, double>) {
    out.put_double(field);
  } else if constexpr (std::is_integral_v<Field>) {
    static_assert(!std::is_same_v<Field, char> && !std::is_same_v<Field, bool>, "a field is text or a number");
    out.put_integer(static_cast<int64_t>(field));
  } else {
    out.put(std::string_view(field));
  }
}

// Writes the fields with `separator` between them, then a line feed.
template <class First, class... Rest>
void put_row(Writer& out, [[maybe_unused]] char separator, const First& first, const Rest&... rest) {
  put_field(out, first);
  ((out.put(separator), put_field(out, rest)), ...);
  out.put('\n');
}

}  // namespace textio

#endif  // TEXTIO_ROW_H_
