// Thresholds, done and undesirable SNPs: the user's lists, cut to the region.
//
// The lists are white-space separated records, as ldprune's own inputs are:
// a name and a threshold per record in the thresholds file, a name per record
// in the others. They may name SNPs of the whole genome; names that are not
// in the region are skipped, and a name listed twice in the done or the
// undesirable list is kept once.
#include <charconv>

#include "ldprep/converter.h"
#include "textio/reader.h"

namespace ldprep {

using textio::at_record;
using textio::fail_input;

bool is_threshold(std::string_view text) {
  double value;
  auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  return r.ec == std::errc() && r.ptr == text.data() + text.size() && value > 0.0 && value <= 1.0;
}

void read_thresholds(Converter& c) {
  for (Snp& s : c.snps) s.threshold = c.options.threshold;
  const std::string& file = c.options.thresholds;
  if (file.empty()) return;
  textio::Reader in;
  textio::open_input(in, file);
  static const textio::Pattern kRecord("%s %s\n");
  textio::Field f[2];
  std::vector<long> listed_at(c.snps.size(), 0);
  for (long record = 1; !in.eof(); ++record) {
    int scanned = in.scan(kRecord, f);
    if (scanned == 0) break;  // only white space was left
    std::string name(f[0].token.str());
    if (scanned == 1) fail_input(at_record(file, record) + "SNP " + name + " has no threshold");
    if (f[1].token.overlong() || !is_threshold(f[1].token.str())) {
      fail_input(at_record(file, record) + "threshold \"" + std::string(f[1].token.str()) + "\" of SNP " + name +
                 " is not a number above 0 and at most 1");
    }
    int group = c.index.find(f[0].token);
    if (group == textio::NameIndex::kNone) continue;
    int i = c.index.first(group);
    if (listed_at[i]) {
      fail_input(at_record(file, record) + "SNP " + name + " is listed twice (records " + std::to_string(listed_at[i]) +
                 " and " + std::to_string(record) + ")");
    }
    listed_at[i] = record;
    c.snps[i].threshold = f[1].token.str();
  }
  textio::check_read(in, file);
}

namespace {

void read_list(Converter& c, const std::string& file, std::vector<std::string>* kept) {
  if (file.empty()) return;
  textio::Reader in;
  textio::open_input(in, file);
  static const textio::Pattern kRecord("%s\n");
  textio::Field f[1];
  std::vector<char> kept_at(c.snps.size(), 0);  // a name listed twice is kept once
  while (!in.eof() && in.scan(kRecord, f) == 1) {
    int group = c.index.find(f[0].token);
    if (group == textio::NameIndex::kNone) continue;
    int i = c.index.first(group);
    if (!kept_at[i]) kept->emplace_back(f[0].token.str());
    kept_at[i] = 1;
  }
  textio::check_read(in, file);
}

}  // namespace

void read_lists(Converter& c) {
  read_list(c, c.options.done, &c.done);
  read_list(c, c.options.undesirable, &c.undesirable);
}

}  // namespace ldprep
