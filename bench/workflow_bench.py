#!/usr/bin/python3
"""The genome-wide workflow at full size: engine cost, growth, time per step
and memory per job.

    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF && cmake --build build-release -j2
    bench/workflow_bench.py [--bfile PREFIX | --simulate MB] [--cores 2] [--only engine growth steps populations whole]

engine: on a whole chromosome (by default the shared chromosome 10: 28,501
  SNPs, about 15 regions), prepared through ldprune (clustering_command null),
  the workflow's wall time against the same commands run from a plain shell
  loop, two regions at a time (PLINK's quality control, the windowed scan and
  the cuts, then per region PLINK's r², ldprep and ldprune, the large files
  removed), and against PLINK's commands alone; each measured alternately,
  the median of --runs.
growth: the wall time per region, prepared through ldprune, with 5 and with
  20 chromosomes, each a copy of the bundled part (4 regions) with its SNPs
  renamed, in one run.
steps: the whole workflow with ldcluster, three times in fresh folders:
  1. plainly, for the wall time and, from Snakemake's benchmark files, the
     time of every job, summed per step; the engine's overhead is the wall
     time less the jobs' time spread over the cores;
  2. with every program called through a wrapper that takes its peak memory
     from the kernel (wait4), while the workflow's Python scripts are sampled
     from /proc; the peak memory per job kind, and how much of the windowed
     scan's job is PLINK's;
  3. the same on the bundled part (4 regions), to show that no job's memory
     grows with the number of regions.
whole: the whole default workflow (ldcluster, coverage, LD plots, merge,
  overview, report) against the full plain loop: the same programs region by
  region, two at a time, with the coverage and the LD plot of each region;
  taken in turns, the median of --runs.
scan: the cut job's command (cut_chromosome.py: PLINK's windowed scan, then
  the cuts) against PLINK's scan alone with the same options, taken in
  turns on the same fileset, the median of --runs.
populations: the whole workflow on the chromosome's two populations (the
  samples' family ids name them: 494 CEU and 506 JPT in chromosome 10) as
  one run with populations, against each population alone: the wall time
  and the time per step, and each method's joint tags against the union of
  the two populations' own Minimum sets.
"""
import argparse
import collections
import glob
import os
import re
import statistics
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
    ("PLINK: quality control", ["qc", "population_samples", "population_filters"]),
    ("windowed LD scan and cuts", ["cut_chromosome"]),
    ("region: PLINK r², ldprep, ldprune", ["prepare_region"]),
    ("region: ldcluster, joiners, coverage", ["cluster_region"]),
    ("small tables (scripts)", ["exclude_names", "regions_table", "qc_report"]),
    ("merge", ["merge_results"]),
    ("coverage curve, its plot, tag VCFs", ["coverage_curve", "curve_plot", "tags_vcf"]),
    ("LD plots", ["ld_plot"]),
    ("overview", ["overview"]),
    ("report", ["report"]),
]
THREADS = {"cut_chromosome": 2}
SCRIPTS = os.path.join(ROOT, "workflow", "scripts")

