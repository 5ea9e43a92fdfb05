#!/usr/bin/python3
"""Evenly spaced SNPs at several shifts of the grid, judged in a finished
run's held-out people, against the set a method chose there.

    bench/shifted_grids.py RUN [--method for_imputation] [--grids 5] [--folder DIR]

RUN is a finished run of the workflow with imputation (a target_bench.py
run's fewest/ or budget/ folder). Its chosen set has N tags; the workflow
judges it against one grid of N evenly spaced SNPs (the middle of each of
N equal stretches of the SNPs that passed quality control), and where that
grid falls moves its figure by 2 points or more. This judges --grids grids
of N, each SNP at the same fraction f of its stretch, f = (j + 0.5) /
grids (with 5, f = 0.1 ... 0.9; 0.5 is the workflow's grid), as
`evaluate_tags` in one run of the workflow in DIR on RUN's genotypes,
holdout, seed and quality control (so the same held-out people; phased
once, the grids judged in turn; RUN's paths must be absolute), and prints each grid's share of SNPs at imputed
r² >= 0.8, their mean and standard deviation, and the chosen set's gain
over the mean. The middle grid is the workflow's even_N: its figure must
equal RUN's.
"""
import argparse
import os
import statistics
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
BUILD = os.path.join(ROOT, "build-release")
sys.path.insert(0, os.path.join(ROOT, "workflow", "scripts"))
from ldtag import imputation  # noqa: E402

# What decides the held-out people and the SNPs that pass quality control.
KEEP = ("bfile", "vcf", "populations", "population_panel", "population_column", "sample_column", "min_maf")
KEEP += ("max_missing", "hwe_p", "holdout", "seed", "genetic_map", "chunk_mb", "flank_mb")


def config(run):
    """RUN's config.yaml as a dict of its top-level lines."""
    out = {}
    with open(os.path.join(run, "config.yaml")) as f:
        for line in f:
            key, _, value = line.partition(":")
            if value.strip():
                out[key.strip()] = value.strip()
    return out


def shares(path, name):
    """The tags of set `name` in an imputation.tsv, and per population
    ("all" without populations) its share at r² >= 0.8, all MAF classes."""
    count, out = None, {}
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        for line in f:
            row = dict(zip(header, line.rstrip("\n").split("\t")))
            if row["set"] == name and row["maf_class"] == "all":
                count, out[row["population"]] = int(row["tags"]), float(row["r2_08_percent"])
    if not out:
        sys.exit("%s: no row for %s" % (path, name))
    return count, out


def chromosomes(run):
    """Each chromosome's SNP names in order, from RUN's quality-controlled
    .bim files."""
    folder = os.path.join(run, "results", "qc")
    out = []
    for name in sorted(n for n in os.listdir(folder) if n.endswith(".bim")):
        with open(os.path.join(folder, name)) as f:
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
    """`tags` judged as evaluate_tags in `folder`: their share at r² >= 0.8
    in the held-out people, per population."""
    with open(os.path.join(folder, "config.yaml"), "w") as f:
        for key, value in settings.items():
            f.write("%s: %s\n" % (key, value))
        f.write("plots: false\nimputation: true\nbeagle_threads: 1\nevaluate_tags: tags.txt\njudged_methods: []\n")
    with open(os.path.join(folder, "tags.txt"), "w") as f:
        f.write("".join(t + "\n" for t in tags))
    command = ["snakemake", "-s", os.path.join(ROOT, "workflow", "Snakefile"), "--configfile", "config.yaml"]
    command += ["--cores", str(cores), "--rerun-triggers", "mtime"]
    env = dict(os.environ, PATH=BUILD + os.pathsep + os.environ["PATH"])
    p = subprocess.run(command, cwd=folder, env=env, capture_output=True, text=True)
    if p.returncode != 0:
        sys.exit("snakemake failed in %s:\n%s" % (folder, p.stderr[-3000:]))
    return shares(os.path.join(folder, "results", "imputation.tsv"), "given")[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("run")
    parser.add_argument("--method", default="for_imputation")
    parser.add_argument("--grids", type=int, default=5)
    parser.add_argument("--folder")
    parser.add_argument("--cores", type=int, default=2)
    args = parser.parse_args()
    run = os.path.abspath(args.run)
    folder = os.path.abspath(args.folder or run.rstrip("/") + "-grids")
    settings = {k: v for k, v in config(run).items() if k in KEEP}
    table = os.path.join(run, "results", "imputation.tsv")
    count, chosen = shares(table, args.method)
    even = shares(table, "%s%d" % (imputation.EVEN, count))[1]
    names = chromosomes(run)
    os.makedirs(folder, exist_ok=True)
    judged = []
    print("%s: %d tags; held out %s" % (args.method, count, figures(chosen)))
    print("the workflow's evenly spaced peer: %s" % figures(even))
    for j in range(args.grids):
        judged.append(judge(folder, settings, grid(count, names, j, args.grids), args.cores))
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
