"""The genotypes as PLINK filesets: their .bim, .fam and .bed files.

bim() and samples() read the text files line by line, checking each line's
fields; check_bed() checks that a .bed has the size its .bim and .fam give;
scan() reads the filesets a config names into their chromosomes, SNP names
and samples.
"""
import os
import re
from dataclasses import dataclass

from .files import FormatError

BED_MAGIC = b"\x6c\x1b\x01"  # PLINK 1's binary genotypes, SNP-major


@dataclass
class Chromosome:
    label: str  # the code without a leading "chr", as file and region names use it
    code: str  # the code as the .bim file writes it, for PLINK's --chr
    fileset: str  # path of the .bed/.bim/.fam without extension


def chromosome_label(code):
    return code[3:] if code.lower().startswith("chr") and len(code) > 3 else code


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
    for prefix in prefixes:
        path = prefix + ".bim"
        snps = 0
        for number, code, name, _ in bim(path):
            snps += 1
            names.add(name)
            label = chromosome_label(code)
            known = chromosomes.get(label)
            if known is None:
                if not re.match(r"^[A-Za-z0-9_.-]+$", label):
                    problems.append("%s: line %d: chromosome code %r cannot name files" % (path, number, code))
                    continue
                chromosomes[label] = Chromosome(label, code, prefix)
            elif known.fileset != prefix or known.code != code:
                problems.append(
                    "chromosome %s is in %s.bim as %r and in %s as %r: give each chromosome once"
                    % (label, known.fileset, known.code, path, code)
                )
                chromosomes[label] = Chromosome(label, code, prefix)
        people[prefix] = samples(prefix + ".fam")
        bed = check_bed(prefix, snps, len(people[prefix]))
        if bed:
            problems.append(bed)
    return chromosomes, names, people, problems
