# The constants and functions of the imputation evaluation and of the tags as
# VCF (rules/imputation.smk); the protocol itself is ldtag/imputation.py.

from ldtag import imputation, pairwise, spread, target  # noqa: E402

IMPUTATION = config["imputation"]
# Tags chosen for imputation (target: imputation): candidates judged in inner
# folds of the people not held out, then the choice.
TARGET = IMPUTATION and config["target"] == "imputation"
# The methods whose tags are written as VCF, each with its list
# results/<method>_tag_snps.txt; and those of them judged by imputation.
TAG_METHODS = settings.tag_methods(config)
JUDGED_METHODS = settings.judged_methods(config)
# The folds of people imputed: 1 to folds, or with holdout "holdout" alone, so
# that the rules, given len(FOLDS), are not run again when an unused folds changes.
FOLDS = imputation.fold_names(config)
CANDIDATES = spread.candidate_names(BUILTIN, config["max_tags"] is not None) if TARGET else []
REFINED_SETS = target.refined_names(config["max_tags"] is not None)
COMPLETED_SETS = target.completed_names(config["max_tags"] is not None)
TARGET_BUDGET = f"--budget {config['max_tags']}" if config["max_tags"] is not None else ""
QC_BIMS = expand(f"{paths.QC_FILESET}.bim", chrom=CHROMOSOMES)
GROUPS = POPULATIONS or [imputation.ALL]
# The target's scans of each chromosome and population: the pairs of SNPs
# at imputed_r2 or above, and the MAFs.
TARGET_PAIR_TABLES = expand(paths.TARGET_PAIRS, chrom=CHROMOSOMES, group=GROUPS)
TARGET_FREQ_TABLES = expand(paths.TARGET_FREQ, chrom=CHROMOSOMES, group=GROUPS)
# With populations, the lists of the SNPs that vary in each: a population's
# imputed r² is measured on those.
VARYING_LISTS = expand(paths.VARYING, chrom=CHROMOSOMES, population=POPULATIONS)


wildcard_constraints:
    chunk=r"chr[^/]+_[0-9][0-9][0-9]+",
    fold="|".join(FOLDS + (list(target.INNER_FOLDS) if TARGET else [])),
    set=r"[A-Za-z0-9_]+",
    group="|".join(GROUPS),


def tag_lists(methods):
    return [paths.method_tags(method) for method in methods]


def imputation_targets():
    """What the run makes once the tags are chosen: the tags as VCF, and
    with imputation, the tables and the plot."""
    tables = [paths.IMPUTATION_TABLE, paths.IMPUTATION_SNPS, paths.IMPUTATION_PLOT]
    return [paths.method_vcf(method) for method in TAG_METHODS] + (tables if IMPUTATION else [])


def imputation_report_inputs(wildcards=None):
    """What the report's imputation section reads."""
    if not IMPUTATION:
        return []
    return [
        paths.IMPUTATION_TABLE,
        paths.IMPUTATION_SNPS,
        paths.IMPUTATION_PLOT,
        paths.SETS,
        paths.CHUNKS,
        paths.IMPUTATION_PEOPLE,
        *expand(paths.PHASING, chrom=CHROMOSOMES),
        *([paths.SELECTION, paths.method_tags(target.METHOD)] if TARGET else []),
    ]


def holdout_people(wildcards=None):
    """The people quality control leaves out: those held out."""
    return [paths.HOLDOUT] if IMPUTATION and config["holdout"] is not None else []


def phasing_excluded(wildcards=None):
    """With held-out people, their fold file: Beagle phases the reference
    without them, so that they take no part in it."""
    return [paths.FOLD.format(fold=imputation.HOLDOUT)] if IMPUTATION and config["holdout"] is not None else []


def inner_sums(names):
    """An input function: the sums of the sets `names`, per chunk and inner
    fold."""

    def sums(wildcards):
        return [
            f"{paths.IMPUTATION}/chunks/{row['chunk']}/{fold}/{name}.tsv"
            for row in chunk_rows()
            for fold in target.INNER_FOLDS
            for name in names
        ]

    return sums


