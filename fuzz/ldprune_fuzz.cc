// A whole ldprune run on six input files cut from the fuzzer's bytes at
// each 0x01 byte, in the order SNP_names.data, ld.txt, maf.txt, weight.txt,
// done.txt, undesirable.txt; outputs and messages go to memory, the outputs,
// which grow with the square of the SNPs, to strings kept from run to run.
//
// On half the inputs (those of odd size) the run reads ld.txt shared between
// two threads from its first byte on, and what the two threads read must
// equal one reading from start to end: the r2 table is built again on its
// own, read in one pass, with the same cells and the same messages up to
// that point. The other half read ld.txt in one pass only, so that the
// fuzzer keeps its speed: under the sanitizers, starting a thread costs more
// than the rest of a small run.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ldprune/steps.h"

namespace {

struct Result {
  int status = 0;
  std::string messages;
  std::vector<float> r2;
};

// The outputs' strings, emptied for each run but keeping their room.
std::string outputs[3];

void open(ldprune::Preprocessor& p, const std::vector<std::string>& files) {
  p.snp_list_in.open_string(files[0]);
  p.ld_in.open_string(files[1]);
  p.maf_in.open_string(files[2]);
  p.weight_in.open_string(files[3]);
  p.done_in.open_string(files[4]);
  p.undesirable_in.open_string(files[5]);
}

std::vector<float> cells(const ldprune::Preprocessor& p) {
  if (p.r2.size() == 0) return {};
  const float* data = p.r2.data();
  return std::vector<float>(data, data + static_cast<size_t>(p.r2.size()) * p.r2.size());
}

}  // namespace

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

  Result shared;
  {
    ldprune::Preprocessor p(&shared.messages);
    p.ld_split_bytes = size % 2 == 1 ? 0 : INT64_MAX;
    open(p, files);
    for (std::string& out : outputs) out.clear();
    p.log.open_string(&outputs[0]);
    p.ld_out.open_string(&outputs[1]);
    p.maf_out.open_string(&outputs[2]);
    shared.status = ldprune::run_steps(p);
    shared.r2 = cells(p);
  }
  if (shared.status != 0 && shared.status != 1) __builtin_trap();  // writes to memory cannot fail
  if (size % 2 == 0) return 0;

  Result whole;
  {
    ldprune::Preprocessor p(&whole.messages);
    p.ld_split_bytes = INT64_MAX;
    open(p, files);
    try {
      ldprune::read_inputs(p);
      ldprune::build_r2_table(p);
      whole.r2 = cells(p);
    } catch (const textio::Failure& failure) {
      whole.status = failure.status;
      p.diag.finish();  // as run_steps() ends a run that failed
      p.diag.print(failure.message);
    }
  }
  // The messages of the first run go on where these end, with later steps'
  // and the counts of warnings left out.
  if (shared.messages.compare(0, whole.messages.size(), whole.messages) != 0) __builtin_trap();
  // Bit for bit: a nan in ld.txt gives nan cells.
  if (whole.status == 0 &&
      (shared.r2.size() != whole.r2.size() ||
       (!whole.r2.empty() && std::memcmp(shared.r2.data(), whole.r2.data(), whole.r2.size() * sizeof(float)) != 0))) {
    __builtin_trap();
  }
  if (whole.status != 0 && shared.status != whole.status) __builtin_trap();
  return 0;
}
