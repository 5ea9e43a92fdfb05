#!/usr/bin/python3
"""Rule target_refine: the second round's sets of tags chosen for
imputation, from the first round's imputation in the inner folds
(ldtag.target_steps).

    target_refine.py --candidates TABLE --chunks TABLE --sums DIR --sets DIR --r2 R --share S
        [--budget N] --pairs LD... --ladder TABLE... [--undesirable LIST] [--varying LIST...]
        --table TABLE
"""
import argparse
import sys

from ldtag import files, target_steps


def main():
    parser = argparse.ArgumentParser(prog="target_refine.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--candidates", required=True)
    target_steps.add_round_options(parser)
    try:
        target_steps.refine(**vars(parser.parse_args()))
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("target_refine.py: %s" % e)


if __name__ == "__main__":
    main()
