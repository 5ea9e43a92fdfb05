#!/usr/bin/python3
"""Rule target_candidates: the inner folds of the people not held out and
the candidate sets of tags chosen for imputation (ldtag.target_steps).

    target_candidates.py --bim BIM... --people TABLE [--curve TABLE] --freq FRQ... --pairs LD... --r2 R2
        --seed N [--budget N] [--done LIST] [--undesirable LIST] --sets DIR --folds DIR --table TABLE
"""
import argparse
import sys

from ldtag import files, target_steps


def main():
    parser = argparse.ArgumentParser(prog="target_candidates.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--bim", nargs="+", required=True)
    parser.add_argument("--people", required=True)
    parser.add_argument("--curve")
    parser.add_argument("--freq", nargs="+", required=True)
    parser.add_argument("--pairs", nargs="+", required=True)
    parser.add_argument("--r2", type=float, required=True)
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--budget", type=int)
    parser.add_argument("--done", nargs="?")
    parser.add_argument("--undesirable", nargs="?")
    for option in ("--sets", "--folds", "--table"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    try:
        target_steps.write_candidates(
            args.bim,
            args.people,
            args.curve,
            args.freq,
            args.seed,
            args.sets,
            args.folds,
            args.table,
            args.budget,
            args.done,
            args.undesirable,
            args.pairs,
            args.r2,
        )
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("target_candidates.py: %s" % e)


if __name__ == "__main__":
    main()
