#!/usr/bin/python3
"""The imputation evaluation at full size: where the time goes, the peak
memory of each job, and how much a method's figure from the people its tags
were chosen in differs from its held-out figure.

    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF && cmake --build build-release -j2
    bench/imputation_bench.py [--folder DIR] [--cores 2] [--length-mb 20] [--people 1000] [--only RUN...]

On a chromosome simulated with scrm under growth (bench/simulate.py, 20 Mb,
1000 people, PLINK input, so that Beagle phases it), three runs of the
whole workflow, each in its own folder under DIR (kept, and reused when
its results are there):
  selection: without imputation, for the wall time of the selection alone;
  folds:     imputation in 5 folds over all people: the wall time, and from
             Snakemake's benchmark files and the jobs' times logs, the time of
             phasing, of the Beagle imputation runs, and of the workflow's own
             steps (the panel, splitting the folds, masking, scoring, the
             pairs, the tables and the plot, and the engine: each imputation
             job's time beyond its three steps); Beagle is called through GNU
             time, which gives each run's peak memory;
  holdout:   imputation of 20% of each population held out before quality
             control; each method's held-out share at r² >= 0.8 against its
             share in the folds run, "tags chosen with these people".
"""
import argparse
import collections
import glob
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
BUILD = os.path.join(ROOT, "build-release")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import simulate  # noqa: E402

RUNS = {
    "selection": {"imputation": False},
    "folds": {"imputation": True, "folds": 5},
    "holdout": {"imputation": True, "holdout": 0.2},
}
# The workflow's own jobs of the imputation evaluation, by step.
OWN = {
    "panel (PLINK to VCF, index)": ["imputation_panel"],
    "folds split (bcftools)": ["imputation_split"],
    "pairs for pairwise coverage (PLINK)": ["imputation_pairs"],
    "tables": ["imputation_tables"],
    "plot": ["imputation_plot"],
    "people, chunks, sets": ["imputation_people", "imputation_chunks", "imputation_sets"],
}


def simulated(folder, length_mb, people):
    prefix = os.path.join(folder, "sim")
    if not os.path.exists(prefix + ".bed"):
        start = time.monotonic()
        simulate.chromosome(folder, length_mb=length_mb, people=people, history="growth", seed=20)
        print("simulated %g Mb, %d people in %.0f s" % (length_mb, people, time.monotonic() - start), flush=True)
    with open(prefix + ".bim") as f:
        print("%d SNPs with MAF >= 0.01" % sum(1 for _ in f), flush=True)
    return prefix


def run(folder, bfile, settings, cores, memory_log=None):
    """The whole workflow in `folder`, written to wall.txt; its wall time
    (None when its results were there). With `memory_log`, Beagle runs
    through GNU time, which appends each run's time and peak memory there."""
    if os.path.exists(os.path.join(folder, "results", "report.html")):
        return None
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "config.yaml"), "w") as f:
        f.write("bfile: %s\nplots: false\n" % bfile)
        if memory_log:
            f.write("beagle: /usr/bin/time -f '%%e %%U %%S %%M' -a -o %s beagle\n" % memory_log)
        for key, value in settings.items():
            f.write("%s: %s\n" % (key, str(value).lower() if isinstance(value, bool) else value))
    command = ["snakemake", "-s", os.path.join(ROOT, "workflow", "Snakefile"), "--configfile", "config.yaml"]
    env = dict(os.environ, PATH=BUILD + os.pathsep + os.environ["PATH"])
    start = time.monotonic()
    p = subprocess.run(command + ["--cores", str(cores)], cwd=folder, env=env, capture_output=True, text=True)
    wall = time.monotonic() - start
    if p.returncode != 0:
        sys.exit("snakemake failed in %s:\n%s" % (folder, p.stderr[-3000:]))
    with open(os.path.join(folder, "wall.txt"), "w") as f:
        f.write("%.1f\n" % wall)
    return wall


def benchmarks(folder):
    """rule -> [(wall s, max RSS MB, CPU s)] from Snakemake's benchmark files."""
    out = collections.defaultdict(list)
    base = os.path.join(folder, "results", "benchmarks")
    for path in glob.glob(os.path.join(base, "**", "*.tsv"), recursive=True):
        rule = os.path.relpath(path, base).split(os.sep)[0].removesuffix(".tsv")
        with open(path) as f:
            header = f.readline().rstrip("\n").split("\t")
            row = dict(zip(header, f.readline().rstrip("\n").split("\t")))
        out[rule].append((float(row["s"]), float(row["max_rss"] or 0), float(row["cpu_time"] or 0)))
    return out


def step_times(folder):
    """step -> [wall, user + system] summed over the imputation jobs' times logs."""
    out = collections.defaultdict(lambda: [0.0, 0.0])
    for path in glob.glob(os.path.join(folder, "logs", "imputation", "*", "*", "*.times")):
        with open(path) as f:
            for line in f:
                step, real, user, system = line.split()
                out[step][0] += float(real)
                out[step][1] += float(user) + float(system)
    return out


def beagle_runs(memory_log):
    """(wall, user + system, peak RSS MB) of each Beagle run, from GNU time."""
    runs = []
    with open(memory_log) as f:
        for line in f:
            fields = line.split()
            if len(fields) == 4:
                runs.append((float(fields[0]), float(fields[1]) + float(fields[2]), int(fields[3]) / 1024))
    return runs


