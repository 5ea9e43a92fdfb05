"""SNPs whose names cannot pass through the programs.

A name is left out when it is missing ("."), longer than ldprune stores (29
characters), or given to more than one SNP of the genotypes: every SNP so
named is left out, since none of them could be told apart in the lists and
the tables. Writes a report (chromosome, position, name, reason) and the
names for PLINK's --exclude.
"""
import collections

MAX_NAME = 29


def excluded(bims):
    """(chromosome, position, name, reason) for each SNP left out, in file order."""
    snps = []
    for path in bims:
        with open(path) as f:
            for line in f:
                fields = line.split()
                if fields:
                    snps.append((fields[0], fields[3], fields[1]))
    counts = collections.Counter(name for _, _, name in snps)
    rows = []
    for chromosome, position, name in snps:
        reasons = []
        if name == ".":
            reasons.append("missing name")
        elif counts[name] > 1:
            reasons.append("name given to %d SNPs" % counts[name])
        if len(name) > MAX_NAME:
            reasons.append("name longer than %d characters" % MAX_NAME)
        if reasons:
            rows.append((chromosome, position, name, "; ".join(reasons)))
    return rows


def write(rows, report, names):
    with open(report, "w") as f:
        f.write("chromosome\tposition\tname\treason\n")
        for row in rows:
            f.write("\t".join(row) + "\n")
    with open(names, "w") as f:
        for name in dict.fromkeys(name for _, _, name, _ in rows):
            f.write(name + "\n")


if "snakemake" in globals():
    write(excluded(snakemake.input.bims), snakemake.output.report, snakemake.output.names)
