"""Tags chosen for imputation: the fewest tags that bring a share of the
SNPs to an imputed r² in people who did not choose them, or the best
within a budget.

The selection sees only the people not held out. It deals them into
INNER_FOLD_COUNT inner folds within each population; each fold is
imputed from the other folds' phased haplotypes. With four folds, each
inner reference has three quarters of the selection's people, near the
held-out people's reference (all of them); with two, half as many
imputed worse and the choice took more tags. With each fold imputed in
two halves, each from all the other people not held out, the inner share
came so near the held-out one that it was no longer a floor under it:
the choice took fewer tags, but two of six chosen sets fell short of the
target in the held-out people (bench/README.md). Without a budget each
fold is judged alone, as the held-out people will be, and with a
held-out share of 0.2 it has as many people: the r² of each SNP is that
fold's, and a population's share is that of its SNPs at the target over
its folds together (the folds' shares averaged, weighted by the SNPs
measured), the share a draw of held-out people of a fold's size is
expected to reach. The share of the lowest fold, formerly required,
overshot: on one simulation it took 156 tags, 97.47% held out, where the
average takes 137, 96.91% (bench/README.md). Pooled over the folds, r²
is measured in four times as many people as the held-out figure; a share
near the target measured so fell short in the held-out people, whose
fewer people judge a SNP's r² more roughly (bench/README.md). Within a
budget the folds are pooled (below).

The candidates are common SNPs spread along the chromosomes
(spread_common: as evenly spaced SNPs would be, but in the middle half
of each stretch the SNP of the highest MAF, as a common tag tells more
people's haplotypes apart, passing over the pairwise proxies of the
previous pick, which tell apart nearly the same ones), a ladder of
sizes, each a share of the SNPs that passed quality control (LADDER,
dense where the knee of the curve usually lies). Within a budget they
are shares of the budget (BUDGET_LADDER), spread the same way and the
first tags of the genome-wide greedy coverage order (the pairwise
choice). The done SNPs open every candidate and undesirable SNPs are
never taken, by the spread or the repair. Each is imputed in the inner
folds; without a budget the ladder is climbed from the smallest, and
once a candidate reaches every share as imputed the larger ones are not
imputed (ladder_step; the second round's sets below are climbed so too),
nor those with as many tags as the smallest candidate repaired (of
those whose repair reaches every share), nor those far too few against
the last one's repair (a second-round set with as many tags as the
smallest of that round repaired is put off to the third).
Then a candidate is repaired: SNPs are added as tags until every
population reaches its share, greedily, each the one that brings the
most failing SNPs (r² below the target) of the populations still short
to the target (repair), counted in each population up to what it still
needs. A SNP added is typed, so it reaches the target, and so are
counted the failing SNPs it is a proxy for at pairwise r² >= the target
in the selection's people: an estimate, which the second round's
imputation and the held-out people check (bench/README.md). SNPs that
are not its proxies can gain too, which the repair does not count. So a
second round imputes the best candidate again with part of its repair
and with all of it (REFINE), and repairs each of those (a set with the
tags of one before it, or no smaller than a set that reached every share
as imputed, is not imputed). Without a budget a third round imputes
those that fell short, each with its own repair,
and those put off as they are, when it would be chosen if it reached the
target, the fewest tags first (completions): the repair is an estimate,
but on the benchmark's runs the smaller sets so completed mostly reached
the target (bench/README.md). The selection is the smallest set of any
round that reaches every share as imputed, with nothing added by
estimate (when none does, the smallest repaired set, first those whose
repair reaches every share). Within a budget, each set is
filled the same way up to the budget (once every population reaches its
share, or no SNP brings those below it nearer, with the SNPs that reach
the most in all of them), the second round imputes the best (the highest
lowest share over the populations) with all of its fill, and the
selection is the best of the sets that fill the budget as imputed, with
nothing added by estimate: a fill's reach is an estimate, and on one
simulation the best set filled so imputed worse in the held-out people
than the best imputed (bench/README.md). When no set fills the budget as
imputed, the best filled set is taken. There no share must be reached in
a draw of people: the aim is the most SNPs in the held-out people, so
the repair and the choice take each population's r² pooled over the
folds, measured in all its people not held out. A fold's few people
judge a SNP near the target roughly, and a set completed with the SNPs
that fail pooled imputed better in the held-out people than one
completed with each fold's own (bench/README.md).

The chosen tags are then judged in the held-out people like any method's,
beside evenly spaced SNPs of the same number.
"""
import heapq
import math
import os
import random
import sys

