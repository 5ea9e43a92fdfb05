"""What quality control did, per chromosome, and list names it touched.

Writes a table (chromosome, SNPs, excluded for their names, failing PLINK's
filters, passing) and the warnings about list names that are not in the
genotypes or did not pass quality control.
"""
import collections

import inputs
import tsvtable


def names_of(bims):
    names = []
    for path in bims:
        with open(path) as f:
            names.extend(line.split()[1] for line in f if line.strip())
    return names


def counts_by_chromosome(bims, label):
    counts = collections.Counter()
    for path in bims:
        with open(path) as f:
            for line in f:
                if line.strip():
                    counts[label(line.split()[0])] += 1
    return counts


def report(raw_bims, excluded_tsv, passed_bims, chromosomes, label):
    """Rows of the report, one per chromosome, in genotype order."""
    raw = counts_by_chromosome(raw_bims, label)
    excluded = collections.Counter()
    with open(excluded_tsv) as f:
        next(f)
        for line in f:
            excluded[label(line.split("\t")[0])] += 1
    rows = []
    for (chrom, _), path in zip(chromosomes, passed_bims):
        with open(path) as f:
            passed = sum(1 for line in f if line.strip())
        rows.append((chrom, raw[chrom], excluded[chrom], raw[chrom] - excluded[chrom] - passed, passed))
    return rows


def main(smk):
    rows = report(smk.input.raw, smk.input.excluded, smk.input.passed, smk.params.chromosomes,
                  inputs.chromosome_label)
    tsvtable.write(smk.output.report, ("chromosome", "snps", "excluded_names", "failed_filters", "passed"), rows)
    with open(smk.input.excluded) as f:
        excluded = [line.split("\t")[2] for line in list(f)[1:]]
    warnings = []
    if excluded:
        warnings.append("%d SNP%s left out for %s name%s (missing, given to several SNPs, or longer than %d "
                        "characters): %s; see %s" % (
                            len(excluded), " is" if len(excluded) == 1 else "s are",
                            "its" if len(excluded) == 1 else "their", "" if len(excluded) == 1 else "s",
                            inputs.MAX_NAME, inputs.some_names(excluded), smk.input.excluded))
    raw = set(names_of(smk.input.raw))
    passed = set(names_of(smk.input.passed))
    listed = {n for key in inputs.LIST_KEYS for n in inputs.list_names(smk.config, key)}
    warnings += inputs.list_warnings(smk.config, raw, "in the genotypes")
    # Names not in the genotypes at all are reported once, above.
    warnings += inputs.list_warnings(smk.config, passed | (listed - raw), "among the SNPs that passed quality control")
    with open(smk.output.warnings, "w") as f:
        for line in warnings:
            f.write(line + "\n")


if "snakemake" in globals():
    main(snakemake)
