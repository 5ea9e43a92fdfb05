"""How well each method's tags capture a region's SNPs, in PLINK's r².

A SNP is captured when the tag of its cluster reaches the SNP's own
threshold in PLINK's r² of the pair, taken as the programs take it
(tagging.reaches_threshold); a tag captures itself. The undesirable SNPs
that ldprune dropped are in no cluster and are not captured. For the SNPs in
a cluster that are not its tag, the r² to their tag is summed and its lowest
value kept, so that means can be formed over many regions.

Reads from a folder of the chain: SNP_names.data (the SNP order of the
matrix), maf.txt, weight.txt, plink.ld.bin and <method>_output.txt. Writes
coverage.tsv, one row per method and MAF class: snps, captured, members
(SNPs with a tag other than themselves), r2_sum and r2_min over them; and
tag_r2.tsv, per method each SNP in a cluster with its tag and its r² to it
(six decimals, as ldprep writes r²; 1 for a tag itself).
"""
import array
import math
import os
import sys

from . import files, region, tagging

COLUMNS = ("method", "maf_class", "snps", "captured", "members", "r2_sum", "r2_min")
TAG_COLUMNS = ("method", "snp", "tag", "r2")


def read_matrix(folder, n):
    """PLINK's n x n r² matrix (--r2 square bin), as doubles."""
    r2 = array.array("d")
    with open(folder.path("plink.ld.bin"), "rb") as f:
        r2.fromfile(f, n * n)
    if sys.byteorder != "little":
        r2.byteswap()
    return r2


def tag_of(folder, method):
    """Per SNP of a joined table, the tag of its cluster."""
    rows = folder.joined(method)
    tag = {cluster: name for name, cluster, flag in rows if flag == "1"}
    return {name: tag[cluster] for name, cluster, _ in rows}


def coverage(path, methods):
    """The rows of the folder's coverage table, and of its tag table."""
    folder = region.Region(path)
    snps = folder.snps()
    index = {name: k for k, name in enumerate(snps)}
    maf = {name: float(m) for name, _, m in folder.snp_table()}
    threshold = folder.thresholds()
    n = len(snps)
    r2 = read_matrix(folder, n)
    rows, tag_rows = [], []
    for method in methods:
        tags = tag_of(folder, method)
        stats = {c: [0, 0, 0, 0.0, None] for c in tagging.MAF_CLASSES}  # snps, captured, members, sum, min
        for name in snps:
            tag = tags.get(name)
            value = None
            if tag is not None and tag != name:
                value = r2[index[tag] * n + index[name]]
                value = 0.0 if math.isnan(value) else value
            if tag is not None:
                tag_rows.append((method, name, tag, "%f" % (1.0 if value is None else value)))
            captured = tag is not None and (tag == name or tagging.reaches_threshold(value, threshold[name]))
            for c in ("all", tagging.maf_class(maf[name])):
                s = stats[c]
                s[0] += 1
                s[1] += captured
                if value is not None:
                    s[2] += 1
                    s[3] += value
                    s[4] = value if s[4] is None else min(s[4], value)
        for c in tagging.MAF_CLASSES:
            s = stats[c]
            rows.append((method, c, s[0], s[1], s[2], "%.6f" % s[3], "NA" if s[4] is None else "%.6f" % s[4]))
    return rows, tag_rows


def tagging_r2(path, pairs):
    """PLINK's r² of each pair of a file of pairs (ldcluster's tagging pairs:
    name, name, score), six decimals as ldprep writes them."""
    folder = region.Region(path)
    snps = folder.snps()
    index = {name: k for k, name in enumerate(snps)}
    n = len(snps)
    r2 = read_matrix(folder, n)
    rows = []
    with open(os.path.join(path, pairs)) as f:
        for line in f:
            a, b = line.split()[:2]
            value = r2[index[a] * n + index[b]]
            rows.append((a, b, "%f" % (0.0 if math.isnan(value) else value)))
    return rows


def write(path, methods, pairs=None):
    """coverage.tsv and tag_r2.tsv in the folder, the coverage last; with
    `pairs`, the r² of each pair that file names too (tagging_r2.tsv)."""
    rows, tag_rows = coverage(path, methods)
    files.write_table(os.path.join(path, "tag_r2.tsv"), TAG_COLUMNS, tag_rows)
    if pairs:
        files.write_table(os.path.join(path, "tagging_r2.tsv"), ("tag", "snp", "r2"), tagging_r2(path, pairs))
    files.write_table(os.path.join(path, "coverage.tsv"), COLUMNS, rows)
