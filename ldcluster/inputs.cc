// The SNP table, and the relation checked before any method runs.
#include <string>

#include "ldcluster/clusterer.h"
#include "textio/reader.h"

namespace ldcluster {

void open_inputs(Clusterer& c) {
  textio::open_input(c.snp_in, kSnpFile);
  textio::open_input(c.score_in, kScoreFile);
}

void read_snps(Clusterer& c) {
  const std::string file = kSnpFile;
  textio::Reader& in = c.snp_in;
  static const textio::Pattern kRecord("%s %s %s\n");
  textio::Field f[3];
  for (long record = 1; !in.eof(); ++record) {
    int got = in.scan(kRecord, f);
    if (got == 0) break;  // white space to the end
    if (got < 3) textio::fail_input(textio::at_record(file, record) + "expected a SNP name, its position and its MAF");
    if (c.snps.size() == kMaxSnps) textio::fail_input(file + ": more than " + std::to_string(kMaxSnps) + " SNPs");
    textio::check_length(f[0].token, kMaxText, file, record, "SNP name");
    textio::check_length(f[1].token, kMaxText, file, record, "position");
    textio::check_length(f[2].token, kMaxText, file, record, "MAF");
    c.snps.push_back({std::string(f[0].token.str()), std::string(f[1].token.str()), std::string(f[2].token.str())});
  }
  textio::check_read(in, file);
  in.close();
  std::vector<std::string_view> names;
  for (const Snp& s : c.snps) names.push_back(s.name);
  c.index.build(names);
  if (c.index.groups() < static_cast<int>(names.size())) {
    for (int g = 0; g < c.index.groups(); ++g) {
      if (c.index.entries(g).size() > 1) {
        textio::fail_input(file + ": SNP " + std::string(c.index.name(g)) + " is listed twice (records " +
                   std::to_string(c.index.entries(g)[0] + 1) + " and " + std::to_string(c.index.entries(g)[1] + 1) + ")");
      }
    }
  }
}

void build_relation(Clusterer& c) {
  c.relation.build(c.scores);
  if (int b = c.relation.untaggable(); b >= 0) {
    const std::string& name = c.snps[b].name;
    textio::fail_input(std::string(kScoreFile) + ": SNP " + name +
                       " is tagged by no SNP that can be a tag (no score of at least 1.0 for " + name +
                       " from a SNP whose score for itself is at least 1.0), so no cluster can hold it");
  }
}

}  // namespace ldcluster