# The workflow's commands up to ldprune from a plain shell loop, two regions
# at a time: $1 the fileset, $2 the folder, $3 the most SNPs per region, $4
# "plink" to run PLINK's commands only, or "full" to go on with ldcluster,
# the joiners, the coverage and the LD plot, as the whole workflow does.
LOOP = r"""set -euo pipefail
bfile=$1 out=$2 max=$3 only=${4:-}
cd "$out"
mkdir -p qc regions
plink1.9 --bfile "$bfile" --maf 0.01 --geno 0.05 --make-bed --allow-no-sex --threads 1 --out qc/chr > /dev/null
plink1.9 --bfile qc/chr --r2 --ld-window "$max" --ld-window-kb 1000000 --ld-window-r2 0.7999992 --allow-no-sex   --threads 2 --out qc/window > /dev/null
# The cuts from the scan; with "plink", only to know the regions, timed apart.
/usr/bin/python3 -c 'import sys; sys.path.insert(0, "SCRIPTS"); from ldtag import cuts, files
regions, pairs = cuts.cut(cuts.read_snps("qc/chr.bim"), ["qc/window.ld"], None, 0.8, int(sys.argv[1]), "1")
files.write_table("qc/regions.tsv", cuts.REGION_COLUMNS, regions)' "$max"
rm -f qc/window.ld
tail -n +2 qc/regions.tsv | cut -f 2,3,5 | xargs -P 2 -L 1 bash -c '
  mkdir -p "regions/$0" && cd "regions/$0"
  plink1.9 --bfile ../../qc/chr --from "$1" --to "$2" --r2 square bin --freq --make-just-bim --allow-no-sex     --threads 2 --out plink > /dev/null
  if [ -z "'"$only"'" ] || [ "'"$only"'" = full ]; then
    ldprep --bim plink.bim --freq plink.frq --ld plink.ld.bin --threshold 0.8
    ldprune
  fi
  if [ "'"$only"'" = full ]; then
    sed -n "s/^the [0-9]*th needed SNP (counting from 0) is: //p" ld_processed_temp.txt > needed.txt
    ldcluster --time-limit 60 --chromosome 1 --needed needed.txt --curve
    memberjoin1
    memberjoin2
    mkdir -p minimum && for f in members.txt out; do
      ln -sf ../Zentavor.result.Minimum.$f minimum/Zentavor.result.Greedy.$f; done
    (cd minimum && memberjoin1 && mv greedy_output.txt ../minimum_output.txt)
    /usr/bin/python3 -c "import sys; sys.path.insert(0, \"SCRIPTS\"); from ldtag import coverage
coverage.write(\".\", [\"greedy\", \"minimax\", \"minimum\"])"
    /usr/bin/python3 SCRIPTS/ld_plot.py . ld.png
  fi
  [ "'"$only"'" = plink ] || rm -f ld.txt ld_processed_temp.txt plink.ld.bin'
""".replace(
    "SCRIPTS", SCRIPTS
)

WRAPPER = r"""#!/usr/bin/python3
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
"""


def prepare(folder, bfile, extra=""):
    with open(os.path.join(folder, "config.yaml"), "w") as f:
        f.write("bfile: %s\n%s" % (bfile, extra))


def snakemake(folder, cores, path, env=None):
    start = time.monotonic()
    p = subprocess.run(
        [
            "snakemake",
            "-s",
            os.path.join(ROOT, "workflow", "Snakefile"),
            "--configfile",
            "config.yaml",
            "--cores",
            str(cores),
        ],
        cwd=folder,
        capture_output=True,
        text=True,
        env=dict(os.environ, PATH=path, **(env or {})),
    )
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


def loop(bfile, path, mode=""):
    """Wall time of the plain shell loop in a fresh folder; `mode`: "",
    "plink" or "full" (see LOOP)."""
    with tempfile.TemporaryDirectory() as folder:
        start = time.monotonic()
        p = subprocess.run(
            ["bash", "-c", LOOP, "loop", bfile, folder, "2000"] + ([mode] if mode else []),
            capture_output=True,
            text=True,
            env=dict(os.environ, PATH=path),
        )
        if p.returncode != 0:
            sys.exit("the shell loop failed:\n" + p.stderr[-3000:])
        return time.monotonic() - start


def prepared(bfile, cores, path):
    """Wall time of the workflow prepared through ldprune in a fresh folder,
    and its number of regions."""
    with tempfile.TemporaryDirectory() as folder:
        prepare(folder, bfile, "clustering_command: null\nplots: false\n")
        wall = snakemake(folder, cores, path)
        with open(os.path.join(folder, "results", "regions.tsv")) as f:
            return wall, sum(1 for _ in f) - 1


def engine(bfile, cores, path, runs):
    times = collections.defaultdict(list)
    regions = 0
    for _ in range(runs):
        times["loop"].append(loop(bfile, path))
        wall, regions = prepared(bfile, cores, path)
        times["workflow"].append(wall)
        times["plink"].append(loop(bfile, path, "plink"))
    loop_s, flow_s, plink_s = (statistics.median(times[k]) for k in ("loop", "workflow", "plink"))
    print(
        "Engine cost: %s, %d regions, prepared through ldprune, --cores %d, median of %d runs"
        % (os.path.basename(bfile), regions, cores, runs)
    )
    print("  %-58s %8.2f s" % ("the same commands from a plain shell loop, two regions at a time", loop_s))
    print("  %-58s %8.2f s  (%.2f x the loop)" % ("the workflow", flow_s, flow_s / loop_s))
    print(
        "  %-58s %8.2f s  (the workflow: %.2f x PLINK)"
        % ("PLINK alone (quality control, scan, every region's r²)", plink_s, flow_s / plink_s)
    )
    print(
        "  per run: loop %s; workflow %s; PLINK %s\n"
        % tuple(" ".join("%.2f" % t for t in times[k]) for k in ("loop", "workflow", "plink"))
    )


