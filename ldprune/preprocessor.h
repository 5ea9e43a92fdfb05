// The tables of one ldprune run, shared by its steps.
//
// One Preprocessor holds everything a run reads, builds and writes: the open
// files, the SNP table, the done and undesirable lists, the r2 table of tag
// scores, the screening results, the new table with its new_r2 table and the
// needed SNPs. Each step of steps.h reads what the steps before it filled in
// and fills in its own part, so a step can be run on its own in a test by
// setting up the tables it needs.
#ifndef LDPRUNE_PREPROCESSOR_H_
#define LDPRUNE_PREPROCESSOR_H_

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "common/limits.h"
#include "ldprune/matrix.h"
#include "textio/diagnostics.h"
#include "textio/name_index.h"
#include "textio/reader.h"
#include "textio/token.h"
#include "textio/writer.h"

namespace ldprune {

using textio::Token;

// File names, all in the working directory.
inline constexpr const char* kLdFile = "ld.txt";
inline constexpr const char* kMafFile = "maf.txt";
inline constexpr const char* kWeightFile = "weight.txt";
inline constexpr const char* kDoneFile = "done.txt";
inline constexpr const char* kUndesirableFile = "undesirable.txt";
inline constexpr const char* kSnpListFile = "SNP_names.data";
inline constexpr const char* kLogFile = "ld_processed_temp.txt";
inline constexpr const char* kLdOutFile = "ld_processed.txt";
inline constexpr const char* kMafOutFile = "maf_processed.txt";

// Tagging rule: a stored tag score of at least 1.0 means "tags".
inline bool tags(float score) { return score >= 1.0f; }

struct Snp {
  Token name;
  int32_t position = 0;
  float maf = 0.0f;
  float threshold = 0.0f;
};

// An undesirable SNP that some desirable SNP tags.
struct TaggedUndesirable {
  int snp = 0;        // index in the SNP table
  Token name;         // name from the undesirable list
  int new_index = 0;  // index in the new table
};

struct Preprocessor {
  explicit Preprocessor(std::string* diagnostics_capture = nullptr) : diag("ldprune", diagnostics_capture) {}

  textio::Diagnostics diag;

  // Files of the run.
  textio::Reader ld_in, maf_in, weight_in, done_in, undesirable_in, snp_list_in;
  // A stretch of ld.txt of at least this many bytes is shared between two
  // threads, when the machine has a second processor to run one of them.
  int64_t ld_split_bytes = std::thread::hardware_concurrency() > 1 ? int64_t{8} << 20 : INT64_MAX;
  // The outputs are written beside their names and renamed into place at
  // the end (textio/output_file.h).
  textio::Writer log, ld_out, maf_out;
  // Empties the partial files a killed run may have left while the inputs
  // are read, since that may wait for the disk; outputs_emptied() waits for
  // it, and must come before anything is flushed to an output. Declared
  // after the outputs, so that it is finished before they are destroyed.
  std::jthread emptying_outputs;
  void outputs_emptied() {
    if (emptying_outputs.joinable()) emptying_outputs.join();
  }

  // SNP table: entries [0, n) come from the SNP list. weight.txt may name
  // entries up to common::kMaxSnps, but no step reads those past n, so they
  // are not kept.
  std::vector<Snp> snps;
  int n = 0;
  textio::NameIndex snp_index;  // names of entries [0, n)

  std::vector<Token> done;         // done list, D entries
  std::vector<Token> undesirable;  // undesirable list, U entries

  // r2 table: n x n tag scores, row = tagging SNP, column = tagged SNP.
  Matrix r2;
  float& r2_at(int i, int j) { return r2.at(i, j); }

  // Screening: per undesirable entry its SNP index (-1 for a name that is
  // not in the SNP table) and tagger count; the tagged-undesirable list; a
  // drop mark per SNP and the number of marks.
  std::vector<int> undesirable_index;
  std::vector<long> tagger_count;
  std::vector<TaggedUndesirable> tagged;
  std::vector<char> dropped = std::vector<char>(common::kMaxSnps, 0);
  long dropped_count = 0;

  // New table: the SNPs without a drop mark, and their new_r2 table.
  std::vector<Snp> new_table;
  NewR2 new_r2;
  textio::NameIndex new_index;  // names of the new table
  int new_n() const { return static_cast<int>(new_table.size()); }

  // Needed SNPs: new-table indexes, the done SNPs first.
  std::vector<int> needed;
};

}  // namespace ldprune

#endif  // LDPRUNE_PREPROCESSOR_H_
