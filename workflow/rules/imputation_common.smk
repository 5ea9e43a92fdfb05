# The constants and functions of the imputation evaluation and of the tags as
# VCF (rules/imputation.smk); the protocol itself is scripts/imputation.py.

import imputation  # noqa: E402

IMPUTATION = config["imputation"]
# The methods whose tags are judged and written as VCF: each has its list
# results/<method>_tag_snps.txt. A new selection method adds its name here.
JUDGED_METHODS = list(METHODS)
IMPUTATION_FOLDER = "results/imputation"
IMPUTATION_LOGS = "logs/imputation"
FOLDS = imputation.fold_names(config)
CHUNK = f"{IMPUTATION_FOLDER}/chunks/{{chunk}}"
QC_BIMS = expand("results/qc/chr{chrom}.bim", chrom=CHROMOSOMES)


wildcard_constraints:
    chunk=r"chr[^/]+_[0-9][0-9][0-9]+",
    fold="|".join(FOLDS),
    set=r"[A-Za-z0-9_]+",
    group="|".join(POPULATIONS or [imputation.ALL]),


def tag_lists(wildcards=None):
    return [f"results/{method}_tag_snps.txt" for method in JUDGED_METHODS]


def imputation_targets():
    """What the run makes once the tags are chosen: the tags as VCF, and
    with imputation, the tables and the plot."""
    tables = ["results/imputation.tsv", "results/imputation_snps.tsv", "results/imputation.png"]
    return [*(f"results/{method}_tags.vcf.gz" for method in JUDGED_METHODS), *(tables if IMPUTATION else [])]


def imputation_report_inputs(wildcards=None):
    """What the report's imputation section reads."""
    if not IMPUTATION:
        return []
    return [
        "results/imputation.tsv",
        "results/imputation.png",
        f"{IMPUTATION_FOLDER}/sets.tsv",
        f"{IMPUTATION_FOLDER}/chunks.tsv",
        f"{IMPUTATION_FOLDER}/people.tsv",
        *expand(f"{IMPUTATION_FOLDER}/chr{{chrom}}/phasing.txt", chrom=CHROMOSOMES),
    ]


def holdout_people(wildcards=None):
    """The people quality control leaves out: those held out."""
    return [f"{IMPUTATION_FOLDER}/holdout.remove"] if IMPUTATION and config["holdout"] is not None else []


def holdout_option(wildcards=None):
    return " ".join(f"--remove {quoted(path)}" for path in holdout_people())


def tag_codes(wildcards=None):
    """tags_vcf.py's options: from PLINK input, each chromosome's code as
    the user's .bim writes it; from VCF input, the VCFs."""
    if VCFS:
        return " ".join(f"--vcf {quoted(path)}" for path in VCFS.values())
    pairs = [f"{label}={c.code}" for label, c in SETUP.chromosomes.items()]
    return " ".join(f"--code {quoted(pair)}" for pair in pairs)



# With imputation.

def people_source(wildcards=None):
    """Where the people are listed: the populations' files, or the
    first fileset's .fam, or the first VCF."""
    if POPULATIONS:
        return [config["populations"][p] for p in POPULATIONS]
    if VCFS:
        return [next(iter(VCFS.values()))]
    return [f"{inputs.filesets(config)[0]}.fam"]

def people_options(wildcards=None):
    if POPULATIONS:
        pairs = [f"{p}={config['populations'][p]}" for p in POPULATIONS]
        return " ".join(f"--population {quoted(pair)}" for pair in pairs)
    return f"--vcf {quoted(people_source()[0])}" if VCFS else f"--fam {quoted(people_source()[0])}"

def chunk_rows():
    path = checkpoints.imputation_chunks.get().output[0]
    return formats.read_table(path)[1]

def chunk_row(name):
    for row in chunk_rows():
        if row["chunk"] == name:
            return row
    raise WorkflowError(f"no chunk {name} in {IMPUTATION_FOLDER}/chunks.tsv")

def chunk_interval(wildcards):
    row = chunk_row(wildcards.chunk)
    return f"{row['contig']}:{row['start']}-{row['end']}"

def chunk_core(wildcards):
    row = chunk_row(wildcards.chunk)
    return f"{row['core_start']} {row['core_end']}"

def chunk_panel(wildcards):
    folder = f"{IMPUTATION_FOLDER}/chr{chunk_row(wildcards.chunk)['chromosome']}"
    return {
        "panel": f"{folder}/panel.vcf.gz",
        "index": f"{folder}/panel.vcf.gz.tbi",
        "phasing": f"{folder}/phasing.txt",
    }

def java_heap(wildcards, resources):
    """Java's heap: three quarters of the job's memory."""
    return max(256, resources.mem_mb * 3 // 4)

BEAGLE_MAP = f"map={quoted(config['genetic_map'])}" if config["genetic_map"] else ""

PAIR_GROUPS = POPULATIONS or [imputation.ALL]

def pair_people(wildcards):
    """With populations, the population's samples and the SNPs that vary
    there."""
    if not POPULATIONS:
        return []
    return [keep_file(wildcards.group), varying_snps(wildcards.chrom, wildcards.group)]

def pair_options(wildcards):
    if not POPULATIONS:
        return ""
    keep, snps = pair_people(wildcards)
    return f"--keep {quoted(keep)} --extract {quoted(snps)}"

def imputation_pair_tables(wildcards):
    return expand(f"{IMPUTATION_FOLDER}/chr{{chrom}}/{{group}}.pairs.ld", chrom=CHROMOSOMES, group=PAIR_GROUPS)

def imputation_sums(wildcards):
    """Every fold's sums of every set in every chunk, known once the
    chunks and the sets are."""
    sets = formats.read_table(checkpoints.imputation_sets.get().output.table)[1]
    return [
        f"{IMPUTATION_FOLDER}/chunks/{row['chunk']}/{fold}/{s['set']}.tsv"
        for row in chunk_rows()
        for fold in FOLDS
        for s in sets
    ]


def chromosome_vcf(wildcards):
    """The user's VCF that holds the chromosome."""
    return VCFS[os.path.basename(SETUP.chromosomes[wildcards.chrom].fileset)]
