"""What quality control did, per chromosome, and list names it touched.

Writes a table (chromosome, SNPs, excluded for their names, failing PLINK's
filters, passing) and the warnings about list names that are not in the
genotypes or did not pass quality control.
"""
import argparse
import collections

import formats
import inputs


def names_of(bims):
    return [name for path in bims for _, _, name, _ in formats.bim(path)]


def counts_by_chromosome(bims, label):
    return collections.Counter(label(code) for path in bims for _, code, _, _ in formats.bim(path))


def report(raw_bims, excluded_tsv, passed_bims, chromosomes, label):
    """Rows of the report, one per chromosome, in genotype order."""
    raw = counts_by_chromosome(raw_bims, label)
    excluded = collections.Counter(label(row["chromosome"]) for row in formats.read_table(excluded_tsv)[1])
    rows = []
    for (chrom, _), path in zip(chromosomes, passed_bims):
        passed = sum(1 for _ in formats.bim(path))
        rows.append((chrom, raw[chrom], excluded[chrom], raw[chrom] - excluded[chrom] - passed, passed))
    return rows


def main():
    parser = argparse.ArgumentParser(prog="qc_report.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--raw", nargs="+", required=True, help="the genotypes' .bim files")
    parser.add_argument("--excluded", required=True, help="excluded_names.tsv")
    parser.add_argument("--passed", nargs="+", required=True, help="each chromosome's .bim after quality control")
    parser.add_argument("--chromosomes", nargs="+", required=True, help="the chromosomes' labels, in order")
    for key in inputs.LIST_KEYS:
        parser.add_argument("--" + key.replace("_", "-"), dest=key, help="the list the config names")
    parser.add_argument("--report", required=True, help="the table to write")
    parser.add_argument("--warnings", required=True, help="the warnings to write")
    args = parser.parse_args()
    lists = {key: getattr(args, key) for key in inputs.LIST_KEYS}
    rows = report(args.raw, args.excluded, args.passed, [(c, None) for c in args.chromosomes], inputs.chromosome_label)
    formats.write_table(args.report, ("chromosome", "snps", "excluded_names", "failed_filters", "passed"), rows)
    excluded = [row["name"] for row in formats.read_table(args.excluded)[1]]
    warnings = []
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
