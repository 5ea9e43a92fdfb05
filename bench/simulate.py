"""Genotypes with realistic LD, simulated with scrm, as PLINK filesets and
phased VCFs; shared by the tests and the benchmarks.

haplotypes() runs scrm for one or more loci of 1 Mb (or any length), optionally
as an island model of several populations (scrm -I) and under a demographic
history; write_fileset() pairs the haplotypes into people and writes the SNPs
whose frequency over all haplotypes is at least 0.01, thinned at random to a
number per locus, as a PLINK fileset with a chromosome per locus. simulate()
is the one-population region the benchmarks use.

chromosome() is a chromosome at sequence density: L Mb, one population or
several, under constant size or a European-like history of recent growth
from a bottleneck (at 1 cM/Mb, or with shorter LD at 2 or 4 cM/Mb); every
SNP with a MAF of at least min_maf, as a PLINK fileset and, when asked, a
phased VCF of the true haplotypes. Needs scrm, plink1.9 and numpy.
"""
import gzip
import os
import random
import subprocess
from dataclasses import dataclass, field, replace

import numpy as np

LENGTH = 1000000  # bp per locus
MUTATION = 1.25e-8  # per bp and generation
RECOMBINATION = 1e-8  # per bp and generation: 1 cM/Mb
PIECE_MB = 25  # chromosome() simulates longer ones as independent pieces of this length


@dataclass
class History:
    """A demographic history for scrm: the present size N0, the mutation and
    recombination rates per bp and generation, and scrm's options of the
    size changes (times in units of 4 N0 generations, sizes relative to N0)."""

    size: float
    mutation: float = MUTATION
    events: tuple = ()
    recombination: float = RECOMBINATION


def _growth():
    """A simplified European history, after Gravel et al. (2011): 7,310
    people until 5,920 generations ago, then 14,474; a bottleneck of 1,861
    from 2,040 generations ago (out of Africa); from 920 generations ago,
    1,032 people growing by 0.38% a generation, to about 34,000 today. With
    their mutation rate, 2.36e-8."""
    present = 1032 * np.exp(0.0038 * 920)
    scale = 4 * present
    return History(
        size=present,
        mutation=2.36e-8,
        events=(
            ("-G", 0.0038 * scale),
            ("-eN", 920 / scale, 1861 / present),
            ("-eN", 2040 / scale, 14474 / present),
            ("-eN", 5920 / scale, 7310 / present),
        ),
    )


def _shorter_ld(cm_per_mb):
    """The same growth with recombination at `cm_per_mb` and mutation at
    2.0e-8. At 4 cM/Mb LD is as short as in a region of high recombination:
    the pairwise Minimum at r² >= 0.8 took 55 to 59% of the SNPs on three
    seeds (under "growth" about 30%); 2 cM/Mb lies between the two."""
    return replace(_growth(), mutation=2.0e-8, recombination=cm_per_mb * 1e-8)


HISTORIES = {
    "constant": History(size=10000),
    "growth": _growth(),
    "growth_mid_ld": _shorter_ld(2),
    "growth_short_ld": _shorter_ld(4),
}


def _scrm(command, count, length, absolute):
    """Runs scrm; per locus (positions in bp as floats, array of haplotypes x
    sites)."""
    lines = subprocess.run(command, capture_output=True, check=True).stdout.split(b"\n")
    out = []
    for at, line in enumerate(lines):
        if line.startswith(b"positions:"):
            positions = [float(x) * (1 if absolute else length) for x in line.split()[1:]]
            rows = lines[at + 1 : at + 1 + count]
            haps = np.frombuffer(b"".join(rows), dtype=np.uint8).reshape(count, len(positions)) - ord("0")
            out.append((positions, haps))
    return out