def imputed(name):
    """Whether the target's set `name` is imputed: its target_rung
    checkpoint says."""
    path = checkpoints.target_rung.get(set=name).output[0]
    return files.read_table(path)[1][0]["imputed"] == "1"


def imputed_sums(names):
    """An input function: the sums of the sets `names` that are imputed."""

    def sums(wildcards):
        return inner_sums([name for name in names if imputed(name)])(wildcards)

    return sums


def rung_inputs(wildcards):
    """target_rung's inputs: the table of the set's round (the candidates,
    the second or the third round's sets), the chunks and the SNPs that vary
    in each population; without a budget, the set before it in its round
    (each waits for it) and, when that one was imputed, its sums, and in the
    first two rounds its tags, the pairs and the undesirable list, to
    repair it.
    And each inner fold's reference and truth, only so that they are not
    deleted as intermediate while a set's jobs are not yet known."""
    rounds = ((REFINED_SETS, paths.REFINED), (COMPLETED_SETS, paths.COMPLETED))
    names, table = next((r for r in rounds if wildcards.set in r[0]), (CANDIDATES, paths.CANDIDATES))
    splits = [f"{paths.IMPUTATION}/chunks/{row['chunk']}/{fold}" for row in chunk_rows() for fold in target.INNER_FOLDS]
    out = {
        "candidates": table,
        "chunks": paths.CHUNKS,
        "varying": VARYING_LISTS,
        "splits": [f"{split}/{name}.vcf.gz" for split in splits for name in ("reference", "truth")],
    }
    index = names.index(wildcards.set)
    if config["max_tags"] is None and index > 0:
        previous = names[index - 1]
        out["previous"] = paths.RUNG.format(set=previous)
        out["sums"] = inner_sums([previous] if imputed(previous) else [])(wildcards)
        if names is CANDIDATES or names is REFINED_SETS:
            out.update(
                set=paths.SET.format(set=previous), pairs=TARGET_PAIR_TABLES, undesirable=listed("undesirable_file")
            )
    return out


def rung_previous(wildcards, input):
    """target_rung.py's options naming the set before, if any, and in the
    first two rounds what repairs it."""
    if "previous" not in input.keys():
        return ""
    out = f"--previous {shlex.quote(input.previous)}"
    if "pairs" in input.keys():
        out += f" --sets {shlex.quote(os.path.dirname(input.set))} --pairs {' '.join(map(shlex.quote, input.pairs))}"
        out += "".join(f" --undesirable {shlex.quote(path)}" for path in input.undesirable)
    return out


def round_inputs(names, tables):
    """What target_refine, target_complete and target_select read: the
    rounds' `tables` of sets, the inner sums of their sets `names` that
    are imputed and the ladder that says which, the chunks, the pairs,
    the undesirable list and the SNPs that vary in each population."""
    return {
        "sums": imputed_sums(names),
        "candidates": tables,
        "ladder": [paths.RUNG.format(set=name) for name in names],
        "chunks": paths.CHUNKS,
        "pairs": TARGET_PAIR_TABLES,
        "undesirable": listed("undesirable_file"),
        "varying": VARYING_LISTS,
    }


def round_params(script):
    """The params of those three rules, running `script`."""
    return {
        "python": PYTHON,
        "script": script_path(script),
        "sums": os.path.dirname(paths.CHUNK),
        "sets": os.path.dirname(paths.SET),
        "r2": config["imputed_r2"],
        "share": config["imputed_share"],
        "budget": TARGET_BUDGET,
    }


def round_shell(more=""):
    """The shell command of those three rules, with `more` options."""
    return (
        "{params.python:q} {params.script:q} --candidates {input.candidates:q} --chunks {input.chunks:q} "
        "--sums {params.sums:q} --sets {params.sets:q} --r2 {params.r2} --share {params.share} {params.budget} "
        "--pairs {input.pairs:q} --ladder {input.ladder:q} --undesirable {input.undesirable:q} "
        "--varying {input.varying:q} "
        f"--table {{output.table:q}} {more} 2> {{log:q}}"
    )


