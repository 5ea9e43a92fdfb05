#!/usr/bin/python3
"""Rule merge_budget: the slot budget's genome-wide tables from every
region's share (ldtag.budget.write_tables).

    merge_budget.py --regions FILE --populations TABLE --allocation FILE --outputs KEY=FILE... --log FILE
"""
import argparse

from ldtag import budget, files, populations


def main():
    parser = argparse.ArgumentParser(prog="merge_budget.py", description=__doc__.split("\n\n")[0])
    for option in ("--regions", "--populations", "--allocation", "--log"):
        parser.add_argument(option, required=True)
    parser.add_argument("--outputs", nargs="+", required=True, help="each output as KEY=FILE")
    args = parser.parse_args()
    files.log_to(args.log)
    regions = files.read_table(args.regions)[1]
    budget.write_tables(regions, populations.names(args.populations), args.allocation, files.key_files(args.outputs))


if __name__ == "__main__":
    main()
