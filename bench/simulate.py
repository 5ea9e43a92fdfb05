"""Genotypes with realistic LD, simulated with scrm, as PLINK filesets.

haplotypes() runs scrm for one or more loci of 1 Mb, optionally as an island
model of several populations (scrm -I); write_fileset() pairs the haplotypes
into people and writes the SNPs whose frequency over all haplotypes is at
least 0.01, thinned at random to a number per locus, as a PLINK fileset with
a chromosome per locus. simulate() is the one-population region the
benchmarks use. Needs scrm, plink1.9 and numpy.
"""
import os
import random
import subprocess

import numpy as np

LENGTH = 1000000  # bp per locus


def haplotypes(count, seed, loci=1, theta=800, rho=400, populations=(), migration=1.0):
    """Per locus (positions in bp as floats, array of haplotypes x sites).
    `populations`: haplotypes per population, summing to `count`."""
    command = ["scrm", str(count), str(loci), "-t", str(theta), "-r", str(rho), str(LENGTH), "-l", "100000"]
    if populations:
        command += ["-I", str(len(populations))] + [str(n) for n in populations] + [str(migration)]
    command += ["-seed", str(seed), str(seed + 1), str(seed + 2)]
    lines = subprocess.run(command, capture_output=True, text=True, check=True).stdout.splitlines()
    out = []
    for at, line in enumerate(lines):
        if line.startswith("positions:"):
            positions = [float(x) * LENGTH for x in line.split()[1:]]
            rows = lines[at + 1 : at + 1 + count]
            out.append((positions, np.array([[c == "1" for c in row] for row in rows], dtype=np.uint8)))
    return out


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
