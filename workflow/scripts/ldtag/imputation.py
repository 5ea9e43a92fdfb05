"""The protocol of the imputation evaluation: who is held out, the folds, the
chunks of each chromosome, and the tag sets judged.

People are drawn within each population (all samples as one without
populations) with a seeded shuffle. With `holdout`, a share of each
population is set aside before quality control, so that the selection never
sees it, and is imputed from all the other people, one split; otherwise the
people of each population are dealt into `folds` folds, and each fold is
imputed from the people of the other folds. Either way the people imputed at
once form a fold, named "holdout" or 1, 2, ...

A chromosome's SNPs are cut by position into chunks: a core of `chunk_mb`
Mb, whose SNPs are scored, and flanks of `flank_mb` Mb on each side, which
Beagle reads too, so that no SNP is imputed at the edge of what Beagle sees.

The sets judged are each method's tags, the user's list (`evaluate_tags`),
and, for each distinct number of tags among them, as many evenly spaced SNPs:
by index along each chromosome's SNPs that passed quality control, the
number shared among the chromosomes in proportion to their SNPs.
"""
import collections
import math
import random
from dataclasses import dataclass

from . import files
from .populations import EVERYONE as ALL  # the population of all samples without populations

# How each method's set is named in the report and the plot.
SET_LABELS = {
    "greedy": "Greedy",
    "minimax": "Minimax",
    "minimum": "Minimum",
    "budget_greedy": "Budget, greedy",
    "budget_maximum": "Budget, maximum",
    "given": "evaluate_tags",
    "for_imputation": "Chosen for imputation",
}
MIN_PEOPLE = 20  # people in a fold, in a population's held-out share, and in a population
# Target imputation's folds of the people not held out. With four, each
# inner reference has three quarters of the selection's people, near the
# held-out people's (all of them); with two the choice took more tags, and
# with each fold imputed in halves the inner share no longer stayed under
# the held-out one (bench/README.md).
INNER_FOLD_COUNT = 4
HOLDOUT = "holdout"  # the fold of the held-out people
REFERENCE = "reference"  # the fold of people never imputed (with holdout)
GIVEN = "given"  # the set of evaluate_tags
EVEN = "even_"  # the prefix of an evenly spaced set, before its count
# Contig names as PLINK writes them with --output-chr MT.
PLINK_CONTIGS = {"23": "X", "24": "Y", "25": "XY", "26": "MT", "M": "MT"}


class ProtocolError(Exception):
    """The config cannot give an honest evaluation."""


# Who is imputed.


def fold_names(config):
    """The folds, in order: "holdout", or 1 to `folds`."""
    if config["holdout"] is not None:
        return [HOLDOUT]
    return [str(k) for k in range(1, config["folds"] + 1)]


def held_out_count(people, share):
    """People set aside of a population of `people`: the share, rounded to
    the nearest whole person (a half up)."""
    return int(math.floor(people * share + 0.5))


def how_measured(config, kind):
    """How a set's figure is measured: held-out people, or for a method's
    own tags chosen with all people, "tags chosen with these people"."""
    if config["holdout"] is not None:
        return "held-out, %g%% set aside before quality control" % (100 * config["holdout"])
    if kind == "method":
        return "tags chosen with these people, %d folds" % config["folds"]
    return "held-out, %d folds" % config["folds"]


