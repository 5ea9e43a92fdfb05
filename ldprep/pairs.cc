// ld.txt from PLINK's square r² matrix: a row of doubles per SNP, in .bim
// order, read a row at a time.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "ldprep/converter.h"
#include "textio/output_file.h"
#include "textio/writer.h"

namespace ldprep {

void open_pairs(Converter& c) {
  const std::string& file = c.options.ld;
  c.pairs_fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (c.pairs_fd < 0) textio::fail_input("cannot open " + file + ": " + textio::describe_errno(errno));
  struct stat st;
  if (fstat(c.pairs_fd, &st) != 0) textio::fail_input("cannot read " + file + ": " + textio::describe_errno(errno));
  const int64_t n = static_cast<int64_t>(c.snps.size());
  if (!S_ISREG(st.st_mode) || st.st_size != n * n * 8) {
    textio::fail_input(file + ": " + std::to_string(st.st_size) + " bytes, where the r² matrix of " +
                       std::to_string(n) + " SNPs takes " + std::to_string(n * n * 8) +
                       " (PLINK's --r2 square bin for the SNPs of " + c.options.bim + ")");
  }
}

namespace {

void read_row(Converter& c, std::vector<double>* row) {
  char* p = reinterpret_cast<char*>(row->data());
  size_t left = row->size() * sizeof(double);
  while (left > 0) {
    ssize_t r = ::read(c.pairs_fd, p, left);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      textio::fail_input("cannot read " + c.options.ld + ": " +
                         (r < 0 ? textio::describe_errno(errno) : std::string("the file is shorter than it was")));
    }
    p += r;
    left -= static_cast<size_t>(r);
  }
}

}  // namespace

void write_pairs(Converter& c) {
  const size_t n = c.snps.size();
  size_t longest = 0;
  for (const Snp& s : c.snps) longest = std::max(longest, s.name.size());
  const int missing = c.diag.kind("pairs without an r²");
  textio::Writer out;
  textio::create_output(out, "ld.txt");
  std::vector<double> row(n);
  for (size_t i = 0; i < n; ++i) {
    read_row(c, &row);
    const std::string& first = c.snps[i].name;
    for (size_t j = i + 1; j < n; ++j) {
      const std::string& second = c.snps[j].name;
      double r2 = row[j];
      if (!std::isfinite(r2)) {
        c.diag.warn(missing, [&] {
          return c.options.ld + ": no r² for SNPs " + first + " and " + second + "; it is written as 0";
        });
        r2 = 0.0;
      }
      char* p = out.reserve(2 * longest + 3 + textio::kMaxDoubleText);
      char* at = p;
      std::memcpy(at, first.data(), first.size());
      at += first.size();
      *at++ = ' ';
      std::memcpy(at, second.data(), second.size());
      at += second.size();
      *at++ = ' ';
      at += textio::format_double(r2, at);
      *at++ = '\n';
      out.advance(static_cast<size_t>(at - p));
    }
  }
  ::close(c.pairs_fd);
  c.pairs_fd = -1;
  finish_output(out, "ld.txt");
}

}  // namespace ldprep
