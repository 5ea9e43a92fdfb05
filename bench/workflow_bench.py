#!/usr/bin/python3
"""The genome-wide workflow at full size: time per step and memory per job.

Runs the workflow on a whole chromosome (by default the shared chromosome 10
genotypes: 28,501 SNPs, about 15 regions) with --cores 2 and the stand-in as
the clustering program, three times in fresh folders:

1. plainly, for the wall time and, from Snakemake's benchmark files, the time
   of every job, summed per step; the engine's overhead is the wall time
   less the jobs' time spread over the cores;
2. with every program called through a wrapper that takes its peak memory
   from the kernel (wait4), while the workflow's Python scripts are sampled
   from /proc; the peak memory per job kind, and how much of the windowed
   scan's job is PLINK's;
3. the same on the bundled part (4 regions), to show that no job's memory
   grows with the number of regions.

    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF && cmake --build build-release -j2
    bench/workflow_bench.py [--bfile PREFIX] [--cores 2]
"""
import argparse
import collections
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
BUILD = os.path.join(ROOT, "build-release")
SHARED_CHR10 = os.path.join(ROOT, "..", "shared", "data", "chr10_genotypes", "chr10")
PART = os.path.join(ROOT, "examples", "genotypes", "chr10_part")
PROGRAMS = ("plink1.9", "ldprep", "ldprune", "ldcluster", "memberjoin1", "memberjoin2")
# Steps of the run, by the rules whose jobs make them up.
STEPS = [
    ("PLINK: quality control", ["qc"]),
    ("windowed LD scan and cuts", ["cut_regions"]),
    ("PLINK: region r²", ["region_ld"]),
    ("converter (ldprep)", ["ldprep"]),
    ("ldprune", ["ldprune"]),
    ("ldcluster", ["cluster"]),
    ("joiners", ["join"]),
    ("coverage", ["coverage"]),
    ("small tables (scripts)", ["excluded_names", "regions_table", "qc_report"]),
    ("merge", ["merge"]),
    ("LD plots", ["ld_plot"]),
    ("overview", ["overview"]),
    ("report", ["report"]),
]
THREADS = {"cut_regions": 2, "region_ld": 2, "ldprune": 2}

WRAPPER = r'''#!/usr/bin/python3
# Runs the real program and appends its wall time and peak memory to a log.
import os, sys, time
name = os.path.basename(sys.argv[0])
real = next(os.path.join(d, name) for d in os.environ["BENCH_REAL_PATH"].split(os.pathsep)
            if os.access(os.path.join(d, name), os.X_OK))
start = time.monotonic()
pid = os.fork()
if pid == 0:
    os.execv(real, [real] + sys.argv[1:])
_, status, usage = os.wait4(pid, 0)
if "--version" in sys.argv:  # the report asks for versions: not a job
    sys.exit(os.waitstatus_to_exitcode(status))
kind = name
if name == "plink1.9":
    kind = "plink1.9 " + ("region r²" if "square" in sys.argv else "windowed LD" if "--ld-window" in sys.argv
                          else "quality control")
with open(os.environ["BENCH_LOG"], "a") as log:
    log.write("%s\t%.4f\t%d\n" % (kind, time.monotonic() - start, usage.ru_maxrss))
sys.exit(os.waitstatus_to_exitcode(status))
'''


def prepare(folder, bfile):
    with open(os.path.join(folder, "config.yaml"), "w") as f:
        f.write("bfile: %s\n" % bfile)


def snakemake(folder, cores, path, env=None):
    start = time.monotonic()
    p = subprocess.run(["snakemake", "-s", os.path.join(ROOT, "workflow", "Snakefile"), "--configfile",
                        "config.yaml", "--cores", str(cores)], cwd=folder, capture_output=True, text=True,
                       env=dict(os.environ, PATH=path, **(env or {})))
    if p.returncode != 0:
        sys.exit("snakemake failed:\n" + p.stderr[-3000:])
    return time.monotonic() - start


def job_times(folder):
    """rule -> list of job wall times, from Snakemake's benchmark files."""
    times = collections.defaultdict(list)
    for path in glob.glob(os.path.join(folder, "results", "benchmarks", "**", "*.tsv"), recursive=True):
        rel = os.path.relpath(path, os.path.join(folder, "results", "benchmarks"))
        rule = rel.split(os.sep)[0].removesuffix(".tsv")
        with open(path) as f:
            f.readline()
            times[rule].append(float(f.readline().split("\t")[0]))
    return times


class ScriptSampler:
    """Peak memory of the workflow's Python scripts, from /proc every 10 ms."""

    def __init__(self):
        self.peak = collections.defaultdict(int)
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def run(self):
        while not self.stop.wait(0.01):
            for pid in os.listdir("/proc"):
                if not pid.isdigit():
                    continue
                try:
                    with open("/proc/%s/cmdline" % pid, "rb") as f:
                        cmd = f.read().decode(errors="replace")
                    # Run by name, or by Snakemake's script directive as tmpXXXX.<name>.py.
                    found = re.search(r"scripts/(?:tmp[^./]*\.)?(\w+)\.py", cmd)
                    if not found:
                        continue
                    script = found.group(1)
                    with open("/proc/%s/status" % pid) as f:
                        hwm = next(int(line.split()[1]) for line in f if line.startswith("VmHWM"))
                    self.peak["python: " + script] = max(self.peak["python: " + script], hwm)
                except (OSError, StopIteration, IndexError):
                    pass


