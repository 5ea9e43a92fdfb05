// Reading and echoing the cluster summary.
#include <cstring>
#include <string>

#include "common/limits.h"
#include "memberjoin/joiner.h"
#include "textio/row.h"

namespace memberjoin {
namespace {

constexpr const char* kHeader = "Cluster\tSize\tTagging SNP\tAvg. sim.\n";
constexpr const char* kHeaderCrlf = "Cluster\tSize\tTagging SNP\tAvg. sim.\r\n";
constexpr size_t kSummaryLine = 100;  // a read takes at most 99 characters

}  // namespace

void read_summary(Joiner& j) {
  const std::string file = j.variant.summary_file;
  textio::Reader& in = j.summary_in;

  // Lines up to and including the header are echoed and otherwise ignored.
  for (;;) {
    if (in.read_line(j.line, kSummaryLine) == 0) {
      textio::check_read(in, file);
      textio::fail_input(file + ": the header line \"Cluster<TAB>Size<TAB>Tagging SNP<TAB>Avg. sim.\" is missing");
    }
    j.echo.put(std::string_view(j.line));
    j.echo.put('\n');
    if (std::strcmp(j.line, kHeader) == 0 || std::strcmp(j.line, kHeaderCrlf) == 0) break;
  }

  // One row per cluster, matched by order. The numbers are scratch values:
  // a row that does not scan keeps the previous row's.
  static const textio::Pattern row("%d\t%d\t%s\t%f\n");
  const int bad = j.diag.kind("rows of " + file + " that did not scan");
  const int missing = j.diag.kind("clusters without a row in " + file);
  textio::Field f[4];
  const int64_t k_count = j.clusters > 0 ? j.clusters : 0;
  j.tag_names.assign(static_cast<size_t>(k_count), std::string());
  for (int64_t r = 0; r < k_count; ++r) {
    int got = in.scan(row, f);
    long record = static_cast<long>(r + 1);
    if (got >= 1) textio::check_int32(f[0].integer, file, record, "cluster number");
    if (got >= 2) textio::check_int32(f[1].integer, file, record, "cluster size");
    if (got >= 3) {
      textio::check_length(f[2].token, common::kMaxJoinerText, file, record, "tag SNP name");
      j.tag_names[r] = f[2].token.str();
    }
    if (got < 4) {
      if (got == 0 && in.eof()) {
        j.diag.warn(missing, [&] {
          return file + ": row " + std::to_string(record) + " is missing (" + std::to_string(k_count) +
                 " clusters); cluster " + std::to_string(r) + " gets an empty tag name and the previous row's numbers";
        });
      } else {
        j.diag.warn(bad, [&] {
          return textio::at_record(file, record) + "only " + std::to_string(got) +
                 " of 4 fields scanned; the previous row's values were used";
        });
      }
    }
    textio::put_row(j.echo, '\t', f[0].integer, f[1].integer, j.tag_names[r], f[3].real);
  }
  textio::check_read(in, file);
  in.close();
}

}  // namespace memberjoin
