#!/usr/bin/python3
"""Rule coverage_curve: the genome-wide greedy order of tags and the SNPs
they capture as the tags grow (results/coverage_curve.tsv), and with a slot
budget, its share per region (ldtag.budget).

    coverage_curve.py --regions FILE --populations TABLE --curve FILE
        [--max-tags N --allocation FILE] --log FILE
"""
import argparse

from ldtag import budget, files, populations


def main():
    parser = argparse.ArgumentParser(prog="coverage_curve.py", description=__doc__.split("\n\n")[0])
    for option in ("--regions", "--populations", "--curve", "--log"):
        parser.add_argument(option, required=True)
    parser.add_argument("--max-tags", type=int)
    parser.add_argument("--allocation")
    args = parser.parse_args()
    files.log_to(args.log)
    regions = files.read_table(args.regions)[1]
    orders = budget.write_curve(regions, populations.names(args.populations), args.curve)
    if args.max_tags is not None:
        try:
            note = budget.write_allocation(regions, orders, args.max_tags, args.allocation)
        except budget.BudgetError as e:
            parser.exit(1, "ldtag: %s\n" % e)
        if note:
            parser.exit(0, "ldtag: %s\n" % note)


if __name__ == "__main__":
    main()
