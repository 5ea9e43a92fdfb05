// The r2 table: tag scores for every ordered pair of SNPs.
#include <algorithm>
#include <cstdint>

#include "ldprune/steps.h"

namespace ldprune {
namespace {

// Reads ld.txt into the upper triangle. A record sets every cell (i, j),
// i <= j, whose row SNP carries its first name and whose column SNP its
// second name; a later record for the same cell wins. Names are looked up
// once per record: the value is kept at (first entry of the first name,
// first entry of the second name), and only when the SNP table repeats a
// name is it spread to the other cells of that pair of names afterwards.
void read_pairs(Preprocessor& p) {
  static const textio::Pattern record("%s %s %f\n");
  const int n = p.n;
  const bool repeated_names = p.snp_index.groups() < n;
  std::vector<uint64_t> listed;  // pairs of first entries that a record named
  if (repeated_names) listed.assign((static_cast<size_t>(n) * n + 63) / 64, 0);

  const int unknown = p.diag.kind(std::string("records in ") + kLdFile + " naming an SNP not in the SNP list");
  const int reverse = p.diag.kind(std::string("records in ") + kLdFile + " listing their pair in reverse order");
  const int bad = p.diag.kind(std::string("records in ") + kLdFile + " that did not scan");
  auto name_of = [](const textio::Token& t) { return std::string(t.str().substr(0, 40)) + (t.length() > 40 ? "..." : ""); };

  textio::Field f[3];
  // Pairs usually come row by row in table order: the first name repeats and
  // the second is the entry after the last one. Both guesses are checked
  // against the name before the index is asked.
  textio::Token last_first;
  bool cached = false;
  int a = textio::NameIndex::kNone;
  int next = 0;  // entry expected to carry the next second name
  for (long r = 1; !p.ld_in.eof(); ++r) {
    int got = p.ld_in.scan(record, f);  // what did not scan keeps the last record's values
    if (got == 0) continue;             // an empty or blank file: nothing was read
    if (got < 3) {
      p.diag.warn(bad, [&] {
        return textio::at_record(kLdFile, r) + "only " + std::to_string(got) +
               " of 3 fields scanned; the previous record's values were used";
      });
    }
    if (!cached || !(f[0].token == last_first)) {
      last_first = f[0].token;
      a = p.snp_index.find(f[0].token);
      cached = true;
    }
    int b;
    if (a == textio::NameIndex::kNone) {
      b = textio::NameIndex::kNone;
    } else if (next < n && p.snps[next].name == f[1].token) {
      b = p.snp_index.group_of(next++);
    } else {
      b = p.snp_index.find(f[1].token);
      if (b != textio::NameIndex::kNone) next = p.snp_index.first(b) + 1;
    }
    if (a == textio::NameIndex::kNone || b == textio::NameIndex::kNone) {
      p.diag.warn(unknown, [&] {
        return textio::at_record(kLdFile, r) + "SNP " + name_of(f[a == textio::NameIndex::kNone ? 0 : 1].token) +
               " is not in the SNP list; the record is ignored";
      });
      continue;
    }
    if (p.snp_index.first(a) > p.snp_index.last(b)) {
      p.diag.warn(reverse, [&] {
        return textio::at_record(kLdFile, r) + "SNPs " + name_of(f[0].token) + " and " + name_of(f[1].token) +
               " are listed in reverse SNP-list order; the record is ignored";
      });
      continue;
    }
    int i = p.snp_index.first(a), j = p.snp_index.first(b);
    if (!repeated_names) {
      if (i <= j) p.r2_at(i, j) = f[2].real;
      continue;
    }
    size_t cell = static_cast<size_t>(i) * n + j;
    p.r2.data()[cell] = f[2].real;
    listed[cell / 64] |= uint64_t{1} << (cell % 64);
  }
  textio::check_read(p.ld_in, kLdFile);
  p.ld_in.close();

  if (!repeated_names) return;
  // Each cell takes the value kept for its pair of names. A kept value sits
  // either below the diagonal, which this loop does not write, or in a cell
  // whose own value is that same pair's value, so the order is safe.
  for (int i = 0; i < n; ++i) {
    int ri = p.snp_index.first(p.snp_index.group_of(i));
    for (int j = i; j < n; ++j) {
      int rj = p.snp_index.first(p.snp_index.group_of(j));
      size_t cell = static_cast<size_t>(ri) * n + rj;
      bool set = (listed[cell / 64] >> (cell % 64)) & 1;
      p.r2_at(i, j) = set ? p.r2.data()[cell] : 0.0f;
    }
  }
}

// Copies the upper triangle onto the lower one, block by block.
void mirror(Preprocessor& p) {
  constexpr int kBlock = 64;
  const int n = p.n;
  for (int bi = 0; bi < n; bi += kBlock) {
    for (int bj = bi; bj < n; bj += kBlock) {
      for (int i = bi; i < std::min(bi + kBlock, n); ++i) {
        for (int j = std::max(bj, i + 1); j < std::min(bj + kBlock, n); ++j) p.r2_at(j, i) = p.r2_at(i, j);
      }
    }
  }
}

}  // namespace

void build_r2_table(Preprocessor& p) {
  const int n = p.n;
  p.r2.reset(n);
  read_pairs(p);
  for (int i = 0; i < n; ++i) p.r2_at(i, i) = 1.0f;
  mirror(p);
  // Fold in the tagged SNP's threshold, in double precision, rounded once:
  // S = 1 - (threshold[j] - r2), so that S >= 1 exactly when i tags j.
  for (int i = 0; i < n; ++i) {
    float* row = &p.r2_at(i, 0);
    for (int j = 0; j < n; ++j) {
      if (j == i) continue;
      double threshold = p.snps[j].threshold;
      row[j] = static_cast<float>(1.0 - (threshold - static_cast<double>(row[j])));
    }
  }
}

}  // namespace ldprune
