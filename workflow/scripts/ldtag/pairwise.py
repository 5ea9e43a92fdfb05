"""Pairwise coverage of any set of tags, beside its imputed coverage.

A SNP is captured by a set when it is one of the tags, or when a tag within
WINDOW_KB of it reaches the SNP's own threshold in PLINK's r² (the tagging
rule of ldprune, tagging.reaches_threshold), in the people the tags were
chosen in. PLINK's windowed scan from the tags (--ld-snp-list, pairs at the
lowest threshold or above) gives the pairs, both ways, in one run per
chromosome and population, read a line at a time.
"""
import collections

from . import tagging

WINDOW_KB = 1000


def captured(ld_path, sets, threshold):
    """Per set (a list of (name, tags)), the SNPs it captures: its tags, and
    the SNPs a tag of it reaches in the pairs of PLINK's --r2 table at
    `ld_path` (tag first); `threshold(name)` is a SNP's own threshold. The
    table is read once, a line at a time."""
    bit = {}
    for k, (_, tags) in enumerate(sets):
        for tag in tags:
            bit[tag] = bit.get(tag, 0) | 1 << k
    caught = collections.defaultdict(int)
    with open(ld_path) as f:
        next(f, None)
        for line in f:
            fields = line.split()
            if len(fields) != 7:
                continue
            bits = bit.get(fields[2], 0) & ~caught[fields[5]]
            if bits and tagging.reaches_threshold(float(fields[6]), threshold(fields[5])):
                caught[fields[5]] |= bits
    return [set(tags) | {snp for snp, bits in caught.items() if bits >> k & 1} for k, (_, tags) in enumerate(sets)]
