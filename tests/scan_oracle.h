// The C library's own scanner as the reference for textio::Reader.
#ifndef TESTS_SCAN_ORACLE_H_
#define TESTS_SCAN_ORACLE_H_

#include <string>

namespace testing_support {

// Reads `data` record by record with `pattern` (conversions "%s", "%d",
// "%ld", "%f") both with fscanf and with textio::Reader through a buffer of
// `buffer_size` bytes, until the end-of-file indicator is set. Returns ""
// when every attempt leaves the same targets and the attempts are as many,
// else a description of the first difference. For "%s %s %f\n" the reader's
// fast path for such records is tried before each attempt.
std::string compare_with_c_library(const std::string& data, const std::string& pattern, size_t buffer_size);

// Printable form of arbitrary bytes, for messages.
std::string describe(const std::string& data);

}  // namespace testing_support

#endif  // TESTS_SCAN_ORACLE_H_
