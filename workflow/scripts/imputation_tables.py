#!/usr/bin/python3
"""Rule imputation_tables: the folds pooled: the per-SNP table and the summary (ldtag.evaluation.tables)."""
import argparse
import sys

from ldtag import evaluation, files


def main():
    parser = argparse.ArgumentParser(prog="imputation_tables.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--sets", required=True)
    parser.add_argument("--bim", nargs="+", required=True)
    parser.add_argument("--people", required=True)
    parser.add_argument("--chunks", required=True)
    parser.add_argument("--folds", nargs="+", required=True)
    parser.add_argument("--sums", required=True)
    parser.add_argument("--pairs", required=True)
    parser.add_argument("--groups", nargs="+", required=True)
    parser.add_argument("--threshold", type=float, required=True)
    parser.add_argument("--thresholds", nargs="?")
    parser.add_argument("--snps", required=True)
    parser.add_argument("--table", required=True)
    args = parser.parse_args()
    try:
        evaluation.tables(args)
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("imputation_tables.py: %s" % e)


if __name__ == "__main__":
    main()
