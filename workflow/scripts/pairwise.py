"""Pairwise coverage of any set of tags, beside its imputed coverage.

A SNP is captured by a set when it is one of the tags, or when a tag within
WINDOW_KB of it reaches the SNP's own threshold in PLINK's r² (the tagging
rule of ldprune, coverage.reaches_threshold), in the people the tags were
chosen in. PLINK's windowed scan from the tags (--ld-snp-list, pairs at the
lowest threshold or above) gives the pairs, both ways, in one run per
chromosome and population.
"""
import collections

import coverage

WINDOW_KB = 1000


def best_pairs(ld_path):
    """SNP -> [(tag, r²)] from PLINK's --r2 table of pairs (tag first)."""
    pairs = collections.defaultdict(list)
    with open(ld_path) as f:
        next(f, None)
        for line in f:
            fields = line.split()
            if len(fields) == 7:
                pairs[fields[5]].append((fields[2], float(fields[6])))
    return pairs


def captured(pairs, tags, snps, threshold):
    """The SNPs of `snps` the set `tags` captures; `threshold(name)` is a
    SNP's own threshold."""
    tagged = set(tags)
    out = set()
    for snp in snps:
        if snp in tagged or any(
            tag in tagged and coverage.reaches_threshold(value, threshold(snp)) for tag, value in pairs.get(snp, ())
        ):
            out.add(snp)
    return out
