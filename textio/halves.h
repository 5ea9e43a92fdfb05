// Reading one large input in two halves at once, on two threads.
//
// A file of records, one a line, is cut at the first record past its middle
// (record_after()); a second Reader opened there (Reader::open_part) reads
// the second half on a thread of its own (read_beside()) while the first
// reads up to the cut. The halves fit together when the first reader stops
// exactly at the cut; callers check that, and read the whole input again on
// one thread when they do not, so that results and messages are those of
// one reading from start to end.
#ifndef TEXTIO_HALVES_H_
#define TEXTIO_HALVES_H_

#include <cstdint>
#include <thread>

#include "textio/reader.h"

namespace textio {

// The offset in `whole`'s input (an open file or string; its own position is
// not moved) of the first record after byte `from`: past the first line
// feed at or after `from` and the white space after it; the end of the
// input when there is none. -1 when the input cannot be read there.
int64_t record_after(const Reader& whole, int64_t from);

// Runs `second` on a thread of its own while `first` runs on this one, and
// returns once both are done: false when `second` threw (what it threw is
// dropped). When `first` throws, its exception is passed on once `second`
// is done.
template <class First, class Second>
bool read_beside(First&& first, Second&& second) {
  bool second_threw = false;
  std::thread worker([&] {
    try {
      second();
    } catch (...) {
      second_threw = true;
    }
  });
  try {
    first();
  } catch (...) {
    worker.join();
    throw;
  }
  worker.join();
  return !second_threw;
}

}  // namespace textio

#endif  // TEXTIO_HALVES_H_
