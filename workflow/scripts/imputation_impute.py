#!/usr/bin/python3
"""Rule imputation_impute: a set's tags typed in a fold's people, imputed by
Beagle from the fold's reference, and the fold's sums for the chunk's core
SNPs (ldtag.evaluation.score).

    imputation_impute.py --reference VCF --truth VCF --tags LIST --people people.tsv
        --core FIRST LAST --out SUMS.tsv --work DIR --beagle COMMAND --heap MB --threads N
        --seed N [--map FILE] --log FILE --times FILE [--keep] --chunk NAME --fold NAME --set NAME

The target is the fold's true genotypes at the tags only (bcftools). With
fewer than two tags in the chunk, Beagle cannot run: the tags count as
typed and the other SNPs as not imputed. The times file gives each step's
wall, user and system seconds: mask, beagle, score.
"""
import argparse
import os
import resource
import shlex
import shutil
import subprocess
import sys
import time
from types import SimpleNamespace

from ldtag import evaluation, files


def timed(times, name, step):
    """Runs step(), appending "name wall user system" (children and this
    process) to the times file."""
    before = [resource.getrusage(who) for who in (resource.RUSAGE_CHILDREN, resource.RUSAGE_SELF)]
    start = time.perf_counter()
    result = step()
    after = [resource.getrusage(who) for who in (resource.RUSAGE_CHILDREN, resource.RUSAGE_SELF)]
    user = sum(a.ru_utime - b.ru_utime for a, b in zip(after, before))
    system = sum(a.ru_stime - b.ru_stime for a, b in zip(after, before))
    with open(times, "a") as f:
        f.write("%s %.3f %.3f %.3f\n" % (name, time.perf_counter() - start, user, system))
    return result


def main():
    parser = argparse.ArgumentParser(prog="imputation_impute.py", description=__doc__.split("\n\n")[0])
    for option in ("--reference", "--truth", "--tags", "--people", "--out", "--work", "--beagle", "--log", "--times"):
        parser.add_argument(option, required=True)
    for option in ("--heap", "--threads", "--seed", "--chunk", "--fold", "--set"):
        parser.add_argument(option, required=True)
    parser.add_argument("--core", type=int, nargs=2, required=True)
    parser.add_argument("--map", nargs="?")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    work = args.work
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    open(args.times, "w").close()
    log = open(args.log, "w")
    target = os.path.join(work, "target.vcf.gz")
    mask = ["bcftools", "view", "-i", "ID=@" + args.tags, args.truth, "-Oz", "-o", target]
    timed(args.times, "mask", lambda: subprocess.run(mask, stderr=log, check=True))
    records = subprocess.run(["bcftools", "view", "-H", target], capture_output=True, check=True).stdout.count(b"\n")
    imputed = os.path.join(work, "imputed")
    if records >= 2:
        command = shlex.split(args.beagle) + ["ref=" + args.reference, "gt=" + target, "out=" + imputed]
        command += ["nthreads=" + args.threads, "seed=" + args.seed] + (["map=" + args.map] if args.map else [])
        env = dict(os.environ, JAVA_TOOL_OPTIONS="-Xmx%sm" % args.heap)
        status = timed(args.times, "beagle", lambda: subprocess.run(command, stdout=log, stderr=log, env=env))
        if status.returncode != 0:
            log.close()
            with open(args.log, errors="replace") as f:
                end = f.read().splitlines()[-5:]
            sys.exit(
                "ldtag: Beagle failed imputing chunk %s, fold %s, set %s; the end of %s:\n%s"
                % (args.chunk, args.fold, args.set, args.log, "\n".join("  " + line for line in end))
            )
    else:
        with open(args.times, "a") as f:
            f.write("beagle 0 0 0\n")
        log.write(
            "fewer than 2 tags of %s in chunk %s, and Beagle needs 2: the tags count as typed, and the other SNPs "
            "as not imputed (r² 0)\n" % (args.set, args.chunk)
        )
    log.close()
    dosages = imputed + ".vcf.gz" if records >= 2 else None
    score = SimpleNamespace(
        truth=args.truth,
        imputed=dosages,
        typed_only=dosages is None,
        tags=args.tags,
        people=args.people,
        core=args.core,
        out=args.out,
    )
    try:
        timed(args.times, "score", lambda: evaluation.score(score))
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("imputation_impute.py: %s" % e)
    if args.keep and dosages:
        os.replace(dosages, work + ".imputed.vcf.gz")
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
