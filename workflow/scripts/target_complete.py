#!/usr/bin/python3
"""Rule target_complete: the third round's sets of tags chosen for
imputation, from the first two rounds' imputation in the inner folds
(ldtag.target_steps).

    target_complete.py --candidates TABLE... --chunks TABLE --sums DIR --sets DIR --r2 R --share S
        --pairs LD... --ladder TABLE... [--undesirable LIST] [--varying LIST...] --table TABLE

Only without a budget: within one the choice takes no set filled by
estimate, so there is no third round.
"""
import argparse
import sys

from ldtag import files, target_steps


def main():
    parser = argparse.ArgumentParser(prog="target_complete.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--candidates", nargs="+", required=True)
    target_steps.add_round_options(parser)
    options = vars(parser.parse_args())
    try:
        if options.pop("budget") is not None:
            raise ValueError("there is no third round within a budget")
        target_steps.complete(**options)
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("target_complete.py: %s" % e)


if __name__ == "__main__":
    main()