def check_people(groups, config):
    """Problems with the number of people: `groups` maps each population
    (ALL without populations) to its number of people."""
    if not config["imputation"]:
        return []
    problems = []
    for name, people in groups.items():
        where = "population %s" % name if name != ALL else "the study"
        if people < MIN_PEOPLE:
            problems.append(
                "%s has %d people; the imputation evaluation needs at least %d in each population"
                % (where, people, MIN_PEOPLE)
            )
        elif config["holdout"] is not None:
            out = held_out_count(people, config["holdout"])
            if out < MIN_PEOPLE:
                needed = math.ceil(100 * (MIN_PEOPLE - 0.5) / people) / 100
                remedy = "raise holdout to %g or more, or use folds (holdout null)" % needed
                if needed > 0.5:
                    remedy = "a share of at most 0.5 cannot give them: use folds (holdout null)"
                if config.get("target") == "imputation":
                    remedy = target_holdouts(people)
                problems.append(
                    "holdout %g sets aside %d of the %d people of %s; at least %d are needed: %s"
                    % (config["holdout"], out, people, where, MIN_PEOPLE, remedy)
                )
    if config["holdout"] is None and not problems:
        k = config["folds"]
        smallest = sum(people // k for people in groups.values())
        if smallest < MIN_PEOPLE:
            most = max([f for f in range(2, k) if sum(p // f for p in groups.values()) >= MIN_PEOPLE] or [0])
            problems.append(
                "folds %d: the %d people give folds of %d people; each fold needs at least %d: %s"
                % (
                    k,
                    sum(groups.values()),
                    smallest,
                    MIN_PEOPLE,
                    "use at most %d folds" % most if most else "there are too few people for 2 folds",
                )
            )
    return problems


def check_inner(groups, config):
    """With target imputation, the people not held out are dealt into
    INNER_FOLD_COUNT inner folds: each needs MIN_PEOPLE of every population."""
    problems = []
    for name, people in groups.items():
        inner = (people - held_out_count(people, config["holdout"])) // INNER_FOLD_COUNT
        if inner < MIN_PEOPLE:
            where = "population %s" % name if name != ALL else "the study"
            problems.append(
                "target imputation deals the %d people of %s not held out into %d folds, the smallest of %d; "
                "each needs at least %d: %s"
                % (
                    people - held_out_count(people, config["holdout"]),
                    where,
                    INNER_FOLD_COUNT,
                    inner,
                    MIN_PEOPLE,
                    target_holdouts(people),
                )
            )
    return problems


def target_holdouts(people):
    """The holdouts, in hundredths, with which target imputation holds out
    MIN_PEOPLE of a population of `people` and deals the rest into inner
    folds of MIN_PEOPLE, as a remedy."""
    fits = [
        k / 100
        for k in range(1, 51)
        if held_out_count(people, k / 100) >= MIN_PEOPLE
        and (people - held_out_count(people, k / 100)) // INNER_FOLD_COUNT >= MIN_PEOPLE
    ]
    if not fits:
        return "no holdout can give both with %d people: target imputation needs at least %d in each population" % (
            people,
            MIN_PEOPLE * (INNER_FOLD_COUNT + 1),
        )
    return "use a holdout of %g to %g" % (fits[0], fits[-1]) if len(fits) > 1 else "use a holdout of %g" % fits[0]


def draw(groups, config):
    """Each person's fold: `groups` maps each population, in order, to its
    people (any hashable ids, in file order); returns person -> fold name,
    REFERENCE for the people never imputed. One seeded shuffle per
    population, in population order."""
    rng = random.Random(config["seed"])
    fold = {}
    for people in groups.values():
        order = list(people)
        rng.shuffle(order)
        if config["holdout"] is not None:
            out = held_out_count(len(order), config["holdout"])
            fold.update((person, HOLDOUT if k < out else REFERENCE) for k, person in enumerate(order))
        else:
            fold.update((person, str(k % config["folds"] + 1)) for k, person in enumerate(order))
    return fold


def sample_ids(samples):
    """The id of each (family id, sample id) in a VCF: the sample id when
    those of `samples` are unique, else family id_sample id, as PLINK's
    --recode vcf-iid and vcf name them; and that recode mode."""
    unique = len({iid for _, iid in samples}) == len(samples)
    if unique:
        return [iid for _, iid in samples], "vcf-iid"
    return ["%s_%s" % sample for sample in samples], "vcf"


# Chunks.


@dataclass
class Chunk:
    name: str  # chr<label>_<number from 1>
    label: str  # the chromosome's label
    contig: str  # its name in the panel VCF
    start: int  # what Beagle reads: the core with its flanks, in bp
    end: int
    core_start: int  # the SNPs scored
    core_end: int
    snps: int  # SNPs in the core

    COLUMNS = ("chunk", "chromosome", "contig", "start", "end", "core_start", "core_end", "snps")

    def row(self):
        return (self.name, self.label, self.contig, self.start, self.end, self.core_start, self.core_end, self.snps)

    def interval(self):
        """Beagle's chrom= and bcftools' -r."""
        return "%s:%d-%d" % (self.contig, self.start, self.end)


def contig(label):
    """The name of a chromosome in the panel VCF, as PLINK writes it with
    --output-chr MT."""
    code = label[3:] if label.lower().startswith("chr") and len(label) > 3 else label
    code = code.upper() if code.lower() in ("x", "y", "xy", "mt", "m") else code
    return PLINK_CONTIGS.get(code, code)


def chunks(label, positions, chunk_bp, flank_bp):
    """The chunks of a chromosome whose SNPs are at `positions` (in file
    order): cores of chunk_bp from the first SNP on, those that hold SNPs."""
    if not positions:
        return []
    first = min(positions)
    counts = collections.Counter((p - first) // chunk_bp for p in positions)
    out = []
    for index in sorted(counts):
        core_start = first + index * chunk_bp
        core_end = core_start + chunk_bp - 1
        out.append(
            Chunk(
                "chr%s_%03d" % (label, len(out) + 1),
                label,
                contig(label),
                max(1, core_start - flank_bp),
                core_end + flank_bp,
                core_start,
                core_end,
                counts[index],
            )
        )
    return out


# The sets judged.


def shares(count, sizes):
    """`count` shared among chromosomes of `sizes` SNPs in proportion:
    largest remainders, ties to the earlier chromosome."""
    total = sum(sizes)
    if count > total:
        raise ValueError("%d SNPs cannot be chosen from %d" % (count, total))
    exact = [count * size / total if total else 0 for size in sizes]
    out = [int(math.floor(x)) for x in exact]
    rest = sorted(range(len(sizes)), key=lambda k: (-(exact[k] - out[k]), k))
    for k in rest[: count - sum(out)]:
        out[k] += 1
    return out


def evenly_spaced(count, size):
    """`count` indices spread evenly over `size` SNPs: the middle of each of
    `count` equal stretches, floor((2i + 1) size / 2 count)."""
    return [(2 * i + 1) * size // (2 * count) for i in range(count)]


def even_set(count, chromosomes):
    """`count` SNPs evenly spaced along `chromosomes`, a list of each
    chromosome's SNP names in order."""
    picks = []
    for names, share in zip(chromosomes, shares(count, [len(c) for c in chromosomes])):
        picks += [names[k] for k in evenly_spaced(share, len(names))] if share else []
    return picks


def judged_sets(methods, given, chromosomes):
    """The sets judged, as (name, kind, names): `methods` maps each method
    to its tags, `given` is the user's list (None for none), cut to the SNPs
    that passed quality control; and for each distinct number of tags
    among them, the evenly spaced set "even_<number>"."""
    sets = [(method, "method", tags) for method, tags in methods.items()]
    if given is not None:
        sets.append((GIVEN, "given", given))
    counts = sorted({len(tags) for _, _, tags in sets if tags})
    sets += [("%s%d" % (EVEN, n), "evenly spaced", even_set(n, chromosomes)) for n in counts]
    return sets


def check_given(path, known):
    """Problems with evaluate_tags: names that are not in the genotypes
    (`known`, a set)."""
    try:
        names = files.tokens(path)
    except (OSError, files.FormatError) as e:
        return ["evaluate_tags: %s" % e]
    if not names:
        return ["evaluate_tags %s lists no SNP" % path]
    missing = [n for n in dict.fromkeys(names) if n not in known]
    if missing:
        return [
            "evaluate_tags %s: %d of its %d SNPs are not in the genotypes: %s"
            % (path, len(missing), len(set(names)), files.some_names(missing))
        ]
    return []


def map_chromosomes(path):
    """The chromosome codes of a PLINK map file (chromosome, name, cM, bp:
    plain text, each chromosome's lines in order of position, neither cM
    nor bp falling, as Beagle reads it). Raises ValueError naming the first
    line that is not so."""
    last = {}
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"\x1f\x8b":
        raise ValueError("genetic_map %s is compressed; give it as plain text (gunzip it)" % path)
    try:
        text = data.decode()
    except UnicodeDecodeError:
        raise ValueError("genetic_map %s is not a text file" % path) from None
    for number, line in enumerate(text.splitlines(), 1):
        fields = line.split()
        if not fields:
            continue
        where = "genetic_map %s line %d" % (path, number)
        if len(fields) != 4:
            raise ValueError("%s has %d columns; a PLINK map has 4: chromosome, name, cM, bp" % (where, len(fields)))
        try:
            cm, bp = float(fields[2]), int(fields[3])
        except ValueError:
            raise ValueError(
                "%s: cM %r and bp %r must be numbers (a PLINK map has no header line)" % (where, fields[2], fields[3])
            ) from None
        before = last.get(fields[0], (cm, bp))
        if cm < before[0] or bp < before[1]:
            raise ValueError("%s: chromosome %s's positions fall; they must rise in cM and bp" % (where, fields[0]))
        last[fields[0]] = (cm, bp)
    return set(last)


# The config's checks, before any job.

KEYS = (
    "imputation",
    "folds",
    "holdout",
    "seed",
    "evaluate_tags",
    "genetic_map",
    "chunk_mb",
    "flank_mb",
    "target",
    "imputed_r2",
    "imputed_share",
    "judged_methods",
)
FILE_KEYS = ("evaluate_tags", "genetic_map")


def check_config(config, groups, names, labels, same_people=True):
    """The problems of the imputation keys: `groups` maps each
    population (ALL without populations) to its number of people, `names`
    is a function giving the SNP names of the genotypes, `labels` the
    chromosomes, `same_people` whether every fileset has the same people."""
    target = config.get("target") == "imputation"
    if target and (not config["imputation"] or config["holdout"] is None):
        missing = [
            ("imputation: true", not config["imputation"]),
            ("holdout (for example 0.2)", config["holdout"] is None),
        ]
        return [
            "target imputation chooses tags with some people and judges them in others: set %s"
            % " and ".join(key for key, unset in missing if unset)
        ]
    if not config["imputation"]:
        return []  # its keys given are ignored (config.ignored)
    problems = []
    if target:
        problems += check_inner(groups, config)
    if not same_people:
        problems.append("imputation needs the same people in every fileset; the filesets' .fam files differ")
    problems += check_people(groups, config)
    if config["evaluate_tags"] is not None:
        problems += check_given(config["evaluate_tags"], names())
    if config["genetic_map"] is not None:
        try:
            codes = map_chromosomes(config["genetic_map"])
        except ValueError as e:
            problems.append(str(e))
        else:
            missing = [contig(label) for label in labels if contig(label) not in codes]
            if missing:
                problems.append(
                    "genetic_map %s has no positions on chromosome%s %s; name the chromosomes as PLINK writes them "
                    '(1-22, X, Y, MT, without "chr")'
                    % (config["genetic_map"], files.plural(len(missing)), files.some_names(missing))
                )
    return problems
