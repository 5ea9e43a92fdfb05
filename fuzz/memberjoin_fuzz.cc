// A whole joiner run on a member list and a cluster summary cut from the
// fuzzer's bytes at the first 0x01 byte; the variant is chosen at build
// time (MEMBERJOIN_VARIANT). Echo, output and messages go to memory.
#include <cstdint>
#include <string>

#include "memberjoin/joiner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find('\x01');
  std::string members = input.substr(0, cut);
  std::string summary = cut == std::string::npos ? "" : input.substr(cut + 1);

  std::string messages, echo, out;
  memberjoin::Joiner j(memberjoin::MEMBERJOIN_VARIANT, &messages);
  j.member_in.open_string(members);
  j.summary_in.open_string(summary);
  j.echo.open_string(&echo);
  try {
    memberjoin::read_members(j);
    memberjoin::read_summary(j);
    j.out.open_string(&out);
    if (memberjoin::mark_and_write(j) != 0) __builtin_trap();  // writes to memory cannot fail
  } catch (const textio::Failure& failure) {
    if (failure.status != 1) __builtin_trap();
  }
  j.diag.finish();
  return 0;
}
