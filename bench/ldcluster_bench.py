#!/usr/bin/python3
"""ldcluster: its speed and memory next to ldprune's, and the quality of
each method's tags.

    /usr/bin/python3 bench/ldcluster_bench.py [--build DIR] [--runs N] [--only speed quality budget]
                                              [--time-limit S]

Speed: on a full 2000-SNP region (run_bench.py's "full" case) and on a
2000-SNP block in which every SNP tags every other, the median wall time of
ldprune and of ldcluster with all three methods on the same folder, measured
alternately, their ratio, and ldcluster's peak resident memory.

Quality: on the four regions of the bundled genotypes (the chain run by hand:
PLINK, ldprep with the bundled lists, ldprune, ldcluster) and on a dense
region simulated with scrm (2000 SNPs in 1 Mb, 500 people) at r² >= 0.5 and
>= 0.8, the tags of each method, its excess over Minimum, and the mean over
the SNPs that are not tags of their best r² to any of the method's tags.
Budget: on the full case (its needed SNPs, from ldprune's log, forced) and
on the dense region at r² >= 0.8 and >= 0.5, the median wall time of
ldcluster --method none --curve (beside --method greedy, which reads the
same tables), and of --max-tags K at K = |F| + 10%, 25%
and 50% of the order's tags beyond the |F| needed ones (the full cover),
greedy alone and with the exact maximum (--time-limit, default 10 s); the
items each captures, the solver's proven bound, and greedy's shortfall.

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


def prepare(folder, build, bfile, extra_plink, ldprep_args):
    """PLINK's tables, ldprep and ldprune for a region, in its folder."""
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


def chain(folder, build, bfile, extra_plink, ldprep_args):
    prepare(folder, build, bfile, extra_plink, ldprep_args)
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
    for label, folder, prefix, threshold in dense_folders(scratch, "", ("0.5", "0.8")):
        rows.append((label, chain(folder, build, prefix, [], ["--threshold", threshold])))
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


def write_needed(folder):
    """needed.txt from the needed SNPs ldprune's log lists; their number."""
    with open(os.path.join(folder, "ld_processed_temp.txt")) as f:
        names = [line.rsplit(" ", 1)[1] for line in f if line.startswith("the ") and "needed SNP" in line]
    with open(os.path.join(folder, "needed.txt"), "w") as f:
        f.writelines(names)
    return len(names)


def read_summary(folder):
    """budget_summary.tsv as {method: (tags, captured, items, bound, optimal)}."""
    with open(os.path.join(folder, "budget_summary.tsv")) as f:
        next(f)
        return {fields[0]: fields[1:] for fields in (line.split() for line in f)}


def budget_case(name, folder, build, runs, time_limit):
    """The order's and the budgets' times and what each budget captures."""
    ldcluster = os.path.join(build, "ldcluster")
    forced = write_needed(folder)
    base = [ldcluster, "--method", "none", "--needed", "needed.txt", "--time-limit", str(time_limit)]
    run(base + ["--curve"], folder)
    with open(os.path.join(folder, "coverage_order.tsv")) as f:
        cover = sum(1 for _ in f) - 1
    curve, plain = [], []
    for _ in range(runs):
        curve.append(run_bench.timed(base + ["--curve"], folder))
        plain.append(run_bench.timed([ldcluster, "--method", "greedy"], folder))
    rows = []
    for share in (0.10, 0.25, 0.50):
        k = forced + max(1, round(share * (cover - forced)))
        greedy_only = base + ["--max-tags", str(k), "--budget-method", "greedy"]
        both = base + ["--max-tags", str(k)]
        greedy_times, both_times = [], []
        for _ in range(runs):
            greedy_times.append(run_bench.timed(greedy_only, folder))
            both_times.append(run_bench.timed(both, folder))
        summary = read_summary(folder)
        greedy, maximum = int(summary["budget_greedy"][1]), int(summary["budget_maximum"][1])
        bound, items = int(summary["budget_maximum"][3]), int(summary["budget_maximum"][2])
        rows.append(
            (
                share,
                k,
                statistics.median(greedy_times),
                statistics.median(both_times),
                greedy,
                maximum,
                bound,
                summary["budget_maximum"][4] == "1",
                items,
            )
        )
    return name, forced, cover, statistics.median(plain), statistics.median(curve), rows


def dense_folders(scratch, stem, thresholds):
    """A dense region simulated with scrm in scratch/<stem>sim, and an empty
    folder per threshold: yields (label, folder, fileset prefix, threshold)."""
    sim_folder = os.path.join(scratch, stem + "sim")
    os.mkdir(sim_folder)
    print("simulating a dense region ...", file=sys.stderr)
    prefix = simulate(sim_folder)
    for threshold in thresholds:
        folder = os.path.join(scratch, stem + "dense" + threshold)
        os.mkdir(folder)
        yield "dense, r² >= %s" % threshold, folder, prefix, threshold


def budget(build, runs, scratch, time_limit):
    cases = []
    full = os.path.join(scratch, "budget-full")
    os.mkdir(full)
    print("generating full ...", file=sys.stderr)
    run_bench.make_full(full)
    run([os.path.join(build, "ldprune")], full)
    cases.append(("full", full))
    for label, folder, prefix, threshold in dense_folders(scratch, "budget-", ("0.8", "0.5")):
        prepare(folder, build, prefix, [], ["--threshold", threshold])
        cases.append((label, folder))
    print(
        "\n%-16s %6s %6s %7s %8s %8s %4s %5s %9s %9s %8s %8s %8s %8s"
        % (
            "case",
            "SNPs",
            "needed",
            "cover",
            "Greedy s",
            "curve s",
            "K%",
            "K",
            "greedy s",
            "+exact s",
            "greedy",
            "exact",
            "bound",
            "short %",
        )
    )
    for name, folder in cases:
        print("budget: %s ..." % name, file=sys.stderr)
        _, forced, cover, plain, curve, rows = budget_case(name, folder, build, runs, time_limit)
        for share, k, greedy_s, both_s, greedy, maximum, bound, optimal, items in rows:
            print(
                "%-16s %6d %6d %7d %8.3f %8.3f %4d %5d %9.3f %9.3f %8d %8s %8d %8.2f"
                % (
                    name,
                    items,
                    forced,
                    cover,
                    plain,
                    curve,
                    round(100 * share),
                    k,
                    greedy_s,
                    both_s,
                    greedy,
                    "%d%s" % (maximum, "" if optimal else "*"),
                    bound,
                    100.0 * (bound - greedy) / bound,
                )
            )
    print(
        "Greedy s: ldcluster --method greedy on the same tables, for the time of reading them; "
        "* the time limit stopped the solver; short %: greedy below the proven bound, as a share of it"
    )


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build-release"))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--only", nargs="*", default=["speed", "quality", "budget"])
    ap.add_argument("--time-limit", type=float, default=10.0, help="seconds for the exact budget solver")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    scratch = tempfile.mkdtemp(prefix="ldcluster-bench-")
    try:
        if "speed" in args.only:
            speed(build, args.runs, scratch)
        if "quality" in args.only:
            quality(build, scratch)
        if "budget" in args.only:
            budget(build, args.runs, scratch, args.time_limit)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
