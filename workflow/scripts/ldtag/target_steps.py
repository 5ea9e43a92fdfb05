"""The rules of the tags chosen for imputation (rules/target.smk), one
function each: they read PLINK's scans, the inner folds' sums and the
rounds' tables, choose with target.py and spread.py, and write each
round's sets and tables. A PLINK table of the wrong shape or name stops
the rule with its path.
"""
import os
import sys

from . import dosage, evaluation, files, imputation, paths, spread, target

CANDIDATE_COLUMNS = ("set", "kind", "tags")
ROUND_COLUMNS = CANDIDATE_COLUMNS + ("needed",)  # the second and third rounds' tables


def _listed(path):
    """The names of a done or undesirable list, in order; none for None."""
    return list(dict.fromkeys(files.tokens(path))) if path else []


def write_candidates(
    bims,
    people_tsv,
    curve_tsv,
    freqs,
    seed,
    sets_folder,
    folds_folder,
    table,
    budget=None,
    done=None,
    undesirable=None,
    pairs=(),
    r2=None,
):
    """Rule target_candidates: the inner folds of the people not held out
    (a file of VCF ids per fold in `folds_folder`), each candidate's tags in
    `sets_folder` (with the MAFs of the `freqs` tables, the `done` list's
    SNPs that passed quality control, none of the `undesirable` list's, and
    a spread SNP never a proxy at `r2` in every population of the `pairs`
    tables of the one before it) and the candidates' table."""
    people = [r for r in files.read_table(people_tsv)[1] if r["fold"] == imputation.REFERENCE]
    groups = {}
    for r in people:
        groups.setdefault(r["population"], []).append(r["id"])
    fold = target.inner_folds(groups, seed)
    for name in target.INNER_FOLDS:
        files.write_lines(os.path.join(folds_folder, name + ".txt"), [r["id"] for r in people if fold[r["id"]] == name])
    snps = evaluation.bim_snps(bims)
    chromosomes = {}
    for label, name, _ in snps:
        chromosomes.setdefault(label, []).append(name)
    order = [r["snp"] for r in files.read_table(curve_tsv)[1]] if curve_tsv else None
    known = {name for _, name, _ in snps}
    typed = [name for name in _listed(done) if name in known]
    proxies = spread.shared_proxies(read_pairs(pairs, r2)) if pairs else None
    made = spread.candidates(
        list(chromosomes.values()),
        order,
        len(snps),
        budget,
        read_maf(freqs),
        typed,
        set(_listed(undesirable)),
        proxies,
    )
    for name, _, tags in made:
        files.write_lines(os.path.join(sets_folder, name + ".txt"), tags)
    files.write_table(table, CANDIDATE_COLUMNS, [(name, kind, len(tags)) for name, kind, tags in made])


def add_round_options(parser):
    """The options target_refine.py, target_complete.py and target_select.py share."""
    for option in ("--chunks", "--sums", "--sets", "--table"):
        parser.add_argument(option, required=True)
    parser.add_argument("--r2", type=float, required=True)
    parser.add_argument("--share", type=float, required=True)
    parser.add_argument("--budget", type=int)
    parser.add_argument("--pairs", nargs="+", required=True)
    parser.add_argument("--ladder", nargs="+", required=True)
    parser.add_argument("--undesirable", nargs="?")
    parser.add_argument("--varying", nargs="*", default=[])


PAIRS_SUFFIX = os.path.basename(paths.TARGET_PAIRS).replace("{group}", "")
FREQ_SUFFIX = os.path.basename(paths.TARGET_FREQ).replace("{group}", "")


def _population(path, suffix):
    """The population a table of the target's scans is of, from its name."""
    name = os.path.basename(path)
    if not name.endswith(suffix):
        raise ValueError("%s: a table of the target's scans is named POPULATION%s" % (path, suffix))
    return name[: -len(suffix)]


def _plink_rows(path, first, count, what):
    """The rows of PLINK's table `path` as lists of fields, past its header
    (whose first field is `first`) and blank lines; each must have `count`
    fields."""
    with open(path) as f:
        for line in f:
            fields = line.split()
            if not fields or fields[0] == first:
                continue
            if len(fields) != count:
                raise ValueError("%s: a line of PLINK's %s has %d fields, not %d" % (path, what, len(fields), count))
            yield fields


def read_maf(tables):
    """PLINK's .frq `tables` (one per chromosome and population, named after
    the population) as SNP -> the mean over the populations of its MAF
    there (0 where it is not listed)."""
    total, populations = {}, set()
    for path in tables:
        populations.add(_population(path, FREQ_SUFFIX))
        for fields in _plink_rows(path, "CHR", 6, ".frq"):
            if fields[4] != "NA":
                total[fields[1]] = total.get(fields[1], 0.0) + float(fields[4])
    return {snp: value / len(populations) for snp, value in total.items()}


