// The limits the programs share, each stated once.
//
// ldprune's tables hold at most kMaxSnps SNPs (and lists of at most as many
// entries) and store SNP names of at most kMaxSnpName characters; ldprep and
// ldcluster check their inputs against the same limits. The joiners, and
// ldcluster for what the joiners read back, store names, positions and MAFs
// of at most kMaxJoinerText characters. The workflow states the first two
// again in Python and in its config schema; its tests read them here.
#ifndef COMMON_LIMITS_H_
#define COMMON_LIMITS_H_

#include <cstddef>

namespace common {

inline constexpr int kMaxSnps = 2000;
inline constexpr size_t kMaxSnpName = 29;
inline constexpr size_t kMaxJoinerText = 59;

}  // namespace common

#endif  // COMMON_LIMITS_H_
