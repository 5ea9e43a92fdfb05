"""The squared correlation between imputed dosage and true genotype, per SNP
and population, pooled over folds.

For the people of one fold, x is a person's true count of the ALT allele
(from the unphased genotypes, a missing genotype left out) and y Beagle's DS
for it. Each fold gives, per SNP and population, the sums n, Σx, Σy, Σx²,
Σy² and Σxy; summed over the folds they give the r² of all imputed people at
once, as if imputed together:

    r² = (n Σxy - Σx Σy)² / ((n Σx² - (Σx)²) (n Σy² - (Σy)²))

DS is read to the thousandth (Beagle writes two decimals), as an integer of
thousandths, so that every sum is an exact integer and the pooling exact. A
SNP whose true genotypes do not vary among the people imputed has no r²: it
is not measured. One whose dosage does not vary while its genotypes do has
r² 0.
"""
import collections
import subprocess

import numpy as np

from . import files, tagging

SCALE = 1000  # DS in thousandths
STATS_COLUMNS = ("snp", "population", "n", "sx", "sy", "sxx", "syy", "sxy")
MAF_CLASSES = ("all", "<0.05", "0.05-0.2", ">=0.2")
SNP_COLUMNS = ("set", "population", "chromosome", "snp", "position", "tag", "pairwise", "people", "maf", "r2")
TABLE_COLUMNS = (
    "set",
    "kind",
    "tags",
    "population",
    "maf_class",
    "snps",
    "pairwise_percent",
    "measured",
    "not_measured",
    "r2_08_percent",
    "r2_05_percent",
    "mean_r2",
    "how_measured",
)


def r2(n, sx, sy, sxx, syy, sxy):
    """The squared correlation from the sums (y in thousandths); None when x
    does not vary, 0 when y does not."""
    vx = n * sxx - sx * sx
    if n < 2 or vx <= 0:
        return None
    vy = n * syy - sy * sy
    if vy <= 0:
        return 0.0
    cov = n * sxy - sx * sy
    return min(1.0, (cov / vx) * (cov / vy))


def maf(n, sx):
    """The minor allele frequency among the n people with a genotype."""
    if n == 0:
        return 0.0
    p = sx / (2.0 * n)
    return min(p, 1.0 - p)


# A fold's sums, from the true genotypes and Beagle's output.


def _query(path, fmt, *options):
    return subprocess.run(["bcftools", "query", *options, "-f", fmt, path], check=True, capture_output=True).stdout


def read_sites(path):
    """(ids, positions) of a VCF's records."""
    lines = _query(path, "%ID\t%POS\n").decode().splitlines()
    fields = [line.split("\t") for line in lines]
    return [f[0] for f in fields], np.array([int(f[1]) for f in fields], dtype=np.int64)


def read_samples(path):
    return subprocess.run(["bcftools", "query", "-l", path], check=True, capture_output=True).stdout.decode().split()


def allele_counts(text, sites, people):
    """Records x people of ALT counts (-1 for missing) from bcftools' "[%GT ]"
    lines: diploid genotypes of one-digit alleles, phased or not."""
    if sites == 0 or people == 0:
        return np.zeros((sites, people), dtype=np.int64)
    cells = np.frombuffer(text, dtype=np.uint8)
    if cells.size != sites * (4 * people + 1):
        counts = [[_count(g) for g in line.split()] for line in text.decode().splitlines()]
        return np.array(counts, dtype=np.int64).reshape(sites, people)
    cells = cells.reshape(sites, 4 * people + 1)[:, : 4 * people].reshape(sites, people, 4)
    first, second = cells[:, :, 0], cells[:, :, 2]
    counts = (first == ord("1")).astype(np.int64) + (second == ord("1"))
    counts[(first == ord(".")) | (second == ord("."))] = -1
    return counts


def _count(genotype):
    alleles = genotype.replace("|", "/").split("/")
    if "." in alleles:
        return -1
    return sum(a != "0" for a in alleles)


def read_truth(path):
    """(ids, positions, samples, ALT counts) of the true genotypes."""
    ids, positions = read_sites(path)
    samples = read_samples(path)
    return ids, positions, samples, allele_counts(_query(path, "[%GT ]\n"), len(ids), len(samples))


def read_dosages(path):
    """(ids, samples, DS in thousandths) of Beagle's output. When every SNP
    is typed, Beagle imputes nothing and writes their genotypes without DS:
    their ALT counts are the dosages."""
    ids, _ = read_sites(path)
    samples = read_samples(path)
    text = _query(path, "[%DS ]\n") if ids else b""
    if text[:1] == b".":
        return ids, samples, allele_counts(_query(path, "[%GT ]\n"), len(ids), len(samples)) * SCALE
    values = np.fromstring(text.decode(), sep=" ")
    if values.size != len(ids) * len(samples):
        raise ValueError("%s: a dosage (DS) is missing or not a number" % path)
    return ids, samples, np.rint(values * SCALE).astype(np.int64).reshape(len(ids), len(samples))


