// The needed SNPs of --needed: a name per white-space separated record, in
// the file of that name in each table's folder.
#include <algorithm>
#include <string>

#include "common/limits.h"
#include "ldcluster/clusterer.h"
#include "textio/reader.h"

namespace ldcluster {

namespace {

std::vector<int> read_table_needed(const Table& t, const std::string& name) {
  const std::string file = t.path(name.c_str());
  textio::Reader in;
  textio::open_input(in, file);
  static const textio::Pattern kRecord("%s");
  textio::Field f[1];
  std::vector<char> seen(t.snps.size(), 0);
  std::vector<int> needed;
  for (long record = 1; !in.eof(); ++record) {
    if (in.scan(kRecord, f) == 0) break;  // white space to the end
    textio::check_length(f[0].token, common::kMaxJoinerText, file, record, "SNP name");
    const int g = t.index.find(f[0].token);
    if (g == textio::NameIndex::kNone) {
      textio::fail_input(textio::at_record(file, record) + "SNP " + std::string(f[0].token.str()) + " is not in " +
                         t.path(kSnpFile));
    }
    const int b = t.index.first(g);
    if (!seen[b]) needed.push_back(b);
    seen[b] = 1;
  }
  textio::check_read(in, file);
  in.close();
  std::sort(needed.begin(), needed.end());
  return needed;
}

}  // namespace

void read_needed(Clusterer& c) {
  c.coverage.needed.clear();
  for (const Table& t : c.tables) {
    c.coverage.needed.push_back(c.options.coverage.needed.empty() ? std::vector<int>{}
                                                                  : read_table_needed(t, c.options.coverage.needed));
  }
}

}  // namespace ldcluster
