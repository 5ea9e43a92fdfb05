"""The genotypes as PLINK filesets: their .bim, .fam and .bed files.

bim() and samples() read the text files line by line, checking each line's
fields; check_bed() checks that a .bed has the size its .bim and .fam give;
scan() reads the filesets a config names into their chromosomes, SNP names
and samples; region_fileset() copies a run of consecutive SNPs out of a
fileset.
"""
import collections
import functools
import mmap
import os
import re
from dataclasses import dataclass

from . import files
from .files import FormatError

BED_MAGIC = b"\x6c\x1b\x01"  # PLINK 1's binary genotypes, SNP-major
# The chromosome codes PLINK reads for human data: 0 (unplaced), 1-26 (01-09
# too), X, Y, XY and MT, with or without "chr".
PLINK_CODE = re.compile(r"^(chr)?(0?[0-9]|1\d|2[0-6]|0?X|Y|XY|M|MT)$", re.IGNORECASE)
# A .bim's third field as PLINK reads it: what starts as a number does.
CENTIMORGANS = re.compile(r"[-+]?(\d|\.\d|inf|nan)", re.IGNORECASE)
NAMED = {"23": "X", "24": "Y", "25": "XY", "26": "MT", "M": "MT"}  # the codes PLINK writes as names


@dataclass
class Chromosome:
    label: str  # the code without a leading "chr", as file and region names use it
    code: str  # the code as the .bim file writes it, for PLINK's --chr
    fileset: str  # path of the .bed/.bim/.fam without extension


def chromosome_label(code):
    return code[3:] if code.lower().startswith("chr") and len(code) > 3 else code


@functools.lru_cache(maxsize=None)  # a few codes, each asked of every SNP
def plink_chromosome(code):
    """The chromosome PLINK reads a code as, as it writes it with
    --output-chr MT: "chr" and leading zeros dropped, 23 to 26 and M as X,
    Y, XY and MT, letters in capitals; so also the label of a VCF's
    chromosome in its converted fileset. A code PLINK does not read is its
    own."""
    if not PLINK_CODE.match(code):
        return code
    number = chromosome_label(code).upper().lstrip("0") or "0"
    return NAMED.get(number, number)


def bim(path):
    """(line number, chromosome code, name, position) of each SNP of a PLINK
    .bim file, in file order."""
    with open(path, "rb") as f:
        for number, raw in enumerate(f, 1):
            fields = raw.decode("utf-8", errors="surrogateescape").split()
            if not fields:
                continue
            if len(fields) != 6:
                raise FormatError(
                    "%s: line %d: expected 6 fields (chromosome, SNP, cM, position, allele 1, "
                    "allele 2), found %d" % (path, number, len(fields))
                )
            if not CENTIMORGANS.match(fields[2]):
                raise FormatError(
                    "%s: line %d: genetic position %r of SNP %s is not a number (0 when unknown)"
                    % (path, number, fields[2], fields[1])
                )
            if not re.fullmatch(r"-?\d+", fields[3]):
                raise FormatError(
                    "%s: line %d: position %r of SNP %s is not a whole number" % (path, number, fields[3], fields[1])
                )
            yield number, fields[0], fields[1], fields[3]


def samples(fam):
    """(family id, sample id) of each person of a .fam file; each line needs
    its six fields."""
    people = []
    with open(fam, "rb") as f:
        for number, line in enumerate(f, 1):
            fields = line.decode("utf-8", errors="surrogateescape").split()
            if not fields:
                continue
            if len(fields) != 6:
                raise FormatError(
                    "%s: line %d: expected 6 fields (family, person, father, mother, sex, phenotype), "
                    "found %d" % (fam, number, len(fields))
                )
            people.append((fields[0], fields[1]))
    return people


def parents(fam):
    """(family id, sample id) -> that person's father and mother, each as a
    (family id, sample id), of each person of a .fam file."""
    out = {}
    with open(fam, "rb") as f:
        for line in f:
            fields = line.decode("utf-8", errors="surrogateescape").split()
            if len(fields) == 6:
                out[(fields[0], fields[1])] = ((fields[0], fields[2]), (fields[0], fields[3]))
    return out


def children(parents, among):
    """The people of `among` whose father and mother are both among them.
    The workflow runs PLINK with --make-founders after it keeps a set of
    people, which makes founders of all others, and PLINK measures LD and
    allele frequencies in founders alone."""
    kept = set(among)
    return [p for p in among if p in parents and parents[p][0] in kept and parents[p][1] in kept]


