"""Each method's tags as a sites-only VCF, the file array design tools take.

Each record gives a tag's chromosome, position, name and two alleles, sorted
by chromosome (in the order of the .bim files) and position, compressed as
BGZF so that tabix indexes it. From VCF input, the chromosome, REF and ALT
are the VCF's own (the record the workflow took the SNP from); from PLINK
input, the chromosome is written as the user's .bim writes it (--code), REF
is PLINK's A2 allele and ALT its A1, marked PR (provisional reference, as
PLINK marks them: check them against the reference genome).
"""
import os

from . import bgzf, files, vcf_sites

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


def write_all(outputs, bims, vcfs, codes):
    """Each method's VCF: `outputs` lists (method, its tag list, its VCF);
    records from the VCFs when given, else from the .bim files with each
    chromosome's code (`codes`). Raises FormatError for a tag that did not
    pass quality control."""
    lists = {method: files.tokens(tags) for method, tags, _ in outputs}
    wanted = {t for tags in lists.values() for t in tags}
    records = vcf_records(vcfs, bims, wanted) if vcfs else bim_records(bims, codes)
    for method, _, out in outputs:
        missing = [t for t in lists[method] if t not in records]
        if missing:
            raise files.FormatError(
                "%d tags of %s are not among the SNPs that passed quality control, such as %s"
                % (len(missing), method, ", ".join(missing[:5]))
            )
        write(out, lists[method], records, not vcfs)
