// Screening of the undesirable SNPs, and silencing the ones that stay.
#include <string>

#include "ldprune/steps.h"

namespace ldprune {
namespace {

void log_line(textio::Writer& log, const char* before, std::string_view value, const char* after) {
  log.put(before);
  log.put(value);
  log.put(after);
}

}  // namespace

void screen_undesirable(Preprocessor& p) {
  const int n = p.n;
  const int u_count = static_cast<int>(p.undesirable.size());

  // Each entry stands for the last SNP of that name. A name that is not in
  // the SNP table takes no part in screening.
  p.undesirable_index.assign(u_count, -1);
  std::vector<char> is_undesirable(n, 0);
  const int unknown = p.diag.kind(std::string("SNPs of ") + kUndesirableFile + " not in the SNP list");
  for (int u = 0; u < u_count; ++u) {
    int g = p.snp_index.find(p.undesirable[u]);
    if (g == textio::NameIndex::kNone) {
      p.diag.warn(unknown, [&] {
        return textio::at_record(kUndesirableFile, u + 1) + "SNP " + std::string(p.undesirable[u].str()) +
               " is not in the SNP list; it is ignored";
      });
      continue;
    }
    p.undesirable_index[u] = p.snp_index.last(g);
    is_undesirable[p.undesirable_index[u]] = 1;
  }

  // Tagger counts of every undesirable SNP, in one pass over the desirable
  // SNPs' rows.
  std::vector<int> columns;
  for (int s = 0; s < n; ++s) {
    if (is_undesirable[s]) columns.push_back(s);
  }
  std::vector<long> count_of(n, 0);
  for (int j = 0; j < n; ++j) {
    if (is_undesirable[j]) continue;
    const float* row = p.r2.row(j);
    for (int s : columns) count_of[s] += tags(row[s]);
  }
  p.tagger_count.assign(u_count, 0);
  p.tagged.clear();
  for (int u = 0; u < u_count; ++u) {
    int s = p.undesirable_index[u];
    if (s < 0) continue;
    long count = p.tagger_count[u] = count_of[s];
    p.log.put("Undesirable SNP ");
    p.log.put(p.undesirable[u].str());
    p.log.put(" is tagged by ");
    p.log.put_integer(count);
    p.log.put(" other desirable SNPs\n");
    if (count > 0) {
      p.tagged.push_back(TaggedUndesirable{s, p.snps[s].name, 0});
      log_line(p.log, "Undesirable SNP ", p.snps[s].name.str(), " can be tagged by other desirable SNPs\n");
    }
  }

  size_t t = 0;
  for (int u = 0; u < u_count; ++u) {
    int s = p.undesirable_index[u];
    if (s < 0) continue;
    if (p.tagger_count[u] == 0) {
      p.dropped[s] = 1;
    } else {
      p.tagged[t++].name = p.undesirable[u];
    }
  }

  p.dropped_count = 0;
  for (int j = 0; j < n; ++j) p.dropped_count += p.dropped[j] == 1;
  p.log.put("Undesirable and untagged SNPs number: ");
  p.log.put_integer(p.dropped_count);
  p.log.put('\n');
  for (const TaggedUndesirable& e : p.tagged) log_line(p.log, "Undesirable and tagged SNP: ", e.name.str(), "\n");
}

void locate_and_silence(Preprocessor& p) {
  for (TaggedUndesirable& e : p.tagged) {
    int g = p.new_index.find(e.name);
    e.new_index = g == textio::NameIndex::kNone ? 0 : p.new_index.last(g);
  }
  for (const TaggedUndesirable& e : p.tagged) {
    p.log.put("The undesirable and tagged SNP ");
    p.log.put(e.name.str());
    p.log.put(" is the ");
    p.log.put_integer(e.new_index);
    p.log.put("th SNP (counting from 0th) in the new table\n");
  }
  for (const TaggedUndesirable& e : p.tagged) p.new_r2.silence_row(e.new_index);
}

}  // namespace ldprune
