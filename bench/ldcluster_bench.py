#!/usr/bin/python3
"""ldcluster: its speed and memory next to ldprune's, and the quality of
each method's tags.

    /usr/bin/python3 bench/ldcluster_bench.py [--build DIR] [--runs N] [--only speed quality]

Speed: on a full 2000-SNP region (run_bench.py's "full" case) and on a
2000-SNP block in which every SNP tags every other, the median wall time of
ldprune and of ldcluster with all three methods on the same folder, measured
alternately, their ratio, and ldcluster's peak resident memory.

Quality: on the four regions of the bundled genotypes (the chain run by hand:
PLINK, ldprep with the bundled lists, ldprune, ldcluster) and on a dense
region simulated with scrm (2000 SNPs in 1 Mb, 500 people) at r² >= 0.5 and
>= 0.8, the tags of each method, its excess over Minimum, and the mean over
the SNPs that are not tags of their best r² to any of the method's tags.
Needs plink1.9, scrm and python3-numpy.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_bench  # noqa: E402
from simulate import simulate  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
GENOTYPES = os.path.join(ROOT, "examples", "genotypes")
METHODS = ("Greedy", "Minimax", "Minimum")


def run(cmd, cwd):
    p = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True)
    if p.returncode != 0:
        sys.exit("%s failed in %s:\n%s" % (" ".join(cmd), cwd, p.stderr[-2000:]))
    return p


def make_block(d):
    """2000 SNPs, every pair at r² from 0.9 to 1, thresholds 0.8: each SNP
    tags every other."""
    rng = random.Random(4)
    names = run_bench.write_common(d, rng, ["0.8"] * run_bench.N)
    with open(os.path.join(d, "ld.txt"), "w") as f:
        for i in range(run_bench.N):
            f.write(
                "".join("%s %s %.6f\n" % (names[i], names[j], rng.uniform(0.9, 1.0)) for j in range(i + 1, run_bench.N))
            )
    for name in ("done.txt", "undesirable.txt"):
        open(os.path.join(d, name), "w").close()


def speed(build, runs, scratch):
    rows = []
    for case, make in (("full", run_bench.make_full), ("block", make_block)):
        d = os.path.join(scratch, case)
        os.mkdir(d)
        print("generating %s ..." % case, file=sys.stderr)
        make(d)
        ldprune, ldcluster = os.path.join(build, "ldprune"), os.path.join(build, "ldcluster")
        run_bench.timed([ldprune], d)
        run_bench.timed([ldcluster], d)
        with open(os.devnull, "w") as sink:
            peak = run_bench.peak_memory_mb(ldcluster, d, sink)
        prune, cluster = [], []
        for _ in range(runs):
            prune.append(run_bench.timed([ldprune], d))
            cluster.append(run_bench.timed([ldcluster], d))
        counts = [cluster_count(d, m) for m in METHODS]
        rows.append((case, statistics.median(prune), statistics.median(cluster), peak, counts))
        shutil.rmtree(d)
    print(
        "\n%-8s %12s %14s %7s %10s   %s"
        % ("case", "ldprune s", "ldcluster s", "ratio", "peak MB", "tags: Greedy Minimax Minimum")
    )
    for case, p, c, peak, counts in rows:
        print("%-8s %12.3f %14.3f %7.2f %10.1f   %s" % (case, p, c, c / p, peak, " ".join(map(str, counts))))


def cluster_count(folder, method):
    with open(os.path.join(folder, "Zentavor.result.%s.out" % method)) as f:
        for line in f:
            if line.startswith("Clusters: "):
                return int(line.split()[1])
    raise ValueError("no cluster count")


def tags_of(folder, method):
    tags = []
    with open(os.path.join(folder, "Zentavor.result.%s.members.txt" % method)) as f:
        next(f)
        for line in f:
            fields = line.split("\t")
            flag = fields[2] if method != "Minimax" else fields[6]
            if flag == "1":
                tags.append(fields[0])
    return tags


def quality_of(folder):
    """Per method: tags, and the mean best r² of the other kept SNPs to one
    of its tags, from PLINK's matrix."""
    names = run_bench_tokens(os.path.join(folder, "SNP_names.data"))[3::2]
    kept = run_bench_tokens(os.path.join(folder, "maf_processed.txt"))[0::3]
    n = len(names)
    r2 = np.nan_to_num(np.fromfile(os.path.join(folder, "plink.ld.bin"), dtype="<f8").reshape(n, n))
    index = {name: k for k, name in enumerate(names)}
    out = {}
    for method in METHODS:
        tags = tags_of(folder, method)
        tag_columns = [index[t] for t in tags]
        others = [index[s] for s in kept if s not in set(tags)]
        best = r2[np.ix_(others, tag_columns)].max(axis=1) if others else np.array([1.0])
        out[method] = (len(tags), float(best.mean()))
    return out


