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
import array
import collections
import concurrent.futures
import io
import os

import numpy

from . import files, genotypes, lists, paths, plink, populations

SNP_A, SNP_B, R2 = 2, 5, 6  # columns of PLINK's table: CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2
CHUNK = 1 << 20  # bytes of a scan read at a time


def read_snps(bim):
    """Names (as bytes) and positions in chromosome order, as arrays: a
    chromosome at sequence density has half a million SNPs."""
    names, positions = [], array.array("q")
    for _, _, name, position in genotypes.bim(bim):
        names.append(name.encode(errors="surrogateescape"))
        positions.append(int(position))
    return numpy.array(names or [b""])[: len(names)], numpy.array(positions, numpy.int64)


def _blocks(path):
    """The lines after the header of a text file, in blocks of about CHUNK
    bytes that end at a line's end."""
    with open(path, "rb") as f:
        f.readline()  # the header
        while block := f.read(CHUNK):
            yield block + f.readline()


def _lookup(snps, query):
    """The chromosome-order index of each name of `query` (bytes), and
    whether it is not a SNP of the chromosome. `snps`: the chromosome's
    names, sorted, and the index of each in chromosome order."""
    sorted_names, order = snps
    k = numpy.minimum(numpy.searchsorted(sorted_names, query), len(order) - 1)
    return order[k], sorted_names[k] != query


def _scan_pairs(window_ld, snps, thresholds):
    """Arrays (i, j, r², r² text) of the pairs of one scan that tag, with
    i < j, read a block at a time. `snps` as for _lookup()."""
    width = snps[0].dtype.itemsize + 1  # a longer name stays unequal to every SNP's
    columns = [("a", "S%d" % width), ("b", "S%d" % width), ("r2", "S32")]
    parts = []
    for block in _blocks(window_ld):
        if block.isspace():
            continue
        try:
            rows = numpy.loadtxt(io.BytesIO(block), usecols=(SNP_A, SNP_B, R2), dtype=columns, comments=None, ndmin=1)
            r2 = rows["r2"].astype(float)
        except ValueError as e:
            raise files.FormatError("%s: not a table of PLINK's r²: %s" % (window_ld, e))
        ends = []
        for name in (rows["a"], rows["b"]):
            index, unknown = _lookup(snps, name)
            if unknown.any():
                missing = name[unknown][0].decode(errors="replace")
                raise files.FormatError("%s: SNP %s is not in the chromosome's .bim" % (window_ld, missing))
            ends.append(index)
        a, b = ends
        tags = r2 >= numpy.minimum(thresholds[a], thresholds[b])
        a, b, text = a[tags], b[tags], rows["r2"][tags]
        text = text.astype("S%d" % max(1, numpy.char.str_len(text).max(initial=0)))  # as narrow as it can be
        parts.append((numpy.minimum(a, b), numpy.maximum(a, b), r2[tags], text))
    if not parts:
        return numpy.zeros(0, numpy.int32), numpy.zeros(0, numpy.int32), numpy.zeros(0), numpy.zeros(0, "S1")
    return tuple(numpy.concatenate(column) for column in zip(*parts))


def _once(pairs, n):
    """The pairs in the order of (i, j), each once with its highest r² (of
    equal ones, the earliest)."""
    first, second, r2, text = pairs
    if ((first[1:] > first[:-1]) | (first[1:] == first[:-1]) & (second[1:] > second[:-1])).all():
        return pairs  # a scan in PLINK's order
    key = first.astype(numpy.int64) * n + second
    order = numpy.lexsort((-r2, key))  # stable: equal r² keep their order
    key = key[order]
    once = order[numpy.concatenate(([True], key[1:] != key[:-1]))]
    return first[once], second[once], r2[once], text[once]


