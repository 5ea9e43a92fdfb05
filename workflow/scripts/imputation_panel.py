#!/usr/bin/python3
"""Rule imputation_panel: the people's genotypes at the SNPs that passed quality control, from the user's VCF (ldtag.evaluation.panel)."""
import argparse
import sys

from ldtag import evaluation, files


def main():
    parser = argparse.ArgumentParser(prog="imputation_panel.py", description=__doc__.split("\n\n")[0])
    for option in ("--vcf", "--bim", "--people", "--out", "--phasing"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    try:
        evaluation.panel(args)
    except (OSError, ValueError, files.FormatError) as e:
        sys.exit("imputation_panel.py: %s" % e)


if __name__ == "__main__":
    main()
