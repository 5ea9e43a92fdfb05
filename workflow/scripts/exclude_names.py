"""SNPs whose names cannot pass through the programs.

A name is left out when it is missing ("."), longer than ldprune stores (29
characters), or given to more than one SNP of the genotypes: every SNP so
named is left out, since none of them could be told apart in the lists and
the tables. Writes a report (chromosome, position, name, reason) and the
names for PLINK's --exclude.
"""
import argparse
import collections

import formats


def excluded(bims):
    """(chromosome, position, name, reason) for each SNP left out, in file order."""
    snps = [(code, position, name) for path in bims for _, code, name, position in formats.bim(path)]
    counts = collections.Counter(name for _, _, name in snps)
    rows = []
    for chromosome, position, name in snps:
        reasons = []
        if name == ".":
            reasons.append("missing name")
        elif counts[name] > 1:
            reasons.append("name given to %d SNPs" % counts[name])
        if len(name) > formats.MAX_NAME:
            reasons.append("name longer than %d characters" % formats.MAX_NAME)
        if reasons:
            rows.append((chromosome, position, name, "; ".join(reasons)))
    return rows


def write(rows, report, names):
    formats.write_table(report, ("chromosome", "position", "name", "reason"), rows)
    with formats.written(names) as partial, open(partial, "w") as f:
        for name in dict.fromkeys(name for _, _, name, _ in rows):
            f.write(name + "\n")


def main():
    parser = argparse.ArgumentParser(prog="exclude_names.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--report", required=True, help="the table to write")
    parser.add_argument("--names", required=True, help="the names for PLINK's --exclude to write")
    parser.add_argument("bims", nargs="+", help="the genotypes' .bim files")
    args = parser.parse_args()
    try:
        rows = excluded(args.bims)
    except (OSError, formats.FormatError) as e:
        parser.exit(1, "exclude_names.py: %s\n" % e)
    write(rows, args.report, args.names)


if __name__ == "__main__":
    main()
