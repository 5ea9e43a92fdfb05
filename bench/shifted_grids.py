#!/usr/bin/python3
"""Evenly spaced SNPs at several shifts of the grid, judged in a finished
run's held-out people, against the set a method chose there.

    bench/shifted_grids.py RUN [--method for_imputation] [--grids 5] [--folder DIR]

RUN is a finished run of the workflow with imputation (a target_bench.py
run's fewest/ or budget/ folder). Its chosen set has N tags; the workflow
judges it against one grid of N evenly spaced SNPs (the middle of each of
N equal stretches of the SNPs that passed quality control), and where that
grid falls moves its figure by 2 points or more. This judges --grids (an
odd number) grids of N, each SNP at the same fraction f of its stretch,
f = (j + 0.5) / grids (with 5, f = 0.1 ... 0.9; 0.5 is the workflow's
grid), as `evaluate_tags` in one run of the workflow in DIR with RUN's
genotypes, held-out people, quality control and tools (phased once, the
grids judged in turn; RUN's paths must be absolute), and prints each
grid's share of SNPs at imputed r² >= 0.8 per population, their mean and
standard deviation, and the chosen set's gain over the mean. Each run in
DIR also judges the workflow's own grid, even_N: its figures must be
RUN's, or the script stops.
"""
import argparse
import os
import statistics
import subprocess
import sys

import yaml

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
BUILD = os.path.join(ROOT, "build-release")
sys.path.insert(0, os.path.join(ROOT, "workflow", "scripts"))
from ldtag import files, imputation, paths  # noqa: E402

# What decides the held-out people, the SNPs that pass quality control and
# how they are imputed.
KEEP = ("bfile", "vcf", "populations", "population_panel", "population_column", "sample_column", "min_maf")
KEEP += ("max_missing", "hwe_p", "holdout", "seed", "genetic_map", "chunk_mb", "flank_mb", "plink", "beagle")
KEEP += ("beagle_mem_mb",)
JUDGING = {"plots": False, "imputation": True, "beagle_threads": 1, "evaluate_tags": "tags.txt", "judged_methods": []}


def shares(path, name):
    """The tags of set `name` in an imputation.tsv, and per population
    ("all" without populations) its share at r² >= 0.8, all MAF classes."""
    count, out = None, {}
    for row in files.read_table(path)[1]:
        if row["set"] == name and row["maf_class"] == "all":
            count, out[row["population"]] = int(row["tags"]), float(row["r2_08_percent"])
    if not out:
        sys.exit("%s: no row for %s" % (path, name))
    return count, out


def chromosomes(run):
    """Each chromosome's SNP names in order, in the workflow's order of the
    chromosomes (that of RUN's chunks table), from RUN's quality-controlled
    .bim files."""
    labels = [row["chromosome"] for row in files.read_table(os.path.join(run, paths.CHUNKS))[1]]
    out = []
    for label in dict.fromkeys(labels):
        with open(os.path.join(run, paths.QC_FILESET.format(chrom=label) + ".bim")) as f:
            out.append([line.split()[1] for line in f])
    return out


def grid(count, chromosomes, j, grids):
    """`count` SNPs, as the workflow's even set spreads them over the
    chromosomes, each at the fraction (j + 0.5) / grids of its stretch (in
    integers, as the workflow's, which is the middle grid)."""
    picks = []
    for names, n in zip(chromosomes, imputation.shares(count, [len(c) for c in chromosomes])):
        picks += [names[(2 * grids * i + 2 * j + 1) * len(names) // (2 * grids * n)] for i in range(n)]
    return picks


def judge(folder, settings, tags, cores):
    """`tags` judged as evaluate_tags in `folder`: the imputation.tsv of
    the run."""
    with open(os.path.join(folder, "config.yaml"), "w") as f:
        yaml.safe_dump(dict(settings, **JUDGING), f)
    with open(os.path.join(folder, "tags.txt"), "w") as f:
        f.write("".join(t + "\n" for t in tags))
    command = ["snakemake", "-s", os.path.join(ROOT, "workflow", "Snakefile"), "--configfile", "config.yaml"]
    command += ["--cores", str(cores), "--rerun-triggers", "mtime"]
    env = dict(os.environ, PATH=BUILD + os.pathsep + os.environ["PATH"])
    p = subprocess.run(command, cwd=folder, env=env, capture_output=True, text=True)
    if p.returncode != 0:
        sys.exit("snakemake failed in %s:\n%s" % (folder, p.stderr[-3000:]))
    return os.path.join(folder, "results", "imputation.tsv")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("run")
    parser.add_argument("--method", default="for_imputation")
    parser.add_argument("--grids", type=int, default=5)
    parser.add_argument("--folder")
    parser.add_argument("--cores", type=int, default=2)
    args = parser.parse_args()
    if args.grids < 1 or args.grids % 2 == 0:
        sys.exit("--grids must be odd, so that the middle grid is the workflow's")
    run = os.path.abspath(args.run)
    folder = os.path.abspath(args.folder or run.rstrip("/") + "-grids")
    with open(os.path.join(run, "config.yaml")) as f:
        settings = {k: v for k, v in yaml.safe_load(f).items() if k in KEEP}
    table = os.path.join(run, "results", "imputation.tsv")
    count, chosen = shares(table, args.method)
    peer = "%s%d" % (imputation.EVEN, count)
    even = shares(table, peer)[1]
    names = chromosomes(run)
    os.makedirs(folder, exist_ok=True)
    judged = []
    print("%s: %d tags; held out %s" % (args.method, count, figures(chosen)))
    print("the workflow's evenly spaced peer: %s" % figures(even))
    for j in range(args.grids):
        judged_table = judge(folder, settings, grid(count, names, j, args.grids), args.cores)
        if shares(judged_table, peer)[1] != even:
            sys.exit("%s: %s is judged otherwise than in %s: not the same people or SNPs" % (folder, peer, run))
        judged.append(shares(judged_table, imputation.GIVEN)[1])
        print("grid at %.2f of each stretch: %s" % ((j + 0.5) / args.grids, figures(judged[-1])), flush=True)
    for population, share in chosen.items():
        values = [g[population] for g in judged]
        sd = statistics.stdev(values) if len(values) > 1 else 0.0
        mean, low, high = statistics.mean(values), min(values), max(values)
        print("%s: the grids' mean %.2f%%, sd %.2f, from %.2f to %.2f" % (population, mean, sd, low, high))
        print(
            "%s: gain over the mean %+.2f, over the workflow's grid %+.2f"
            % (population, share - mean, share - even[population])
        )


def figures(by_population):
    return ", ".join("%s %.2f%%" % item for item in by_population.items())


if __name__ == "__main__":
    main()
