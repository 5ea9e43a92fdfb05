// The result joiner, shared by memberjoin1 (Greedy result) and memberjoin2
// (Minimax result).
//
// A run reads the clustering program's member list and cluster summary for
// one method, echoes both to standard output, marks each cluster's tag SNP
// and writes the joined table: per cluster its tag SNP first, then its other
// members. The two programs differ only by their Variant. A step that meets
// input it cannot handle throws textio::Failure with exit status 1.
#ifndef MEMBERJOIN_JOINER_H_
#define MEMBERJOIN_JOINER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "textio/diagnostics.h"
#include "textio/reader.h"
#include "textio/token.h"
#include "textio/writer.h"

namespace memberjoin {

using textio::Token;

// Capacities: member records and clusters; stored texts have at most
// common::kMaxJoinerText characters.
constexpr int kMaxMembers = 10000;
constexpr int64_t kMaxClusters = 10000;
constexpr size_t kBuffer = 1 << 16;

// What tells the two programs apart. Field numbers count from 1.
struct Variant {
  const char* program;
  const char* method;
  const char* member_file;
  const char* summary_file;
  const char* member_pattern;
  int name_field;
  int cluster_field;
  int flag_field;
  int position_field;
  int maf_field;
  bool reset_flags;  // tag flags start at 0 instead of the values read
  const char* output_file;
};

extern const Variant kGreedy;   // memberjoin1
extern const Variant kMinimax;  // memberjoin2

// Texts hold the token's value as a C string would: up to any NUL byte.
struct Member {
  std::string name;
  std::string position;  // copied as text, never converted
  std::string maf;
  int32_t cluster = 0;
  int32_t flag = 0;
};

struct Joiner {
  explicit Joiner(const Variant& v, std::string* diagnostics_capture = nullptr)
      : variant(v), diag(v.program, diagnostics_capture) {}

  const Variant& variant;
  textio::Diagnostics diag;
  // Inputs and outputs are small: small buffers keep the run's memory small.
  textio::Reader member_in{kBuffer}, summary_in{kBuffer};
  textio::Writer echo{kBuffer};  // standard output
  textio::Writer out{kBuffer};

  char line[200] = {};                 // header lines, as read
  std::vector<Member> members;         // M records
  int64_t clusters = 0;                // K: last record's cluster index + 1
  std::vector<std::string> tag_names;  // per cluster, from the summary rows
  std::vector<int> tag_member;         // per cluster: member record, or -1 if none
};

// Writes "%s\t%d\t%d\t%s\t%s\n": name, the given cluster, tag flag, position
// and MAF text (members.cc).
void write_record(textio::Writer& to, const Member& m, int32_t cluster);

// Opens both inputs (joiner.cc).
void open_inputs(Joiner& j);
// Reads and echoes the member list; sets the members and K (members.cc).
void read_members(Joiner& j);
// Reads and echoes the cluster summary up to its header and then K rows
// (summary.cc).
void read_summary(Joiner& j);
// Marks the tag SNPs and writes the joined table to j.out, which the caller
// has opened, then closes it. Returns 0, or 255 when the output could not be
// written (output.cc).
int mark_and_write(Joiner& j);

// The whole run in the working directory; returns the exit status (joiner.cc).
int run(const Variant& variant);
// A program's main(): --help, --version or a usage error, else run()
// (joiner.cc).
int main(int argc, char** argv, const Variant& variant);

}  // namespace memberjoin

#endif  // MEMBERJOIN_JOINER_H_
