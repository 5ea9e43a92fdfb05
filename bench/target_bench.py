#!/usr/bin/python3
"""Tags chosen for imputation against the pairwise methods and evenly
spaced SNPs, on a chromosome simulated under growth.

    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF && cmake --build build-release -j2
    bench/target_bench.py [--folder DIR] [--cores 2] [--length-mb 2] [--people 1000] [--budget-share 0.1]
                          [--judged-methods [METHOD ...]] [--seed 22] [--history growth]
    bench/target_bench.py --populations [--length-mb 1] ...

Two whole runs of the workflow on the same simulation (bench/simulate.py,
growth), 20% of each population held out before quality control, with
target: imputation: one for the fewest tags (imputed_share 0.95 at r² 0.8),
one within a budget of --budget-share of the pairwise Minimum's tags. Each
prints, from imputation.tsv (held-out people only), the tags and the share
of SNPs at imputed r² >= 0.8 (all, and MAF < 0.05) of every set judged, and
the time of each of the selection's two rounds (its inner imputation jobs
and its step, summed from Snakemake's benchmark files) against the whole
run. --seed is the simulation's (22, or 23 with --populations, the figures
of bench/README.md; another seed is another chromosome, for a check the
design was never tuned on); --history growth_mid_ld and growth_short_ld
simulate shorter LD, at 2 and 4 cM/Mb (bench/simulate.py), and Beagle is
given a genetic map at that rate. A folder's simulation is made once and
kept for its history.
--judged-methods with no method judges only the tags chosen for
imputation (and their evenly spaced peers) in the held-out people: the
selection and its own evaluation, without the large pairwise sets.

With --populations: a chromosome of two populations (an island model
under the same growth, --people each), fewest tags for each population
alone and for both; prints each population's held-out share in the joint
run and the joint set against the union of the populations' own sets.
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

METHOD = "for_imputation"


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


def seconds(pattern, folder):
    """The jobs whose benchmark files match `pattern` (under
    results/benchmarks) and their wall seconds summed."""
    paths = glob.glob(os.path.join(folder, "results", "benchmarks", pattern), recursive=True)
    total = 0.0
    for path in paths:
        with open(path) as f:
            f.readline()
            total += float(f.readline().split("\t")[0])
    return len(paths), total


def round_times(folder):
    """Per round, its inner imputation jobs and their wall seconds summed,
    with the gates that climb it and its step: the first round's
    candidates and target_refine, the second's sets and target_complete,
    the third's and target_select."""
    out = []
    steps = (("candidate_*", "target_refine"), ("refined_*", "target_complete"), ("completed_*", "target_select"))
    for sets, step in steps:
        jobs, total = seconds(os.path.join("imputation_impute", "*", "select*", sets + ".tsv"), folder)
        total += seconds(os.path.join("target_rung", sets + ".tsv"), folder)[1]
        out.append((jobs, total + seconds(step + ".tsv", folder)[1]))
    return out


def rounds_text(folder):
    (first_jobs, first), (second_jobs, second), (third_jobs, third) = round_times(folder)
    _, phasing = seconds(os.path.join("imputation_phase", "*.tsv"), folder)
    held_jobs, held = seconds(os.path.join("imputation_impute", "*", "holdout", "*.tsv"), folder)
    _, everything = seconds(os.path.join("**", "*.tsv"), folder)
    return (
        "summed over jobs: phasing %.0f s; round 1: %d inner imputation jobs, the climb and the refining, %.0f s; "
        "round 2: %d jobs, the climb (and without a budget the completions), %.0f s; "
        "round 3 (none within a budget): %d jobs, the climb and the choice, "
        "%.0f s; held-out evaluation: %d jobs, %.0f s; every job %.0f s"
        % (phasing, first_jobs, first, second_jobs, second, third_jobs, third, held_jobs, held, everything)
    )


def report(name, folder, wall):
    rows = table(os.path.join(folder, "results", "imputation.tsv"))
    shares = {(r["set"], r["maf_class"]): r for r in rows if r["population"] == "all"}
    with open(os.path.join(folder, "results", "minimum_tag_snps.txt")) as f:
        minimum = len(f.read().split())
    print("\n%s: whole run %.0f s on %s cores" % (name, wall, ARGS.cores))
    print(rounds_text(folder))
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
    mine = shares[(METHOD, "all")]
    even = shares[("even_%s" % mine["tags"], "all")]
    print(
        "for_imputation against evenly spaced SNPs of its number: %+.2f points"
        % (float(mine["r2_08_percent"]) - float(even["r2_08_percent"]))
    )
    return minimum


