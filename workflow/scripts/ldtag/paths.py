"""Where the workflow keeps its files: every path pattern, in one place.

Patterns hold Snakemake wildcards in braces ({chrom}, {region},
{population}, {vcf}); the rules use them as they are and the scripts fill
them with str.format. A chromosome's files are named by its label (the code
without "chr"), a region chr<label>_<number>. With populations, a region's
chain runs in a folder per population inside the region's folder.
"""

RESULTS = "results"
LOGS = "logs"
BENCHMARKS = "results/benchmarks"

# The genotypes.
VCF_FILESET = "results/vcf/{vcf}"  # a VCF converted by PLINK: .bed/.bim/.fam
VCF_SKIPPED = "results/vcf/{vcf}.skipped.tsv"

# Quality control.
QC = "results/qc"
EXCLUDED_NAMES = "results/qc/excluded_names.tsv"
EXCLUDED_LIST = "results/qc/excluded_names.txt"
POPULATIONS_TABLE = "results/populations.tsv"  # the populations and their people
POPULATION_KEEP = "results/qc/populations/{population}.keep"  # a population's samples for PLINK
KEEP_ALL = "results/qc/populations.keep"
FILTER_LIST = "results/qc/populations/chr{chrom}.{population}.{kind}.snplist"
FILTER_KINDS = ("missing_ok", "hwe_ok", "varies")
QC_FILESET = "results/qc/chr{chrom}"
VARYING = "results/qc/chr{chrom}.{population}.snps"  # SNPs that vary in a population
QC_KEPT = "results/qc/chr{chrom}.kept.txt"
QC_DROPPED = "results/qc/chr{chrom}.dropped.tsv"
QC_REPORT = "results/qc/report.tsv"
QC_WARNINGS = "results/qc/warnings.txt"
DROPPED = "results/qc/dropped.tsv"

# The cuts.
SCAN = "results/qc/chr{chrom}.window"  # PLINK's windowed scans: <SCAN>[.<population>].ld
CHROMOSOME_REGIONS = "results/qc/chr{chrom}.regions.tsv"
CHROMOSOME_PAIRS = "results/qc/chr{chrom}.cut_pairs.tsv"
REGIONS = "results/regions.tsv"
CUT_PAIRS = "results/cut_pairs.tsv"

# A region.
REGION = "results/regions/{region}"
REGION_POPULATION = "results/regions/{region}/{population}"
REGION_LOGS = "logs/regions/{region}"
REGION_POPULATION_LOGS = "logs/regions/{region}/{population}"
LD_PLOT = "results/regions/{region}/ld_plot.png"
# What a region's chain up to ldprune leaves in its folder (or each
# population's), by the names the rule gives them; run_log.txt comes last.
PREPARED = {
    "ld": "plink.ld.bin",
    "bim": "plink.bim",
    "freq": "plink.frq",
    "snps": "SNP_names.data",
    "maf": "maf.txt",
    "weight": "weight.txt",
    "done": "done.txt",
    "undesirable": "undesirable.txt",
    "processed": "ld_processed.txt",
    "maf_processed": "maf_processed.txt",
    "run_log": "run_log.txt",
}
KEPT = ("ld.txt", "ld_processed_temp.txt")  # kept too with keep_intermediate

# The imputation evaluation.
IMPUTATION = "results/imputation"
IMPUTATION_LOGS = "logs/imputation"
IMPUTATION_PEOPLE = "results/imputation/people.tsv"  # who is imputed in which fold
HOLDOUT = "results/imputation/holdout.remove"  # the people set aside before quality control
FOLD = "results/imputation/folds/{fold}.txt"
CHUNKS = "results/imputation/chunks.tsv"
CHUNK = "results/imputation/chunks/{chunk}"
PANEL = "results/imputation/chr{chrom}/panel.vcf.gz"
PHASING = "results/imputation/chr{chrom}/phasing.txt"
SETS = "results/imputation/sets.tsv"
SET = "results/imputation/sets/{set}.txt"
ALL_TAGS = "results/imputation/all_tags.txt"
PAIRS = "results/imputation/chr{chrom}/{group}.pairs.ld"
IMPUTATION_TABLE = "results/imputation.tsv"
IMPUTATION_SNPS = "results/imputation_snps.tsv"
IMPUTATION_PLOT = "results/imputation.png"
TARGET = "results/imputation/target"  # the selection for imputation: its candidates and its choice
CANDIDATES = "results/imputation/target/candidates.tsv"
REFINED = "results/imputation/target/refined.tsv"  # the second round's sets
COMPLETED = "results/imputation/target/completed.tsv"  # the third round's sets
RUNG = "results/imputation/target/ladder/{set}.tsv"  # whether a candidate is imputed
SELECTION = "results/imputation/target/selection.tsv"
# The pairs at imputed_r2 or above in the selection's people, for its repair.
TARGET_PAIRS = "results/imputation/target/chr{chrom}/{group}.pairs.ld"
TARGET_FREQ = "results/imputation/target/chr{chrom}/{group}.frq"  # the same scan's MAFs

# The genome-wide results.
SUMMARY = "results/summary.tsv"
COVERAGE = "results/coverage.tsv"
WARNINGS = "results/warnings.txt"
OVERVIEW = "results/overview.png"
COVERAGE_CURVE = "results/coverage_curve.tsv"  # the genome-wide greedy order, SNPs captured as tags grow
COVERAGE_CURVE_PLOT = "results/coverage_curve.png"
BUDGET_ALLOCATION = "results/budget_allocation.tsv"  # each region's share of max_tags
BUDGET_SUMMARY = "results/budget.tsv"
BUDGET_COVERAGE = "results/budget_coverage.tsv"
REPORT = "results/report.html"
REPORT_PAGE = "results/report/chr{chrom}.html"  # a chromosome's page of the report


def method_table(method):
    return "results/%s_tags.tsv" % method


def method_tags(method):
    return "results/%s_tag_snps.txt" % method


def method_vcf(method):
    """A method's tags as VCF, for array design tools."""
    return "results/%s_tags.vcf.gz" % method


def region_folder(region, population=None):
    """A region's folder, or a population's folder in it."""
    return (REGION_POPULATION if population else REGION).format(region=region, population=population)


def region_logs(region, population=None):
    return (REGION_POPULATION_LOGS if population else REGION_LOGS).format(region=region, population=population)


def log(rule, name=None):
    """A rule's log: logs/<rule>.log, or logs/<rule>/<name>.log."""
    return "logs/%s.log" % rule if name is None else "logs/%s/%s.log" % (rule, name)
