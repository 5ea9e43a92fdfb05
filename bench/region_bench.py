#!/usr/bin/python3
"""A region's first job on a short and a long chromosome, in turns.

    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF && cmake --build build-release -j2
    bench/workflow_bench.py --simulate 20 --data DIR --only scan    # makes DIR/sim20
    bench/workflow_bench.py --simulate 250 --data DIR --only scan   # makes DIR/sim250
    /usr/bin/python3 bench/region_bench.py DIR/sim20 DIR/sim250 [--snps 1550] [--runs 7]

For each fileset, a region of --snps SNPs from the middle of its .bim goes
through what the workflow's prepare_region job runs (ldtag.chain.prepare:
the region's SNPs copied out of the fileset, PLINK's r² and frequencies,
ldprep, ldprune), and, for comparison, PLINK's r² and frequencies on the
whole fileset with --from/--to. The filesets are taken in turns, --runs
times; the medians show whether a region's time grows with the chromosome.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "workflow", "scripts"))
from ldtag import chain  # noqa: E402


def middle_region(bfile, snps):
    with open(bfile + ".bim") as f:
        names = [line.split()[1] for line in f if line.strip()]
    k = (len(names) - snps) // 2
    return names[k], names[k + snps - 1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("filesets", nargs="+", help="PLINK filesets, without extension")
    parser.add_argument("--snps", type=int, default=1550, help="SNPs in the region (the mean at sequence density)")
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    os.environ["PATH"] = os.path.join(ROOT, "build-release") + os.pathsep + os.environ["PATH"]
    regions = {bfile: middle_region(bfile, args.snps) for bfile in args.filesets}
    times = {(bfile, kind): [] for bfile in args.filesets for kind in ("job", "from")}
    with tempfile.TemporaryDirectory() as scratch:
        for _ in range(args.runs):
            for bfile, (first, last) in regions.items():
                folder = os.path.join(scratch, "region")
                shutil.rmtree(folder, ignore_errors=True)
                os.makedirs(folder)
                start = time.monotonic()
                outputs = [os.path.join(folder, "run_log.txt")]
                chain.prepare("r", outputs, folder, bfile, first, last, "plink1.9", 2, 256, "0.8", [], None)
                times[bfile, "job"].append(time.monotonic() - start)
                start = time.monotonic()
                command = ["plink1.9", "--bfile", bfile, "--from", first, "--to", last, "--r2", "square", "bin"]
                command += ["--freq", "--make-just-bim", "--allow-no-sex", "--threads", "2"]
                subprocess.run(
                    command + ["--out", os.path.join(folder, "whole")], check=True, stdout=subprocess.DEVNULL
                )
                times[bfile, "from"].append(time.monotonic() - start)
    print("A region of %d SNPs from the middle of each chromosome, median of %d runs in turns" % (args.snps, args.runs))
    print("  %-12s %9s %20s" % ("fileset", "chain s", "PLINK --from/--to s"))
    for bfile in args.filesets:
        job, whole = (statistics.median(times[bfile, kind]) for kind in ("job", "from"))
        print("  %-12s %9.3f %20.3f" % (os.path.basename(bfile), job, whole))


if __name__ == "__main__":
    main()
