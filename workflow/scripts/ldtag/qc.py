"""Quality control: the names left out, the filters per population, and
what quality control did.

excluded(): SNPs whose names cannot pass through the programs: a missing
name ("."), one longer than ldprune stores, or one given to more than one SNP
of the genotypes (every SNP so named: none of them could be told apart in the
lists and the tables).

combine(): with populations, PLINK's lists of the SNPs that pass each filter
in each population: a SNP is kept when it passes missingness and HWE in
every population and varies (its MAF reaches min_maf) in at least one; per
population, the kept SNPs that vary there.

report_rows() and the warnings: per chromosome the SNPs in and out, the
records each VCF's conversion left out or named, the SNPs a population's
filters left out, and list names that are not in the genotypes or did not
pass.
"""
import collections

from . import files, genotypes, limits, lists, paths, vcf

REPORT_COLUMNS = ("chromosome", "snps", "excluded_names", "failed_filters", "passed")
EXCLUDED_COLUMNS = ("chromosome", "position", "name", "reason")
DROPPED_COLUMNS = ("chromosome", "snp", "reason", "populations")
# Reasons, in the order the table gives them.
MISSING, HWE, RARE = "missingness above max_missing", "HWE p-value below hwe_p", "MAF below min_maf everywhere"
VCF_KINDS = {  # (one record, several)
    "multiallelic": (
        "multiallelic record left out (PLINK takes two alleles)",
        "multiallelic records left out (PLINK takes two alleles)",
    ),
    "not_snp": ("record that is not a SNP left out", "records that are not SNPs left out"),
    "unnamed": (
        "record without an ID named chromosome:position:allele:allele",
        "records without an ID named chromosome:position:allele:allele",
    ),
}


# Names.


def excluded(bims):
    """(chromosome, position, name, reason) for each SNP left out for its
    name, in file order."""
    snps = [(code, position, name) for path in bims for _, code, name, position in genotypes.bim(path)]
    counts = collections.Counter(name for _, _, name in snps)
    rows = []
    for chromosome, position, name in snps:
        reasons = []
        if name == ".":
            reasons.append("missing name")
        elif counts[name] > 1:
            reasons.append("name given to %d SNPs" % counts[name])
        if len(name) > limits.MAX_NAME:
            reasons.append("name longer than %d characters" % limits.MAX_NAME)
        if reasons:
            rows.append((chromosome, position, name, "; ".join(reasons)))
    return rows


def write_excluded(bims, report, names):
    rows = excluded(bims)
    files.write_table(report, EXCLUDED_COLUMNS, rows)
    files.write_lines(names, dict.fromkeys(name for _, _, name, _ in rows))


# The filters of several populations.


def combine(candidates, passing, populations):
    """The SNPs kept, in order; per population those that vary there; and
    the rows of the SNPs left out. `passing[p]` holds population p's sets
    of SNPs that pass each filter (paths.FILTER_KINDS)."""
    kept, varying, dropped = [], {p: [] for p in populations}, []
    for snp in candidates:
        failed = {
            reason: [p for p in populations if snp not in passing[p][kind]]
            for reason, kind in ((MISSING, "missing_ok"), (HWE, "hwe_ok"))
        }
        varies = [p for p in populations if snp in passing[p]["varies"]]
        reasons = [(reason, ",".join(where)) for reason, where in failed.items() if where]
        if not varies:
            reasons.append((RARE, ",".join(populations)))
        if reasons:
            dropped += [(snp, reason, where) for reason, where in reasons]
            continue
        kept.append(snp)
        for p in varies:
            varying[p].append(snp)
    return kept, varying, dropped


def write_combined(bim, code, excluded_list, chromosome, populations):
    """Writes the kept SNPs, each population's varying ones and the dropped
    table of one chromosome (paths.QC_KEPT, VARYING, QC_DROPPED)."""
    left_out = set(files.names(excluded_list))
    candidates = [name for _, c, name, _ in genotypes.bim(bim) if c == code and name not in left_out]
    passing = {
        p: {
            kind: set(files.names(paths.FILTER_LIST.format(chrom=chromosome, population=p, kind=kind)))
            for kind in paths.FILTER_KINDS
        }
        for p in populations
    }
    kept, varying, dropped = combine(candidates, passing, populations)
    for p in populations:
        files.write_lines(paths.VARYING.format(chrom=chromosome, population=p), varying[p])
    files.write_table(paths.QC_DROPPED.format(chrom=chromosome), DROPPED_COLUMNS, [(chromosome,) + r for r in dropped])
    files.write_lines(paths.QC_KEPT.format(chrom=chromosome), kept)


