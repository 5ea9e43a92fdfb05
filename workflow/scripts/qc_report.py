#!/usr/bin/python3
"""Rule qc_report: what quality control did per chromosome, and the warnings
about names and records it left out (ldtag.qc.write_report).

    qc_report.py --raw BIM... --chromosomes LABEL... --populations TABLE --lists JSON
        [--vcfs SKIPPED=VCF...] --report FILE --warnings FILE --log FILE

--lists holds each list key of the config and its path (or null), as JSON;
--vcfs pairs each VCF the run converted with its table of skipped records, as
SKIPPED=VCF (the VCF's path may hold any character).
"""
import argparse
import json

from ldtag import files, populations, qc


def main():
    parser = argparse.ArgumentParser(prog="qc_report.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--raw", nargs="+", required=True)
    parser.add_argument("--chromosomes", nargs="+", required=True)
    for option in ("--populations", "--lists", "--report", "--warnings", "--log"):
        parser.add_argument(option, required=True)
    parser.add_argument("--vcfs", nargs="*", default=[])
    args = parser.parse_args()
    files.log_to(args.log)
    qc.write_report(
        args.raw,
        args.chromosomes,
        populations.names(args.populations),
        json.loads(args.lists),
        {vcf: skipped for skipped, vcf in files.key_files(args.vcfs).items()},
        args.report,
        args.warnings,
    )


if __name__ == "__main__":
    main()