def fold_sums(truth, dosages, population_of, core, typed=()):
    """The rows of a fold's sums for the SNPs of `truth` whose position is in
    `core` (first, last), per population. `dosages` is None when Beagle did
    not run (fewer than two tags in the chunk): the `typed` SNPs then have
    their true genotypes as dosages, and every other SNP the dosage 0.
    Raises ValueError when a SNP of the core or a person has no dosage."""
    ids, positions, samples, x = truth
    scored = np.where((positions >= core[0]) & (positions <= core[1]))[0]
    if dosages is None:
        typed = set(typed)
        mask = np.array([name in typed for name in ids], dtype=bool).reshape(-1, 1)
        y = np.where(mask, np.maximum(x, 0) * SCALE, 0)
    else:
        ds_ids, ds_samples, ds = dosages
        row = {name: k for k, name in enumerate(ds_ids)}
        column = {name: k for k, name in enumerate(ds_samples)}
        lost = [ids[k] for k in scored if ids[k] not in row]
        if lost:
            raise ValueError("%d SNPs have no dosage, such as %s" % (len(lost), ", ".join(lost[:5])))
        gone = [s for s in samples if s not in column]
        if gone:
            raise ValueError("%d people have no dosage, such as %s" % (len(gone), ", ".join(gone[:5])))
        y = ds[[row.get(name, 0) for name in ids]][:, [column[s] for s in samples]]
    groups = collections.defaultdict(list)
    for k, person in enumerate(samples):
        groups[population_of[person]].append(k)
    rows = []
    for population, columns in groups.items():
        xs, ys = x[scored][:, columns], y[scored][:, columns]
        typed = xs >= 0
        xs, ys = np.where(typed, xs, 0), np.where(typed, ys, 0)
        sums = np.stack(
            [typed.sum(1), xs.sum(1), ys.sum(1), (xs * xs).sum(1), (ys * ys).sum(1), (xs * ys).sum(1)], axis=1
        )
        rows += [(ids[k], population, *map(int, s)) for k, s in zip(scored, sums)]
    return rows


def write_sums(path, rows):
    files.write_table(path, STATS_COLUMNS, rows)


# Pooled over folds.


class Pool:
    """Sums per (set, population, SNP), added fold by fold."""

    def __init__(self):
        self.sums = {}
        self.seen = set()

    def add(self, name, fold, path, population=None):
        """Adds a fold's sums of set `name`, of one population or all; a SNP
        given twice for one fold (chunks that overlap) is an error."""
        with open(path) as f:
            next(f)
            for line in f:
                snp, group, *values = line.rstrip("\n").split("\t")
                if population is not None and group != population:
                    continue
                key = (name, group, snp)
                if (key, fold) in self.seen:
                    raise ValueError("%s: SNP %s is scored twice in fold %s" % (path, snp, fold))
                self.seen.add((key, fold))
                known = self.sums.get(key)
                values = [int(v) for v in values]
                self.sums[key] = values if known is None else [a + b for a, b in zip(known, values)]

    def get(self, name, population, snp):
        return self.sums.get((name, population, snp))


def snp_rows(pool, name, tags, population, snps, captured):
    """The per-SNP rows of one set in one population: per SNP (chromosome,
    name, position), whether it is a tag of the set, whether the set
    captures it pairwise, the people with a genotype, the MAF among them and
    the r² (NA when not measured)."""
    tagged = set(tags)
    for chromosome, snp, position in snps:
        sums = pool.get(name, population, snp)
        n, sx = (sums[0], sums[1]) if sums else (0, 0)
        value = r2(*sums) if sums else None
        yield (
            name,
            population,
            chromosome,
            snp,
            position,
            int(snp in tagged),
            int(snp in captured),
            n,
            files.four_places(maf(n, sx)),
            "NA" if value is None else files.four_places(value),
        )


class Summary:
    """imputation.tsv from the per-SNP rows: per set, population and MAF
    class, the SNPs, the share captured pairwise, those measured and not,
    the shares at r² >= 0.8 and >= 0.5 and the mean r² of those measured."""

    def __init__(self):
        self.stats = collections.defaultdict(lambda: [0, 0, 0, 0, 0, 0.0])  # snps, pairwise, measured, 0.8, 0.5, sum

    def add(self, row):
        name, population, _, _, _, _, pairwise, _, maf_text, r2_text = row
        for cls in ("all", tagging.maf_class(float(maf_text))):
            s = self.stats[(name, population, cls)]
            s[0] += 1
            s[1] += pairwise
            if r2_text != "NA":
                value = float(r2_text)
                s[2] += 1
                s[3] += value >= 0.8
                s[4] += value >= 0.5
                s[5] += value

    def rows(self, sets, populations):
        """`sets`: (name, kind, number of tags, how measured)."""
        out = []
        for name, kind, tags, how in sets:
            for population in populations:
                for cls in MAF_CLASSES:
                    snps, pairwise, measured, high, half, total = self.stats[(name, population, cls)]
                    share = (lambda k: "%.2f" % (100.0 * k / measured)) if measured else (lambda k: "NA")
                    out.append(
                        (
                            name,
                            kind,
                            tags,
                            population,
                            cls,
                            snps,
                            "%.2f" % (100.0 * pairwise / snps) if snps else "NA",
                            measured,
                            snps - measured,
                            share(high),
                            share(half),
                            "%.4f" % (total / measured) if measured else "NA",
                            how,
                        )
                    )
        return out
