// ldprep: the six ldprune inputs of one region, from PLINK's output for it.
//
// A run reads the region's SNPs (a PLINK .bim), their allele frequencies (a
// PLINK .frq in the same order) and the r² of every pair (PLINK's square
// matrix of doubles, "--r2 square bin"), gives each SNP the default threshold
// or its own from a thresholds file, and cuts the done and undesirable lists
// to the region. It writes SNP_names.data, ld.txt, maf.txt, weight.txt,
// done.txt and undesirable.txt into the current directory.
//
// A step that meets input it cannot handle throws textio::Failure: status 1
// for input, 255 for an output that cannot be written. A pair without an r²
// (PLINK gives nan, as for a SNP without variation) is written as 0 with a
// warning. Outputs are written beside their names and renamed into place
// once all six are whole (textio/output_file.h).
#ifndef LDPREP_CONVERTER_H_
#define LDPREP_CONVERTER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "textio/diagnostics.h"
#include "textio/name_index.h"

namespace textio {
class Writer;
}

namespace ldprep {

struct Options {
  std::string bim, freq, ld;                  // PLINK's output for the region
  std::string thresholds, done, undesirable;  // optional lists; "" for none
  std::string threshold = "0.8";              // default threshold, as text
};

struct Snp {
  std::string name;
  int32_t position = 0;
  std::string maf;        // as PLINK wrote it, or "0" when it gave none
  std::string threshold;  // as the user wrote it
};

struct Converter {
  explicit Converter(std::string* diagnostics_capture = nullptr) : diag("ldprep", diagnostics_capture) {}

  Options options;
  textio::Diagnostics diag;
  std::string chromosome;
  std::vector<Snp> snps;                 // in .bim order
  textio::NameIndex index;               // names of snps
  std::vector<std::string> done;         // done names in the region, in file order
  std::vector<std::string> undesirable;  // the same for undesirable names
  int pairs_fd = -1;                     // the r² matrix, opened by open_pairs()
};

// True when `text` is a number above 0 and at most 1 (lists.cc).
bool is_threshold(std::string_view text);

// Reads the region's SNPs from options.bim (snps.cc).
void read_snps(Converter& c);
// Reads each SNP's MAF from options.freq (snps.cc).
void read_freq(Converter& c);
// Gives every SNP the default threshold, then those listed in
// options.thresholds their own (lists.cc).
void read_thresholds(Converter& c);
// Keeps the names of options.done and options.undesirable that are in the
// region, each once (lists.cc).
void read_lists(Converter& c);
// Opens options.ld and checks that it holds one double per ordered pair
// (pairs.cc).
void open_pairs(Converter& c);
// Writes SNP_names.data, maf.txt, weight.txt, done.txt and undesirable.txt
// (tables.cc).
void write_tables(Converter& c);
// Writes ld.txt: "name1 name2 r2" for every pair in list order (pairs.cc).
void write_pairs(Converter& c);

// Closes an output's partial file, or fails with status 255 when it could
// not be written (tables.cc).
void finish_output(textio::Writer& out, const char* file);

// The whole run; returns the exit status (run.cc).
int run(Converter& c);

// The names of the six files a run writes.
extern const char* const kOutputs[6];

}  // namespace ldprep

#endif  // LDPREP_CONVERTER_H_