def haplotypes(
    count, seed, loci=1, theta=800, rho=400, populations=(), migration=1.0, length=LENGTH, history=(), absolute=False
):
    """Per locus (positions in bp as floats, array of haplotypes x sites).
    `populations`: haplotypes per population, summing to `count`; `history`:
    scrm's options of size changes, as (option, value...) tuples; `absolute`
    has scrm give the positions in bp (-SC abs), as a long locus needs."""
    command = ["scrm", str(count), str(loci), "-t", str(theta), "-r", str(rho), str(length), "-l", "100000"]
    if absolute:
        command += ["-SC", "abs"]
    if populations:
        command += ["-I", str(len(populations))] + [str(n) for n in populations] + [str(migration)]
    for event in history:
        command += [str(x) for x in event]
    command += ["-seed", str(seed), str(seed + 1), str(seed + 2)]
    return _scrm(command, count, length, absolute)


def run_plink(folder, *args):
    subprocess.run(["plink1.9", *args], cwd=folder, check=True, capture_output=True)


def write_fileset(folder, name, loci, people, snps, seed, chromosomes=None):
    """A PLINK fileset folder/name of the loci's haplotypes, paired in order
    into the people (ids), `snps` SNPs per locus at most; returns its path
    and per locus the SNP names kept."""
    rng = random.Random(seed)
    chromosomes = chromosomes or [str(k + 1) for k in range(len(loci))]
    kept, columns = [], []
    with open(os.path.join(folder, name + ".map"), "w") as f:
        for (positions, haps), chrom in zip(loci, chromosomes):
            freq = haps.mean(axis=0)
            keep = np.where((freq >= 0.01) & (freq <= 0.99))[0]
            keep = sorted(rng.sample(list(keep), snps)) if len(keep) > snps else list(keep)
            last, names = 0, []
            for k in keep:
                bp = max(last + 1, int(positions[k]))
                last = bp
                names.append("s%s_%d" % (chrom, k) if len(loci) > 1 else "s%d" % k)
                f.write("%s %s 0 %d\n" % (chrom, names[-1], bp))
            kept.append(names)
            columns.append(haps[:, keep])
    genotypes = np.concatenate(columns, axis=1)
    with open(os.path.join(folder, name + ".ped"), "w") as f:
        for i, person in enumerate(people):
            a, b = genotypes[2 * i], genotypes[2 * i + 1]
            alleles = " ".join("%s %s" % ("G" if x else "A", "G" if y else "A") for x, y in zip(a, b))
            f.write("%s %s 0 0 1 -9 %s\n" % (person, person, alleles))
    run_plink(folder, "--file", name, "--make-bed", "--out", name)
    return os.path.join(folder, name), kept


def simulate(folder, snps=2000, people=500, seed=11):
    """A dense region of one population: 1 Mb, `snps` SNPs of MAF at least
    0.01; returns its PLINK fileset."""
    loci = haplotypes(2 * people, seed)
    return write_fileset(folder, "sim", loci, ["p%d" % i for i in range(people)], snps, seed)[0]


@dataclass
class Simulation:
    fileset: str  # the PLINK fileset, without extension
    vcf: str  # the phased VCF of the true haplotypes, or None
    people: list  # sample ids (family id and sample id alike), in order
    populations: dict = field(default_factory=dict)  # name -> its people's ids; empty for one population
    snps: list = field(default_factory=list)  # SNP names, in position order


