"""A VCF as the workflow's conversion to PLINK sees it.

PLINK takes a SNP as two single-base alleles. The conversion leaves out the
records it cannot tag: multiallelic records (more than one ALT allele) and
records that are not SNPs (an allele of more than one base, or one that is
not A, C, G or T, such as "*" or "<DEL>"); a multiallelic record counts as
multiallelic only. A record whose ID is "." gets a name from its chromosome,
position and alleles. scan() reads the header's samples and the first five
columns and FORMAT of every record, and counts each kind with the first few
positions, and each chromosome's SNPs and those with genotypes (GT);
write_skipped() keeps these counts as a table (kind, records, first).
A .vcf.gz (gzip or bgzip) is read through gzip -dc.
"""
import collections
import gzip
import os
import re
import subprocess
from dataclasses import dataclass, field

from . import files
from .files import FormatError
from .genotypes import Chromosome, plink_chromosome

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
    snps: dict = field(default_factory=dict)  # chromosome code -> its SNPs of two alleles
    typed: dict = field(default_factory=dict)  # chromosome code -> those of them with genotypes (GT)


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
        with gzip.open(path, "rb") if is_gzip(path) else open(path, "rb") as f:
            if f.read(3) == b"BCF":
                raise FormatError(
                    "%s is a BCF file: convert it to a VCF (bcftools view -Oz -o file.vcf.gz %s)" % (path, path)
                )
        with open_text(path) as f:
            for number, line in enumerate(f, 1):
                if line.startswith("##"):
                    continue
                fields = line.rstrip("\r\n").split("\t")
                if tuple(fields[:8]) != HEADER:
                    raise FormatError(
                        "%s: line %d: expected the VCF header line #CHROM POS ID REF ALT QUAL FILTER INFO "
                        "(tab-separated), found %r" % (path, number, line[:60].rstrip("\r\n"))
                    )
                if len(fields) < 10:
                    raise FormatError("%s: the VCF holds no samples (no columns after INFO)" % path)
                return fields[9:]
    except (OSError, EOFError, UnicodeError) as e:
        raise FormatError("%s cannot be read as a VCF: %s" % (path, e))
    raise FormatError("%s: no #CHROM header line: not a VCF" % path)


def _columns(path):
    """The first five columns and FORMAT of every line, through gzip -dc and
    cut."""
    reader = 'gzip -dc -- "$1" | cut -f1-5,9' if is_gzip(path) else 'cut -f1-5,9 -- "$1"'
    return subprocess.Popen(
        ["bash", "-o", "pipefail", "-c", reader, "vcf.py", path],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        errors="surrogateescape",
    )


def _unsorted(path, number, what):
    return FormatError(
        "%s: line %d: %s: the VCF is not sorted by chromosome and position, as its conversion needs: sort it "
        "(bcftools sort -Oz -o sorted.vcf.gz %s)" % (path, number, what, path)
    )


def scan(path):
    """The samples, chromosomes and counts of a VCF; raises FormatError."""
    result = Scan(samples=samples(path))
    seen, last = set(), (None, 0)
    kinds = result.kinds
    proc = _columns(path)
    try:
        for number, line in enumerate(proc.stdout, 1):
            if line.startswith("#"):
                continue
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) < 5 or not fields[1].isdigit():
                raise FormatError(
                    "%s: line %d: expected a VCF record (chromosome, position, ID, REF, ALT, ...), found %r"
                    % (path, number, line[:60].rstrip("\r\n"))
                )
            chrom, pos, name, ref, alt = fields[:5]
            result.records += 1
            if chrom not in seen:
                seen.add(chrom)
                result.chromosomes.append(chrom)
                result.snps[chrom] = result.typed[chrom] = 0
            elif chrom != last[0]:
                raise _unsorted(path, number, "chromosome %s comes back after %s" % (chrom, last[0]))
            elif int(pos) < last[1]:
                raise _unsorted(path, number, "%s:%s follows %s:%d" % (chrom, pos, chrom, last[1]))
            last = (chrom, int(pos))
            where = "%s:%s" % (chrom, pos)
            if "," in alt:
                kinds["multiallelic"].add(where)
            elif len(ref) != 1 or ref not in BASES or len(alt) != 1 or alt not in BASES and alt != ".":
                kinds["not_snp"].add(where)
            else:
                result.snps[chrom] += 1
                result.typed[chrom] += len(fields) > 5 and fields[5].split(":")[0] == "GT"
                if name == ".":
                    kinds["unnamed"].add(where)
    finally:
        proc.stdout.close()
        error = proc.stderr.read()
        status = proc.wait()
    if status != 0:
        raise FormatError("%s cannot be read: %s" % (path, error.strip() or "exit status %d" % status))
    return result


