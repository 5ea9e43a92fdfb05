// Writing the run log's matrix dumps and the two processed tables.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ldprune/steps.h"
#include "textio/output_file.h"
#include "textio/row.h"

namespace ldprune {
namespace {

// Cells of the r2 table from which the run log gets a thread of its own.
constexpr int64_t kThreadedLogCells = 100 * 100;

// Writes rows x columns cells, a line per row.
void dump(textio::Writer& log, const float* cells, int rows, int columns) {
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < columns; ++j) {
      char* w = log.reserve(textio::kMaxRealText + 1);
      size_t n = log.real_text(cells[static_cast<size_t>(i) * columns + j], w);
      w[n] = ' ';
      log.advance(n + 1);
    }
    log.put('\n');
  }
}

// Closes an output and renames it into place; a failed write, close or
// rename is reported by file name, and leaves that output empty (and
// write_outputs the others).
bool finish(Preprocessor& p, textio::Writer& out, const char* file) {
  int err = textio::commit(out, file);
  if (err == 0) return true;
  textio::empty_output(file);
  p.diag.print(std::string("cannot write ") + file + ": " + textio::describe_errno(err));
  return false;
}

// The run log's two matrix dumps.
void write_log(Preprocessor& p) {
  p.log.put(
      "\n  Before deleting undesirable and untagged SNPs, and adjusting the weights for done and undersirable "
      "SNPs: r2 table:\n");
  dump(p.log, p.r2.data(), p.n, p.n);
  p.log.put("\n  After deleting and adjusting for done SNPs: new_r2 table:\n");
  const int nn = p.new_n();
  std::vector<float> cells(nn);
  for (int i = 0; i < nn; ++i) {
    p.new_r2.row(i, cells.data());
    dump(p.log, cells.data(), 1, nn);
  }
}

// ld_processed.txt: a line per cell of the new_r2 table; maf_processed.txt:
// a line per SNP of the new table.
void write_tables(Preprocessor& p) {
  const int nn = p.new_n();
  std::vector<float> cells(nn);
  for (int i = 0; i < nn; ++i) {
    p.new_r2.row(i, cells.data());
    const Token& from = p.new_table[i].name;
    for (int j = 0; j < nn; ++j) {
      // "<from> <to> <value>\n", each name copied whole-array and cut to length.
      const Token& to = p.new_table[j].name;
      char* const line = p.ld_out.reserve(2 * (Token::kCapacity + 1) + textio::kMaxRealText + 3);
      char* w = line;
      std::memcpy(w, from.c_str(), Token::kCapacity + 1);
      w += from.str().size();
      *w++ = ' ';
      std::memcpy(w, to.c_str(), Token::kCapacity + 1);
      w += to.str().size();
      *w++ = ' ';
      w += p.ld_out.real_text(cells[j], w);
      *w++ = '\n';
      p.ld_out.advance(static_cast<size_t>(w - line));
    }
  }
  for (const Snp& s : p.new_table) textio::put_row(p.maf_out, ' ', s.name.str(), s.position, s.maf);
}

}  // namespace

// A large run log is written on a second thread while the two tables are
// written here: the files share nothing but the tables they are made from,
// which no one changes any more. A small one costs less than the thread.
int write_outputs(Preprocessor& p) {
  p.outputs_emptied();
  if (static_cast<int64_t>(p.n) * p.n >= kThreadedLogCells) {
    std::thread log_writer([&p] { write_log(p); });
    write_tables(p);
    log_writer.join();
  } else {
    write_log(p);
    write_tables(p);
  }
  bool ok = true;
  ok &= finish(p, p.log, kLogFile);
  ok &= finish(p, p.ld_out, kLdOutFile);
  ok &= finish(p, p.maf_out, kMafOutFile);
  if (ok) return textio::kExitOk;
  // One output that could not be written empties the others, so that no
  // whole table of a failed run passes for a result.
  for (const char* file : {kLogFile, kLdOutFile, kMafOutFile}) textio::empty_output(file);
  return textio::kExitWriteError;
}

}  // namespace ldprune
