#!/usr/bin/python3
"""Rule imputation_sets: the sets of tags judged (ldtag.evaluation.sets)."""
import argparse
import sys

from ldtag import evaluation, files


def pair(text):
    name, _, value = text.partition("=")
    if not value:
        raise argparse.ArgumentTypeError("expected NAME=VALUE, not %r" % text)
    return name, value


def main():
    parser = argparse.ArgumentParser(prog="imputation_sets.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--bim", nargs="+", required=True)
    parser.add_argument("--methods", type=pair, nargs="*", default=[])
    parser.add_argument("--given", nargs="?")
    parser.add_argument("--folder", required=True)
    parser.add_argument("--table", required=True)
    parser.add_argument("--all-tags", required=True)
    parser.add_argument("--folds", type=int, required=True)
    parser.add_argument("--holdout", required=True)
    args = parser.parse_args()
    try:
        evaluation.sets(args)
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("imputation_sets.py: %s" % e)


if __name__ == "__main__":
    main()
