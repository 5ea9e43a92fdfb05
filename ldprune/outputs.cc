// Writing the run log's matrix dumps and the two processed tables.
#include <string>

#include "ldprune/steps.h"

namespace ldprune {
namespace {

void dump(textio::Writer& log, const float* cells, int n) {
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      log.put_real(cells[static_cast<size_t>(i) * n + j]);
      log.put(' ');
    }
    log.put('\n');
  }
}

// Closes an output; a failed write or close is reported by file name.
bool finish(Preprocessor& p, textio::Writer& out, const char* file) {
  if (out.close()) return true;
  p.diag.print(std::string("cannot write ") + file + ": " + textio::describe_errno(out.error()));
  return false;
}

}  // namespace

int write_outputs(Preprocessor& p) {
  bool ok = true;
  p.log.put("\n  Before deleting undesirable and untagged SNPs, and adjusting the weights for done and undersirable "
            "SNPs: r2 table:\n");
  dump(p.log, p.r2.data(), p.n);
  p.log.put("\n  After deleting and adjusting for done SNPs: new_r2 table:\n");

  // Each new_r2 row is formatted once, as its dump line, and its values are
  // cut from that line for ld_processed.txt.
  const int nn = p.new_n();
  std::vector<char> line(static_cast<size_t>(nn) * (textio::kMaxRealText + 1) + 1);
  std::vector<size_t> start(nn + 1);
  std::vector<float> cells(nn);
  for (int i = 0; i < nn; ++i) {
    p.new_r2.row(i, cells.data());
    size_t len = 0;
    for (int j = 0; j < nn; ++j) {
      start[j] = len;
      len += textio::format_real(cells[j], line.data() + len);
      line[len++] = ' ';
    }
    start[nn] = len;
    line[len++] = '\n';
    p.log.put(std::string_view(line.data(), len));

    std::string_view from = p.new_table[i].name.str();
    for (int j = 0; j < nn; ++j) {
      p.ld_out.put(from);
      p.ld_out.put(' ');
      p.ld_out.put(p.new_table[j].name.str());
      p.ld_out.put(' ');
      p.ld_out.put(std::string_view(line.data() + start[j], start[j + 1] - start[j] - 1));
      p.ld_out.put('\n');
    }
  }
  ok &= finish(p, p.log, kLogFile);
  ok &= finish(p, p.ld_out, kLdOutFile);

  for (const Snp& s : p.new_table) {
    p.maf_out.put(s.name.str());
    p.maf_out.put(' ');
    p.maf_out.put_integer(s.position);
    p.maf_out.put(' ');
    p.maf_out.put_real(s.maf);
    p.maf_out.put('\n');
  }
  ok &= finish(p, p.maf_out, kMafOutFile);
  return ok ? textio::kExitOk : textio::kExitWriteError;
}

}  // namespace ldprune
