// The new table: the SNP table without the dropped SNPs.
#include "ldprune/steps.h"

namespace ldprune {

void build_new_table(Preprocessor& p) {
  std::vector<int> kept;
  for (int i = 0; i < p.n; ++i) {
    if (p.dropped[i] != 1) kept.push_back(i);
  }
  const size_t nn = kept.size();
  p.new_table.clear();
  for (int i : kept) p.new_table.push_back(p.snps[i]);
  p.new_r2.assign(nn * nn, 0.0f);
  for (size_t r = 0; r < nn; ++r) {
    const float* from = &p.r2_at(kept[r], 0);
    float* to = &p.new_r2[r * nn];
    for (size_t c = 0; c < nn; ++c) to[c] = from[kept[c]];
  }
  std::vector<std::string_view> names;
  for (const Snp& s : p.new_table) names.push_back(s.name.str());
  p.new_index.build(std::move(names));
}

}  // namespace ldprune
