// A whole ldprep run on PLINK's output for a region and the user's lists,
// cut from the fuzzer's bytes: the .bim, the .frq, the thresholds, the done
// and the undesirable lists, each ended by a 0x01 byte, then the r² matrix,
// all the bytes left. The files are written to a folder in memory (/dev/shm)
// and ldprep runs there. Bad input must be an input error (status 1) that
// leaves no output; a run that succeeds must write all six outputs, ld.txt
// with a line per pair of the SNP list; neither may leave a partial file.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ldprep/converter.h"

namespace {

void write(const char* name, const std::string& content) {
  std::ofstream f(name, std::ios::binary);
  f << content;
}

size_t lines(const char* name) {
  std::ifstream f(name, std::ios::binary);
  size_t count = 0;
  for (std::string line; std::getline(f, line);) ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/dev/shm/ldprep-fuzz-XXXXXX";
  if (!mkdtemp(folder) || chdir(folder) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* const inputs[] = {"r.bim", "r.frq", "thresholds.txt", "done.txt", "undesirable.txt", "r.ld.bin"};
  std::vector<std::string> parts(6);
  size_t k = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0x01 && k < 5) {
      ++k;
    } else {
      parts[k] += static_cast<char>(data[i]);
    }
  }
  for (int p = 0; p < 6; ++p) write(inputs[p], parts[p]);

  std::string messages;
  ldprep::Converter c(&messages);
  c.options.bim = inputs[0];
  c.options.freq = inputs[1];
  c.options.ld = inputs[5];
  c.options.thresholds = inputs[2];
  c.options.done = inputs[3];
  c.options.undesirable = inputs[4];
  const int status = ldprep::run(c);
  if (status != 0 && status != 1) __builtin_trap();
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    if (entry.path().string().find(".partial") != std::string::npos) __builtin_trap();
  }
  if (status == 0) {
    const size_t n = lines("SNP_names.data") - 1;
    if (lines("ld.txt") != n * (n - 1) / 2) __builtin_trap();
  } else if (std::filesystem::exists("SNP_names.data")) {
    __builtin_trap();  // a failed run leaves no output behind (none was there)
  }
  for (const char* output : ldprep::kOutputs) std::filesystem::remove(output);
  return 0;
}