def tagging_pairs(window_lds, names, thresholds_file, default):
    """Arrays (i, j, r² text) of the pairs of the scans whose r² reaches the
    lower of the two SNPs' thresholds, with i < j: each pair once, with its
    highest r² (of equal ones, the first scan's), in the order of (i, j).
    `names`: the chromosome's SNPs as bytes, from read_snps(). The scans
    are merged one by one, so that memory follows the pairs of two scans
    (about 24 bytes a pair, 60 while two are merged)."""
    encoded = names if len(names) else numpy.array([b""])
    order = numpy.argsort(encoded, kind="stable").astype(numpy.int32)
    snps = (encoded[order], order)
    thresholds = numpy.full(len(names), default)
    if thresholds_file is not None:
        listed = lists.thresholds(thresholds_file)
        query = numpy.array([name.encode(errors="surrogateescape") for name in listed] or [b""])[: len(listed)]
        index, unknown = _lookup(snps, query)
        thresholds[index[~unknown]] = numpy.array([float(v) for v in listed.values()])[~unknown]
    pairs = None
    for path in window_lds:
        scan = _once(_scan_pairs(path, snps, thresholds), len(names))
        pairs = scan if pairs is None else _once(tuple(map(numpy.concatenate, zip(pairs, scan))), len(names))
    if pairs is None:
        return numpy.zeros(0, numpy.int32), numpy.zeros(0, numpy.int32), numpy.zeros(0, "S1")
    return pairs[0], pairs[1], pairs[3]


def crossing_counts(n, first, second):
    """c[k]: the pairs (first[p], second[p]) a cut just before SNP k
    separates, for k = 0..n."""
    delta = numpy.bincount(numpy.asarray(first, numpy.int64) + 1, minlength=n + 2)
    delta -= numpy.bincount(numpy.asarray(second, numpy.int64) + 1, minlength=n + 2)
    return numpy.cumsum(delta)[: n + 1].tolist()


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


def cut(snps, window_lds, thresholds_file, default, max_snps, label):
    """Rows of the regions table and of the crossing pairs table. `snps`:
    the chromosome's names and positions, from read_snps(). The scans are
    read once; their tagging pairs are held as arrays."""
    names, positions = snps
    n = len(names)
    first, second, text = tagging_pairs(window_lds, names, thresholds_file, default)
    counts = crossing_counts(n, first, second)
    starts = place_cuts(n, max_snps, counts)
    ends = starts[1:] + [n]
    width = max(3, len(str(len(starts))))
    names_of = ["chr%s_%0*d" % (label, width, number) for number in range(1, len(starts) + 1)]
    name = lambda k: names[k].decode(errors="surrogateescape")  # noqa: E731
    regions = [
        (
            label,
            region,
            name(start),
            str(positions[start]),
            name(end - 1),
            str(positions[end - 1]),
            end - start,
            counts[end] if end < n else 0,
        )
        for region, start, end in zip(names_of, starts, ends)
    ]
    # A pair crosses the end of each region r with i < ends[r] <= j.
    low = numpy.searchsorted(ends, first, "right")
    high = numpy.searchsorted(ends, second + 1, "left")
    crossing = [[] for _ in starts]
    for p in numpy.flatnonzero(low < high).tolist():
        i, j, r2 = int(first[p]), int(second[p]), text[p].decode()
        for r in range(int(low[p]), int(high[p])):
            crossing[r].append((names_of[r], name(i), name(j), r2))
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
    arguments = [
        "--bfile",
        fileset,
        *subset,
        "--make-founders",
        "--r2",
        "--ld-window",
        max_snps,
        "--ld-window-kb",
        1000000,
    ]
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
    reader = concurrent.futures.ThreadPoolExecutor(1)  # reads the .bim while PLINK scans
    snps = reader.submit(read_snps, fileset + ".bim")
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
        regions, crossing = cut(snps.result(), scans, thresholds, threshold, max_snps, chromosome)
        files.write_table(out[1], PAIR_COLUMNS, crossing)
        files.write_table(out[0], REGION_COLUMNS, regions)
    finally:
        reader.shutdown(cancel_futures=True)
        if not keep:
            for path in scans:
                if os.path.exists(path):
                    os.remove(path)
