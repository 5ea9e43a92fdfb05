# Config checks, and the helpers and input functions the rules share.
import os
import re
import shlex
import sys

from snakemake.common import Mode
from snakemake.exceptions import WorkflowError
from snakemake.logging import logger

SCRIPTS = os.path.join(workflow.basedir, "scripts")
sys.path.insert(0, SCRIPTS)
import formats  # noqa: E402
import inputs  # noqa: E402

MAIN_PROCESS = workflow.mode == Mode.default

try:
    SETUP = inputs.prepare(
        config,
        os.path.join(workflow.basedir, "schemas", "config.schema.yaml"),
        cache_path=os.path.join(".snakemake", "ldtag", "setup.json"),
    )
except inputs.ConfigError as e:
    raise WorkflowError(f"The config cannot be used:\n{e}")
except OSError as e:
    raise WorkflowError(f"The config cannot be used: {e}")
if MAIN_PROCESS:
    for line in SETUP.warnings:
        logger.warning(f"Warning: {line}")

CHROMOSOMES = list(SETUP.chromosomes)
CLUSTERING = config["clustering_command"] is not None
# ldcluster, this project's clustering program, also gives the Minimum result.
BUILTIN = config["clustering_command"] == inputs.BUILTIN
METHODS = ("greedy", "minimax", "minimum") if BUILTIN else ("greedy", "minimax")
KEEP = config["keep_intermediate"]
# With populations, each region's chain runs in a folder per population.
POPULATIONS = list(SETUP.populations)
VCFS = inputs.vcf_imports(config)
REGION = "results/regions/{region}"
FOLDER = "results/regions/{region}/{population}" if POPULATIONS else REGION


wildcard_constraints:
    chrom="|".join(re.escape(c) for c in CHROMOSOMES) if CHROMOSOMES else "none",
    region=r"chr[^/]+_\d+",
    population="|".join(POPULATIONS) if POPULATIONS else "none",
    vcf="|".join(re.escape(v) for v in VCFS) if VCFS else "none",


# Paths and what the rules hand to the shell.


def script_path(name):
    return os.path.join(SCRIPTS, name)


def quoted(text):
    """Text for the shell, quoted where it needs to be."""
    return shlex.quote(str(text))


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
    return [f"results/regions/{region}/{p}" for p in POPULATIONS] or [f"results/regions/{region}"]


def in_folders(region, *names):
    """The named files in each folder of a region."""
    return [f"{folder}/{name}" for folder in region_folders(region) for name in names]


def result_files(region):
    """The clustering program's result files in a region's folders."""
    return in_folders(
        region, *[f"Zentavor.result.{method.capitalize()}.{kind}" for method in METHODS for kind in ("members.txt", "out")]
    )


def kept_intermediates(wildcards=None):
    """ld.txt and ldprune's run log, which a region's job keeps only when
    asked to."""
    return [f"{FOLDER}/ld.txt", f"{FOLDER}/ld_processed_temp.txt"] if KEEP else []


def clustering_log(region):
    """The clustering program's messages in a region's folder."""
    if not CLUSTERING:
        return []
    return [f"results/regions/{region}/{'ldcluster' if BUILTIN else 'clustering'}.log"]


def joiner_logs(region):
    logs = ["memberjoin1.log", "memberjoin2.log"] + (["memberjoin1_minimum.log"] if BUILTIN else [])
    return in_folders(region, *logs)


def joined_tables(region):
    """The joiners' tables of a region, one per method and folder."""
    return in_folders(region, *[f"{method}_output.txt" for method in METHODS])


# The genotypes.


def genotype_files(wildcards):
    """The user's fileset that holds a chromosome."""
    fileset = SETUP.chromosomes[wildcards.chrom].fileset
    return [fileset + ext for ext in (".bed", ".bim", ".fam")]


def chromosome_fileset(wildcards):
    return SETUP.chromosomes[wildcards.chrom].fileset


def chromosome_code(wildcards):
    """The chromosome's code as its .bim writes it, for PLINK's --chr."""
    return SETUP.chromosomes[wildcards.chrom].code


def all_bims(wildcards=None):
    return [f"{prefix}.bim" for prefix in inputs.filesets(config)]


def vcf_path(wildcards):
    return VCFS[wildcards.vcf]


def vcf_skipped(wildcards=None):
    """The tables of the records each VCF's conversion left out."""
    return [f"{inputs.VCF_FOLDER}/{name}.skipped.tsv" for name in VCFS]


