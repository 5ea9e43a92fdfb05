// A whole ldprune run on six input files cut from the fuzzer's bytes at
// each 0x01 byte, in the order SNP_names.data, ld.txt, maf.txt, weight.txt,
// done.txt, undesirable.txt; outputs and messages go to memory.
#include <cstdint>
#include <string>
#include <vector>

#include "ldprune/steps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> files(6);
  size_t k = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0x01 && k < 5) {
      ++k;
    } else {
      files[k] += static_cast<char>(data[i]);
    }
  }
  // Each input is run twice: reading ld.txt in one pass and shared between
  // threads from its first byte on. Both runs must say and write the same.
  struct Result {
    int status;
    std::string messages, log, ld_out, maf_out;
  };
  auto run = [&files](int64_t split_bytes) {
    Result r;
    ldprune::Preprocessor p(&r.messages);
    p.ld_split_bytes = split_bytes;
    p.snp_list_in.open_string(files[0]);
    p.ld_in.open_string(files[1]);
    p.maf_in.open_string(files[2]);
    p.weight_in.open_string(files[3]);
    p.done_in.open_string(files[4]);
    p.undesirable_in.open_string(files[5]);
    p.log.open_string(&r.log);
    p.ld_out.open_string(&r.ld_out);
    p.maf_out.open_string(&r.maf_out);
    r.status = ldprune::run_steps(p);
    return r;
  };
  Result whole = run(INT64_MAX);
  if (whole.status != 0 && whole.status != 1) __builtin_trap();  // writes to memory cannot fail
  Result shared = run(0);
  if (shared.status != whole.status || shared.messages != whole.messages || shared.log != whole.log ||
      shared.ld_out != whole.ld_out || shared.maf_out != whole.maf_out) {
    __builtin_trap();
  }
  return 0;
}