# The report.


def count_lines(path):
    with open(path) as f:
        return sum(1 for line in f if line.strip())


def report_rows(raw_bims, excluded_tsv, chromosomes, populations=()):
    """Rows of the report, one per chromosome label, in genotype order; with
    populations, each row ends with the SNPs that vary in each."""
    label = genotypes.chromosome_label
    raw = collections.Counter(label(code) for path in raw_bims for _, code, _, _ in genotypes.bim(path))
    left_out = collections.Counter(label(row["chromosome"]) for row in files.read_table(excluded_tsv)[1])
    rows = []
    for chrom in chromosomes:
        passed = sum(1 for _ in genotypes.bim(paths.QC_FILESET.format(chrom=chrom) + ".bim"))
        row = (chrom, raw[chrom], left_out[chrom], raw[chrom] - left_out[chrom] - passed, passed)
        rows.append(row + tuple(count_lines(paths.VARYING.format(chrom=chrom, population=p)) for p in populations))
    return rows


def vcf_warnings(skipped):
    """A warning per kind of record a VCF's conversion left out or named;
    skipped: VCF path -> its skipped table."""
    warnings = []
    for path, table in skipped.items():
        for kind, (records, first) in vcf.read_skipped(table).items():
            if records:
                warnings.append(
                    "vcf %s: %d %s, at %s%s"
                    % (
                        path,
                        records,
                        VCF_KINDS[kind][records != 1],
                        ", ".join(first),
                        ", ..." if records > len(first) else "",
                    )
                )
    return warnings


def population_drops(chromosomes, dropped_path):
    """With populations: every chromosome's table of the SNPs left out, as
    one, and a warning per filter that left out SNPs in some population."""
    rows = []
    for chrom in chromosomes:
        rows += files.read_table(paths.QC_DROPPED.format(chrom=chrom))[1]
    files.write_table(dropped_path, DROPPED_COLUMNS, [[r[c] for c in DROPPED_COLUMNS] for r in rows])
    warnings = []
    for reason in (MISSING, HWE):
        names = [r["snp"] for r in rows if r["reason"] == reason]
        if not names:
            continue
        where = collections.Counter(p for r in rows if r["reason"] == reason for p in r["populations"].split(","))
        warnings.append(
            "%d SNP%s left out for %s in a population (%s): %s; see %s"
            % (
                len(names),
                files.plural(len(names), " is", "s are"),
                reason,
                ", ".join("%s %d" % item for item in where.items()),
                files.some_names(names),
                dropped_path,
            )
        )
    return warnings


def name_warnings(excluded_tsv):
    names = [row["name"] for row in files.read_table(excluded_tsv)[1]]
    if not names:
        return []
    return [
        "%d SNP%s left out for %s name%s (missing, given to several SNPs, or longer than %d characters): %s; see %s"
        % (
            len(names),
            files.plural(len(names), " is", "s are"),
            files.plural(len(names), "its", "their"),
            files.plural(len(names)),
            limits.MAX_NAME,
            files.some_names(list(dict.fromkeys(names))),  # a name given to several SNPs, once
            excluded_tsv,
        )
    ]


def list_warnings(list_paths, raw_bims, chromosomes):
    """Names of the lists that are not in the genotypes, and names in the
    genotypes that did not pass quality control."""
    raw = {name for path in raw_bims for _, _, name, _ in genotypes.bim(path)}
    passed = {
        name for chrom in chromosomes for _, _, name, _ in genotypes.bim(paths.QC_FILESET.format(chrom=chrom) + ".bim")
    }
    listed = {n for key in lists.KEYS for n in lists.names(list_paths, key)}
    warnings = lists.warnings(list_paths, raw, "in the genotypes")
    # Names not in the genotypes at all are reported once, above.
    return warnings + lists.warnings(list_paths, passed | (listed - raw), "among the SNPs that passed quality control")


def write_report(raw_bims, chromosomes, populations, list_paths, vcf_skipped, report, warnings_path):
    """The report table, the warnings, and with populations the table of
    every SNP left out (paths.DROPPED)."""
    rows = report_rows(raw_bims, paths.EXCLUDED_NAMES, chromosomes, populations)
    files.write_table(report, REPORT_COLUMNS + tuple("varies_" + p for p in populations), rows)
    warnings = vcf_warnings(vcf_skipped)
    if populations:
        warnings += population_drops(chromosomes, paths.DROPPED)
    warnings += name_warnings(paths.EXCLUDED_NAMES)
    warnings += list_warnings(list_paths, raw_bims, chromosomes)
    files.write_lines(warnings_path, warnings)
