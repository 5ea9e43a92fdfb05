#!/usr/bin/python3
"""Rule merge_results: the genome-wide tables, read a region at a time
(ldtag.merge).

    merge_results.py --regions FILE --qc-warnings FILE --populations TABLE
        --methods METHOD... --outputs KEY=FILE... --log FILE
"""
import argparse

from ldtag import files, merge, populations


def main():
    parser = argparse.ArgumentParser(prog="merge_results.py", description=__doc__.split("\n\n")[0])
    for option in ("--regions", "--qc-warnings", "--populations", "--log"):
        parser.add_argument(option, required=True)
    parser.add_argument("--methods", nargs="+", required=True)
    parser.add_argument("--outputs", nargs="+", required=True, help="each output as KEY=FILE")
    args = parser.parse_args()
    files.log_to(args.log)
    outputs = files.key_files(args.outputs)
    try:
        merge.merge(args.regions, args.qc_warnings, outputs, args.methods, populations.names(args.populations))
    except (merge.MergeError, files.FormatError) as e:
        parser.exit(1, "ldtag: %s\n" % e)


if __name__ == "__main__":
    main()