def read_pairs(tables, target_r2):
    """PLINK's r² `tables` (one per chromosome and population, named after
    the population) as population -> SNP -> SNP -> r², the pairs at
    `target_r2` or above both ways."""
    pairs = {}
    for path in tables:
        near = pairs.setdefault(_population(path, PAIRS_SUFFIX), {})
        for fields in _plink_rows(path, "CHR_A", 7, "r² table"):
            a, b, value = fields[2], fields[5], float(fields[6])
            if value >= target_r2:
                near.setdefault(a, {})[b] = value
                near.setdefault(b, {})[a] = value
    return pairs


POOLED = "pooled"  # the "fold" of r² pooled over the inner folds
VARYING_SUFFIX = ".snps"  # paths.VARYING: chr<chrom>.<population>.snps


def read_varying(lists):
    """The SNPs that vary in each population, from its lists of them
    (paths.VARYING, one per chromosome): population -> set of SNPs."""
    varying = {}
    for path in lists:
        name = os.path.basename(path)
        if not name.endswith(VARYING_SUFFIX) or "." not in name[: -len(VARYING_SUFFIX)]:
            raise ValueError("%s: a list of the SNPs that vary is named chrCHROM.POPULATION%s" % (path, VARYING_SUFFIX))
        population = name[: -len(VARYING_SUFFIX)].rsplit(".", 1)[1]
        varying.setdefault(population, set()).update(_listed(path))
    return varying


def _set_r2(name, chunks, sums_folder, pooled=False, varying=None):
    """The set `name`'s r² in each inner fold, from its sums in each of
    `chunks`: (population, fold) -> SNP -> r² or None; with `pooled`, over
    the folds pooled: (population, POOLED) -> .... With `varying`
    (read_varying), a population's SNPs are those that vary there, as the
    held-out people's figures count them: a SNP rare there that another
    population keeps is not its to impute (a population without lists, as
    in a run of one, keeps every SNP)."""
    varying = varying or {}
    pool = dosage.Pool()  # its "sets" are the folds, or one for them all
    for chunk in chunks:
        for fold in target.INNER_FOLDS:
            pool.add(POOLED if pooled else fold, fold, os.path.join(sums_folder, chunk, fold, name + ".tsv"))
    r2 = {}
    for (fold, population, snp), sums in pool.sums.items():
        if population in varying and snp not in varying[population]:
            continue
        r2.setdefault((population, fold), {})[snp] = dosage.r2(*sums)
    return r2


def _imputed(ladder):
    """The sets the `ladder` tables say were imputed."""
    return {row["set"] for path in ladder for row in files.read_table(path)[1] if row["imputed"] == "1"}


def _inner_r2(tables, chunks_tsv, sums_folder, sets_folder, ladder, pooled=False, varying=None):
    """The sets of the candidates' `tables` [(name, kind, tags)] that the
    `ladder` tables say were imputed, and each one's r² in each inner fold
    (with `pooled`, over the folds pooled; with `varying`, of the SNPs that
    vary in each population): name -> (population, fold) -> SNP -> r² or
    None."""
    chunks = [r["chunk"] for r in files.read_table(chunks_tsv)[1]]
    imputed = _imputed(ladder)
    sets, r2_of = [], {}
    for row in (row for path in tables for row in files.read_table(path)[1]):
        name = row["set"]
        if name in imputed:
            with open(os.path.join(sets_folder, name + ".txt")) as f:
                sets.append((name, row["kind"], f.read().split()))
            r2_of[name] = _set_r2(name, chunks, sums_folder, pooled, varying)
    return sets, r2_of


def rung(candidates, name, previous, chunks, sums, r2, share, out, varying=(), sets=None, pairs=(), undesirable=None):
    """Rule target_rung: whether the set `name` is imputed (ladder_step),
    from its round's table `candidates`, and the `previous` set's ladder
    table and inner sums (None for the first of its round, and within a
    budget, where every set is imputed), of the SNPs that vary in each
    population (the `varying` lists, read_varying); in the first two
    rounds that set, from the folder `sets`, is repaired with the `pairs`
    tables (never with a SNP of the `undesirable` list). Its ladder table
    `out`."""
    rows = files.read_table(candidates)[1]
    tags_of = {row["set"]: int(row["tags"]) for row in rows}
    before = files.read_table(previous)[1][0] if previous else None
    reached, total, complete = False, None, True
    if before is not None and before["imputed"] == "1":
        chunk_names = [r["chunk"] for r in files.read_table(chunks)[1]]
        r2_before = _set_r2(before["set"], chunk_names, sums, varying=read_varying(varying))
        reached = target.reaches(r2_before, r2, share)
        if name.startswith((spread.COMMON, target.REFINED)) and sets is not None:
            tags = files.tokens(os.path.join(sets, before["set"] + ".txt"))
            near = target.fold_pairs(read_pairs(pairs, r2), {before["set"]: r2_before})
            added, lowest = target.repair(r2_before, r2, share, tags, None, near, set(_listed(undesirable)))
            total, complete = len(tags) + len(added), target.completes(lowest, share)
    imputed, reached_by, smallest, last = target.ladder_step(name, tags_of, before, reached, total, complete)
    if next(row for row in rows if row["set"] == name).get("needed") == "0":
        imputed = False
        why = "the third round does not need it"
        if name.startswith(target.REFINED):
            why = "a set before it has its tags, or one that reached every share as imputed has no more"
        print("%s is not imputed: %s (%s)" % (name, why, os.path.basename(candidates)), file=sys.stderr)
    elif not imputed:
        print(
            "%s is not imputed: %s" % (name, _why_not(name, tags_of, reached_by, smallest, last)),
            file=sys.stderr,
        )
    row = target.ladder_row(name, imputed, reached_by, smallest, last)
    files.write_table(out, target.LADDER_COLUMNS, [[row[column] for column in target.LADDER_COLUMNS]])


