#!/usr/bin/python3
"""Rule budget_region: a region's share of the slot budget, chosen by greedy
and exact maximum coverage (ldtag.chain.budget).

    budget_region.py --region NAME --folder DIR --logs DIR --allocation TABLE
        --time-limit S --populations TABLE

The region's number of tags is its row of the allocation table
(results/budget_allocation.tsv).
"""
import argparse
import sys

from ldtag import chain, files, populations


def main():
    parser = argparse.ArgumentParser(prog="budget_region.py", description=__doc__.split("\n\n")[0])
    for option in ("--region", "--folder", "--logs", "--allocation", "--time-limit", "--populations"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    row = next(r for r in files.read_table(args.allocation)[1] if r["region"] == args.region)
    try:
        chain.budget(
            args.region, args.folder, args.logs, row["tags"], args.time_limit, populations.names(args.populations)
        )
    except chain.Failed as e:
        sys.exit(str(e))


if __name__ == "__main__":
    main()
