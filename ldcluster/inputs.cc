// The SNP tables, and the relations checked before any method runs.
#include <string>

#include "common/limits.h"
#include "ldcluster/clusterer.h"
#include "textio/reader.h"

namespace ldcluster {

Table& Clusterer::add_table(const std::string& population) {
  Table& t = tables.emplace_back();
  t.population = population;
  t.folder = population.empty() ? "" : population + "/";
  return t;
}

void open_inputs(Clusterer& c) {
  for (Table& t : c.tables) {
    textio::open_input(t.snp_in, t.path(kSnpFile));
    textio::open_input(t.score_in, t.path(c.options.score_file()));
  }
}

namespace {

void read_table_snps(Table& t) {
  const std::string file = t.path(kSnpFile);
  textio::Reader& in = t.snp_in;
  static const textio::Pattern kRecord("%s %s %s\n");
  textio::Field f[3];
  for (long record = 1; !in.eof(); ++record) {
    int got = in.scan(kRecord, f);
    if (got == 0) break;  // white space to the end
    if (got < 3) textio::fail_input(textio::at_record(file, record) + "expected a SNP name, its position and its MAF");
    if (t.snps.size() == common::kMaxSnps) {
      textio::fail_input(file + ": more than " + std::to_string(common::kMaxSnps) + " SNPs");
    }
    textio::check_length(f[0].token, common::kMaxJoinerText, file, record, "SNP name");
    textio::check_length(f[1].token, common::kMaxJoinerText, file, record, "position");
    textio::check_length(f[2].token, common::kMaxJoinerText, file, record, "MAF");
    t.snps.push_back({std::string(f[0].token.str()), std::string(f[1].token.str()), std::string(f[2].token.str())});
  }
  textio::check_read(in, file);
  in.close();
  std::vector<std::string_view> names;
  for (const Snp& s : t.snps) names.push_back(s.name);
  t.index.build(names);
  if (t.index.groups() < static_cast<int>(names.size())) {
    for (int g = 0; g < t.index.groups(); ++g) {
      if (t.index.entries(g).size() > 1) {
        textio::fail_input(file + ": SNP " + std::string(t.index.name(g)) + " is listed twice (records " +
                           std::to_string(t.index.entries(g)[0] + 1) + " and " +
                           std::to_string(t.index.entries(g)[1] + 1) + ")");
      }
    }
  }
}

}  // namespace

void read_snps(Clusterer& c) {
  for (Table& t : c.tables) read_table_snps(t);
}

void build_relation(Clusterer& c) {
  for (Table& t : c.tables) {
    t.relation.build(t.scores);
    if (int b = t.relation.untaggable(); b >= 0) {
      const std::string& name = t.snps[b].name;
      textio::fail_input(t.path(c.options.score_file()) + ": SNP " + name +
                         " is tagged by no SNP that can be a tag (no score of at least 1.0 for " + name +
                         " from a SNP whose score for itself is at least 1.0), so no cluster can hold it");
    }
  }
  if (c.tables.size() > 1) build_joint_relation(c);
}

}  // namespace ldcluster
