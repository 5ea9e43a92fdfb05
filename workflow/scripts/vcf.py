#!/usr/bin/python3
"""A VCF as the workflow's conversion to PLINK sees it.

    vcf.py SKIPPED.tsv VCF

PLINK takes a SNP as two single-base alleles. The conversion leaves out the
records it cannot tag: multiallelic records (more than one ALT allele) and
records that are not SNPs (an allele of more than one base, or one that is
not A, C, G or T, such as "*" or "<DEL>"); a multiallelic record counts as
multiallelic only. A record whose ID is "." gets a name from its chromosome,
position and alleles. scan() reads the header's samples and the first five
columns of every record, and counts each kind with the first few positions;
the command line writes these counts as a table (kind, records, first).
A .vcf.gz (gzip or bgzip) is read through gzip -dc.
"""
import gzip
import re
import subprocess
import sys
from dataclasses import dataclass, field

import formats

SHOWN = 5  # positions kept of each kind
KINDS = ("multiallelic", "not_snp", "unnamed")
BASES = frozenset("ACGTacgt")
HEADER = ("#CHROM", "POS", "ID", "REF", "ALT", "QUAL", "FILTER", "INFO")
# Chromosome codes PLINK 1.9 reads for human data, with or without "chr".
HUMAN = re.compile(r"^(chr)?([1-9]|1\d|2[0-6]|X|Y|XY|M|MT)$", re.IGNORECASE)


@dataclass
class Kind:
    records: int = 0
    first: list = field(default_factory=list)

    def add(self, where):
        self.records += 1
        if len(self.first) < SHOWN:
            self.first.append(where)


@dataclass
class Scan:
    samples: list = field(default_factory=list)
    chromosomes: list = field(default_factory=list)  # codes, in file order
    records: int = 0
    kinds: dict = field(default_factory=lambda: {k: Kind() for k in KINDS})


def is_gzip(path):
    with open(path, "rb") as f:
        return f.read(2) == b"\x1f\x8b"


def open_text(path):
    if is_gzip(path):
        return gzip.open(path, "rt", encoding="utf-8", errors="surrogateescape")
    return open(path, encoding="utf-8", errors="surrogateescape")


def samples(path):
    """The sample ids of the #CHROM line; raises FormatError when the file
    has no such line before its first record, or no samples."""
    try:
        with open_text(path) as f:
            for number, line in enumerate(f, 1):
                if line.startswith("##"):
                    continue
                fields = line.rstrip("\r\n").split("\t")
                if tuple(fields[:8]) != HEADER:
                    raise formats.FormatError(
                        "%s: line %d: expected the VCF header line #CHROM POS ID REF ALT QUAL FILTER INFO "
                        "(tab-separated), found %r" % (path, number, line[:60].rstrip("\r\n"))
                    )
                if len(fields) < 10:
                    raise formats.FormatError("%s: the VCF holds no samples (no columns after INFO)" % path)
                return fields[9:]
    except (OSError, EOFError, UnicodeError) as e:
        raise formats.FormatError("%s cannot be read as a VCF: %s" % (path, e))
    raise formats.FormatError("%s: no #CHROM header line: not a VCF" % path)


def _columns(path):
    """The first five columns of every line, through gzip -dc and cut."""
    reader = 'gzip -dc -- "$1" | cut -f1-5' if is_gzip(path) else 'cut -f1-5 -- "$1"'
    return subprocess.Popen(
        ["bash", "-o", "pipefail", "-c", reader, "vcf.py", path],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        errors="surrogateescape",
    )


def scan(path):
    """The samples, chromosomes and counts of a VCF; raises FormatError."""
    result = Scan(samples=samples(path))
    seen = set()
    kinds = result.kinds
    proc = _columns(path)
    try:
        for number, line in enumerate(proc.stdout, 1):
            if line.startswith("#"):
                continue
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) < 5 or not fields[1].isdigit():
                raise formats.FormatError(
                    "%s: line %d: expected a VCF record (chromosome, position, ID, REF, ALT, ...), found %r"
                    % (path, number, line[:60].rstrip("\r\n"))
                )
            chrom, pos, name, ref, alt = fields[:5]
            result.records += 1
            if chrom not in seen:
                seen.add(chrom)
                result.chromosomes.append(chrom)
            where = "%s:%s" % (chrom, pos)
            if "," in alt:
                kinds["multiallelic"].add(where)
            elif len(ref) != 1 or ref not in BASES or len(alt) != 1 or alt not in BASES and alt != ".":
                kinds["not_snp"].add(where)
            elif name == ".":
                kinds["unnamed"].add(where)
    finally:
        proc.stdout.close()
        error = proc.stderr.read()
        status = proc.wait()
    if status != 0:
        raise formats.FormatError("%s cannot be read: %s" % (path, error.strip() or "exit status %d" % status))
    return result


def write_skipped(path, result):
    formats.write_table(
        path,
        ("kind", "records", "first"),
        [(k, result.kinds[k].records, ",".join(result.kinds[k].first) or "-") for k in KINDS],
    )


def read_skipped(path):
    """kind -> (records, [first positions]) of a table write_skipped() wrote."""
    return {
        row["kind"]: (int(row["records"]), [] if row["first"] == "-" else row["first"].split(","))
        for row in formats.read_table(path)[1]
    }


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: vcf.py SKIPPED.tsv VCF")
    try:
        write_skipped(sys.argv[1], scan(sys.argv[2]))
    except formats.FormatError as e:
        sys.exit("vcf.py: %s" % e)


if __name__ == "__main__":
    main()
