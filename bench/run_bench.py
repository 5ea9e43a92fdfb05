#!/usr/bin/env python3
"""Speed and memory of the three programs at full size, next to the I/O floor.

Generates deterministic inputs in a scratch directory, runs each program
several times and prints the median wall time and peak resident memory,
next to the I/O floor measured in the same run: the time to read the same
input bytes (cat) and write the same number of output bytes (dd), and the
ratio of the two.

    python3 bench/run_bench.py [--build DIR] [--runs N] [--only NAME ...]

Cases: full (2000 SNPs, all 1,999,000 pairs, 200 undesirable, 20 done),
extra (full plus 8 million ld.txt records naming SNPs outside the list),
selection (2000 SNPs, all pairs, 1000 undesirable SNPs each tagged by exactly
one distinct desirable SNP, no done SNPs: 1000 greedy picks), greedy and
minimax (10000 member records in about 3000 clusters).
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

N = 2000
LD_INPUTS = ["SNP_names.data", "ld.txt", "maf.txt", "weight.txt", "done.txt", "undesirable.txt"]
LD_OUTPUTS = ["ld_processed_temp.txt", "ld_processed.txt", "maf_processed.txt"]


def write_common(d, rng, thresholds):
    names = ["rs%d" % (1000000 + k) for k in range(N)]
    with open(os.path.join(d, "SNP_names.data"), "w") as f:
        f.write("SNP\tBP\tCHR10\n")
        f.writelines("%s\t%d\n" % (n, 100000000 + 500 * k) for k, n in enumerate(names))
    with open(os.path.join(d, "maf.txt"), "w") as f:
        f.writelines("%s %d %.4f\n" % (n, 100000000 + 500 * k, rng.uniform(0.01, 0.5)) for k, n in enumerate(names))
    with open(os.path.join(d, "weight.txt"), "w") as f:
        f.writelines("%s\t%s\n" % (n, t) for n, t in zip(names, thresholds))
    return names


def make_full(d, extra_records=0):
    rng = random.Random(1)
    thresholds = [rng.choice(["0.8"] * 8 + ["0.5", "0.9"]) for _ in range(N)]
    names = write_common(d, rng, thresholds)
    with open(os.path.join(d, "ld.txt"), "w") as f:
        for i in range(N):
            # r² decays with distance, so that nearby SNPs tag each other.
            f.write(
                "".join(
                    "%s %s %.6f\n" % (names[i], names[j], max(0.0, 1.0 - (j - i) / 40.0) * rng.random() ** 0.3)
                    for j in range(i + 1, N)
                )
            )
        outside = ["zz%d" % k for k in range(5000)]
        for start in range(0, extra_records, 100000):
            f.write(
                "".join(
                    "%s %s %.6f\n" % (rng.choice(outside), rng.choice(outside), rng.random())
                    for _ in range(min(100000, extra_records - start))
                )
            )
    picks = rng.sample(range(N), 220)
    with open(os.path.join(d, "undesirable.txt"), "w") as f:
        f.writelines(names[k] + "\n" for k in picks[:200])
    with open(os.path.join(d, "done.txt"), "w") as f:
        f.writelines(names[k] + "\n" for k in picks[200:])


def make_selection(d):
    # SNPs 0..999 are undesirable; SNP 1000+k alone tags SNP k. Nothing else
    # reaches an undesirable SNP's threshold of 0.8.
    rng = random.Random(2)
    names = write_common(d, rng, ["0.8"] * N)
    with open(os.path.join(d, "ld.txt"), "w") as f:
        for i in range(N):
            rows = []
            for j in range(i + 1, N):
                r2 = 0.95 if (i < 1000 and j == i + 1000) else rng.uniform(0.0, 0.7)
                rows.append("%s %s %.6f\n" % (names[i], names[j], r2))
            f.write("".join(rows))
    with open(os.path.join(d, "undesirable.txt"), "w") as f:
        f.writelines(names[k] + "\n" for k in range(1000))
    open(os.path.join(d, "done.txt"), "w").close()


def make_joiner(d, method):
    rng = random.Random(3)
    members, summary = [], ["Zentavor clustering result\n", "\n", "Cluster\tSize\tTagging SNP\tAvg. sim.\n"]
    k, c = 0, 0
    while k < 10000:
        size = min(rng.choice([1, 2, 3, 3, 4, 5]), 10000 - k)
        group = ["rs%d" % (2000000 + k + m) for m in range(size)]
        tag = rng.choice(group)
        for m, n in enumerate(group):
            flag = int(n == tag)
            if method == "Greedy":
                members.append(
                    "%s\t%d\t%d\t%d\t%.6f\t10\t%.6f\t%d\t1\n"
                    % (n, c, flag, 100000000 + 50 * (k + m), rng.random() / 2, rng.random(), size)
                )
            else:
                members.append(
                    "%s\t%d\t%d\t%.6f\t10\t%d\t%d\t%.6f\t%.6f\t1\n"
                    % (n, c, 100000000 + 50 * (k + m), rng.random() / 2, size, flag, rng.random(), rng.random())
                )
        summary.append("%d\t%d\t%s\t%.6f\n" % (c, size, tag, rng.random()))
        k += size
        c += 1
    header = "SNP\tCluster\tTag\tPosition\tMAF\tChromosome\tSim\tSize\tWeight\n"
    with open(os.path.join(d, "Zentavor.result.%s.members.txt" % method), "w") as f:
        f.write(header)
        f.writelines(members)
    with open(os.path.join(d, "Zentavor.result.%s.out" % method), "w") as f:
        f.writelines(summary)
    return c


def timed(cmd, cwd, stdout=subprocess.DEVNULL):
    start = time.perf_counter()
    status = subprocess.call(cmd, cwd=cwd, stdout=stdout, shell=isinstance(cmd, str))
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit("%s failed with status %d" % (cmd, status))
    return elapsed


def peak_memory_mb(program, cwd, stdout):
    """Peak resident memory of one run, as GNU time reports it."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.check_call(["/usr/bin/time", "-f", "%M", "-o", report.name, program], cwd=cwd, stdout=stdout)
        return int(report.read().split()[-1]) / 1024.0


