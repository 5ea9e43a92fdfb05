#!/usr/bin/python3
"""Rule target_select: the tags chosen for imputation, from every round's
imputation in the inner folds (ldtag.target_steps).

    target_select.py --candidates TABLE... --chunks TABLE --sums DIR --sets DIR --r2 R --share S
        [--budget N] --pairs LD... --ladder TABLE... [--undesirable LIST] [--varying LIST...]
        --out LIST --table TABLE
"""
import argparse
import sys

from ldtag import files, target_steps


def main():
    parser = argparse.ArgumentParser(prog="target_select.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--candidates", nargs="+", required=True)
    parser.add_argument("--out", required=True)
    target_steps.add_round_options(parser)
    try:
        target_steps.select(**vars(parser.parse_args()))
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("target_select.py: %s" % e)


if __name__ == "__main__":
    main()
