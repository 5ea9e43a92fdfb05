"""What quality control did, per chromosome, and list names it touched.

Writes a table (chromosome, SNPs, excluded for their names, failing PLINK's
filters, passing, and with populations the SNPs that vary in each) and the
warnings: the records each VCF's conversion left out or named, the SNPs a
population's filters left out (with populations, all of them are listed in
one table, from each chromosome's), and list names that are not in the
genotypes or did not pass quality control.
"""
import argparse
import collections
import os

import formats
import inputs
import population_lists
import vcf

VCF_KINDS = {
    "multiallelic": "multiallelic record%s left out (PLINK takes two alleles)",
    "not_snp": "record%s that are not SNPs left out",
    "unnamed": "record%s without an ID named chromosome:position:allele:allele",
}


def names_of(bims):
    return [name for path in bims for _, _, name, _ in formats.bim(path)]


def counts_by_chromosome(bims, label):
    return collections.Counter(label(code) for path in bims for _, code, _, _ in formats.bim(path))


def count_lines(path):
    with open(path) as f:
        return sum(1 for line in f if line.strip())


def report(raw_bims, excluded_tsv, passed_bims, chromosomes, label, populations=()):
    """Rows of the report, one per chromosome, in genotype order; with
    populations, each row ends with the SNPs that vary in each."""
    raw = counts_by_chromosome(raw_bims, label)
    excluded = collections.Counter(label(row["chromosome"]) for row in formats.read_table(excluded_tsv)[1])
    rows = []
    for (chrom, _), path in zip(chromosomes, passed_bims):
        passed = sum(1 for _ in formats.bim(path))
        row = (chrom, raw[chrom], excluded[chrom], raw[chrom] - excluded[chrom] - passed, passed)
        prefix = path[: -len(".bim")]
        rows.append(row + tuple(count_lines("%s.%s.snps" % (prefix, p)) for p in populations))
    return rows


def vcf_warnings(items):
    """A warning per kind of record a VCF's conversion left out or named;
    items: VCF=TABLE texts."""
    warnings = []
    for item in items:
        path, table = item.split("=", 1)
        for kind, (records, first) in vcf.read_skipped(table).items():
            if records:
                warnings.append(
                    "vcf %s: %d %s, at %s%s"
                    % (
                        path,
                        records,
                        VCF_KINDS[kind] % ("" if records == 1 else "s"),
                        ", ".join(first),
                        ", ..." if records > len(first) else "",
                    )
                )
    return warnings


def population_drops(passed_bims, dropped_path):
    """With populations: every chromosome's table of the SNPs left out, as
    one, and a warning per filter that left out SNPs in some population."""
    rows = []
    for path in passed_bims:
        rows += formats.read_table(path[: -len(".bim")] + ".dropped.tsv")[1]
    formats.write_table(
        dropped_path, population_lists.DROPPED_COLUMNS, [[r[c] for c in population_lists.DROPPED_COLUMNS] for r in rows]
    )
    warnings = []
    for reason in (population_lists.MISSING, population_lists.HWE):
        names = [r["snp"] for r in rows if r["reason"] == reason]
        if not names:
            continue
        where = collections.Counter(p for r in rows if r["reason"] == reason for p in r["populations"].split(","))
        warnings.append(
            "%d SNP%s left out for %s in a population (%s): %s; see %s"
            % (
                len(names),
                " is" if len(names) == 1 else "s are",
                reason,
                ", ".join("%s %d" % item for item in where.items()),
                inputs.some_names(names),
                dropped_path,
            )
        )
    return warnings


def main():
    parser = argparse.ArgumentParser(prog="qc_report.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--raw", nargs="+", required=True, help="the genotypes' .bim files")
    parser.add_argument("--excluded", required=True, help="excluded_names.tsv")
    parser.add_argument("--passed", nargs="+", required=True, help="each chromosome's .bim after quality control")
    parser.add_argument("--chromosomes", nargs="+", required=True, help="the chromosomes' labels, in order")
    for key in inputs.LIST_KEYS:
        parser.add_argument("--" + key.replace("_", "-"), dest=key, help="the list the config names")
    parser.add_argument("--populations", nargs="+", default=[], help="the populations, when there are any")
    parser.add_argument("--dropped", help="with populations, the table of SNPs left out to write")
    parser.add_argument("--vcf-skipped", nargs="+", default=[], metavar="VCF=TABLE", help="vcf.py's tables")
    parser.add_argument("--report", required=True, help="the table to write")
    parser.add_argument("--warnings", required=True, help="the warnings to write")
    args = parser.parse_args()
    lists = {key: getattr(args, key) for key in inputs.LIST_KEYS}
    rows = report(
        args.raw,
        args.excluded,
        args.passed,
        [(c, None) for c in args.chromosomes],
        inputs.chromosome_label,
        args.populations,
    )
    columns = ("chromosome", "snps", "excluded_names", "failed_filters", "passed")
    formats.write_table(args.report, columns + tuple("varies_" + p for p in args.populations), rows)
    excluded = [row["name"] for row in formats.read_table(args.excluded)[1]]
    warnings = vcf_warnings(args.vcf_skipped)
    if args.populations:
        warnings += population_drops(args.passed, args.dropped)
    if excluded:
        warnings.append(
            "%d SNP%s left out for %s name%s (missing, given to several SNPs, or longer than %d "
            "characters): %s; see %s"
            % (
                len(excluded),
                " is" if len(excluded) == 1 else "s are",
                "its" if len(excluded) == 1 else "their",
                "" if len(excluded) == 1 else "s",
                formats.MAX_NAME,
                inputs.some_names(excluded),
                args.excluded,
            )
        )
    raw = set(names_of(args.raw))
    passed = set(names_of(args.passed))
    listed = {n for key in inputs.LIST_KEYS for n in inputs.list_names(lists, key)}
    warnings += inputs.list_warnings(lists, raw, "in the genotypes")
    # Names not in the genotypes at all are reported once, above.
    warnings += inputs.list_warnings(lists, passed | (listed - raw), "among the SNPs that passed quality control")
    with formats.written(args.warnings) as partial, open(partial, "w") as f:
        for line in warnings:
            f.write(line + "\n")


if __name__ == "__main__":
    main()
