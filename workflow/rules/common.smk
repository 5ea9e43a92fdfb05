# The config's check, the path patterns and the helpers the rules share.
import json
import os
import re
import shlex
import sys

from snakemake import __version__ as SNAKEMAKE_VERSION
from snakemake.common import Mode
from snakemake.exceptions import WorkflowError
from snakemake.logging import logger

SCRIPTS = os.path.join(workflow.basedir, "scripts")
sys.path.insert(0, SCRIPTS)
from ldtag import config as settings, files, paths  # noqa: E402

MAIN_PROCESS = workflow.mode == Mode.default
PYTHON = sys.executable

try:
    SETUP = settings.prepare(
        config,
        os.path.join(workflow.basedir, "schemas", "config.schema.yaml"),
        cache_path=os.path.join(".snakemake", "ldtag", "setup.json"),
    )
except settings.ConfigError as e:
    raise WorkflowError(f"The config cannot be used:\n{e}")
except OSError as e:
    raise WorkflowError(f"The config cannot be used: {e}")
if MAIN_PROCESS:
    for line in SETUP.warnings:
        logger.warning(f"Warning: {line}")

CHROMOSOMES = list(SETUP.chromosomes)
CLUSTERING = config["clustering_command"] is not None
# ldcluster, this project's clustering program, also gives the Minimum result.
BUILTIN = config["clustering_command"] == settings.BUILTIN
METHODS = settings.pairwise_methods(config)
# A slot budget (max_tags): shared out across the regions once all are
# clustered, and chosen in each by ldcluster's maximum coverage.
BUDGET = BUILTIN and config["max_tags"] is not None
KEEP = config["keep_intermediate"]
# With populations, each region's chain runs in a folder per population.
POPULATIONS = list(SETUP.populations)
VCFS = settings.vcf_imports(config)
FOLDER = paths.REGION_POPULATION if POPULATIONS else paths.REGION
FOLDER_LOGS = paths.REGION_POPULATION_LOGS if POPULATIONS else paths.REGION_LOGS


wildcard_constraints:
    chrom="|".join(re.escape(c) for c in CHROMOSOMES) if CHROMOSOMES else "none",
    region=r"chr[^/]+_\d+",
    population="|".join(POPULATIONS) if POPULATIONS else "none",
    vcf="|".join(re.escape(v) for v in VCFS) if VCFS else "none",


# Files the rules hand on.


def script_path(name):
    return os.path.join(SCRIPTS, name)


def intermediate(path):
    """A large file that is deleted once no job needs it, unless kept."""
    return path if KEEP else temp(path)


def until_clustered(path):
    """A large file that the clustering reads (ld_processed.txt, PLINK's
    matrix): deleted once clustered, but kept when the user runs the
    clustering program by hand."""
    return intermediate(path) if CLUSTERING else path