from . import files, imputation, paths

LADDER = (0.01, 0.015, 0.02, 0.025, 0.03, 0.04, 0.05, 0.07, 0.10, 0.15, 0.25)
BUDGET_LADDER = (0.5, 0.7, 0.85, 1.0)  # shares of max_tags
# A candidate is not imputed when its tags are fewer than the last imputed
# candidate's repaired total over HOPELESS (ladder_step): on the benchmark's
# runs a candidate's total was at most 10.1 times the tags of the smallest
# repaired candidate after it (bench/README.md).
HOPELESS = 12
INNER_FOLDS = tuple("select%d" % k for k in range(1, imputation.INNER_FOLD_COUNT + 1))
# The second round: shares of the SNPs the first round's best set added
# that are kept, each set imputed again (within a budget, the whole only).
REFINE = (0.25, 0.5, 0.75, 1.0)
COMMON = "candidate_common_"
GREEDY = "candidate_greedy_"
REFINED = "refined_"
COMPLETED = "completed_"
PUT_OFF = ", not imputed in the second round"  # the kind of a second-round set the third imputes as it is
METHOD = "for_imputation"
SPREAD = "common SNPs spread evenly"
SELECTION_COLUMNS = ("candidate", "kind", "tags", "added", "total", "lowest_share", "chosen")


def sizes(snps):
    """The ladder's numbers of tags for `snps` SNPs, at least 2 each and
    distinct."""
    return sorted({max(2, min(snps, int(round(share * snps)))) for share in LADDER})


def _rungs(with_budget):
    """The candidates' rung names: 1, 2, ... along LADDER, or with a budget
    "budget50", ... along BUDGET_LADDER."""
    if not with_budget:
        return [str(rung) for rung in range(1, len(LADDER) + 1)]
    return ["budget%d" % round(100 * share) for share in BUDGET_LADDER]


def candidate_names(greedy=True, budget=False):
    """The candidates' set names, fixed so that the jobs are known before
    the sizes are: without a budget, spread common SNPs along LADDER; with
    one, spread common SNPs and (with `greedy`) the greedy order's along
    BUDGET_LADDER."""
    prefixes = [COMMON] + ([GREEDY] if greedy and budget else [])
    return [prefix + rung for prefix in prefixes for rung in _rungs(budget)]


