#!/usr/bin/python3
"""Tags chosen for imputation against the pairwise methods and evenly
spaced SNPs, on a chromosome simulated under growth.

    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF && cmake --build build-release -j2
    bench/target_bench.py [--folder DIR] [--cores 2] [--length-mb 2] [--people 1000] [--budget-share 0.1]

Two whole runs of the workflow on the same simulation (bench/simulate.py,
growth), 20% of each population held out before quality control, with
target: imputation: one for the fewest tags (imputed_share 0.95 at r² 0.8),
one within a budget of --budget-share of the pairwise Minimum's tags. Each
prints, from imputation.tsv (held-out people only), the tags and the share
of SNPs at imputed r² >= 0.8 (all, and MAF < 0.05) of every set judged, and
the time of the selection's round (the candidates' inner imputation jobs
and the choice, from Snakemake's benchmark files) against the whole run.
"""
import argparse
import glob
import os
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
BUILD = os.path.join(ROOT, "build-release")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import imputation_bench  # noqa: E402
import simulate  # noqa: E402


def run(folder, bfile, settings, cores):
    """The whole workflow in `folder` (imputation_bench.run); its wall time,
    kept in wall.txt and reused."""
    imputation_bench.run(folder, bfile, settings, cores)
    with open(os.path.join(folder, "wall.txt")) as f:
        return float(f.read())


def table(path):
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        return [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]


def round_time(folder):
    """Wall seconds summed over the selection's jobs: the candidates' inner
    imputation jobs and the choice."""
    base = os.path.join(folder, "results", "benchmarks")
    total = 0.0
    paths = glob.glob(os.path.join(base, "imputation_impute", "*", "select*", "candidate_*.tsv"))
    paths += glob.glob(os.path.join(base, "target_select.tsv"))
    for path in paths:
        with open(path) as f:
            f.readline()
            total += float(f.readline().split("\t")[0])
    return total, len(paths) - 1


def report(name, folder, wall):
    rows = table(os.path.join(folder, "results", "imputation.tsv"))
    shares = {(r["set"], r["maf_class"]): r for r in rows if r["population"] == "all"}
    minimum = int(shares[("minimum", "all")]["tags"])
    print("\n%s: whole run %.0f s on %s cores" % (name, wall, ARGS.cores))
    seconds, jobs = round_time(folder)
    print("selection's round: %d inner imputation jobs and the choice, %.0f s summed over jobs" % (jobs, seconds))
    selection = table(os.path.join(folder, "results", "imputation", "target", "selection.tsv"))
    chosen = next(r for r in selection if r["chosen"] == "1")
    print(
        "chosen: %s (%s tags, %s) + %s added = %s tags"
        % (chosen["candidate"], chosen["tags"], chosen["kind"], chosen["added"], chosen["total"])
    )
    print("\n| set | tags | share of the Minimum | pairwise % | imputed r² >= 0.8 % | MAF < 0.05 |")
    print("|---|---|---|---|---|---|")
    for (set_name, cls), r in shares.items():
        if cls != "all":
            continue
        rare = shares.get((set_name, "<0.05"), {}).get("r2_08_percent", "NA")
        print(
            "| %s | %s | %.1f%% | %s | %s | %s |"
            % (set_name, r["tags"], 100 * int(r["tags"]) / minimum, r["pairwise_percent"], r["r2_08_percent"], rare)
        )
    mine = shares[("for_imputation", "all")]
    even = shares[("even_%s" % mine["tags"], "all")]
    print(
        "for_imputation against evenly spaced SNPs of its number: %+.2f points"
        % (float(mine["r2_08_percent"]) - float(even["r2_08_percent"]))
    )
    return minimum


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--folder", default=os.path.join(ROOT, "build-release", "target-bench"))
    parser.add_argument("--cores", type=int, default=2)
    parser.add_argument("--length-mb", type=float, default=2)
    parser.add_argument("--people", type=int, default=1000)
    parser.add_argument("--budget-share", type=float, default=0.1)
    ARGS = parser.parse_args()
    if not os.path.exists(os.path.join(BUILD, "ldcluster")):
        sys.exit("needs the programs in build-release/")
    data = os.path.join(ARGS.folder, "data")
    if not os.path.exists(os.path.join(data, "sim.bed")):
        simulate.chromosome(data, length_mb=ARGS.length_mb, people=ARGS.people, history="growth", seed=22)
    with open(os.path.join(data, "sim.bim")) as f:
        print("%g Mb, %d people, %d SNPs with MAF >= 0.01" % (ARGS.length_mb, ARGS.people, sum(1 for _ in f)))
    common = {"imputation": True, "holdout": 0.2, "target": "imputation", "beagle_threads": 1}
    fewest = os.path.join(ARGS.folder, "fewest")
    minimum = report("fewest tags", fewest, run(fewest, os.path.join(data, "sim"), common, ARGS.cores))
    budget = max(2, round(ARGS.budget_share * minimum))
    within = os.path.join(ARGS.folder, "budget")
    report(
        "within %d tags" % budget,
        within,
        run(within, os.path.join(data, "sim"), dict(common, max_tags=budget), ARGS.cores),
    )


if __name__ == "__main__":
    main()