def plink_memory(mem_mb):
    """PLINK's workspace: half the job's memory, the rest for PLINK itself."""
    return max(64, mem_mb // 2)


def region_folders(region):
    """The folders of a region's chain: the region's own, or one per
    population in it."""
    return [paths.region_folder(region, p) for p in POPULATIONS] or [paths.region_folder(region)]


def in_folders(region, *names):
    """The named files in each folder of a region."""
    return [f"{folder}/{name}" for folder in region_folders(region) for name in names]


def in_log_folders(region, *names):
    """The named logs in each log folder of a region."""
    folders = [paths.region_logs(region, p) for p in POPULATIONS] or [paths.region_logs(region)]
    return [f"{folder}/{name}" for folder in folders for name in names]


def result_files(region):
    """The clustering program's result files in a region's folders."""
    names = [f"Zentavor.result.{method.capitalize()}.{kind}" for method in METHODS for kind in ("members.txt", "out")]
    return in_folders(region, *names)


def prepared_outputs():
    """The files of a region's chain up to ldprune, by name; PLINK's matrix
    and ld_processed.txt are large and go once clustered."""
    large = ("ld", "processed")
    return {
        name: until_clustered(f"{FOLDER}/{file}") if name in large else f"{FOLDER}/{file}"
        for name, file in paths.PREPARED.items()
    }


def kept_intermediates(wildcards=None):
    """ld.txt and ldprune's run log, which a region's job keeps only when
    asked to."""
    return [f"{FOLDER}/{file}" for file in paths.KEPT] if KEEP else []


def clustering_log(region):
    """The clustering program's messages."""
    if not CLUSTERING:
        return []
    return [f"{paths.region_logs(region)}/{'ldcluster' if BUILTIN else 'clustering'}.log"]


def joiner_logs(region):
    logs = ["memberjoin1.log", "memberjoin2.log"] + (["memberjoin1_minimum.log"] if BUILTIN else [])
    return in_log_folders(region, *logs)


def joined_tables(region):
    """The joiners' tables of a region, one per method and folder."""
    return in_folders(region, *[f"{method}_output.txt" for method in METHODS])


# The genotypes.


def genotype_files(wildcards):
    """The user's fileset that holds a chromosome."""
    fileset = SETUP.chromosomes[wildcards.chrom].fileset
    return multiext(fileset, ".bed", ".bim", ".fam")


def chromosome_fileset(wildcards):
    return SETUP.chromosomes[wildcards.chrom].fileset


def chromosome_code(wildcards):
    """The chromosome's code as its .bim writes it, for PLINK's --chr."""
    return SETUP.chromosomes[wildcards.chrom].code


def all_bims(wildcards=None):
    return [f"{prefix}.bim" for prefix in settings.filesets(config)]


def all_fams(wildcards=None):
    return [f"{prefix}.fam" for prefix in settings.filesets(config)]


# The populations.


def population_inputs(wildcards):
    """With populations, the samples and SNPs of the population's chain."""
    if not POPULATIONS:
        return {}
    chrom = chromosome_of(wildcards.region)
    return {
        "samples": paths.POPULATION_KEEP.format(population=wildcards.population),
        "snps": paths.VARYING.format(chrom=chrom, population=wildcards.population),
    }


def population_options(wildcards):
    """prepare_region.py's options for a population's chain."""
    if not POPULATIONS:
        return ""
    found = population_inputs(wildcards)
    return f"--population {wildcards.population} --samples {found['samples']} --snps {found['snps']}"


def clustering_options(wildcards):
    """cluster_region.py's options for the clustering program."""
    if BUILTIN:
        return (
            f"--clustering ldcluster --time-limit {config['minimum_time_limit']} "
            f"--chromosome {shlex.quote(chromosome_of(wildcards.region))}"
        )
    if CLUSTERING:
        return f"--clustering command --command {shlex.quote(config['clustering_command'])}"
    return "--clustering none"


def population_lists(wildcards):
    """With populations, each population's samples and the SNPs that vary
    there on a chromosome, for its scans."""
    return [
        f
        for p in POPULATIONS
        for f in (paths.POPULATION_KEEP.format(population=p), paths.VARYING.format(chrom=wildcards.chrom, population=p))
    ]


def key_files(mapping):
    """Key -> file as the scripts' KEY=FILE options (ldtag.files.key_files
    reads them); a key must hold no "=", a file may."""
    return [f"{key}={path}" for key, path in mapping.items()]


def named_files(wildcards, input):
    """Each of a rule's named inputs that is one file, as NAME=FILE."""
    return key_files({name: value for name, value in input.items() if isinstance(value, str)})


def population_config(wildcards=None):
    """The config's say on the populations, as JSON, for population_samples.py."""
    keys = ("populations", "population_panel", "sample_column", "population_column")
    return json.dumps({key: config.get(key) for key in keys})


def population_sources(wildcards=None):
    """The files the populations come from: one per population, or the
    panel."""
    if config["population_panel"] is not None:
        return [config["population_panel"]]
    return list((config["populations"] or {}).values())


def plink_filters(wildcards=None):
    """PLINK's quality filters that the config asks for, as options."""
    options = []
    if config["min_maf"] > 0:
        options += ["--maf", config["min_maf"]]
    if config["max_missing"] < 1:
        options += ["--geno", config["max_missing"]]
    if config["hwe_p"] is not None:
        options += ["--hwe", config["hwe_p"]]
    return " ".join(map(str, options))


def filter_lists(wildcards):
    """With populations, each population's lists of the SNPs that pass each
    of PLINK's filters on a chromosome."""
    return [
        paths.FILTER_LIST.format(chrom=wildcards.chrom, population=p, kind=kind)
        for p in POPULATIONS
        for kind in paths.FILTER_KINDS
    ]


def listed(key):
    """The list file a config key names, as a list of none or one path."""
    return [config[key]] if config[key] is not None else []


# The regions, known once the chromosomes are cut.

_REGIONS = {}


def regions_table():
    """The rows of results/regions.tsv, read once per change."""
    path = checkpoints.regions_table.get().output.regions
    stamp = os.stat(path).st_mtime_ns
    if _REGIONS.get("stamp") != stamp:
        rows = files.read_table(path)[1]
        _REGIONS.update(stamp=stamp, rows=rows, by_name={row["region"]: row for row in rows})
    return _REGIONS


def all_regions():
    return [row["region"] for row in regions_table()["rows"]]


def chromosome_of(region):
    """The chromosome label in a region's name, chr<label>_<number>."""
    return region[3:].rsplit("_", 1)[0]


def region_fileset(wildcards):
    """The quality-controlled fileset of the region's chromosome."""
    return multiext(paths.QC_FILESET.format(chrom=chromosome_of(wildcards.region)), ".bed", ".bim", ".fam")


def region_files(*names):
    """The named files in each folder of the region {region}, as patterns."""
    return in_folders("{region}", *names)


def in_every_region_folder(*names):
    """An input function: the named files in every region's own folder
    (not its populations')."""

    def files_of(wildcards):
        return [f"{paths.region_folder(region)}/{name}" for region in all_regions() for name in names]

    return files_of


def in_every_region(*names):
    """An input function: the named files in every folder of every region."""

    def files_of(wildcards):
        return [f for region in all_regions() for f in in_folders(region, *names)]

    return files_of


def every_region_log(wildcards):
    """The programs' logs of every region, whose warnings the results
    gather."""
    return [f for region in all_regions() for f in region_logs_of(region)]


def region_logs_of(region):
    prepare = in_log_folders(region, "plink.log", "ldprep.log", "ldprune.log")
    return prepare + clustering_log(region) + (joiner_logs(region) if has_results(region) else [])


def every_ld_plot(wildcards):
    """Each region's LD plot, in the region's own folder."""
    return [paths.LD_PLOT.format(region=r) for r in all_regions()] if config["plots"] else []


def has_results(region):
    """True when the region's results come from the clustering command or
    have been put in place by hand."""
    return CLUSTERING or all(os.path.exists(f) for f in result_files(region))


def final_targets(wildcards):
    """Everything up to ldprune in every region; the joined tables and
    coverage of the regions that have clustering results; the genome-wide
    tables once all have."""
    regions = all_regions()
    ready = [r for r in regions if has_results(r)]
    targets = [paths.REGIONS, paths.QC_REPORT, paths.QC_WARNINGS]
    targets += [f for r in regions for f in in_folders(r, "run_log.txt")]
    targets += [f for r in ready for f in in_folders(r, "coverage.tsv")]
    if len(ready) == len(regions):
        targets += list(MERGED.values()) + [paths.OVERVIEW, paths.REPORT]
        targets += [paths.COVERAGE_CURVE] if BUILTIN else []
        targets += list(BUDGET_MERGED.values()) if BUDGET else []
        targets += imputation_targets()
    return targets


# The genome-wide tables.

MERGED = {
    **{method: paths.method_table(method) for method in METHODS},
    **{f"{method}_tags": paths.method_tags(method) for method in METHODS},
    "summary": paths.SUMMARY,
    "coverage": paths.COVERAGE,
    "warnings": paths.WARNINGS,
}


BUDGET_MERGED = {
    **{method: paths.method_table(method) for method in ("budget_greedy", "budget_maximum")},
    **{f"{method}_tags": paths.method_tags(method) for method in ("budget_greedy", "budget_maximum")},
    "coverage": paths.BUDGET_COVERAGE,
    "summary": paths.BUDGET_SUMMARY,
}


def report_extras():
    """The report's inputs beyond the pairwise tables: the coverage curve
    with ldcluster, the budget's tables with max_tags, the imputation's
    people with held-out people."""
    extras = {"curve": paths.COVERAGE_CURVE, "curve_plot": paths.COVERAGE_CURVE_PLOT} if BUILTIN else {}
    if BUDGET:
        extras.update(budget_summary=paths.BUDGET_SUMMARY, budget_coverage=paths.BUDGET_COVERAGE)
    if held_out_table():
        extras.update(held_out=held_out_table())
    return extras


# What the run says at its start and end.


def check_programs():
    """The programs must be on PATH before any job runs (not for a dry run,
    --lint or --dag, which run none)."""
    try:
        settings.check_programs(config)
    except settings.MissingPrograms as e:
        raise WorkflowError(str(e))


def report_next_steps():
    """Where the results are and what they hold, or what to run next when
    the clustering program is run by hand."""
    if not os.path.exists(paths.REGIONS):
        return
    regions = [row["region"] for row in files.read_table(paths.REGIONS)[1]]
    waiting = [r for r in regions if not has_results(r)]
    if waiting:
        logger.info(
            "\n%d of %d regions are ready for the clustering program: run it in each of these folders so that it "
            "writes Zentavor.result.{Greedy,Minimax}.{members.txt,out} there from ld_processed.txt and "
            "maf_processed.txt:\n  %s\nor set clustering_command in the config (ldcluster, this project's clustering "
            "program, unless it is null). Then run snakemake again: it joins the results and writes the genome-wide "
            "tables." % (len(waiting), len(regions), "\n  ".join(paths.region_folder(r) for r in waiting))
        )
        return
    if os.path.exists(paths.SUMMARY) and os.path.exists(paths.COVERAGE):
        from ldtag import totals

        aim = config if config.get("target") == "imputation" else None
        logger.info("\n%s" % totals.text(METHODS, held_out_table(), aim))


def report_failure():
    logger.error(
        "\nThe results of every job that finished are kept. Correct what the messages above name and run "
        "snakemake again: it goes on from there. After a run that was killed, run 'snakemake --unlock' first "
        "and add --rerun-incomplete (ldtag-workflow does both)."
    )
