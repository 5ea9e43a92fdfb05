#!/usr/bin/python3
"""Rule vcf_import: a VCF as a PLINK fileset, and what the conversion left
out or named (ldtag.vcf).

    vcf_import.py --vcf FILE --prefix PREFIX --skipped TABLE --plink COMMAND
        --threads N --memory MB --log FILE

Sample ids are kept whole, half-calls become missing, multiallelic records
and records that are not SNPs are left out, and records without an ID are
named chromosome:position:allele:allele.
"""
import argparse

from ldtag import files, plink, vcf


def main():
    parser = argparse.ArgumentParser(prog="vcf_import.py", description=__doc__.split("\n\n")[0])
    for option in ("--vcf", "--prefix", "--skipped", "--plink", "--threads", "--memory", "--log"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    open(args.log, "w").close()
    arguments = ["--vcf", args.vcf, "--double-id", "--vcf-half-call", "missing", "--snps-only", "just-acgt"]
    arguments += ["--biallelic-only", "strict", "--set-missing-var-ids", "@:#:$1:$2", "--output-chr", "MT"]
    arguments += ["--make-bed", "--allow-no-sex", "--threads", args.threads, "--memory", args.memory]
    plink.main(lambda: plink.run(args.plink, args.prefix, ["bed", "bim", "fam"], arguments, args.log))
    try:
        vcf.write_skipped(args.skipped, vcf.scan(args.vcf))
    except files.FormatError as e:
        parser.exit(1, "vcf_import.py: %s\n" % e)


if __name__ == "__main__":
    main()
