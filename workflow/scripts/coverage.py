#!/usr/bin/python3
"""How well each method's tags capture a region's SNPs, from PLINK's r².

    coverage.py REGION_FOLDER OUTPUT.tsv METHOD...

A SNP is captured when the tag of its cluster reaches the SNP's own threshold
in PLINK's r² of the pair, taken as the programs take it (six decimals,
single precision, the tagging rule of ldprune); a tag captures itself. The
undesirable SNPs that ldprune dropped are in no cluster and are not captured.
For the SNPs in a cluster that are not its tag, the r² to their tag is summed
and its lowest value kept, so that means can be formed over many regions.

Reads from the folder: SNP_names.data (the SNP order of the matrix),
maf.txt, weight.txt, plink.ld.bin and <method>_output.txt. Writes one row per
method and MAF class (all, <0.05, 0.05-0.2, >=0.2): snps, captured, members
(SNPs with a tag other than themselves), r2_sum and r2_min over them.
"""
import array
import math
import struct
import sys

import formats

COLUMNS = ("method", "maf_class", "snps", "captured", "members", "r2_sum", "r2_min")
MAF_CLASSES = ("all", "<0.05", "0.05-0.2", ">=0.2")


def maf_class(maf):
    return "<0.05" if maf < 0.05 else "0.05-0.2" if maf < 0.2 else ">=0.2"


def single(x):
    """x rounded to single precision."""
    return struct.unpack("f", struct.pack("f", x))[0]


def reaches_threshold(r2, threshold):
    """ldprune's rule on the r² as ldprep writes it: 1 - (threshold - r²),
    in double precision on single-precision operands, rounded once, reaches
    1.0."""
    return single(1.0 - (single(threshold) - single(float("%f" % r2)))) >= 1.0


def read_matrix(region, n):
    path = region.path("plink.ld.bin")
    r2 = array.array("d")
    with open(path, "rb") as f:
        r2.fromfile(f, n * n)
    if sys.byteorder != "little":
        r2.byteswap()
    return r2


def tag_of(region, method):
    """Per SNP of a joined table, the tag of its cluster."""
    rows = region.joined(method)
    tag = {cluster: name for name, cluster, flag in rows if flag == "1"}
    return {name: tag[cluster] for name, cluster, _ in rows}


def coverage(folder, methods):
    """The rows of the region's coverage table."""
    region = formats.Region(folder)
    snps = region.snps()
    index = {name: k for k, name in enumerate(snps)}
    maf = {name: float(m) for name, _, m in region.snp_table()}
    threshold = region.thresholds()
    n = len(snps)
    r2 = read_matrix(region, n)
    rows = []
    for method in methods:
        tags = tag_of(region, method)
        stats = {c: [0, 0, 0, 0.0, None] for c in MAF_CLASSES}  # snps, captured, members, sum, min
        for name in snps:
            tag = tags.get(name)
            value = None
            if tag is not None and tag != name:
                value = r2[index[tag] * n + index[name]]
                value = 0.0 if math.isnan(value) else value
            captured = tag is not None and (tag == name or reaches_threshold(value, threshold[name]))
            for c in ("all", maf_class(maf[name])):
                s = stats[c]
                s[0] += 1
                s[1] += captured
                if value is not None:
                    s[2] += 1
                    s[3] += value
                    s[4] = value if s[4] is None else min(s[4], value)
        for c in MAF_CLASSES:
            s = stats[c]
            rows.append((method, c, s[0], s[1], s[2], "%.6f" % s[3], "NA" if s[4] is None else "%.6f" % s[4]))
    return rows


def main():
    if len(sys.argv) < 4:
        sys.exit("usage: coverage.py REGION_FOLDER OUTPUT.tsv METHOD...")
    folder, output, methods = sys.argv[1], sys.argv[2], sys.argv[3:]
    try:
        rows = coverage(folder, methods)
    except (OSError, KeyError, ValueError, formats.FormatError) as e:
        sys.exit("coverage.py: %s: %s" % (folder, e))
    formats.write_table(output, COLUMNS, rows)


if __name__ == "__main__":
    main()
