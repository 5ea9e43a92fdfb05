#!/usr/bin/python3
"""Rule prepare_region: a region's chain up to ldprune, in its folder
(ldtag.chain.prepare).

    prepare_region.py --region NAME --logs DIR --bfile PREFIX --regions TABLE
        --plink COMMAND --threads N --memory MB --threshold T
        [--thresholds FILE] [--done FILE] [--undesirable FILE]
        [--population NAME --samples KEEP_FILE --snps SNP_LIST] --outputs FILE...

The region's first and last SNP come from the regions table; its folder is
that of the outputs, which are the files the chain leaves there. With
--population, the chain runs on that population's samples and the SNPs that
vary there.
"""
import argparse
import os
import sys

from ldtag import chain, files


def main():
    parser = argparse.ArgumentParser(prog="prepare_region.py", description=__doc__.split("\n\n")[0])
    for option in ("--region", "--logs", "--bfile", "--regions", "--plink", "--threshold"):
        parser.add_argument(option, required=True)
    parser.add_argument("--threads", required=True)
    parser.add_argument("--memory", required=True)
    for option in ("--thresholds", "--done", "--undesirable"):
        parser.add_argument(option, nargs="?")
    parser.add_argument("--outputs", nargs="+", required=True)
    for option in ("--population", "--samples", "--snps"):
        parser.add_argument(option)
    args = parser.parse_args()
    row = next(r for r in files.read_table(args.regions)[1] if r["region"] == args.region)
    lists = []
    for option in ("thresholds", "done", "undesirable"):
        if getattr(args, option):
            lists += ["--" + option, os.path.abspath(getattr(args, option))]
    population = (args.population, args.samples, args.snps) if args.population else None
    try:
        chain.prepare(
            args.region,
            args.outputs,
            args.logs,
            args.bfile,
            row["first_snp"],
            row["last_snp"],
            args.plink,
            args.threads,
            args.memory,
            args.threshold,
            lists,
            population,
        )
    except chain.Failed as e:
        sys.exit(str(e))


if __name__ == "__main__":
    main()
