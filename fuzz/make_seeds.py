#!/usr/bin/python3
"""Seeds for the ldprep and ldcluster fuzz targets: small regions made up
the way ldprep and ldprune write them (for ldcluster also pairs of
populations), in each target's framing (see the targets). Writes fuzz/corpus/<target>/seed-*; run it again to renew them.

    /usr/bin/python3 fuzz/make_seeds.py
"""
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def names(n):
    return ["rs%d" % (1000 + k) for k in range(n)]


def ldcluster_seed(rng, n):
    """maf_processed.txt, 0x01, ld_processed.txt: scores around 1.0, with an
    undesirable SNP (a row of zeros) and a needed one (tagged only by
    itself) now and then."""
    snps = names(n)
    undesirable = rng.randrange(n) if n > 2 and rng.random() < 0.5 else -1
    needed = rng.randrange(n) if n > 1 and rng.random() < 0.5 else -1
    rows = []
    for a in range(n):
        for b in range(n):
            if a == undesirable:
                s = 0.0
            elif b == needed:
                s = 1.0 if a == b else 0.0
            elif a == b:
                s = 1.0
            else:
                s = rng.choice([0.2, 0.7, 0.95, 1.0, 1.05, 1.1, 1.2])
            rows.append("%s %s %f\n" % (snps[a], snps[b], s))
    if undesirable >= 0:  # someone tags it
        tagger = (undesirable + 1) % n
        rows[tagger * n + undesirable] = "%s %s 1.100000\n" % (snps[tagger], snps[undesirable])
    maf = "".join("%s %d %.6f\n" % (s, 100 * k, rng.random() / 2) for k, s in enumerate(snps))
    return (maf + "\x01" + "".join(rows)).encode()


def ldprep_seed(rng, n):
    """.bim, .frq, thresholds, done, undesirable (each ended by 0x01), then
    the square r² matrix as doubles."""
    snps = names(n)
    bim = "".join("10\t%s\t0\t%d\tA\tG\n" % (s, 1000 * (k + 1)) for k, s in enumerate(snps))
    frq = " CHR  SNP   A1   A2          MAF  NCHROBS\n" + "".join(
        "  10  %s    G    A       %.4g     2000\n" % (s, rng.random() / 2) for s in snps
    )
    thresholds = "".join("%s %s\n" % (s, rng.choice(["0.5", "0.8", "1"])) for s in snps if rng.random() < 0.3)
    done = "".join(s + "\n" for s in snps if rng.random() < 0.1)
    undesirable = "".join(s + "\n" for s in snps if rng.random() < 0.2) + "rs_elsewhere\n"
    cells = [[1.0 if a == b else 0.0 for b in range(n)] for a in range(n)]
    for a in range(n):
        for b in range(a + 1, n):
            cells[a][b] = cells[b][a] = rng.choice([0.0, 0.3, 0.79, 0.8, 0.95, float("nan")])
    matrix = b"".join(struct.pack("<d", x) for row in cells for x in row)
    text = "\x01".join([bim, frq, thresholds, done, undesirable]) + "\x01"
    return text.encode() + matrix


def main():
    rng = random.Random(20261207)
    for target, make, sizes in (
        ("ldcluster", ldcluster_seed, (1, 2, 3, 5, 8, 12)),
        ("ldprep", ldprep_seed, (1, 2, 3, 5, 9)),
    ):
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for k, n in enumerate(sizes):
            with open(os.path.join(folder, "seed-%d" % k), "wb") as f:
                f.write(make(rng, n))
    # Two populations whose tables share their first SNPs, 0x02 between them.
    rng = random.Random(17)
    for k, (n, m) in enumerate(((2, 3), (5, 4), (8, 10))):
        with open(os.path.join(HERE, "corpus", "ldcluster", "seed-populations-%d" % k), "wb") as f:
            f.write(ldcluster_seed(rng, n) + b"\x02" + ldcluster_seed(rng, m))


if __name__ == "__main__":
    main()
