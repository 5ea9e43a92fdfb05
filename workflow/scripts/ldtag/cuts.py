"""A chromosome cut into regions where the fewest tagging pairs cross.

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

cut_chromosome() runs the scans and writes the regions table and the table
of the tagging pairs that cross the cuts.
"""
import bisect
import collections
import heapq
import os

from . import files, genotypes, lists, paths, plink, populations

COLUMNS = 7  # of PLINK's table: CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2


def read_snps(bim):
    """Names and positions in chromosome order."""
    rows = list(genotypes.bim(bim))
    return [name for _, _, name, _ in rows], [position for _, _, _, position in rows]


def _scan_pairs(window_ld, index, threshold):
    """(i, j, r² text) of each pair of one scan that tags, in the scan's
    order: PLINK lists a windowed scan by its first SNP, then its second,
    so the pairs come by (i, j)."""
    last = (-1, -1)
    with open(window_ld) as f:
        next(f, None)  # the header
        for number, line in enumerate(f, 2):
            words = line.split()
            if len(words) < COLUMNS:
                continue
            a, b, r2 = words[2], words[5], words[6]
            if float(r2) >= min(threshold(a), threshold(b)):
                i, j = index[a], index[b]
                pair = (i, j) if i < j else (j, i)
                if pair < last:
                    raise files.FormatError(
                        "%s: line %d: the pair %s %s is not in SNP order after the pairs before it: not a windowed "
                        "scan of PLINK's" % (window_ld, number, a, b)
                    )
                last = pair
                yield pair + (r2,)


def tagging_pairs(window_lds, index, threshold):
    """(i, j, r²) with i < j for each pair of the scans whose r² reaches the
    lower of the two thresholds, once, with its highest r², in the order of
    (i, j). The scans are read a line at a time and merged, so that a whole
    chromosome's pairs never need to be in memory at once."""
    last = None
    for pair in heapq.merge(*(_scan_pairs(path, index, threshold) for path in window_lds)):
        if last is not None and pair[:2] == last[:2]:
            if float(pair[2]) > float(last[2]):
                last = pair
            continue
        if last is not None:
            yield last
        last = pair
    if last is not None:
        yield last


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
    """Rows of the regions table and of the crossing pairs table. The scans
    are read twice: once to count the pairs each cut would separate, once to
    list those that cross the cuts placed."""
    names, positions = read_snps(bim)
    n = len(names)
    index = {name: k for k, name in enumerate(names)}
    threshold = lists.threshold_of(thresholds_file, default)
    counts = crossing_counts(n, tagging_pairs(window_lds, index, threshold))
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
    for i, j, r2 in tagging_pairs(window_lds, index, threshold):
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


def scan(fileset, prefix, plink_options, max_snps, window_r2, log, subset=()):
    """PLINK's windowed scan into PREFIX.ld: the pairs at most max_snps - 1
    SNPs apart whose r² reaches window_r2; PLINK writes no table when there
    is no pair, which counts as an empty one."""
    command, threads, memory = plink_options
    arguments = ["--bfile", fileset, *subset, "--r2", "--ld-window", max_snps, "--ld-window-kb", 1000000]
    arguments += ["--ld-window-r2", window_r2, "--allow-no-sex", "--threads", threads, "--memory", memory]
    plink.run(command, prefix, ["ld"], arguments, log, optional=["ld"])
    return prefix + ".ld"


def cut_chromosome(fileset, chromosome, settings, populations_table, out, log, keep=False):
    """Scans the chromosome (once, or once per population on its samples and
    the SNPs that vary there) and cuts it. `settings`: plink options
    (command, threads, memory), max_snps, window_r2, threshold and the
    thresholds file; `out`: the regions and pairs tables to write."""
    plink_options, max_snps, window_r2, threshold, thresholds = settings
    prefix = paths.SCAN.format(chrom=chromosome)
    scans = []
    try:
        rows = populations.table(populations_table)
        if not [r for r in rows if r["keep"]]:
            scans.append(scan(fileset, prefix, plink_options, max_snps, window_r2, log))
        for row in (r for r in rows if r["keep"]):
            varying = paths.VARYING.format(chrom=chromosome, population=row["population"])
            population_prefix = "%s.%s" % (prefix, row["population"])
            with open(varying) as f:
                if sum(1 for line in f if line.strip()) < 2:  # no pair to scan
                    scans.append(population_prefix + ".ld")
                    open(scans[-1], "w").close()
                    continue
            subset = ["--keep", row["keep"], "--extract", varying]
            scans.append(scan(fileset, population_prefix, plink_options, max_snps, window_r2, log, subset))
        regions, crossing = cut(fileset + ".bim", scans, thresholds, threshold, max_snps, chromosome)
        files.write_table(out[1], PAIR_COLUMNS, crossing)
        files.write_table(out[0], REGION_COLUMNS, regions)
    finally:
        if not keep:
            for path in scans:
                if os.path.exists(path):
                    os.remove(path)
