// The new table: the SNP table without the dropped SNPs.
#include "ldprune/steps.h"

namespace ldprune {

void build_new_table(Preprocessor& p) {
  std::vector<int> kept;
  for (int i = 0; i < p.n; ++i) {
    if (p.dropped[i] != 1) kept.push_back(i);
  }
  p.new_table.clear();
  for (int i : kept) p.new_table.push_back(p.snps[i]);
  p.new_r2.reset(&p.r2, std::move(kept));
  std::vector<std::string_view> names;
  for (const Snp& s : p.new_table) names.push_back(s.name.str());
  p.new_index.build(std::move(names));
}

}  // namespace ldprune