def memory_run(bfile, cores, path):
    """For one instrumented run: the number of regions, kind -> (jobs, peak
    memory in MB), kind -> the programs' wall time summed, and the jobs'
    times."""
    with tempfile.TemporaryDirectory() as folder:
        prepare(folder, bfile)
        shims = os.path.join(folder, "shims")
        os.makedirs(shims)
        for name in PROGRAMS:
            with open(os.path.join(shims, name), "w") as f:
                f.write(WRAPPER)
            os.chmod(os.path.join(shims, name), 0o755)
        log = os.path.join(folder, "memory.log")
        sampler = ScriptSampler()
        sampler.thread.start()
        snakemake(folder, cores, shims + os.pathsep + path, {"BENCH_REAL_PATH": path, "BENCH_LOG": log})
        sampler.stop.set()
        sampler.thread.join()
        peaks = collections.defaultdict(lambda: [0, 0])
        seconds = collections.defaultdict(float)
        with open(log) as f:
            for line in f:
                kind, wall, rss = line.rstrip("\n").split("\t")
                peaks[kind][0] += 1
                peaks[kind][1] = max(peaks[kind][1], int(rss))
                seconds[kind] += float(wall)
        for kind, rss in sampler.peak.items():
            peaks[kind] = ["-", rss]
        regions = len(open(os.path.join(folder, "results", "regions.tsv")).readlines()) - 1
        return regions, {k: (n, rss / 1024) for k, (n, rss) in peaks.items()}, seconds, job_times(folder)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bfile", default=SHARED_CHR10, help="PLINK fileset of the full-size run")
    parser.add_argument("--cores", type=int, default=2)
    args = parser.parse_args()
    if not os.path.exists(os.path.join(BUILD, "ldprune")):
        sys.exit("build the programs first: cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release && "
                 "cmake --build build-release -j2")
    bfile = os.path.abspath(args.bfile)
    path = BUILD + os.pathsep + os.environ["PATH"]

    runs = [memory_run(PART, args.cores, path), memory_run(bfile, args.cores, path)]
    with tempfile.TemporaryDirectory() as folder:
        prepare(folder, bfile)
        wall = snakemake(folder, args.cores, path)
        rerun = snakemake(folder, args.cores, path)
        times = job_times(folder)
        regions = len(open(os.path.join(folder, "results", "regions.tsv")).readlines()) - 1
    print("Full run: %s, %d regions, --cores %d" % (os.path.basename(bfile), regions, args.cores))
    print("  wall time %.1f s; a second run, which finds nothing to do, %.1f s\n" % (wall, rerun))
    print("  %-28s %5s %9s %9s %9s" % ("step", "jobs", "total s", "mean s", "max s"))
    busy = 0.0
    totals = {}
    for step, rules in STEPS:
        t = [s for r in rules for s in times.get(r, [])]
        busy += sum(s * THREADS.get(r, 1) for r in rules for s in times.get(r, []))
        totals[step] = sum(t)
        print("  %-28s %5d %9.2f %9.3f %9.3f" % (step, len(t), sum(t), sum(t) / max(1, len(t)), max(t, default=0)))
    # The scan's share of its job is PLINK's; the rest is placing the cuts.
    scan = runs[1][2]["plink1.9 windowed LD"]
    plink = scan + totals["PLINK: region r²"]
    ours = sum(totals[k] for k in ("converter (ldprep)", "ldprune", "joiners", "small tables (scripts)", "merge"))
    ours += sum(runs[1][3]["cut_regions"]) - scan  # in the same run as the scan's own time
    print("\n  PLINK's LD computation (windowed scan %.2f s, region r² %.2f s): %.2f s; this project's steps "
          "(converter, ldprune, joiners, cuts, tables, merge): %.2f s (%.2f of PLINK's)"
          % (scan, totals["PLINK: region r²"], plink, ours, ours / plink))
    print("  converter per region %.3f s against ldprune %.3f s (means)" % (
        totals["converter (ldprep)"] / regions, totals["ldprune"] / regions))
    print("  LD plot of a region: at most %.2f s; the report: %.2f s (with the overview %.2f s)" % (
        max(times.get("ld_plot", [0])), totals["report"], totals["report"] + totals["overview"]))
    print("  engine overhead: %.1f s of the wall time (wall less the jobs' %.1f core-seconds over %d cores)"
          % (wall - busy / args.cores, busy, args.cores))

    print("\nPeak memory per job kind (MB), by the number of regions:")
    kinds = sorted(set(runs[0][1]) | set(runs[1][1]))
    print("  %-32s %14s %14s" % ("job kind", "%d regions" % runs[0][0], "%d regions" % runs[1][0]))
    for kind in kinds:
        cells = ["%6.1f (%s jobs)" % (r[1][kind][1], r[1][kind][0]) if kind in r[1] else "-" for r in runs]
        print("  %-32s %14s %14s" % (kind, cells[0], cells[1]))


if __name__ == "__main__":
    main()