def timing(folder, wall, selection_wall, memory_log):
    bench = benchmarks(folder)
    steps = step_times(folder)
    phase = bench["imputation_phase"]
    impute = bench["imputation_impute"]
    beagle_phase = sum(w for w, _, _ in phase)
    beagle_impute = steps["beagle"][0]
    engine = sum(w for w, _, _ in impute) - sum(steps[s][0] for s in ("mask", "beagle", "score"))
    rows = [("Beagle: phasing (%d chunks)" % len(phase), beagle_phase, sum(c for _, _, c in phase))]
    rows.append(("Beagle: imputation (%d runs)" % len(impute), beagle_impute, steps["beagle"][1]))
    own = [
        ("masking (bcftools)", steps["mask"][0], steps["mask"][1]),
        ("scoring", steps["score"][0], steps["score"][1]),
        ("engine: imputation jobs beyond their steps", engine, 0.0),
    ]
    for label, rules in OWN.items():
        jobs = [j for r in rules for j in bench.get(r, [])]
        own.append((label, sum(w for w, _, _ in jobs), sum(c for _, _, c in jobs)))
    print(
        "\nwall time of the whole run on %s cores: %.0f s with imputation, %.0f s without"
        % (ARGS.cores, wall, selection_wall)
    )
    print("\n| step | wall s (summed over jobs) | CPU s |\n|---|---|---|")
    for label, w, c in rows + own:
        print("| %s | %.1f | %.1f |" % (label, w, c))
    beagle = beagle_phase + beagle_impute
    ours = sum(w for _, w, _ in own)
    print(
        "| Beagle runs | %.1f | |\n| our own steps | %.1f (%.1f%% of the Beagle runs) | |"
        % (beagle, ours, 100 * ours / beagle)
    )
    jobs = beagle_impute + sum(steps[s][0] for s in ("mask", "score")) + engine
    print("imputation jobs: %.1f s, %.2f times their Beagle runs" % (jobs, jobs / beagle_impute))
    runs = beagle_runs(memory_log)
    print("\npeak memory (GNU time) of %d Beagle runs: max %.0f MB" % (len(runs), max(r[2] for r in runs)))
    print("\n| job | jobs | peak RSS, MB (Snakemake) |\n|---|---|---|")
    for rule in sorted(bench):
        if rule.startswith(("imputation", "tags_vcf")):
            print("| %s | %d | %.0f |" % (rule, len(bench[rule]), max(m for _, m, _ in bench[rule])))


def honesty(folds_folder, holdout_folder):
    """Each method's share at r² >= 0.8: in the folds run (tags chosen with
    these people) and held out."""

    def shares(folder):
        with open(os.path.join(folder, "results", "imputation.tsv")) as f:
            header = f.readline().rstrip("\n").split("\t")
            rows = [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]
        return {(r["set"], r["maf_class"]): r for r in rows}

    inside, held = shares(folds_folder), shares(holdout_folder)
    print("\n| method | MAF | tags (all people) | in-sample: % at r² >= 0.8 | tags (80%) | held-out | difference |")
    print("|---|---|---|---|---|---|---|")
    for (name, cls), r in inside.items():
        if r["kind"] == "method" and (name, cls) in held:
            h = held[(name, cls)]
            print(
                "| %s | %s | %s | %s | %s | %s | %+.2f |"
                % (
                    name,
                    cls,
                    r["tags"],
                    r["r2_08_percent"],
                    h["tags"],
                    h["r2_08_percent"],
                    float(r["r2_08_percent"]) - float(h["r2_08_percent"]),
                )
            )


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--folder", default=os.path.join(ROOT, "build-release", "imputation-bench"))
    parser.add_argument("--cores", type=int, default=2)
    parser.add_argument("--length-mb", type=float, default=20)
    parser.add_argument("--people", type=int, default=1000)
    parser.add_argument("--only", nargs="+", choices=list(RUNS), default=list(RUNS))
    ARGS = parser.parse_args()
    if shutil.which("beagle") is None or not os.path.exists(os.path.join(BUILD, "ldcluster")):
        sys.exit("needs beagle, bcftools and the programs in build-release/")
    bfile = simulated(os.path.join(ARGS.folder, "data"), ARGS.length_mb, ARGS.people)
    walls = {}
    for name in ARGS.only:
        folder = os.path.join(ARGS.folder, name)
        wall = run(folder, bfile, RUNS[name], ARGS.cores, os.path.join(folder, "beagle_time.log"))
        with open(os.path.join(folder, "wall.txt")) as f:
            walls[name] = float(f.read())
        print("%s: %.0f s%s" % (name, walls[name], "" if wall else " (measured before)"), flush=True)
    if "folds" in walls and "selection" in walls:
        folder = os.path.join(ARGS.folder, "folds")
        timing(folder, walls["folds"], walls["selection"], os.path.join(folder, "beagle_time.log"))
    if "folds" in walls and "holdout" in walls:
        honesty(os.path.join(ARGS.folder, "folds"), os.path.join(ARGS.folder, "holdout"))


if __name__ == "__main__":
    main()
