"""The records of a user's VCF that are the SNPs the workflow kept.

The workflow's conversion names a record without an ID after its chromosome,
position and alleles, and PLINK writes a chromosome's code in its own way;
so a record is matched to a SNP of the quality-controlled .bim by chromosome
(as PLINK reads it), position and alleles, and by its ID when it has one.
A .bim allele "0" (a SNP that does not vary) matches any allele.
"""
import collections
import subprocess

from . import files, vcf
from .genotypes import plink_chromosome  # one label for a .bim's 23 and a VCF's chrX


def bim_sites(path):
    """(label, position) -> [(name, alleles)] of a quality-controlled .bim."""
    sites = collections.defaultdict(list)
    with open(path) as f:
        for line in f:
            fields = line.split()
            if fields:
                label = plink_chromosome(fields[0])
                alleles = {a for a in fields[4:6] if a != "0"}
                sites[(label, int(fields[3]))].append((fields[1], alleles))
    return sites


def match(sites, fields):
    """The SNP name of a record (its fields from CHROM on), or None."""
    if len(fields) < 5 or not fields[1].isdigit():
        return None
    label = plink_chromosome(fields[0])
    name, ref, alt = fields[2], fields[3], fields[4]
    candidates = sites.get((label, int(fields[1])), ())
    if name == ".":  # the name the conversion gave it, never that of another record at its site
        made = "%s:%s:%s:%s" % ((fields[0], fields[1]) + tuple(sorted((ref, alt))))
        if any(snp == made for snp, _ in candidates):
            return made
        named = "%s:%s:" % (fields[0], fields[1])
        candidates = [(snp, alleles) for snp, alleles in candidates if snp.startswith(named)]
    for snp, alleles in candidates:
        if (name == snp or name == ".") and alleles <= {ref, alt}:
            return snp
    return None


def records(path, sites, columns=None):
    """(SNP name, fields) of each record of the VCF that matches a SNP of
    `sites`; with `columns` (e.g. 5), only the first columns are read, through
    cut."""
    for fields in lines(path, columns):
        snp = match(sites, fields)
        if snp is not None:
            yield snp, fields


def names(path):
    """The names the workflow's conversion gives the SNP records of a VCF:
    the ID, or when it has none chromosome:position:allele:allele, the
    alleles in sorted order, as PLINK's --set-missing-var-ids '@:#:$1:$2'."""
    out = set()
    for fields in lines(path, 5):
        chrom, position, name, ref, alt = fields[:5]
        if "," in alt or len(ref) != 1 or ref not in vcf.BASES or len(alt) != 1 or alt not in vcf.BASES:
            continue
        out.add(name if name != "." else "%s:%s:%s:%s" % ((chrom, position) + tuple(sorted((ref, alt)))))
    return out


def lines(path, columns=None):
    """The fields of each record of a VCF; with `columns`, the first ones
    only."""
    if columns:
        reader = 'gzip -dc -- "$1" | cut -f1-%d' % columns if vcf.is_gzip(path) else 'cut -f1-%d -- "$1"' % columns
        proc = subprocess.Popen(
            ["bash", "-o", "pipefail", "-c", reader, "vcf_sites.py", path],
            stdout=subprocess.PIPE,
            text=True,
            errors="surrogateescape",
        )
        text = proc.stdout
    else:
        proc, text = None, vcf.open_text(path)
    try:
        for line in text:
            if not line.startswith("#"):
                yield line.rstrip("\r\n").split("\t")
    finally:
        text.close()
        if proc is not None and proc.wait() != 0:
            raise files.FormatError("%s cannot be read" % path)