def write_skipped(path, result):
    files.write_table(
        path,
        ("kind", "records", "first"),
        [(k, result.kinds[k].records, ",".join(result.kinds[k].first) or "-") for k in KINDS],
    )


def read_skipped(path):
    """kind -> (records, [first positions]) of a table write_skipped() wrote."""
    return {
        row["kind"]: (int(row["records"]), [] if row["first"] == "-" else row["first"].split(","))
        for row in files.read_table(path)[1]
    }


def imports(paths):
    """Name -> path of each VCF, in the given order; the name, made from the
    file's name, is that of its PLINK fileset (paths.VCF_FILESET)."""
    names = {}
    for path in paths:
        stem = os.path.basename(path)
        for suffix in (".gz", ".bgz", ".vcf"):
            if stem.endswith(suffix) and len(stem) > len(suffix):
                stem = stem[: -len(suffix)]
        stem = re.sub(r"[^A-Za-z0-9_.-]", "_", stem)
        name, number = stem, 1
        while name in names:
            number += 1
            name = "%s_%d" % (stem, number)
        names[name] = path
    return names


def _empty_chromosomes(path, found):
    """Problems: a chromosome of the VCF without a SNP of two alleles, or
    whose SNPs have no genotypes (no GT in FORMAT): quality control would
    leave it no SNP."""
    problems = []
    for chrom in found.chromosomes:
        if not HUMAN.match(chrom) or found.typed[chrom]:
            continue
        why = "SNP with two alleles" if not found.snps[chrom] else "genotypes (GT in FORMAT) for its SNPs"
        problems.append(
            "vcf %s: chromosome %s holds no %s, and the workflow needs at least one SNP on each chromosome: leave "
            "it out (bcftools view -t ^%s -Oz -o new.vcf.gz %s)" % (path, chrom, why, chrom, path)
        )
    return problems


def scan_all(vcfs, fileset_of):
    """The chromosomes of the VCFs (label -> Chromosome, in file order), each
    converted fileset's samples as PLINK keeps them whole, (id, id), and the
    problems found. `vcfs`: name -> path; fileset_of(name): the converted
    fileset's path."""
    chromosomes, people, problems = {}, {}, []
    for name, path in vcfs.items():
        fileset = fileset_of(name)
        try:
            found = scan(path)
        except FormatError as e:
            problems.append("vcf: %s" % e)
            continue
        unknown = [c for c in found.chromosomes if not HUMAN.match(c)]
        if unknown:
            problems.append(
                "vcf %s: chromosome code%s %s %s not one PLINK reads (1-26, X, Y, XY, MT, with or without "
                '"chr"): leave %s records out of the VCF'
                % (
                    path,
                    files.plural(len(unknown)),
                    files.some_names(unknown),
                    files.plural(len(unknown), "is", "are"),
                    files.plural(len(unknown), "its", "their"),
                )
            )
        if found.records == found.kinds["multiallelic"].records + found.kinds["not_snp"].records:
            problems.append("vcf %s holds no record that is a SNP with two alleles" % path)
        else:
            problems += _empty_chromosomes(path, found)
        spaced = [s for s in found.samples if not s or re.search(r"\s", s)]
        if spaced:
            problems.append("vcf %s: sample ids with white space cannot pass to PLINK: %r" % (path, spaced[0]))
        twice = [s for s, n in collections.Counter(found.samples).items() if n > 1]
        if twice:
            problems.append("vcf %s: sample %s is in the header more than once" % (path, twice[0]))
        spelled = {}  # label -> the code this VCF gives it
        for code in found.chromosomes:
            if HUMAN.match(code):
                label = plink_chromosome(code)
                known = chromosomes.get(label)
                if label in spelled:
                    problems.append(
                        "vcf %s: chromosome %s is in it as %r and as %r: give each chromosome once"
                        % (path, label, spelled[label], code)
                    )
                elif known is None:
                    chromosomes[label] = Chromosome(label, label, fileset)
                elif known.fileset != fileset:
                    other = next(n for n in vcfs if fileset_of(n) == known.fileset)
                    problems.append(
                        "chromosome %s is in %s and in %s: give each chromosome once" % (label, vcfs[other], path)
                    )
                spelled[label] = code
        people[fileset] = [(s, s) for s in found.samples]
    return chromosomes, people, problems
