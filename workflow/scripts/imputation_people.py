#!/usr/bin/python3
"""Rule imputation_people: who is imputed in which fold, and who is held out (ldtag.evaluation.people)."""
import argparse
import sys

from ldtag import evaluation, files


def main():
    parser = argparse.ArgumentParser(prog="imputation_people.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--populations", required=True, help="the populations table")
    parser.add_argument("--fam")
    parser.add_argument("--vcf")
    parser.add_argument("--folds", type=int, required=True)
    parser.add_argument("--holdout", required=True)
    parser.add_argument("--seed", type=int, required=True)
    args = parser.parse_args()
    try:
        evaluation.people(args)
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("imputation_people.py: %s" % e)


if __name__ == "__main__":
    main()
