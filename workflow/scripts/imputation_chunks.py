#!/usr/bin/python3
"""Rule imputation_chunks: each chromosome's chunks: a core, scored, and flanks Beagle reads too (ldtag.evaluation.chunks)."""
import argparse
import sys

from ldtag import evaluation, files


def main():
    parser = argparse.ArgumentParser(prog="imputation_chunks.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--bim", nargs="+", required=True)
    parser.add_argument("--chunk-mb", type=float, required=True)
    parser.add_argument("--flank-mb", type=float, required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    try:
        evaluation.chunks(args)
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("imputation_chunks.py: %s" % e)


if __name__ == "__main__":
    main()
