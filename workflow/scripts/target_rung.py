#!/usr/bin/python3
"""Rule target_rung: whether a set of any round of the tags chosen for
imputation is imputed in the inner folds (ldtag.target_steps).

    target_rung.py --candidates TABLE --name SET [--previous TABLE] --chunks TABLE --sums DIR
        --r2 R --share S [--varying LIST...] [--sets DIR --pairs LD... [--undesirable LIST]] --out TABLE
"""
import argparse
import sys

from ldtag import files, target_steps


def main():
    parser = argparse.ArgumentParser(prog="target_rung.py", description=__doc__.split("\n\n")[0])
    for option in ("--candidates", "--name", "--chunks", "--sums", "--out"):
        parser.add_argument(option, required=True)
    parser.add_argument("--previous")
    parser.add_argument("--varying", nargs="*", default=[])
    parser.add_argument("--sets")
    parser.add_argument("--pairs", nargs="*", default=[])
    parser.add_argument("--undesirable", nargs="?")
    parser.add_argument("--r2", type=float, required=True)
    parser.add_argument("--share", type=float, required=True)
    try:
        target_steps.rung(**vars(parser.parse_args()))
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("target_rung.py: %s" % e)


if __name__ == "__main__":
    main()