def _why_not(name, tags_of, reached_by, smallest, last):
    """Why the set `name` is not imputed, as ladder_step decided."""
    tags = tags_of[name]
    if reached_by is not None and tags_of[reached_by] <= tags:
        return "%s reached every share as imputed with %d tags" % (reached_by, tags_of[reached_by])
    if smallest is not None and tags >= smallest and name.startswith(target.REFINED):
        return "a smaller set of this round completed has %d tags; it is put off to the third round" % smallest
    if smallest is not None and tags >= smallest:
        return "a smaller candidate completed has %d tags, and the second round starts from it" % smallest
    hopeless = target.HOPELESS
    return "%d tags times %d are fewer than the last imputed candidate's completed total, %d" % (tags, hopeless, last)


def _write_round(made, sets, table):
    """A round's sets [(name, kind, tags, needed)], each in the folder
    `sets`, and its `table`."""
    for name, _, tags, _ in made:
        files.write_lines(os.path.join(sets, name + ".txt"), tags)
    rows = [(name, kind, len(tags), int(needed)) for name, kind, tags, needed in made]
    files.write_table(table, ROUND_COLUMNS, rows)


def refine(candidates, chunks, sums, sets, r2, share, budget, pairs, ladder, table, undesirable=None, varying=()):
    """Rule target_refine: the second round's sets, from the first round's
    inner r² (of the candidates the `ladder` tables say were imputed; within
    a `budget`, pooled over the folds; of the SNPs the `varying` lists give)
    and the `pairs` tables (the `undesirable` list's SNPs never added), in
    the folder `sets` and their `table`."""
    pooled = budget is not None
    made_sets, r2_of = _inner_r2([candidates], chunks, sums, sets, ladder, pooled, read_varying(varying))
    near = target.fold_pairs(read_pairs(pairs, r2), r2_of)
    made = target.refinements(made_sets, r2_of, r2, share, budget, near, set(_listed(undesirable)))
    _write_round(made, sets, table)


def complete(candidates, chunks, sums, sets, r2, share, pairs, ladder, table, undesirable=None, varying=()):
    """Rule target_complete: the third round's sets (completions), from both
    rounds' inner r² (of the sets the `ladder` tables say were imputed, of
    the `candidates` tables, the first round's then the second's; of the
    SNPs the `varying` lists give) and the `pairs` tables (the `undesirable`
    list's SNPs never added), in the folder `sets` and their `table`."""
    made_sets, r2_of = _inner_r2(candidates, chunks, sums, sets, ladder, varying=read_varying(varying))
    second = [
        (r["set"], r["kind"], files.tokens(os.path.join(sets, r["set"] + ".txt")))
        for r in files.read_table(candidates[-1])[1]
    ]
    near = target.fold_pairs(read_pairs(pairs, r2), r2_of)
    made = target.completions(made_sets, second, r2_of, r2, share, near, set(_listed(undesirable)))
    _write_round(made, sets, table)


def select(candidates, chunks, sums, sets, r2, share, budget, pairs, ladder, table, out, undesirable=None, varying=()):
    """Rule target_select: the choice among every round's sets (the
    `candidates` tables; those the `ladder` tables say were imputed; within
    a `budget`, their r² pooled over the folds; of the SNPs the `varying`
    lists give), repaired with the `pairs` tables (the `undesirable` list's
    SNPs never added), its tags (`out`) and the selection `table`."""
    pooled = budget is not None
    made_sets, r2_of = _inner_r2(candidates, chunks, sums, sets, ladder, pooled, read_varying(varying))
    near = target.fold_pairs(read_pairs(pairs, r2), r2_of)
    tags, rows = target.choose(made_sets, r2_of, r2, share, budget, near, set(_listed(undesirable)))
    files.write_lines(out, tags)
    files.write_table(table, target.SELECTION_COLUMNS, rows)