def simulation(people, seed):
    """The bench's chromosome in FOLDER/data (simulated once), and Beagle's
    genetic map for it: none at 1 cM/Mb, which Beagle assumes, else one at
    the history's rate."""
    data = os.path.join(ARGS.folder, "data")
    marker = os.path.join(data, "history.txt")
    if not os.path.exists(os.path.join(data, "sim.bed")):
        simulate.chromosome(data, length_mb=ARGS.length_mb, people=people, history=ARGS.history, seed=seed)
        with open(marker, "w") as f:
            f.write(ARGS.history + "\n")
    made = "growth"  # the folders simulated before the marker
    if os.path.exists(marker):
        with open(marker) as f:
            made = f.read().strip()
    if made != ARGS.history:
        sys.exit("%s was simulated under --history %s; give another --folder" % (data, made))
    if simulate.HISTORIES[ARGS.history].recombination == simulate.RECOMBINATION:
        return data, None
    path = os.path.join(data, "genetic.map")
    simulate.genetic_map(path, ARGS.length_mb, ARGS.history)
    return data, path


def target_settings(genetic_map):
    """The config every run of the bench shares: target imputation, a fifth
    held out, the genetic map if any, and --judged-methods when given."""
    common = {"imputation": True, "holdout": 0.2, "target": "imputation", "beagle_threads": 1}
    if genetic_map:
        common["genetic_map"] = genetic_map
    if ARGS.judged_methods is not None:
        common["judged_methods"] = ARGS.judged_methods
    return common


def populations(cores):
    """Fewest tags for each of two populations alone and for both."""
    data, genetic_map = simulation({"A": ARGS.people, "B": ARGS.people}, ARGS.seed or 23)
    lists = {}
    with open(os.path.join(data, "sim.fam")) as f:
        for line in f:
            fid, iid = line.split()[:2]
            lists.setdefault(fid.rsplit("_", 1)[0], []).append("%s %s\n" % (fid, iid))
    for name, lines in lists.items():
        with open(os.path.join(data, name + ".txt"), "w") as f:
            f.writelines(lines)
    with open(os.path.join(data, "sim.bim")) as f:
        print("%g Mb, %d + %d people, %d SNPs" % (ARGS.length_mb, ARGS.people, ARGS.people, sum(1 for _ in f)))
    common = target_settings(genetic_map)
    chosen = {}
    for names in (["A"], ["B"], ["A", "B"]):
        key = "+".join(names)
        folder = os.path.join(ARGS.folder, key)
        extra = {"populations": "{%s}" % ", ".join("%s: %s/%s.txt" % (n, data, n) for n in names)}
        wall = run(folder, os.path.join(data, "sim"), dict(common, **extra), cores)
        with open(os.path.join(folder, "results", "for_imputation_tag_snps.txt")) as f:
            chosen[key] = set(f.read().split())
        rows = table(os.path.join(folder, "results", "imputation.tsv"))
        mine = {(r["population"], r["maf_class"]): r for r in rows if r["set"] == METHOD}
        print("\n%s: whole run %.0f s; %d tags; %s" % (key, wall, len(chosen[key]), rounds_text(folder)))
        for name in names:
            even = next(
                r
                for r in rows
                if (r["set"], r["population"], r["maf_class"]) == ("even_%d" % len(chosen[key]), name, "all")
            )
            print(
                "  held out in %s: %s%% at r² >= 0.8 (MAF < 0.05: %s%%); evenly spaced SNPs of its number %s%%"
                % (
                    name,
                    mine[(name, "all")]["r2_08_percent"],
                    mine.get((name, "<0.05"), {}).get("r2_08_percent", "NA"),
                    even["r2_08_percent"],
                )
            )
    union = chosen["A"] | chosen["B"]
    print("\njoint %d tags against the union of A's and B's own sets, %d" % (len(chosen["A+B"]), len(union)))


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--folder", default=os.path.join(ROOT, "build-release", "target-bench"))
    parser.add_argument("--cores", type=int, default=2)
    parser.add_argument("--length-mb", type=float, default=2)
    parser.add_argument("--people", type=int, default=1000)
    parser.add_argument("--budget-share", type=float, default=0.1)
    parser.add_argument("--populations", action="store_true")
    parser.add_argument("--judged-methods", nargs="*", help="judged_methods (default: every method)")
    parser.add_argument("--seed", type=int, help="the simulation's seed (default 22, with --populations 23)")
    parser.add_argument("--history", default="growth", choices=[h for h in simulate.HISTORIES if h != "constant"])
    ARGS = parser.parse_args()
    if not os.path.exists(os.path.join(BUILD, "ldcluster")):
        sys.exit("needs the programs in build-release/")
    if ARGS.populations:
        populations(ARGS.cores)
        return
    data, genetic_map = simulation(ARGS.people, ARGS.seed or 22)
    with open(os.path.join(data, "sim.bim")) as f:
        print("%g Mb, %d people, %d SNPs with MAF >= 0.01" % (ARGS.length_mb, ARGS.people, sum(1 for _ in f)))
    common = target_settings(genetic_map)
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
