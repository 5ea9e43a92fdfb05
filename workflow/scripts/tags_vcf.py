#!/usr/bin/python3
"""Each method's tags as a sites-only VCF, the file array design tools take.

    tags_vcf.py --bim QC.bim... [--code LABEL=CODE]... [--vcf VCF]... --tags METHOD=TAGS=OUT.vcf.gz...

Each record gives a tag's chromosome, position, name and two alleles, sorted
by chromosome (in the order of the .bim files) and position, compressed as
BGZF so that tabix indexes it. From VCF input, the chromosome, REF and ALT
are the VCF's own (the record the workflow took the SNP from); from PLINK
input, the chromosome is written as the user's .bim writes it (--code), REF
is PLINK's A2 allele and ALT its A1, marked PR (provisional reference, as
PLINK marks them: check them against the reference genome).
"""
import argparse
import os
import sys

import bgzf
import formats
import vcf_sites

PR = '##INFO=<ID=PR,Number=0,Type=Flag,Description="Provisional reference allele, may not be based on real reference genome">'


def bim_records(paths, codes):
    """name -> (chromosome order, position, chromosome, REF, ALT, INFO) from
    the .bim files: REF A2, ALT A1."""
    out = {}
    for order, path in enumerate(paths):
        label = os.path.basename(path)[3:-4]
        with open(path) as f:
            for line in f:
                fields = line.split()
                if fields:
                    a1, a2 = fields[4], fields[5]
                    out[fields[1]] = (
                        order,
                        int(fields[3]),
                        codes.get(label, fields[0]),
                        a2,
                        "." if a1 == "0" else a1,
                        "PR",
                    )
    return out


def vcf_records(paths, bims, wanted):
    """The records of `wanted` SNPs with the VCFs' chromosome, REF and ALT."""
    by_snp = bim_records(bims, {})
    sites = {}
    for bim in bims:
        sites.update(vcf_sites.bim_sites(bim))
    out = {}
    for path in paths:
        for snp, fields in vcf_sites.records(path, sites, columns=5):
            if snp in wanted and snp not in out:
                out[snp] = (by_snp[snp][0], int(fields[1]), fields[0], fields[3], fields[4], ".")
    return out


def write(path, tags, records, provisional):
    rows = sorted(records[t] + (t,) for t in tags)
    contigs = list(dict.fromkeys(r[2] for r in rows))
    with bgzf.written(path) as out:
        out.write("##fileformat=VCFv4.2\n##source=ldtag tags_vcf.py\n")
        out.write("".join("##contig=<ID=%s>\n" % c for c in contigs))
        out.write(PR + "\n" if provisional else "")
        out.write("#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\n")
        for _, position, chromosome, ref, alt, info, name in rows:
            out.write("%s\t%d\t%s\t%s\t%s\t.\t.\t%s\n" % (chromosome, position, name, ref, alt, info))


def main():
    parser = argparse.ArgumentParser(prog="tags_vcf.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--bim", nargs="+", required=True)
    parser.add_argument("--code", action="append", default=[], metavar="LABEL=CODE")
    parser.add_argument("--vcf", action="append", default=[])
    parser.add_argument("--tags", nargs="+", required=True, metavar="METHOD=TAGS=OUT")
    args = parser.parse_args()
    try:
        outputs = [item.split("=", 2) for item in args.tags]
        lists = {method: formats.tokens(tags) for method, tags, _ in outputs}
        wanted = {t for tags in lists.values() for t in tags}
        if args.vcf:
            records = vcf_records(args.vcf, args.bim, wanted)
        else:
            records = bim_records(args.bim, dict(item.split("=", 1) for item in args.code))
        for method, _, out in outputs:
            missing = [t for t in lists[method] if t not in records]
            if missing:
                raise formats.FormatError(
                    "%d tags of %s are not among the SNPs that passed quality control, such as %s"
                    % (len(missing), method, ", ".join(missing[:5]))
                )
            write(out, lists[method], records, not args.vcf)
    except (OSError, formats.FormatError) as e:
        sys.exit("tags_vcf.py: %s" % e)


if __name__ == "__main__":
    main()
