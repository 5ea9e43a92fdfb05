#!/usr/bin/python3
"""Rule exclude_names: the SNPs whose names cannot pass through the programs
(ldtag.qc.excluded), as a report and as a list for PLINK's --exclude.

    exclude_names.py --bims BIM... --report FILE --names FILE --log FILE
"""
import argparse

from ldtag import files, qc


def main():
    parser = argparse.ArgumentParser(prog="exclude_names.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--bims", nargs="+", required=True)
    for option in ("--report", "--names", "--log"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    files.log_to(args.log)
    qc.write_excluded(args.bims, args.report, args.names)


if __name__ == "__main__":
    main()