def whole(bfile, cores, path, runs):
    """The whole default workflow (ldcluster, coverage, LD plots, overview and
    report) against the full plain loop, taking turns, the median of `runs`."""
    times = collections.defaultdict(list)
    regions = 0
    for _ in range(runs):
        times["loop"].append(loop(bfile, path, "full"))
        with tempfile.TemporaryDirectory() as folder:
            prepare(folder, bfile)
            times["workflow"].append(snakemake(folder, cores, path))
            regions = len(open(os.path.join(folder, "results", "regions.tsv")).readlines()) - 1
    loop_s, flow_s = (statistics.median(times[k]) for k in ("loop", "workflow"))
    print(
        "Whole workflow: %s, %d regions, --cores %d, median of %d runs taken in turn"
        % (os.path.basename(bfile), regions, cores, runs)
    )
    print("  %-58s %8.2f s" % ("plain loop: the same programs, coverage and LD plots", loop_s))
    print(
        "  %-58s %8.2f s  (%.2f x the loop)"
        % ("the workflow, with the merge, overview and report", flow_s, flow_s / loop_s)
    )
    print(
        "  per run: loop %s; workflow %s\n"
        % tuple(" ".join("%.2f" % t for t in times[k]) for k in ("loop", "workflow"))
    )


def copies(folder, count):
    """`count` chromosomes, each a copy of the bundled part with its SNPs
    renamed; returns the filesets."""
    prefixes = []
    with open(PART + ".bim") as f:
        bim = [line.split("\t") for line in f]
    for k in range(1, count + 1):
        prefix = os.path.join(folder, "chr%d" % k)
        os.symlink(PART + ".bed", prefix + ".bed")
        os.symlink(PART + ".fam", prefix + ".fam")
        with open(prefix + ".bim", "w") as f:
            f.writelines("\t".join([str(k), "c%d_%s" % (k, fields[1])] + fields[2:]) for fields in bim)
        prefixes.append(prefix)
    return prefixes


