// The scanner against the C library's scanner on arbitrary bytes: the first
// byte picks a pattern, the second a buffer size, the rest is the input. Any
// disagreement stops the fuzzer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scan_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // clang-format off
  static const char* const kPatterns[] = {
      "%s\t%s\t%s\n", "%s\t%s\n", "%s %ld %f\n", "%s\t%f\n", "%s\n", "%s %s %f\n",
      "%s\t%d\t%d\t%s\t%s\t%s\t%s\t%s\t%s\n", "%s\t%d\t%s\t%s\t%s\t%s\t%d\t%s\t%s\t%s\n", "%d\t%d\t%s\t%f\n",
  };
  // clang-format on
  if (size < 2) return 0;
  const char* pattern = kPatterns[data[0] % (sizeof kPatterns / sizeof kPatterns[0])];
  size_t buffer = 1 + data[1] % 70;
  std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::string failure = testing_support::compare_with_c_library(input, pattern, buffer);
  if (!failure.empty()) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
