#!/usr/bin/python3
"""Rule tags_vcf: each method's tags as a sites-only VCF for array design tools
(ldtag.array_vcf).

    tags_vcf.py --bim QC.bim... [--code LABEL=CODE]... [--vcf VCF]... --tags METHOD=TAGS=OUT.vcf.gz...
"""
import argparse
import sys

from ldtag import array_vcf, files


def main():
    parser = argparse.ArgumentParser(prog="tags_vcf.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--bim", nargs="+", required=True)
    parser.add_argument("--code", action="append", default=[], metavar="LABEL=CODE")
    parser.add_argument("--vcf", action="append", default=[])
    parser.add_argument("--tags", nargs="+", required=True, metavar="METHOD=TAGS=OUT")
    args = parser.parse_args()
    try:
        outputs = [item.split("=", 2) for item in args.tags]
        array_vcf.write_all(outputs, args.bim, args.vcf, dict(item.split("=", 1) for item in args.code))
    except (OSError, files.FormatError) as e:
        sys.exit("tags_vcf.py: %s" % e)


if __name__ == "__main__":
    main()
