#!/usr/bin/python3
"""Rule target_select: the tags chosen for imputation, from both rounds'
imputation in the inner folds (ldtag.target).

    target_select.py --candidates TABLE... --chunks TABLE --sums DIR --sets DIR
        --r2 R --share S [--budget N] --pairs LD... [--undesirable LIST] --out LIST --table TABLE
"""
import argparse
import sys

from ldtag import files, target


def main():
    parser = argparse.ArgumentParser(prog="target_select.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--candidates", nargs="+", required=True)
    parser.add_argument("--out", required=True)
    target.add_round_options(parser)
    args = parser.parse_args()
    try:
        target.select(
            args.candidates,
            args.chunks,
            args.sums,
            args.sets,
            args.r2,
            args.share,
            args.budget,
            args.pairs,
            args.out,
            args.table,
            args.undesirable,
        )
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("target_select.py: %s" % e)


if __name__ == "__main__":
    main()
