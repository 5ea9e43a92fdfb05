#!/usr/bin/python3
"""Rule population_filters: PLINK's filters on one population's samples, each
writing the SNPs that pass it: within max_missing, passing the HWE test, and
with a MAF that reaches min_maf there (the SNPs that vary there).

    population_filters.py --bfile PREFIX --chr CODE --keep FILE --exclude FILE
        --out PREFIX [--geno X] [--hwe P] [--maf M] [--remove HELD_OUT] --plink COMMAND --threads N
        --memory MB --log FILE

Writes PREFIX.<filter>.snplist for each filter (missing_ok, hwe_ok,
varies); a filter that removes every SNP gives an empty list.
"""
import argparse
import os

from ldtag import paths, plink


def main():
    parser = argparse.ArgumentParser(prog="population_filters.py", description=__doc__.split("\n\n")[0])
    for option in ("--bfile", "--chr", "--keep", "--exclude", "--out", "--plink", "--threads", "--memory", "--log"):
        parser.add_argument(option, required=True)
    for option in ("--geno", "--hwe", "--maf"):
        parser.add_argument(option)
    parser.add_argument("--remove", nargs="?", help="people held out, whom quality control leaves out")
    args = parser.parse_args()
    open(args.log, "w").close()
    common = ["--bfile", args.bfile, "--chr", args.chr, "--keep", args.keep, "--make-founders"]  # see qc.py
    common += ["--remove", args.remove] if args.remove else []
    if os.path.getsize(args.exclude):
        common += ["--exclude", args.exclude]
    filters = {"missing_ok": ("--geno", args.geno), "hwe_ok": ("--hwe", args.hwe), "varies": ("--maf", args.maf)}
    for kind in paths.FILTER_KINDS:
        option, value = filters[kind]
        chosen = [option, value] if value is not None else []
        arguments = common + chosen + ["--write-snplist", "--allow-no-sex"]
        arguments += ["--threads", args.threads, "--memory", args.memory]
        prefix = "%s.%s" % (args.out, kind)
        plink.main(lambda: plink.run(args.plink, prefix, ["snplist"], arguments, args.log, optional=["snplist"]))


if __name__ == "__main__":
    main()
