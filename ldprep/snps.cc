// The region's SNPs and their allele frequencies, from PLINK's text output.
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "common/limits.h"
#include "ldprep/converter.h"
#include "textio/reader.h"

namespace ldprep {
namespace {

using textio::fail_input;

// Reads a PLINK text file a line at a time, split into white-space separated
// fields; blank lines are skipped.
class Lines {
 public:
  Lines(textio::Reader& in, const std::string& file) : in_(in), file_(file) { textio::open_input(in_, file_); }

  bool next(std::vector<std::string_view>* fields) {
    fields->clear();
    while (fields->empty()) {
      size_t n = in_.read_line(buf_, sizeof buf_);
      if (n == 0) {
        textio::check_read(in_, file_);
        in_.close();
        return false;
      }
      ++line_;
      if (buf_[n - 1] != '\n' && n == sizeof buf_ - 1) fail_input(at() + "longer than " + std::to_string(n) + " bytes");
      size_t i = 0;
      while (i < n) {
        while (i < n && is_space(buf_[i])) ++i;
        size_t start = i;
        while (i < n && !is_space(buf_[i])) ++i;
        if (i > start) fields->emplace_back(buf_ + start, i - start);
      }
    }
    return true;
  }
  // "<file>: line <n>: " for messages about the last line read.
  std::string at() const { return file_ + ": line " + std::to_string(line_) + ": "; }

 private:
  static bool is_space(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }
  textio::Reader& in_;
  const std::string& file_;
  long line_ = 0;
  char buf_[4096];
};

// True when `text` is a whole decimal number, read into *value.
bool parse_number(std::string_view text, double* value) {
  auto r = std::from_chars(text.data(), text.data() + text.size(), *value);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

}  // namespace

void read_snps(Converter& c) {
  const std::string& file = c.options.bim;
  textio::Reader in(1 << 16);
  Lines lines(in, file);
  std::vector<std::string_view> f;
  std::vector<std::string_view> names;
  while (lines.next(&f)) {
    if (f.size() != 6) {
      fail_input(lines.at() + "expected 6 fields (chromosome, SNP, cM, position, allele 1, allele 2), found " +
                 std::to_string(f.size()));
    }
    if (c.snps.empty()) {
      c.chromosome = f[0];
    } else if (f[0] != c.chromosome) {
      fail_input(lines.at() + "chromosome " + std::string(f[0]) + " after " + c.chromosome +
                 ": a region lies on one chromosome");
    }
    if (c.snps.size() == common::kMaxSnps) {
      fail_input(file + ": more than " + std::to_string(common::kMaxSnps) + " SNPs");
    }
    if (f[1].size() > common::kMaxSnpName) {
      fail_input(lines.at() + "SNP name \"" + std::string(f[1].substr(0, common::kMaxSnpName)) +
                 "...\" is longer than " + std::to_string(common::kMaxSnpName) + " characters");
    }
    int64_t position = 0;
    auto r = std::from_chars(f[3].data(), f[3].data() + f[3].size(), position);
    if (r.ec != std::errc() || r.ptr != f[3].data() + f[3].size() || position < INT32_MIN || position > INT32_MAX) {
      fail_input(lines.at() + "position \"" + std::string(f[3]) +
                 "\" is not a whole number in the 32-bit signed range");
    }
    c.snps.push_back(Snp{std::string(f[1]), static_cast<int32_t>(position), "", ""});
  }
  if (c.snps.empty()) fail_input(file + ": no SNPs");
  for (const Snp& s : c.snps) names.push_back(s.name);
  c.index.build(names);
  for (int i = 0; i < static_cast<int>(c.snps.size()); ++i) {
    auto group = c.index.entries(c.index.group_of(i));
    if (group.size() > 1) {
      fail_input(file + ": SNP " + c.snps[i].name + " is listed " + std::to_string(group.size()) + " times (lines " +
                 std::to_string(group[0] + 1) + " and " + std::to_string(group[1] + 1) + ")");
    }
  }
}

void read_freq(Converter& c) {
  const std::string& file = c.options.freq;
  textio::Reader in(1 << 16);
  Lines lines(in, file);
  std::vector<std::string_view> f;
  if (!lines.next(&f) || f.size() < 5 || f[1] != "SNP" || f[4] != "MAF") {
    fail_input(file + ": not a PLINK allele frequency table: the header \"CHR SNP A1 A2 MAF NCHROBS\" is missing");
  }
  const int missing = c.diag.kind("SNPs without an allele frequency");
  size_t k = 0;
  while (lines.next(&f)) {
    if (f.size() < 5) fail_input(lines.at() + "expected 6 fields, found " + std::to_string(f.size()));
    if (k == c.snps.size()) fail_input(lines.at() + "more SNPs than " + c.options.bim + " holds");
    Snp& s = c.snps[k++];
    if (f[1] != s.name) {
      fail_input(lines.at() + "SNP " + std::string(f[1]) + ", where " + c.options.bim + " has " + s.name +
                 ": the two must list the same SNPs in the same order");
    }
    double maf;
    if (parse_number(f[4], &maf) && maf >= 0.0 && maf <= 1.0) {
      s.maf = f[4];
    } else {
      s.maf = "0";
      c.diag.warn(missing, [&] {
        return lines.at() + "SNP " + s.name + " has no allele frequency (\"" + std::string(f[4]) +
               "\"); its MAF is written as 0";
      });
    }
  }
  if (k < c.snps.size()) {
    fail_input(file + ": " + std::to_string(k) + " SNPs, where " + c.options.bim + " has " +
               std::to_string(c.snps.size()));
  }
}

}  // namespace ldprep