def run_bench_tokens(path):
    with open(path) as f:
        return f.read().split()


def chain(folder, build, bfile, extra_plink, ldprep_args):
    run(
        [
            "plink1.9",
            "--bfile",
            bfile,
            "--r2",
            "square",
            "bin",
            "--freq",
            "--make-just-bim",
            "--allow-no-sex",
            "--out",
            "plink",
        ]
        + extra_plink,
        folder,
    )
    run(
        [os.path.join(build, "ldprep"), "--bim", "plink.bim", "--freq", "plink.frq", "--ld", "plink.ld.bin"]
        + ldprep_args,
        folder,
    )
    run([os.path.join(build, "ldprune")], folder)
    run([os.path.join(build, "ldcluster")], folder)
    return quality_of(folder)


def quality(build, scratch):
    rows = []
    # Quality control first, as the workflow does it.
    run(
        [
            "plink1.9",
            "--bfile",
            os.path.join(GENOTYPES, "chr10_part"),
            "--maf",
            "0.01",
            "--geno",
            "0.05",
            "--make-bed",
            "--out",
            "qc",
        ],
        scratch,
    )
    part = os.path.join(scratch, "qc")
    with open(part + ".bim") as f:
        bim = [line.split()[1] for line in f]
    lists = [
        "--thresholds",
        os.path.join(GENOTYPES, "thresholds.txt"),
        "--done",
        os.path.join(GENOTYPES, "done.txt"),
        "--undesirable",
        os.path.join(GENOTYPES, "undesirable.txt"),
    ]
    for k in range(4):
        folder = os.path.join(scratch, "part%d" % k)
        os.mkdir(folder)
        print("bundled region %d ..." % (k + 1), file=sys.stderr)
        first, last = bim[2000 * k], bim[min(2000 * k + 1999, len(bim) - 1)]
        rows.append(("bundled %d" % (k + 1), chain(folder, build, part, ["--from", first, "--to", last], lists)))
    sim_folder = os.path.join(scratch, "sim")
    os.mkdir(sim_folder)
    print("simulating a dense region ...", file=sys.stderr)
    prefix = simulate(sim_folder)
    for threshold in ("0.5", "0.8"):
        folder = os.path.join(scratch, "dense" + threshold)
        os.mkdir(folder)
        rows.append(("dense, r² >= %s" % threshold, chain(folder, build, prefix, [], ["--threshold", threshold])))
    print("\n%-18s %s" % ("region", "   ".join("%-28s" % m for m in METHODS)))
    print("%-18s %s" % ("", "   ".join("%-28s" % "tags  +Minimum  mean best r²" for _ in METHODS)))
    for name, q in rows:
        minimum = q["Minimum"][0]
        print(
            "%-18s %s"
            % (
                name,
                "   ".join("%-28s" % ("%5d  %+8d  %12.4f" % (q[m][0], q[m][0] - minimum, q[m][1])) for m in METHODS),
            )
        )


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build-release"))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--only", nargs="*", default=["speed", "quality"])
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    scratch = tempfile.mkdtemp(prefix="ldcluster-bench-")
    try:
        if "speed" in args.only:
            speed(build, args.runs, scratch)
        if "quality" in args.only:
            quality(build, scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