def vcf_options(wildcards=None):
    """qc_report.py's option naming each VCF and its table, quoted."""
    if not VCFS:
        return ""
    return "--vcf-skipped " + " ".join(quoted(f"{path}={inputs.VCF_FOLDER}/{name}.skipped.tsv") for name, path in VCFS.items())


# The populations.


def keep_file(population):
    """A population's samples as PLINK's --keep reads them."""
    return f"results/qc/populations/{population}.keep"


def population_keep(wildcards):
    return keep_file(wildcards.population)


def population_lists(kind):
    """An input function: each population's list of the given kind (pass
    lists of PLINK's filters, or the SNPs that vary) on a chromosome."""

    def files(wildcards):
        return [f"results/qc/populations/chr{wildcards.chrom}.{p}.{kind}" for p in POPULATIONS]

    return files


def varying_snps(chrom, population):
    """The SNPs of a chromosome that passed quality control and vary in the
    population."""
    return f"results/qc/chr{chrom}.{population}.snps"


def population_windows(wildcards):
    """cut_chromosome.sh's options: each population's samples and SNPs."""
    return " ".join(
        f"--population {quoted(p)} {quoted(keep_file(p))} {quoted(varying_snps(wildcards.chrom, p))}"
        for p in POPULATIONS
    )


def window_inputs(wildcards):
    """With populations, their samples and SNPs of the chromosome."""
    return [f for p in POPULATIONS for f in (keep_file(p), varying_snps(wildcards.chrom, p))]


def list_files(wildcards=None):
    return [config[key] for key in inputs.LIST_KEYS if config[key] is not None]


def thresholds_files(wildcards=None):
    return [config["thresholds_file"]] if config["thresholds_file"] else []


def list_options(wildcards=None):
    """qc_report.py's options naming the lists, quoted for the shell."""
    return " ".join(
        f"--{key.replace('_', '-')} {quoted(config[key])}" for key in inputs.LIST_KEYS if config[key] is not None
    )


def thresholds_option(wildcards=None):
    """cut_regions.py's --thresholds option, quoted for the shell."""
    return f"--thresholds {quoted(config['thresholds_file'])}" if config["thresholds_file"] else ""


# The regions, known once the chromosomes are cut.

_REGIONS = {}


def regions_table():
    """The rows of results/regions.tsv, read once per change."""
    path = checkpoints.regions_table.get().output.regions
    stamp = os.stat(path).st_mtime_ns
    if _REGIONS.get("stamp") != stamp:
        rows = formats.read_table(path)[1]
        _REGIONS.update(stamp=stamp, rows=rows, by_name={row["region"]: row for row in rows})
    return _REGIONS


def all_regions():
    return [row["region"] for row in regions_table()["rows"]]


def region_row(region):
    row = regions_table()["by_name"].get(region)
    if row is None:
        raise WorkflowError(f"no region {region} in results/regions.tsv")
    return row


def chromosome_of(region):
    """The chromosome label in a region's name, chr<label>_<number>."""
    return region[3:].rsplit("_", 1)[0]


def region_genotypes(wildcards):
    """The quality-controlled fileset of the region's chromosome, and the
    regions table that says where the region lies."""
    chrom = chromosome_of(wildcards.region)
    return {
        "fileset": [f"results/qc/chr{chrom}{ext}" for ext in (".bed", ".bim", ".fam")],
        "regions": checkpoints.regions_table.get().output.regions,
    }


def population_inputs(wildcards):
    """With populations, the samples and SNPs of the population's chain."""
    if not POPULATIONS:
        return []
    return [keep_file(wildcards.population), varying_snps(chromosome_of(wildcards.region), wildcards.population)]


def prepare_arguments(wildcards):
    """prepare_region.sh's arguments, quoted for the shell."""
    row = region_row(wildcards.region)
    args = [
        "--bfile", f"results/qc/chr{chromosome_of(wildcards.region)}",
        "--from", row["first_snp"],
        "--to", row["last_snp"],
        "--plink", config["plink"],
        "--memory", plink_memory(256),
        "--threshold", config["threshold"],
    ]
    for option, key in (("--thresholds", "thresholds_file"), ("--done", "done_file"), ("--undesirable", "undesirable_file")):
        if config[key] is not None:
            args += [option, os.path.abspath(config[key])]
    if KEEP:
        args.append("--keep")
    if POPULATIONS:
        keep, snps = population_inputs(wildcards)
        args += ["--population", wildcards.population, "--samples", keep, "--snps", snps]
    return " ".join(quoted(a) for a in args)