def spread_common(count, chromosomes, maf, barred=frozenset(), proxies=None):
    """`count` SNPs spread along `chromosomes` (each chromosome's SNP names
    in order), as many on each as evenly spaced SNPs would be: each
    chromosome cut into that many stretches of equal numbers of SNPs, and in
    the middle half of each stretch the SNP of the highest `maf` (SNP ->
    MAF, 0 when missing); ties to the nearest the middle, then the earlier.
    A SNP in `proxies` (SNP -> the SNPs it tags) of the chromosome's
    previous pick is passed over, as it tells apart nearly the same
    haplotypes: the middle half's next is taken, or else the whole
    stretch's, or when every SNP of the stretch is such a proxy the middle
    half's first as above. SNPs in `barred` are never taken: when the
    middle half holds only such SNPs the whole stretch is looked at, and a
    stretch of only such SNPs gives none."""
    proxies = proxies or {}
    picks = []
    for names, share in zip(chromosomes, imputation.shares(count, [len(c) for c in chromosomes])):
        previous = None
        for k in range(share):
            low, high = k * len(names) // share, (k + 1) * len(names) // share
            width = max(1, (high - low + 1) // 2)
            start, middle = low + (high - low - width) // 2, (low + high - 1) / 2
            near = proxies.get(previous, ())
            for skip, first, last in (
                (near, start, start + width),
                (near, low, high),
                ((), start, start + width),
                ((), low, high),
            ):
                allowed = [i for i in range(first, last) if names[i] not in barred and names[i] not in skip]
                if allowed:
                    previous = names[max(allowed, key=lambda i: (maf.get(names[i], 0.0), -abs(i - middle), -i))]
                    picks.append(previous)
                    break
    return picks


def candidates(chromosomes, order, snps, budget=None, maf=None, done=(), undesirable=frozenset(), proxies=None):
    """(name, kind, tags) of every candidate: `chromosomes` lists each
    chromosome's SNP names in order, `order` the genome-wide greedy order
    (None without it), `snps` their number, `maf` each SNP's MAF. Without
    `budget`, spread common SNPs at each rung of LADDER (a rung past the
    ladder's distinct sizes repeats the largest); with one, at each share of
    the budget, spread common SNPs and the greedy order's first tags. The
    `done` SNPs (already typed) open every spread candidate, on top of its
    rung's spread SNPs, or within a budget in place of as many of them; the
    spread SNPs are never `undesirable` (the greedy order has neither
    issue: it starts with the done SNPs and takes no undesirable one), nor
    one of the `proxies` of the spread SNP before it (spread_common)."""
    if budget is None:
        counts = sizes(snps)
        counts += [counts[-1]] * (len(LADDER) - len(counts))
    else:
        counts = [max(1, min(snps, int(round(share * budget)))) for share in BUDGET_LADDER]
    rungs = list(zip(_rungs(budget is not None), counts))
    done = list(dict.fromkeys(done))
    barred = set(undesirable) | set(done)

    def common(n):
        n = max(0, n - len(done)) if budget is not None else n
        return done + spread_common(n, chromosomes, maf or {}, barred, proxies)

    out = [(COMMON + rung, SPREAD, common(n)) for rung, n in rungs]
    if order is not None and budget is not None:
        out += [(GREEDY + rung, "greedy coverage order", list(order[:n])) for rung, n in rungs]
    return out


def inner_folds(groups, seed):
    """Each selection person's inner fold: `groups` maps each population to
    its people not held out; a seeded shuffle per population, dealt in
    turn."""
    rng = random.Random(seed)
    fold = {}
    for people in groups.values():
        order = list(people)
        rng.shuffle(order)
        fold.update((person, INNER_FOLDS[k % len(INNER_FOLDS)]) for k, person in enumerate(order))
    return fold


def _group(key):
    """The population of a key of r²: (population, fold), or a population."""
    return key[0] if isinstance(key, tuple) else key


def _short(r2, target_r2, share):
    """Per population, over its folds: the SNPs measured, those that reach
    the target, and how many more must."""
    out = {}
    for key, values in r2.items():
        measured = [v for v in values.values() if v is not None]
        known = out.get(_group(key), (0, 0))
        out[_group(key)] = (known[0] + len(measured), known[1] + sum(v >= target_r2 for v in measured))
    return {
        p: (measured, good, max(0, math.ceil(share * measured - 1e-9) - good)) for p, (measured, good) in out.items()
    }


def _failing(r2, target_r2, tags):
    """Per key of `r2` (a population, or one within a fold), the SNPs that
    are not tags and are imputed below `target_r2`."""
    tagged = set(tags)
    return {
        p: {s for s, v in values.items() if v is not None and v < target_r2 and s not in tagged}
        for p, values in r2.items()
    }


def _reached(snp, population, failing, pairs, target_r2):
    """The failing SNPs of `population` (a key of `failing`) that typing
    `snp` brings to the target: itself, and its proxies there at pairwise
    r² >= `target_r2`."""
    near = pairs.get(population, {}).get(snp, {})
    out = {other for other, value in near.items() if value >= target_r2 and other in failing[population]}
    if snp in failing[population]:
        out.add(snp)
    return out


def repair(r2, target_r2, share, tags, budget=None, pairs=None, undesirable=frozenset()):
    """The SNPs to add to `tags` so that each population's share of measured
    SNPs at `target_r2` reaches `share` (`r2`: population, or (population,
    fold), -> SNP -> inner r² or None; a population's share is over its
    folds together); with `budget`, at most budget - len(tags) of them. A
    SNP added reaches the target, and so do the failing SNPs it is a proxy
    for at pairwise r² >= `target_r2` in that population (`pairs`: keys as
    `r2`'s -> SNP -> SNP -> r², in the selection's people). Greedy: each
    time the SNP that brings the most failing SNPs to the target, counted
    over the folds of each population still short of its share up to what
    it still needs; within a budget, once every population reaches its
    share or no SNP brings the short ones any nearer (their failing SNPs
    undesirable), the rest goes to the SNPs that reach the most in all.
    Ties: the SNP that fails in the most of the populations' folds counted,
    the worse imputed, the name.
    An `undesirable` SNP is never added. Returns (added, lowest share
    reached)."""
    pairs = pairs or {}
    state = {p: list(v) for p, v in _short(r2, target_r2, share).items()}
    failing = _failing(r2, target_r2, tags)
    room = None if budget is None else max(0, budget - len(tags))
    taken, undesirable = set(tags), set(undesirable)

    stuck = False  # within a budget: no SNP brings a short population nearer

    def counted():
        """Population -> how many more count (None: all)."""
        short = {p: need for p, (_, _, need) in state.items() if need > 0}
        return short if room is None or (short and not stuck) else dict.fromkeys(state)

    folds = {}
    for k in r2:
        folds.setdefault(_group(k), []).append(k)

    def reach(snp, population):
        return sum(len(_reached(snp, k, failing, pairs, target_r2)) for k in folds[population])

    def key(snp, caps):
        reached = {p: reach(snp, p) for p in caps}
        gain = sum(n if caps[p] is None else min(n, caps[p]) for p, n in reached.items())
        fails = [r2[k][snp] for p in caps for k in folds[p] if snp in failing[k]]
        return (-gain, -len(fails), min(fails, default=1.0), snp)

    added, caps, heap = [], counted(), None
    while caps and (room is None or len(added) < room):
        if heap is None:  # gains only fall as SNPs are reached and caps shrink: a lazy heap
            keys = [k for p in caps for k in folds[p]]
            near = {s for k in keys for f in failing[k] for s in [f, *pairs.get(k, {}).get(f, ())]}
            heap = [key(snp, caps) for snp in near - taken - undesirable]
            heapq.heapify(heap)
        now = None
        if heap:
            best = heapq.heappop(heap)
            now = key(best[-1], caps)
            if now != best:
                heapq.heappush(heap, now)
                continue
        if now is None or now[0] == 0:  # no SNP left brings the populations counted nearer
            if room is None or stuck or all(cap is None for cap in caps.values()):
                break
            stuck, caps, heap = True, dict.fromkeys(state), None
            continue
        snp = now[-1]
        added.append(snp)
        taken.add(snp)
        for k in r2:
            reached = _reached(snp, k, failing, pairs, target_r2)
            failing[k] -= reached
            state[_group(k)][1] += len(reached)
            state[_group(k)][2] -= len(reached)
        was_capped = any(cap is not None for cap in caps.values())
        caps = counted()
        if was_capped and caps and all(cap is None for cap in caps.values()):
            heap = None  # within a budget, every share met: gains count anew
    lowest = min((good / measured if measured else 1.0) for measured, good, _ in state.values())
    return added, lowest


def _repaired(sets, r2_of, target_r2, share, budget, pairs, undesirable):
    """Each of `sets` that fits repaired: the rows of the selection table
    (none chosen yet) and, by index in `sets`, (added SNPs, lowest share)."""
    rows, repaired = [], {}
    for index, (name, kind, tags) in enumerate(sets):
        if budget is not None and len(tags) > budget:
            rows.append([name, kind, len(tags), 0, len(tags), "NA", 0])
            continue
        added, lowest = repair(r2_of[name], target_r2, share, tags, budget, pairs, undesirable)
        repaired[index] = (added, lowest)
        rows.append([name, kind, len(tags), len(added), len(tags) + len(added), files.four_places(lowest), 0])
    if not repaired:
        raise ValueError("no candidate fits within max_tags %d" % budget)
    return rows, repaired


def completes(lowest, share):
    """Whether a repair whose lowest share is `lowest` reaches `share`: it
    falls short only when the SNPs that fail are undesirable, or within a
    budget."""
    return lowest >= share - 1e-9


def _choice(sets, r2_of, target_r2, share, budget, repaired):
    """The index in `sets` of the choice among the `repaired` ones (choose),
    and its key: the smaller, the better."""

    def key(index):
        added, lowest = repaired[index]
        total = len(sets[index][2]) + len(added)
        if budget is not None:
            return (len(added) > 0, -lowest, total)
        verified = reaches(r2_of[sets[index][0]], target_r2, share)
        return (not verified, not completes(lowest, share), total)

    index = min(repaired, key=key)
    return index, key(index)


def choose(sets, r2_of, target_r2, share, budget=None, pairs=None, undesirable=frozenset()):
    """The selection among `sets` [(name, kind, tags)], each with its
    inner r² `r2_of[name]`, repaired with `pairs` and never with an
    `undesirable` SNP (repair). Without a budget a set is verified by
    imputation when it reaches every share as imputed (reaches), not merely
    when its repair adds nothing, as it also does when every SNP that fails
    is undesirable; within a budget, when its repair adds nothing: it fills
    the budget as imputed. Without a budget, the smallest verified set, or
    when none is, the smallest repaired set, first those whose repair
    reaches every share, ties to the earlier candidate; within one, among candidates that fit, the verified set of
    the highest lowest share, or when none is, the repaired set of the
    highest (ties to the fewer tags, then the earlier). Returns (tags, rows
    of the selection table)."""
    rows, repaired = _repaired(sets, r2_of, target_r2, share, budget, pairs, undesirable)
    index, _ = _choice(sets, r2_of, target_r2, share, budget, repaired)
    rows[index][-1] = 1
    return list(sets[index][2]) + repaired[index][0], rows


def ladder_step(name, tags_of, previous, previous_reached, previous_total=None, previous_completes=True):
    """Whether the set `name` of a round (the ladder's candidates, the
    second or the third round's sets) is imputed, and what the climb
    carries to the next: (imputed, reached_by, smallest_total, last_total).
    `tags_of` maps each set to its number of tags, `previous` is the ladder
    row of the set before it (None for the first), `previous_reached`
    whether that one reached every share, and `previous_total`, in the
    first two rounds when that one was imputed, its repaired total (tags
    and what its repair adds) and `previous_completes`, whether that repair
    reaches every share (completes).

    reached_by is the set before it in its round that reached every share
    as imputed with the fewest tags (None if none did). A set is not
    imputed when one before it with no more tags reached every share: that
    one's repair adds nothing, so the choice, the smallest such set of any
    round (ties to the earlier), the second round's source, the smallest
    repaired candidate (of those whose repair reaches every share), and
    the third round's sets, those smaller than the choice, are that one or
    smaller, whatever this one gives.

    In the first two rounds the smallest repaired total of the sets imputed
    so far whose repair reaches every share is carried, and a set with at
    least that many tags is not imputed (a repair that falls short, its
    failing SNPs undesirable, says nothing of what the target needs). In the
    first round the second round starts from the smallest such candidate,
    ties to the earlier, and imputes it with its whole repair (refinements),
    so only the choice can change, when no set of the later rounds with
    fewer tags reaches the target; it may then be larger (on the benchmark's
    runs that never happened: bench/README.md). A second-round set left out
    so is put off to the third round (completions), imputed there only if no
    smaller set reaches the target: the choice changes only when it falls
    short, as its completion is then never imputed. In the first round the
    last total is carried too, and a candidate is not imputed when its tags
    times HOPELESS are fewer: evenly spread tags that few fall far short
    (bench/README.md), and the climb goes on above them."""
    if previous is None:
        return True, None, None, None
    reached_by = None if previous["reached_by"] == "NA" else previous["reached_by"]
    before = previous["set"]
    if previous_reached and (reached_by is None or tags_of[before] < tags_of[reached_by]):
        reached_by = before
    smallest, last = (_count(previous.get(column, "NA")) for column in ("smallest_total", "last_total"))
    if previous_total is not None:
        if previous_completes:
            smallest = previous_total if smallest is None else min(smallest, previous_total)
        last = previous_total
    tags = tags_of[name]
    imputed = reached_by is None or tags_of[reached_by] > tags
    hopeless = name.startswith(COMMON) and last is not None and tags * HOPELESS < last
    imputed = imputed and (smallest is None or tags < smallest) and not hopeless
    return imputed, reached_by, smallest, last


def _count(text):
    """A count of a ladder table, or None for NA."""
    return None if text == "NA" else int(text)


def reaches(r2, target_r2, share):
    """Whether every population of `r2` (population, or (population, fold),
    -> SNP -> r² or None) has `share` of its measured SNPs at `target_r2`,
    over its folds together: its repair adds nothing."""
    return all(need == 0 for _, _, need in _short(r2, target_r2, share).values())


def _refine_shares(with_budget):
    """REFINE, or within a budget its whole share alone: a set with part of
    the repair would be filled by estimate, and the choice takes a set
    verified by imputation (choose)."""
    return REFINE[-1:] if with_budget else REFINE


def refined_names(with_budget=False):
    """The second round's set names, one per share it imputes."""
    return ["%s%d" % (REFINED, round(100 * share)) for share in _refine_shares(with_budget)]


def refinements(sets, r2_of, target_r2, share, budget=None, pairs=None, undesirable=frozenset()):
    """The second round's sets [(name, kind, tags, needed)]: the first
    round's best among `sets` (within a budget, the repaired set of the
    highest lowest share, ties to the fewer tags; without, the smallest
    repaired set, first those whose repair reaches every share) with part of the SNPs its repair added (the
    shares of REFINE; within a budget, all of them), to be imputed again:
    the whole repair, to check its estimate, and less of it, since a SNP
    added also helps SNPs that are not its pairwise proxies, which the
    repair does not count. When the best added too few to share out (fewer
    than the shares), the largest smaller candidate of its kind that added
    some gives the parts instead, if there is one; without a budget the
    last set is still the best with its whole repair, as the first round's
    climb counts on it (ladder_step). A set is `needed`, imputed, only when
    no set of `sets` (those imputed) or before it has its tags, and without
    a budget when it has fewer tags than any of `sets` that reached every
    share as imputed: the choice would not take it."""
    _, repaired = _repaired(sets, r2_of, target_r2, share, budget, pairs, undesirable)

    def total(index):
        return len(sets[index][2]) + len(repaired[index][0])

    if budget is None:
        best = min(repaired, key=lambda i: (not completes(repaired[i][1], share), total(i)))  # ties: the earlier
    else:
        best = min(repaired, key=lambda i: (-repaired[i][1], total(i)))
    shares, source = _refine_shares(budget is not None), best
    (_, kind, tags), added = sets[best], repaired[best][0]
    if len(added) < len(shares):
        smaller = [
            (len(sets[i][2]), sets[i][0], i)
            for i, (more, _) in repaired.items()
            if sets[i][1] == kind and len(sets[i][2]) < len(tags) and more
        ]
        if smaller:
            source = max(smaller)[2]
    made, seen = [], {frozenset(tags) for _, _, tags in sets}
    verified = [len(tags) for name, _, tags in sets if budget is None and reaches(r2_of[name], target_r2, share)]
    for refined, f in zip(refined_names(budget is not None), shares):
        index = best if budget is None and f == shares[-1] else source
        (name, _, tags), added = sets[index], repaired[index][0]
        done = tags + added[: math.ceil(f * len(added))]
        made.append((refined, "%s with %d%% of its %d added" % (name, round(100 * f), len(added)), done))
        made[-1] += (frozenset(done) not in seen and len(done) < min(verified, default=len(done) + 1),)
        seen.add(frozenset(done))
    return made


def completed_names(with_budget=False):
    """The third round's set names, as many as the second round's sets;
    none within a budget, where the choice takes no set filled by
    estimate."""
    return [] if with_budget else ["%s%d" % (COMPLETED, k) for k in range(1, len(REFINE) + 1)]


def completions(sets, second, r2_of, target_r2, share, pairs=None, undesirable=frozenset()):
    """The third round's sets [(name, kind, tags, needed)], one for each of
    the `second` round's sets [(name, kind, tags)] in turn: one that fell
    short as imputed (it is among `sets`, both rounds' imputed sets) with
    the SNPs its repair adds, and one not imputed as it is (the climb put it
    off, ladder_step, or a smaller one reached the target). One is
    `needed`, imputed, only when it is no set already imputed or needed
    (a set put off is needed before a completion of the same tags),
    the choice among `sets` would take it if it reached the target as
    imputed, and, a completion, its repair reaches every share by estimate:
    its repair is an estimate, and the choice takes no set completed by
    estimate while a verified one is smaller. The needed sets come first,
    the fewest tags first (ties to a set put off, then to the earlier
    second-round set, as the second round would have taken it), so that
    the climb stops at the first that reaches the target; the rest fill the
    names up and are not imputed."""
    _, repaired = _repaired(sets, r2_of, target_r2, share, None, pairs, undesirable)
    _, best = _choice(sets, r2_of, target_r2, share, None, repaired)
    index_of = {name: index for index, (name, _, _) in enumerate(sets)}
    made = []
    for name, _, tags in second:
        if name in index_of:
            added, lowest = repaired[index_of[name]]
            plural = "" if len(added) == 1 else "s"
            kind = "%s with the %d SNP%s its completion added" % (name, len(added), plural)
            made.append([kind, list(tags) + added, bool(added) and completes(lowest, share), True])
        else:
            made.append([name + PUT_OFF, list(tags), True, False])
    seen = {frozenset(tags) for _, _, tags in sets}
    for m in sorted(made, key=lambda m: m[3]):  # a set put off before a completion of the same tags
        m[2] = m[2] and (False, False, len(m[1])) < best and frozenset(m[1]) not in seen
        seen.add(frozenset(m[1]))
    made.sort(key=lambda m: (not m[2], len(m[1]) if m[2] else 0, m[3] if m[2] else 0))
    return [(name, kind, done, needed) for name, (kind, done, needed, _) in zip(completed_names(), made)]


# The rules' steps.

CANDIDATE_COLUMNS = ("set", "kind", "tags")
ROUND_COLUMNS = CANDIDATE_COLUMNS + ("needed",)  # the second and third rounds' tables


def _listed(path):
    """The names of a done or undesirable list, in order; none for None."""
    return list(dict.fromkeys(files.tokens(path))) if path else []


def shared_proxies(pairs):
    """SNP -> the SNPs that are its proxies in every population of `pairs`
    (population -> SNP -> SNP -> r², as read_pairs gives)."""
    tables = list(pairs.values())
    if not tables:
        return {}
    first, others = tables[0], tables[1:]
    out = {}
    for snp, near in first.items():
        shared = {other for other in near if all(other in table.get(snp, ()) for table in others)}
        if shared:
            out[snp] = shared
    return out


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
    from . import evaluation  # here, not above: the Snakefile reads this module and needs no numpy

    fold = inner_folds(groups, seed)
    for name in INNER_FOLDS:
        files.write_lines(os.path.join(folds_folder, name + ".txt"), [r["id"] for r in people if fold[r["id"]] == name])
    snps = evaluation.bim_snps(bims)
    chromosomes = {}
    for label, name, _ in snps:
        chromosomes.setdefault(label, []).append(name)
    order = [r["snp"] for r in files.read_table(curve_tsv)[1]] if curve_tsv else None
    known = {name for _, name, _ in snps}
    typed = [name for name in _listed(done) if name in known]
    proxies = shared_proxies(read_pairs(pairs, r2)) if pairs else None
    made = candidates(
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
    from . import dosage  # here, not above: the Snakefile reads this module and needs no numpy

    varying = varying or {}
    pool = dosage.Pool()  # its "sets" are the folds, or one for them all
    for chunk in chunks:
        for fold in INNER_FOLDS:
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


def _fold_pairs(pairs, r2_of):
    """`pairs` (population -> ...) for each key of `r2_of`'s r²:
    (population, fold) -> the population's."""
    return {key: pairs.get(_group(key), {}) for r2 in r2_of.values() for key in r2}


LADDER_COLUMNS = ("set", "imputed", "reached_by", "smallest_total", "last_total")


def ladder_row(name, imputed, reached_by=None, smallest=None, last=None):
    """The ladder table's row of the set `name` as it reads back: column ->
    text, NA for None (ladder_step's values)."""
    values = (name, int(imputed), reached_by, smallest, last)
    return {column: "NA" if v is None else str(v) for column, v in zip(LADDER_COLUMNS, values)}


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
        reached = reaches(r2_before, r2, share)
        if name.startswith((COMMON, REFINED)) and sets is not None:
            tags = files.tokens(os.path.join(sets, before["set"] + ".txt"))
            near = _fold_pairs(read_pairs(pairs, r2), {before["set"]: r2_before})
            added, lowest = repair(r2_before, r2, share, tags, None, near, set(_listed(undesirable)))
            total, complete = len(tags) + len(added), completes(lowest, share)
    imputed, reached_by, smallest, last = ladder_step(name, tags_of, before, reached, total, complete)
    if next(row for row in rows if row["set"] == name).get("needed") == "0":
        imputed = False
        why = "the third round does not need it"
        if name.startswith(REFINED):
            why = "a set before it has its tags, or one that reached every share as imputed has no more"
        print("%s is not imputed: %s (%s)" % (name, why, os.path.basename(candidates)), file=sys.stderr)
    elif not imputed:
        print(
            "%s is not imputed: %s" % (name, _why_not(name, tags_of, reached_by, smallest, last)),
            file=sys.stderr,
        )
    row = ladder_row(name, imputed, reached_by, smallest, last)
    files.write_table(out, LADDER_COLUMNS, [[row[column] for column in LADDER_COLUMNS]])


def _why_not(name, tags_of, reached_by, smallest, last):
    """Why the set `name` is not imputed, as ladder_step decided."""
    tags = tags_of[name]
    if reached_by is not None and tags_of[reached_by] <= tags:
        return "%s reached every share as imputed with %d tags" % (reached_by, tags_of[reached_by])
    if smallest is not None and tags >= smallest and name.startswith(REFINED):
        return "a smaller set of this round completed has %d tags; it is put off to the third round" % smallest
    if smallest is not None and tags >= smallest:
        return "a smaller candidate completed has %d tags, and the second round starts from it" % smallest
    return "%d tags times %d are fewer than the last imputed candidate's completed total, %d" % (tags, HOPELESS, last)


def refine(candidates, chunks, sums, sets, r2, share, budget, pairs, ladder, table, undesirable=None, varying=()):
    """Rule target_refine: the second round's sets, from the first round's
    inner r² (of the candidates the `ladder` tables say were imputed; within
    a `budget`, pooled over the folds; of the SNPs the `varying` lists give)
    and the `pairs` tables (the `undesirable` list's SNPs never added), in
    the folder `sets` and their `table`."""
    pooled = budget is not None
    made_sets, r2_of = _inner_r2([candidates], chunks, sums, sets, ladder, pooled, read_varying(varying))
    near = _fold_pairs(read_pairs(pairs, r2), r2_of)
    made = refinements(made_sets, r2_of, r2, share, budget, near, set(_listed(undesirable)))
    for name, _, tags, _ in made:
        files.write_lines(os.path.join(sets, name + ".txt"), tags)
    rows = [(name, kind, len(tags), int(needed)) for name, kind, tags, needed in made]
    files.write_table(table, ROUND_COLUMNS, rows)


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
    near = _fold_pairs(read_pairs(pairs, r2), r2_of)
    made = completions(made_sets, second, r2_of, r2, share, near, set(_listed(undesirable)))
    for name, _, tags, _ in made:
        files.write_lines(os.path.join(sets, name + ".txt"), tags)
    rows = [(name, kind, len(tags), int(needed)) for name, kind, tags, needed in made]
    files.write_table(table, ROUND_COLUMNS, rows)


def select(candidates, chunks, sums, sets, r2, share, budget, pairs, ladder, table, out, undesirable=None, varying=()):
    """Rule target_select: the choice among every round's sets (the
    `candidates` tables; those the `ladder` tables say were imputed; within
    a `budget`, their r² pooled over the folds; of the SNPs the `varying`
    lists give), repaired with the `pairs` tables (the `undesirable` list's
    SNPs never added), its tags (`out`) and the selection `table`."""
    pooled = budget is not None
    made_sets, r2_of = _inner_r2(candidates, chunks, sums, sets, ladder, pooled, read_varying(varying))
    near = _fold_pairs(read_pairs(pairs, r2), r2_of)
    tags, rows = choose(made_sets, r2_of, r2, share, budget, near, set(_listed(undesirable)))
    files.write_lines(out, tags)
    files.write_table(table, SELECTION_COLUMNS, rows)


# The outcome, for the report and the terminal.

NOT_REACHED = "No set reached the target as imputed in the inner folds"


def reached(row, share):
    """Whether the selection table's `row` reached every share as imputed in
    the inner folds, with nothing added (its lowest share is cut to four
    decimals, so a share of four decimals or fewer compares exactly)."""
    return row["added"] == "0" and row["lowest_share"] != "NA" and completes(float(row["lowest_share"]), share)


def held_out_text(snps_tsv, r2):
    """What the chosen set brings to imputed r² >= `r2` in each population
    of the held-out people's per-SNP table `snps_tsv`, in words: "96.06% of
    the SNPs at imputed r² ≥ 0.8 (4,100 of 4,268)", or with populations "of
    the SNPs at imputed r² ≥ 0.8: A 96.06% (4,100 of 4,268), B ..."."""
    shares = {}
    for row in files.read_table(snps_tsv)[1]:
        if row["set"] == METHOD and row["r2"] != "NA":
            hit, measured = shares.get(row["population"], (0, 0))
            shares[row["population"]] = (hit + (float(row["r2"]) >= r2 - 1e-9), measured + 1)
    each = {
        p: ("%.2f%%" % (100 * hit / n if n else 0), "(%s of %s)" % (format(hit, ","), format(n, ",")))
        for p, (hit, n) in shares.items()
    }
    if not each:
        return "no SNP measured"
    if list(each) == [imputation.ALL]:
        share, counts = each[imputation.ALL]
        return "%s of the SNPs at imputed r² ≥ %g %s" % (share, r2, counts)
    return "of the SNPs at imputed r² ≥ %g: %s" % (r2, ", ".join("%s %s %s" % (p, *v) for p, v in each.items()))
