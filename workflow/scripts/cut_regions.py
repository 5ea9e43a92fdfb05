#!/usr/bin/python3
"""Cuts a chromosome into regions where the fewest tagging pairs cross.

A pair of SNPs tags when its r² reaches the lower of the two SNPs'
thresholds; a cut between two regions separates every such pair with one SNP
on each side. Each region holds at most max_snps consecutive SNPs. The cuts
minimise the number of tagging pairs crossing them, counted per cut; among
equally good cuttings the one with the fewest regions wins, and then the one
whose last cut lies furthest along the chromosome, then its cut before that,
and so on.

The pairs come from PLINK's windowed scan (--r2 --ld-window max_snps), which
covers every pair that could share a region; pairs further apart are never
in one region, whatever the cuts. With several populations there is a scan
per population, on the SNPs that vary there: a pair tags when it tags in any
of them, and counts once, with its highest r².
"""
import argparse
import bisect
import collections

import formats

COLUMNS = 7  # of PLINK's table: CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2


def read_snps(bim):
    """Names and positions in chromosome order."""
    rows = list(formats.bim(bim))
    return [name for _, _, name, _ in rows], [position for _, _, _, position in rows]


def read_thresholds(path, default):
    thresholds = collections.defaultdict(lambda: default)
    if path:
        thresholds.update((name, float(value)) for name, value in formats.thresholds(path).items())
    return thresholds


def tagging_pairs(window_lds, index, thresholds):
    """(i, j, r²) with i < j for each pair of the scans whose r² reaches the
    lower of the two thresholds, once, with its highest r², in the order of
    (i, j). A table is split into its words at once: a whole chromosome's
    scan holds many thousands of pairs."""
    pairs = {}
    for window_ld in window_lds:
        with open(window_ld) as f:
            words = f.read().split()[COLUMNS:]  # after the header
        for a, b, r2 in zip(words[2::COLUMNS], words[5::COLUMNS], words[6::COLUMNS]):
            if float(r2) >= min(thresholds[a], thresholds[b]):
                i, j = index[a], index[b]
                key = (i, j) if i < j else (j, i)
                if key not in pairs or float(r2) > float(pairs[key]):
                    pairs[key] = r2
    return [(i, j, r2) for (i, j), r2 in sorted(pairs.items())]


def crossing_counts(n, pairs):
    """c[k]: the pairs a cut just before SNP k separates, for k = 0..n."""
    delta = [0] * (n + 2)
    for i, j, _ in pairs:
        delta[i + 1] += 1
        delta[j + 1] -= 1
    counts, running = [], 0
    for k in range(n + 1):
        running += delta[k]
        counts.append(running)
    return counts


def place_cuts(n, max_snps, counts):
    """Region starts, from 0: the cutting with the fewest crossing pairs,
    then the fewest regions, then the latest cuts, from the last one back."""
    # best[k]: (crossing pairs, regions) of the best cutting of SNPs 0..k-1
    # that ends with a cut at k. The queue holds the cuts k - max_snps .. k - 1
    # that can still be best, their keys rising; of equal keys it keeps the
    # latest cut.
    best = [(0, 0)] * (n + 1)
    back = [0] * (n + 1)
    queue = collections.deque([0])
    for k in range(1, n + 1):
        while queue[0] < k - max_snps:
            queue.popleft()
        j = queue[0]
        best[k] = (best[j][0] + (counts[k] if k < n else 0), best[j][1] + 1)
        back[k] = j
        while queue and best[queue[-1]] >= best[k]:
            queue.pop()
        queue.append(k)
    starts, k = [], n
    while k > 0:
        k = back[k]
        starts.append(k)
    return starts[::-1]


def cut(bim, window_lds, thresholds_file, default, max_snps, label):
    """Rows of the regions table and of the crossing pairs table."""
    names, positions = read_snps(bim)
    n = len(names)
    index = {name: k for k, name in enumerate(names)}
    pairs = tagging_pairs(window_lds, index, read_thresholds(thresholds_file, default))
    counts = crossing_counts(n, pairs)
    starts = place_cuts(n, max_snps, counts)
    ends = starts[1:] + [n]
    width = max(3, len(str(len(starts))))
    names_of = ["chr%s_%0*d" % (label, width, number) for number in range(1, len(starts) + 1)]
    regions = [
        (
            label,
            region,
            names[start],
            positions[start],
            names[end - 1],
            positions[end - 1],
            end - start,
            counts[end] if end < n else 0,
        )
        for region, start, end in zip(names_of, starts, ends)
    ]
    # A pair crosses the end of each region r with i < ends[r] <= j.
    crossing = [[] for _ in starts]
    for i, j, r2 in pairs:
        for r in range(bisect.bisect_right(ends, i), bisect.bisect_left(ends, j + 1)):
            if ends[r] < n:
                crossing[r].append((names_of[r], names[i], names[j], r2))
    return regions, [row for rows in crossing for row in rows]


REGION_COLUMNS = (
    "chromosome",
    "region",
    "first_snp",
    "first_position",
    "last_snp",
    "last_position",
    "snps",
    "crossing_pairs",
)
PAIR_COLUMNS = ("region", "snp_a", "snp_b", "r2")


def main():
    parser = argparse.ArgumentParser(prog="cut_regions.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--bim", required=True, help="the chromosome's SNPs, in order")
    parser.add_argument(
        "--ld",
        required=True,
        nargs="+",
        help="PLINK's windowed r² table (--r2 --ld-window max_snps), one per population",
    )
    parser.add_argument("--threshold", type=float, required=True, help="the default threshold")
    parser.add_argument("--thresholds", help="records of a SNP name and its own threshold")
    parser.add_argument("--max-snps", type=int, required=True, help="most SNPs in one region")
    parser.add_argument("--chromosome", required=True, help="the label in the regions' names")
    parser.add_argument("--regions", required=True, help="the regions table to write")
    parser.add_argument("--pairs", required=True, help="the table of pairs crossing the cuts to write")
    args = parser.parse_args()
    try:
        regions, crossing = cut(args.bim, args.ld, args.thresholds, args.threshold, args.max_snps, args.chromosome)
    except (OSError, formats.FormatError) as e:
        parser.exit(1, "cut_regions.py: %s\n" % e)
    formats.write_table(args.regions, REGION_COLUMNS, regions)
    formats.write_table(args.pairs, PAIR_COLUMNS, crossing)


if __name__ == "__main__":
    main()