def cluster_arguments(wildcards):
    """cluster_region.sh's arguments, quoted for the shell."""
    if BUILTIN:
        args = ["--clustering", "ldcluster", "--time-limit", config["minimum_time_limit"],
                "--chromosome", chromosome_of(wildcards.region)]
    elif CLUSTERING:
        args = ["--clustering", "command", "--command", config["clustering_command"]]
    else:
        args = ["--clustering", "none"]
    args += ["--methods", " ".join(METHODS), "--python", sys.executable, "--coverage", script_path("coverage.py")]
    if POPULATIONS:
        args += ["--populations", " ".join(POPULATIONS)]
    return " ".join(quoted(a) for a in args)


def region_files(*names):
    """The named files in each folder of the region {region}, as patterns."""
    return in_folders("{region}", *names)


def in_every_region(*names):
    """An input function: the named files in every folder of every region."""

    def files(wildcards):
        return [f for region in all_regions() for f in in_folders(region, *names)]

    return files


def every_ld_plot(wildcards):
    """Each region's LD plot, in the region's own folder."""
    return [f"results/regions/{r}/ld_plot.png" for r in all_regions()] if config["plots"] else []


def has_results(region):
    """True when the region's results come from the clustering command or
    have been put in place by hand."""
    return CLUSTERING or all(os.path.exists(f) for f in result_files(region))


def plot_arguments(wildcards):
    """ld_plot.py's arguments: the region's folder, or with populations, the
    folder of the first population with SNPs in it (chosen by the script)."""
    folder = f"results/regions/{wildcards.region}"
    if not POPULATIONS:
        return quoted(folder)
    return f"--populations {quoted(','.join(POPULATIONS))} {quoted(folder)}"


def final_targets(wildcards):
    """Everything up to ldprune in every region; the joined tables and
    coverage of the regions that have clustering results; the genome-wide
    tables once all have."""
    regions = all_regions()
    ready = [r for r in regions if has_results(r)]
    targets = ["results/regions.tsv", "results/qc/report.tsv", "results/qc/warnings.txt"]
    targets += [f for r in regions for f in in_folders(r, "run_log.txt")]
    targets += [f for r in ready for f in in_folders(r, "coverage.tsv")]
    if len(ready) == len(regions):
        targets += list(MERGED.values()) + ["results/overview.png", "results/report.html"]
        targets += imputation_targets()
    return targets


# The genome-wide tables.

MERGED = {
    **{method: f"results/{method}_tags.tsv" for method in METHODS},
    **{f"{method}_tags": f"results/{method}_tag_snps.txt" for method in METHODS},
    "summary": "results/summary.tsv",
    "coverage": "results/coverage.tsv",
    "warnings": "results/warnings.txt",
}


# What the run says at its start and end.


def check_programs():
    """The programs must be on PATH before any job runs (not for a dry run,
    --lint or --dag, which run none)."""
    try:
        inputs.check_programs(config)
    except inputs.MissingPrograms as e:
        raise WorkflowError(str(e))


def report_next_steps():
    """Where the results are, or what to run next when the clustering program
    is run by hand."""
    if not os.path.exists("results/regions.tsv"):
        return
    regions = [row["region"] for row in formats.read_table("results/regions.tsv")[1]]
    waiting = [r for r in regions if not has_results(r)]
    if waiting:
        logger.info(
            "\n%d of %d regions are ready for the clustering program: run it in each of these folders so that it "
            "writes Zentavor.result.{Greedy,Minimax}.{members.txt,out} there from ld_processed.txt and "
            "maf_processed.txt:\n  %s\nor set clustering_command in the config (ldcluster, this project's clustering "
            "program, unless it is null). Then run snakemake again: it joins the results and writes the genome-wide "
            "tables." % (len(waiting), len(regions), "\n  ".join(f"results/regions/{r}" for r in waiting))
        )
        return
    if not os.path.exists(MERGED["warnings"]):
        return
    with open(MERGED["warnings"]) as f:
        warnings = sum(1 for _ in f)
    logger.info(
        "\nResults of %d regions: %s (tables), %s (tag SNPs), %s (per region), %s (how well the tags capture the "
        "SNPs), %s (%d warnings); open results/report.html in a browser to see them."
        % (
            len(regions),
            ", ".join(MERGED[m] for m in METHODS),
            ", ".join(MERGED[m + "_tags"] for m in METHODS),
            MERGED["summary"],
            MERGED["coverage"],
            MERGED["warnings"],
            warnings,
        )
    )


def report_failure():
    logger.error(
        "\nThe results of every job that finished are kept. Correct what the messages above name and run "
        "snakemake again: it goes on from there. After a run that was killed, run 'snakemake --unlock' first "
        "and add --rerun-incomplete (ldtag-workflow does both)."
    )