def measure(program, d, inputs, outputs, runs, capture_stdout=False):
    """Runs the program and the I/O floor alternately, so both see the same machine."""

    def run_program():
        if capture_stdout:
            with open(os.path.join(d, "stdout.txt"), "w") as out:
                return timed([program], d, stdout=out)
        return timed([program], d)

    run_program()  # warm the page cache and create the outputs
    with open(os.devnull, "w") as sink:
        peak = peak_memory_mb(program, d, sink)
    all_outputs = outputs + (["stdout.txt"] if capture_stdout else [])
    out_bytes = sum(os.path.getsize(os.path.join(d, o)) for o in all_outputs)
    in_bytes = sum(os.path.getsize(os.path.join(d, i)) for i in inputs)
    floor_cmd = "cat %s > /dev/null && dd if=/dev/zero of=floor.out bs=1M count=%d iflag=count_bytes status=none" % (
        " ".join(inputs),
        out_bytes,
    )
    times, floors = [], []
    for _ in range(runs):
        times.append(run_program())
        floors.append(timed(floor_cmd, d))
    os.remove(os.path.join(d, "floor.out"))
    return statistics.median(times), peak, statistics.median(floors), in_bytes, out_bytes


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--build", default=os.path.join(here, "..", "build-release"))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--only", nargs="*", default=["full", "extra", "selection", "greedy", "minimax"])
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    scratch = tempfile.mkdtemp(prefix="ldtag-bench-")
    rows = []
    try:
        for case in args.only:
            d = os.path.join(scratch, case)
            os.mkdir(d)
            print("generating %s ..." % case, file=sys.stderr)
            if case in ("full", "extra"):
                make_full(d, 8000000 if case == "extra" else 0)
                r = measure(os.path.join(build, "ldprune"), d, LD_INPUTS, LD_OUTPUTS, args.runs)
            elif case == "selection":
                make_selection(d)
                r = measure(os.path.join(build, "ldprune"), d, LD_INPUTS, LD_OUTPUTS, args.runs)
            else:
                method = "Greedy" if case == "greedy" else "Minimax"
                make_joiner(d, method)
                program = "memberjoin1" if case == "greedy" else "memberjoin2"
                out = "greedy_output.txt" if case == "greedy" else "minimax_output.txt"
                inputs = ["Zentavor.result.%s.members.txt" % method, "Zentavor.result.%s.out" % method]
                r = measure(os.path.join(build, program), d, inputs, [out], args.runs, capture_stdout=True)
            rows.append((case,) + r)
            shutil.rmtree(d)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(
        "%-10s %10s %10s %10s %10s %9s %9s"
        % ("case", "input MB", "output MB", "median s", "floor s", "ratio", "peak MB")
    )
    for case, t, peak, floor, inb, outb in rows:
        print(
            "%-10s %10.1f %10.1f %10.3f %10.3f %9.2f %9.1f" % (case, inb / 1e6, outb / 1e6, t, floor, t / floor, peak)
        )


if __name__ == "__main__":
    main()
