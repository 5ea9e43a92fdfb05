#!/usr/bin/python3
"""The LD plot's speed: ld_plot.py on a region of 2000 SNPs (the band view)
and one of 100 SNPs (the full triangle).

    /usr/bin/python3 bench/plot_bench.py [--build DIR] [--runs N] [--against REV]

The regions come from a dense region simulated with scrm (2000 SNPs in 1 Mb,
500 people; bench/simulate.py) with a done SNP every 97 and an undesirable
SNP every 41, through the workflow's own chain (ldtag.chain's prepare and
cluster: PLINK's r², ldprep, ldprune, ldcluster and the joiners),
so that the plot reads what it reads in a run: PLINK's 32 MB matrix and
every method's tables. Prints, per region, the median wall time, processor
time (user and system) and peak resident memory of the command the workflow
runs (`python3 ld_plot.py FOLDER OUT.png`, a fresh process each time), and
where the wall time goes inside it: the imports, reading the region, drawing
and writing the PNG (medians of as many runs of their own). With
--against, ld_plot.py as it was at a git revision is timed too, the two
measured alternately. Needs the programs built (--build), plink1.9 and
scrm.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from simulate import simulate  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
SCRIPTS = os.path.join(ROOT, "workflow", "scripts")
sys.path.insert(0, SCRIPTS)
from ldtag import chain, paths  # noqa: E402

# One process: the time of each part of a plot, printed as JSON.
SPLIT = """
import json, sys, time
start = time.perf_counter()
sys.path.insert(0, sys.argv[1])
import ld_plot
imported = time.perf_counter()
region = ld_plot.read_region(sys.argv[2])
read = time.perf_counter()
lay, image = ld_plot.render(region)
drawn = time.perf_counter()
ld_plot.save(image, sys.argv[3])
saved = time.perf_counter()
print(json.dumps({"imports": imported - start, "reading": read - imported, "drawing": drawn - read,
                  "PNG": saved - drawn}))
"""


def run(cmd, cwd=None, env=None):
    p = subprocess.run(cmd, cwd=cwd, env=env, capture_output=True, text=True)
    if p.returncode != 0:
        sys.exit("%s failed:\n%s" % (" ".join(cmd), p.stderr[-2000:]))
    return p.stdout


def make_region(scratch, bfile, name, first, last, env):
    """A region folder of SNPs first..last (lines of the .bim, from 0), as a
    workflow run leaves it before its plot."""
    with open(bfile + ".bim") as f:
        names = [line.split()[1] for line in f]
    lists = os.path.join(scratch, "lists")
    os.makedirs(lists, exist_ok=True)
    for list_name, every in (("done.txt", 97), ("undesirable.txt", 41)):
        with open(os.path.join(lists, list_name), "w") as f:
            f.writelines(s + "\n" for s in names[every - 1 :: every])
    folder = os.path.join(scratch, name)
    logs = os.path.join(scratch, "logs", name)
    os.makedirs(folder)
    os.makedirs(logs)
    outputs = [os.path.join(folder, file) for file in paths.PREPARED.values()]
    old_path = os.environ["PATH"]
    os.environ["PATH"] = env["PATH"]
    try:
        lists_options = [
            "--done",
            os.path.join(lists, "done.txt"),
            "--undesirable",
            os.path.join(lists, "undesirable.txt"),
        ]
        chain.prepare(
            name, outputs, logs, bfile, names[first], names[last], "plink1.9", 1, 512, "0.8", lists_options, None
        )
        clustering = ("ldcluster", ["--time-limit", "10", "--chromosome", "1"])
        chain.cluster(name, folder, logs, clustering, ["greedy", "minimax", "minimum"], [])
    except chain.Failed as e:
        sys.exit(str(e))
    finally:
        os.environ["PATH"] = old_path
    return folder


def timed(cmd):
    """Wall time and processor time (user and system) in seconds and peak
    resident memory in MB of one run."""
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        sys.exit("%s failed:\n%s" % (" ".join(cmd), p.stderr.read().decode()[-2000:]))
    p.stderr.close()
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def old_scripts(scratch, revision):
    """ld_plot.py and formats.py as they were at `revision`, in a folder."""
    folder = os.path.join(scratch, "at-" + revision)
    os.mkdir(folder)
    for name in ("ld_plot.py", "formats.py"):
        text = run(["git", "-C", ROOT, "show", "%s:workflow/scripts/%s" % (revision, name)])
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)
    return folder


def bench(folder, scripts, runs):
    """Per script: median wall and processor time and peak memory of whole
    runs, taken in turn; and the current script's parts."""
    times = {label: [] for label in scripts}
    cpu = {label: [] for label in scripts}
    peaks = {label: 0.0 for label in scripts}
    for _ in range(runs):
        for label, script_folder in scripts.items():
            out = os.path.join(folder, "bench_%s.png" % label.replace(" ", "_"))
            wall, processor, peak = timed([sys.executable, os.path.join(script_folder, "ld_plot.py"), folder, out])
            times[label].append(wall)
            cpu[label].append(processor)
            peaks[label] = max(peaks[label], peak)
    parts = [
        json.loads(run([sys.executable, "-c", SPLIT, SCRIPTS, folder, os.path.join(folder, "split.png")]))
        for _ in range(runs)
    ]
    split = {key: statistics.median(p[key] for p in parts) for key in parts[0]}
    whole = {label: (statistics.median(times[label]), statistics.median(cpu[label]), peaks[label]) for label in scripts}
    return whole, split


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build-release"), help="where the programs are")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--against", metavar="REV", help="also time ld_plot.py as it was at this git revision")
    args = ap.parse_args()
    env = dict(os.environ, PATH=os.path.abspath(args.build) + os.pathsep + os.environ["PATH"])
    scratch = tempfile.mkdtemp(prefix="plot-bench-")
    try:
        print("simulating a dense region and running the chain ...", file=sys.stderr)
        os.mkdir(os.path.join(scratch, "sim"))
        bfile = simulate(os.path.join(scratch, "sim"))
        regions = [
            ("2000 SNPs, band", make_region(scratch, bfile, "band2000", 0, 1999, env)),
            ("100 SNPs, full", make_region(scratch, bfile, "full100", 500, 599, env)),
        ]
        scripts = {"now": SCRIPTS}
        if args.against:
            scripts[args.against] = old_scripts(scratch, args.against)
        print("\nld_plot.py, median of %d runs: wall time, processor time (user + system), peak memory" % args.runs)
        for name, folder in regions:
            whole, split = bench(folder, scripts, args.runs)
            print(
                "%-16s %s"
                % (
                    name,
                    "   ".join("%s: %.3f s, %.3f s, %.0f MB" % (label, t, c, m) for label, (t, c, m) in whole.items()),
                )
            )
            print("%-16s now, inside: %s" % ("", ", ".join("%s %.3f s" % (k, v) for k, v in split.items())))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