def held_out_table():
    """The imputation's people table when some are held out (the LD is not
    estimated in them), else none."""
    return paths.IMPUTATION_PEOPLE if IMPUTATION and config["holdout"] is not None else None


def tag_codes(wildcards=None):
    """tags_vcf.py's options: from PLINK input, each chromosome's code as
    the user's .bim writes it; from VCF input, the VCFs."""
    if VCFS:
        return " ".join(f"--vcf {shlex.quote(path)}" for path in VCFS.values())
    pairs = [f"{label}={c.code}" for label, c in SETUP.chromosomes.items()]
    return " ".join(f"--code {shlex.quote(pair)}" for pair in pairs)


def people_source(wildcards=None):
    """Where the people are listed: the populations' table, and without
    populations the first VCF or fileset's .fam."""
    if VCFS and not POPULATIONS:
        return {"populations": paths.POPULATIONS_TABLE, "vcf": next(iter(VCFS.values()))}
    return {"populations": paths.POPULATIONS_TABLE, "fam": f"{settings.filesets(config)[0]}.fam"}


def people_options(wildcards, input):
    """imputation_people.py's option naming the file of all samples."""
    return f"--vcf {shlex.quote(input.vcf)}" if "vcf" in input.keys() else f"--fam {shlex.quote(input.fam)}"


def chunk_rows():
    path = checkpoints.imputation_chunks.get().output[0]
    return files.read_table(path)[1]


def chunk_row(name):
    for row in chunk_rows():
        if row["chunk"] == name:
            return row
    raise WorkflowError(f"no chunk {name} in {paths.CHUNKS}")


def chunk_interval(wildcards):
    row = chunk_row(wildcards.chunk)
    return f"{row['contig']}:{row['start']}-{row['end']}"


def chunk_core(wildcards):
    row = chunk_row(wildcards.chunk)
    return f"{row['core_start']} {row['core_end']}"


def chunk_panel(wildcards):
    chrom = chunk_row(wildcards.chunk)["chromosome"]
    panel = paths.PANEL.format(chrom=chrom)
    return {"panel": panel, "index": f"{panel}.tbi", "phasing": paths.PHASING.format(chrom=chrom)}


def java_heap(wildcards, resources):
    """Java's heap: three quarters of the job's memory."""
    return max(256, resources.mem_mb * 3 // 4)


BEAGLE_MAP = f"map={shlex.quote(config['genetic_map'])}" if config["genetic_map"] else ""


def pair_people(wildcards):
    """With populations, the population's samples and the SNPs that vary
    there."""
    if not POPULATIONS:
        return []
    return [
        paths.POPULATION_KEEP.format(population=wildcards.group),
        paths.VARYING.format(chrom=wildcards.chrom, population=wildcards.group),
    ]


def pair_options(wildcards):
    if not POPULATIONS:
        return ""
    keep, snps = pair_people(wildcards)
    return f"--keep {shlex.quote(keep)} --extract {shlex.quote(snps)}"


def pair_varying(wildcards, input):
    """With populations, the file of the SNPs that vary in the population
    (empty when none of the chromosome's does: no pairs to scan), quoted
    for the shell; without, ''."""
    return shlex.quote(input.people[1]) if input.people else "''"


def imputation_pair_tables(wildcards):
    return expand(paths.PAIRS, chrom=CHROMOSOMES, group=GROUPS)


def imputation_sums(wildcards):
    """Every fold's sums of every set in every chunk, known once the
    chunks and the sets are."""
    sets = files.read_table(checkpoints.imputation_sets.get().output.table)[1]
    return [
        f"{paths.CHUNK.format(chunk=row['chunk'])}/{fold}/{s['set']}.tsv"
        for row in chunk_rows()
        for fold in FOLDS
        for s in sets
    ]


def chromosome_vcf(wildcards):
    """The user's VCF that holds the chromosome."""
    return VCFS[os.path.basename(SETUP.chromosomes[wildcards.chrom].fileset)]
