#!/usr/bin/python3
"""Rule qc: one chromosome's SNPs that pass quality control, as a PLINK
fileset (ldtag.qc).

    qc.py --bfile PREFIX --chr CODE --chromosome LABEL --exclude FILE --out PREFIX
        [--maf M] [--geno X] [--hwe P] --populations TABLE [--remove HELD_OUT]
        --plink COMMAND --threads N --memory MB --log FILE

Without populations, PLINK's filters on all samples, without the names left
out. With populations (the table names them), the SNPs that pass each
population's filters (population_filters.py) in every population and vary in
at least one, on the populations' samples; and per population the SNPs that
vary there.
"""
import argparse
import os

from ldtag import paths, plink, populations, qc


def main():
    parser = argparse.ArgumentParser(prog="qc.py", description=__doc__.split("\n\n")[0])
    for option in ("--bfile", "--chr", "--chromosome", "--exclude", "--out", "--plink", "--threads", "--memory"):
        parser.add_argument(option, required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--populations", required=True)
    parser.add_argument("--remove", nargs="?", help="people held out, whom quality control leaves out")
    for option in ("--maf", "--geno", "--hwe"):
        parser.add_argument(option)
    args = parser.parse_args()
    open(args.log, "w").close()
    arguments = ["--bfile", args.bfile, "--chr", args.chr] + (["--remove", args.remove] if args.remove else [])
    names = populations.names(args.populations)
    if names:
        qc.write_combined(args.bfile + ".bim", args.chr, args.exclude, args.chromosome, names)
        arguments += ["--keep", paths.KEEP_ALL, "--extract", paths.QC_KEPT.format(chrom=args.chromosome)]
    else:
        for option in ("maf", "geno", "hwe"):
            if getattr(args, option) is not None:
                arguments += ["--" + option, getattr(args, option)]
        if os.path.getsize(args.exclude):
            arguments += ["--exclude", args.exclude]
    # Parents named in the .fam but not kept would make their children
    # non-founders, whom PLINK leaves out of every frequency and r²: every
    # PLINK run that measures them keeps its people, then makes founders.
    arguments += ["--make-founders", "--make-bed", "--allow-no-sex", "--threads", args.threads, "--memory", args.memory]
    plink.main(lambda: run(args, arguments))


def run(args, arguments):
    """Runs PLINK's filters; when they leave no SNP, says what to do."""
    try:
        plink.run(args.plink, args.out, ["bed", "bim", "fam"], arguments, args.log)
    except plink.Failed as e:
        if not any(words in str(e) for words in plink.NONE_LEFT):
            raise
        raise plink.Failed(
            "ldtag: no SNP of chromosome %s passes quality control (min_maf, max_missing, hwe_p, with "
            "populations in every population, or the SNPs left out for their names: results/qc/excluded_names.tsv), "
            "and the workflow needs at least one on each chromosome: leave the chromosome out of the genotypes "
            "(plink --not-chr %s, or for a VCF bcftools view -t ^ and the VCF's own name of chromosome %s), or loosen "
            "those keys.\n%s" % (args.chromosome, args.chr, args.chromosome, e)
        ) from None


if __name__ == "__main__":
    main()