def chromosome(
    folder,
    name="sim",
    length_mb=1.0,
    people=1000,
    history="growth",
    seed=1,
    migration=1.0,
    min_maf=0.01,
    vcf=False,
    code="1",
):
    """Chromosome `code` of `length_mb` Mb at sequence density, written as the
    PLINK fileset folder/name and, with `vcf`, folder/name.vcf.gz (phased, the
    true haplotypes; REF A is the ancestral allele, ALT G the derived one).
    `people`: a count for one population, or population name -> count for
    an island model (scrm -I, migration rate `migration` = 4 N0 m), whose
    ids are <name>_<k>; `history`: a key of HISTORIES. Every site whose MAF
    over all haplotypes reaches min_maf is kept, named s<site index>. A
    chromosome longer than PIECE_MB is simulated as independent pieces laid
    end to end (seeds seed, seed + 3, ...), so memory stays that of a piece."""
    os.makedirs(folder, exist_ok=True)
    model = HISTORIES[history]
    length = int(length_mb * 1e6)
    counts = dict(people) if isinstance(people, dict) else {}
    ids = (
        [("%s_%d" % (p, k)) for p, n in counts.items() for k in range(n)]
        if counts
        else ["p%d" % k for k in range(people)]
    )
    path = os.path.join(folder, name + ".vcf.gz")
    names, last, sites = [], 0, 0
    with VcfWriter(path, code, ids, length) as out:
        for at, piece in enumerate(range(0, length, int(PIECE_MB * 1e6))):
            size = min(int(PIECE_MB * 1e6), length - piece)
            positions, haps = haplotypes(
                2 * len(ids),
                seed + 3 * at,
                theta=4 * model.size * model.mutation * size,
                rho=4 * model.size * model.recombination * size,
                populations=tuple(2 * n for n in counts.values()),
                migration=migration,
                length=size,
                history=model.events,
                absolute=True,
            )[0]
            freq = haps.mean(axis=0)
            keep = np.where(np.minimum(freq, 1 - freq) >= max(min_maf, 1e-12))[0]
            bps = []
            for k in keep:
                last = max(last + 1, piece + int(round(positions[k])))
                bps.append(last)
            piece_names = ["s%d" % (sites + k) for k in keep]
            out.write(bps, piece_names, haps[:, keep])
            names += piece_names
            sites += len(positions)
            del haps
    run_plink(folder, "--vcf", name + ".vcf.gz", "--double-id", "--make-bed", "--out", name)
    if not vcf:
        os.remove(path)
    populations = {p: [i for i in ids if i.rsplit("_", 1)[0] == p] for p in counts}
    return Simulation(os.path.join(folder, name), path if vcf else None, ids, populations, names)


def genetic_map(path, length_mb, history="growth", code="1"):
    """Writes `path`, a PLINK map of chromosome `code` of `length_mb` Mb at
    the recombination rate of `history` (a key of HISTORIES), for Beagle's
    map=: its two ends, between which Beagle interpolates."""
    end = max(int(length_mb * 1e6), 2)
    with open(path, "w") as f:
        f.write("%s . 0 1\n%s . %.6f %d\n" % (code, code, 100 * HISTORIES[history].recombination * (end - 1), end))


class VcfWriter:
    """A phased VCF written piece by piece: write() takes positions, names and
    haplotypes (haplotypes x sites, paired in order into the people `ids`),
    REF A for 0 and ALT G for 1. The file appears only when closed whole."""

    def __init__(self, path, code, ids, length):
        self.path, self.code, self.people = path, code, len(ids)
        self.file = gzip.open(path + ".partial", "wb", compresslevel=4)
        header = [
            "##fileformat=VCFv4.2",
            "##source=ldtag bench/simulate.py (scrm)",
            "##contig=<ID=%s,length=%d>" % (code, max(length, 1)),
            '##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">',
            "\t".join(["#CHROM", "POS", "ID", "REF", "ALT", "QUAL", "FILTER", "INFO", "FORMAT"] + list(ids)),
        ]
        self.file.write(("\n".join(header) + "\n").encode())

    def write(self, positions, names, haps):
        for start in range(0, len(names), 1000):
            block = haps[:, start : start + 1000].T
            cells = np.empty((block.shape[0], self.people, 4), dtype=np.uint8)
            cells[:, :, 0] = block[:, 0::2] + ord("0")
            cells[:, :, 1] = ord("|")
            cells[:, :, 2] = block[:, 1::2] + ord("0")
            cells[:, :, 3] = ord("\t")
            cells[:, -1, 3] = ord("\n")
            for k in range(block.shape[0]):
                at = start + k
                self.file.write(("%s\t%d\t%s\tA\tG\t.\tPASS\t.\tGT\t" % (self.code, positions[at], names[at])).encode())
                self.file.write(cells[k].tobytes())

    def __enter__(self):
        return self

    def __exit__(self, kind, value, trace):
        self.file.close()
        if kind is None:
            os.replace(self.path + ".partial", self.path)
        else:
            os.remove(self.path + ".partial")