def check_bed(prefix, snps, people):
    """Why a .bed is not PLINK 1's SNP-major file of `snps` x `people`, or
    None."""
    path = prefix + ".bed"
    size = os.path.getsize(path)
    with open(path, "rb") as f:
        magic = f.read(3)
    if magic != BED_MAGIC:
        return "%s is not a PLINK 1 binary genotype file in SNP-major order (its first bytes are %s)" % (
            path,
            magic.hex(" ") or "missing",
        )
    expected = 3 + snps * ((people + 3) // 4)
    if size != expected:
        return (
            "%s holds %d bytes, but %s.bim lists %d SNPs and %s.fam %d people, which take %d bytes: the three "
            "files do not belong together" % (path, size, prefix, snps, prefix, people, expected)
        )
    return None


def scan(prefixes):
    """The chromosomes of the filesets (label -> Chromosome, in file order),
    every SNP name, each fileset's samples, and the problems found in them;
    raises FormatError for a line that cannot be read."""
    chromosomes, names, problems, people = {}, set(), [], {}
    spelled = {}  # the chromosome PLINK reads -> its Chromosome
    for prefix in prefixes:
        if os.path.normpath(prefix) in map(os.path.normpath, people):
            problems.append("bfile lists %s twice: give each fileset once" % prefix)
            continue
        path = prefix + ".bim"
        snps, unknown = 0, []
        for number, code, name, _ in bim(path):
            snps += 1
            names.add(name)
            label, read_as = chromosome_label(code), plink_chromosome(code)
            known = spelled.get(read_as)
            if known is None:
                if not re.match(r"^[A-Za-z0-9_.-]+$", label):
                    problems.append("%s: line %d: chromosome code %r cannot name files" % (path, number, code))
                    continue
                if not PLINK_CODE.match(code):
                    unknown.append(code)
                chromosomes[label] = spelled[read_as] = Chromosome(label, code, prefix)
            elif known.fileset != prefix or known.code != code:
                problems.append(
                    "chromosome %s is in %s.bim as %r and in %s as %r: give each chromosome once"
                    % (read_as, known.fileset, known.code, path, code)
                )
                spelled[read_as] = Chromosome(label, code, prefix)
        if unknown:
            problems.append(
                '%s: chromosome code%s that PLINK does not read (0-26, X, Y, XY, MT, with or without "chr"): %s; '
                "keep only the chromosomes it reads (plink --bfile %s --allow-extra-chr --chr 0-26,X,Y,XY,MT "
                "--make-bed --out NEW)" % (path, files.plural(len(unknown)), files.some_names(unknown), prefix)
            )
        people[prefix] = samples(prefix + ".fam")
        twice = [" ".join(p) for p, n in collections.Counter(people[prefix]).items() if n > 1]
        if twice:
            problems.append(
                "%s.fam: %d %s listed more than once (%s): give each family and person ID once, as PLINK's "
                "--keep and the imputation need"
                % (prefix, len(twice), "person is" if len(twice) == 1 else "people are", files.some_names(twice))
            )
        bed = check_bed(prefix, snps, len(people[prefix]))
        if bed:
            problems.append(bed)
    return chromosomes, names, people, problems


def _line_start(bim, name, start=0):
    """Where the .bim line of SNP `name` begins, from byte `start` on, or -1.
    The name is the line's second field: tab-separated, as PLINK writes."""
    key = b"\t" + name.encode(errors="surrogateescape") + b"\t"
    at = bim.find(key, start)
    while at >= 0:
        begin = bim.rfind(b"\n", 0, at) + 1
        if bim.find(b"\t", begin, at) < 0:
            return begin
        at = bim.find(key, at + 1)
    return -1


def _count_lines(bim, end, block=1 << 20):
    """The lines of a .bim before byte `end`, counted a block at a time."""
    return sum(bim[k : min(k + block, end)].count(b"\n") for k in range(0, end, block))


def region_fileset(bfile, first, last, prefix):
    """Writes PREFIX.bed and PREFIX.bim, the SNPs from `first` to `last` of
    the fileset BFILE, and links PREFIX.fam to its .fam. BFILE is as PLINK
    writes it: a SNP per .bim line, tab-separated, names unique. The SNPs
    are found in the .bim by name and read as byte ranges, so the cost
    hardly grows with the chromosome (PLINK's --from/--to reads the whole
    .bim, and takes every SNP in the range of positions). Returns the
    region's .bim lines; raises FormatError or OSError."""
    with open(bfile + ".fam", "rb") as f:
        people = sum(1 for line in f if line.strip())
    width = (people + 3) // 4  # bytes of one SNP in the .bed
    with open(bfile + ".bim", "rb") as f:
        if os.fstat(f.fileno()).st_size == 0:
            raise FormatError("%s.bim is empty" % bfile)
        with mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as bim:
            begin = _line_start(bim, first)
            last_line = _line_start(bim, last, max(begin, 0))
            if begin < 0 or last_line < 0:
                raise FormatError("%s.bim: no SNP runs from %s to %s" % (bfile, first, last))
            end = bim.find(b"\n", last_line) + 1 or len(bim)
            lines = bim[begin:end].rstrip(b"\n").split(b"\n")
            before = _count_lines(bim, begin)
    with open(bfile + ".bed", "rb") as f, open(prefix + ".bed", "wb") as out:
        if f.read(3) != BED_MAGIC:
            raise FormatError("%s.bed is not a PLINK 1 binary genotype file in SNP-major order" % bfile)
        out.write(BED_MAGIC)
        f.seek(3 + before * width)
        left = len(lines) * width
        while left and (block := f.read(min(left, 1 << 20))):
            out.write(block)
            left -= len(block)
    if left:
        raise FormatError("%s.bed is shorter than its .bim and .fam need" % bfile)
    with open(prefix + ".bim", "wb") as f:
        f.writelines(line + b"\n" for line in lines)
    if os.path.lexists(prefix + ".fam"):
        os.remove(prefix + ".fam")
    os.symlink(os.path.abspath(bfile + ".fam"), prefix + ".fam")
    return [line.decode("utf-8", errors="surrogateescape") for line in lines]