def growth(cores, path):
    rows = []
    for count in (5, 20):
        with tempfile.TemporaryDirectory() as data, tempfile.TemporaryDirectory() as folder:
            prefixes = copies(data, count)
            with open(os.path.join(folder, "config.yaml"), "w") as f:
                f.write("bfile: [%s]\nclustering_command: null\nplots: false\n" % ", ".join(prefixes))
            wall = snakemake(folder, cores, path)
            with open(os.path.join(folder, "results", "regions.tsv")) as f:
                regions = sum(1 for _ in f) - 1
            rows.append((count, regions, wall))
    print("Growth: copies of the bundled part as chromosomes, prepared through ldprune, --cores %d" % cores)
    for count, regions, wall in rows:
        print("  %2d chromosomes, %3d regions: %6.1f s, %.3f s per region" % (count, regions, wall, wall / regions))
    per = [wall / regions for _, regions, wall in rows]
    print("  per region at 20 chromosomes: %.3f x that at 5\n" % (per[1] / per[0]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bfile", default=SHARED_CHR10, help="PLINK fileset of the full-size run")
    parser.add_argument("--cores", type=int, default=2)
    parser.add_argument("--runs", type=int, default=3, help="runs of the engine comparison")
    parser.add_argument("--only", nargs="*", default=["engine", "growth", "steps", "scan", "populations", "whole"])
    parser.add_argument(
        "--simulate",
        type=float,
        metavar="MB",
        help="instead of --bfile, a chromosome of MB Mb simulated with scrm under growth, 1000 people "
        "(bench/simulate.py, seed 1), kept in --data",
    )
    parser.add_argument("--data", help="folder for the simulated fileset (default: a temporary one)")
    args = parser.parse_args()
    if not os.path.exists(os.path.join(BUILD, "ldprune")):
        sys.exit(
            "build the programs first: cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release && "
            "cmake --build build-release -j2"
        )
    bfile = os.path.abspath(args.bfile)
    if args.simulate:
        bfile = simulated(args.simulate, args.data)
    path = BUILD + os.pathsep + os.environ["PATH"]
    if "engine" in args.only:
        engine(bfile, args.cores, path, args.runs)
    if "growth" in args.only:
        growth(args.cores, path)
    if "steps" in args.only:
        steps(bfile, args.cores, path)
    if "scan" in args.only:
        scan(bfile, args.runs)
    if "populations" in args.only:
        populations(bfile, args.cores, path)
    if "whole" in args.only:
        whole(bfile, args.cores, path, args.runs)


def scan(bfile, runs, max_snps=2000):
    """The cut job's command against PLINK's windowed scan alone, in turns:
    the job as the workflow runs it (no populations, 2 threads)."""
    window = ["--r2", "--ld-window", str(max_snps), "--ld-window-kb", "1000000", "--ld-window-r2", "0.7999992"]
    times = collections.defaultdict(list)
    with tempfile.TemporaryDirectory() as folder:
        table = os.path.join(folder, "populations.tsv")
        with open(table, "w") as f:
            f.write("population\tpeople\tkeep\nall\t0\t\n")
        os.makedirs(os.path.join(folder, "results", "qc"))
        job = [sys.executable, os.path.join(SCRIPTS, "cut_chromosome.py"), "--fileset", bfile, "--chromosome", "1"]
        job += ["--max-snps", str(max_snps), "--window-r2", "0.7999992", "--threshold", "0.8"]
        job += ["--populations", table, "--regions", "regions.tsv", "--pairs", "pairs.tsv", "--plink", "plink1.9"]
        job += ["--threads", "2", "--memory", "512", "--log", "cut.log"]
        alone = ["plink1.9", "--bfile", bfile, *window, "--allow-no-sex", "--threads", "2", "--memory", "512"]
        alone += ["--out", "alone"]
        for _ in range(runs):
            for kind, command in (("job", job), ("alone", alone)):
                start = time.monotonic()
                subprocess.run(command, cwd=folder, check=True, stdout=subprocess.DEVNULL)
                times[kind].append(time.monotonic() - start)
    job_s, alone_s = statistics.median(times["job"]), statistics.median(times["alone"])
    print("Scan and cuts: %s, --ld-window %d, median of %d runs in turns" % (os.path.basename(bfile), max_snps, runs))
    print("  the cut job %.2f s, PLINK's scan alone %.2f s: %.2fx" % (job_s, alone_s, job_s / alone_s))
    print(
        "  runs: job %s; alone %s\n"
        % (", ".join("%.2f" % t for t in times["job"]), ", ".join("%.2f" % t for t in times["alone"]))
    )


def simulated(length_mb, data):
    """The fileset of a simulated chromosome, made once in `data`."""
    data = os.path.abspath(data) if data else tempfile.mkdtemp(prefix="ldtag-sim")
    prefix = os.path.join(data, "sim%g" % length_mb)
    if not os.path.exists(prefix + ".bed"):
        start = time.monotonic()
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        import simulate

        simulate.chromosome(data, name="sim%g" % length_mb, length_mb=length_mb, people=1000, history="growth")
        print("Simulated %g Mb in %.0f s: %s\n" % (length_mb, time.monotonic() - start, prefix))
    return prefix


def populations(bfile, cores, path):
    """One population against two, and the joint tags against the union of
    each population's own Minimum set."""
    groups = collections.defaultdict(list)
    with open(bfile + ".fam") as f:
        for line in f:
            fid, iid = line.split()[:2]
            groups[fid.split(".")[0]].append("%s %s\n" % (fid, iid))
    names = sorted(groups)[:2]
    runs = {}
    with tempfile.TemporaryDirectory() as scratch:
        for name in names:
            with open(os.path.join(scratch, name + ".txt"), "w") as f:
                f.writelines(groups[name])
        for chosen in ([names[0]], [names[1]], names):
            folder = os.path.join(scratch, "+".join(chosen))
            os.makedirs(folder)
            extra = "populations:\n" + "".join("  %s: %s/%s.txt\n" % (n, scratch, n) for n in chosen)
            prepare(folder, bfile, extra)
            wall = snakemake(folder, cores, path)
            tags = {}
            for method in ("greedy", "minimax", "minimum"):
                with open(os.path.join(folder, "results", method + "_tag_snps.txt")) as f:
                    tags[method] = set(f.read().split())
            runs["+".join(chosen)] = (wall, job_times(folder), tags)
    print(
        "Populations: %s, %s (%s samples), --cores %d"
        % (os.path.basename(bfile), " and ".join(names), " and ".join(str(len(groups[n])) for n in names), cores)
    )
    keys = list(runs)
    print("  %-40s" % "step (s)" + "".join("%12s" % k for k in keys))
    print("  %-40s" % "wall time" + "".join("%12.1f" % runs[k][0] for k in keys))
    for step, rules in STEPS:
        print("  %-40s" % step + "".join("%12.1f" % sum(s for r in rules for s in runs[k][1].get(r, [])) for k in keys))
    union = runs[keys[0]][2]["minimum"] | runs[keys[1]][2]["minimum"]
    print(
        "\n  each alone, Minimum: %s; their union: %d"
        % (", ".join("%s %d" % (k, len(runs[k][2]["minimum"])) for k in keys[:2]), len(union))
    )
    for method in ("greedy", "minimax", "minimum"):
        joint = len(runs[keys[2]][2][method])
        print(
            "  joint %-8s %5d tags, %+.1f%% against the union"
            % (method, joint, 100.0 * (joint - len(union)) / len(union))
        )


def steps(bfile, cores, path):
    runs = [memory_run(PART, cores, path), memory_run(bfile, cores, path)]
    with tempfile.TemporaryDirectory() as folder:
        prepare(folder, bfile)
        wall = snakemake(folder, cores, path)
        rerun = snakemake(folder, cores, path)
        times = job_times(folder)
        regions = len(open(os.path.join(folder, "results", "regions.tsv")).readlines()) - 1
    print("Full run: %s, %d regions, --cores %d" % (os.path.basename(bfile), regions, cores))
    print(
        "  wall time %.1f s, %.3f s per region; a second run, which finds nothing to do, %.1f s\n"
        % (wall, wall / regions, rerun)
    )
    print("  %-38s %5s %9s %9s %9s" % ("step", "jobs", "total s", "mean s", "max s"))
    busy = 0.0
    totals = {}
    for step, rules in STEPS:
        t = [s for r in rules for s in times.get(r, [])]
        busy += sum(s * THREADS.get(r, 1) for r in rules for s in times.get(r, []))
        totals[step] = sum(t)
        print("  %-38s %5d %9.2f %9.3f %9.3f" % (step, len(t), sum(t), sum(t) / max(1, len(t)), max(t, default=0)))
    # The programs' own time, from the wrapper's run of the same chromosome.
    program = runs[1][2]
    scan, region_r2 = program["plink1.9 windowed LD"], program["plink1.9 region r²"]
    ours = sum(program[k] for k in ("ldprep", "ldprune", "ldcluster", "memberjoin1", "memberjoin2"))
    print(
        "\n  PLINK's LD computation (windowed scan %.2f s, region r² %.2f s): %.2f s; this project's programs "
        "(ldprep %.2f, ldprune %.2f, ldcluster %.2f, joiners %.2f s): %.2f s"
        % (
            scan,
            region_r2,
            scan + region_r2,
            program["ldprep"],
            program["ldprune"],
            program["ldcluster"],
            program["memberjoin1"] + program["memberjoin2"],
            ours,
        )
    )
    print("  cut placement (ldtag.cuts): %.2f s" % (sum(times.get("cut_chromosome", [])) - scan))
    print(
        "  LD plot of a region: at most %.2f s; the report: %.2f s (with the overview %.2f s)"
        % (max(times.get("ld_plot", [0])), totals["report"], totals["report"] + totals["overview"])
    )
    print(
        "  engine overhead: %.1f s of the wall time (wall less the jobs' %.1f core-seconds over %d cores)"
        % (wall - busy / cores, busy, cores)
    )

    print("\nPeak memory per job kind (MB), by the number of regions:")
    kinds = sorted(set(runs[0][1]) | set(runs[1][1]))
    print("  %-32s %14s %14s" % ("job kind", "%d regions" % runs[0][0], "%d regions" % runs[1][0]))
    for kind in kinds:
        cells = ["%6.1f (%s jobs)" % (r[1][kind][1], r[1][kind][0]) if kind in r[1] else "-" for r in runs]
        print("  %-32s %14s %14s" % (kind, cells[0], cells[1]))


if __name__ == "__main__":
    main()
