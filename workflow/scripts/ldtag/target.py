"""Tags chosen for imputation: which sets each round imputes, and the
choice among them, as functions of the sets' inner r² (target_steps.py
reads and writes the rules' files); and the outcome in words, for the
report and the terminal (reached, held_out_text).

The selection sees only the people not held out, dealt into
INNER_FOLD_COUNT inner folds within each population (inner_folds); each
set is imputed in each fold from the other folds. A SNP's r² is that
fold's, and a population's share is over its folds together; within a
budget each SNP's r² is pooled over the folds. The rounds:

- the candidates (spread.py) are climbed from the fewest tags
  (ladder_step; within a budget every one is imputed): one is not imputed
  once a smaller one reached every share as imputed, nor when an earlier
  one's repair shows it no smaller or far too few;
- the repair (repair) adds SNPs until every population reaches its share
  by estimate: a SNP added is typed, and so count the failing SNPs it is
  a pairwise proxy for;
- the second round (refinements) imputes the best repaired candidate
  with part of its repair and with all of it, as a SNP added also helps
  SNPs that are not its proxies;
- without a budget, the third (completions) imputes the second round's
  sets that fell short, each with its own repair, and those the climb
  put off;
- the choice (choose) is the smallest set of any round that reaches every
  share as imputed, with nothing added by estimate; within a budget, the
  set of the highest lowest share of those that fill it as imputed.

The README's "Tags chosen for imputation" gives the steps as a user sees
them; why each is so, and what was tried instead, is measured in
bench/README.md.
"""
import heapq
import math
import random

from . import files, imputation, spread

# A candidate is not imputed when its tags are fewer than the last imputed
# candidate's repaired total over HOPELESS (ladder_step): on the benchmark's
# runs a candidate's total was at most 10.1 times the tags of the smallest
# repaired candidate after it (bench/README.md).
HOPELESS = 12
INNER_FOLDS = tuple("select%d" % k for k in range(1, imputation.INNER_FOLD_COUNT + 1))
# The second round: shares of the SNPs the first round's best set added
# that are kept, each set imputed again (within a budget, the whole only).
REFINE = (0.25, 0.5, 0.75, 1.0)
REFINED = "refined_"
COMPLETED = "completed_"
PUT_OFF = ", not imputed in the second round"  # the kind of a second-round set the third imputes as it is
METHOD = "for_imputation"
# lowest_imputed: the lowest share over the populations as imputed, before
# the repair; lowest_share: once repaired (as imputed when nothing is added).
SELECTION_COLUMNS = ("candidate", "kind", "tags", "lowest_imputed", "added", "total", "lowest_share", "chosen")


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
    return added, _lowest(state.values())


def _lowest(counts):
    """The lowest share of (measured, good, ...) counts, one per population;
    1 where none is measured."""
    return min((good / measured if measured else 1.0) for measured, good, *_ in counts)


def _repaired(sets, r2_of, target_r2, share, budget, pairs, undesirable):
    """Each of `sets` that fits repaired: the rows of the selection table
    (none chosen yet) and, by index in `sets`, (added SNPs, lowest share)."""
    rows, repaired = [], {}
    for index, (name, kind, tags) in enumerate(sets):
        imputed = files.four_places(_lowest(_short(r2_of[name], target_r2, share).values()))
        if budget is not None and len(tags) > budget:
            rows.append([name, kind, len(tags), imputed, 0, len(tags), "NA", 0])
            continue
        added, lowest = repair(r2_of[name], target_r2, share, tags, budget, pairs, undesirable)
        repaired[index] = (added, lowest)
        total = len(tags) + len(added)
        rows.append([name, kind, len(tags), imputed, len(added), total, files.four_places(lowest), 0])
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


def fold_pairs(pairs, r2_of):
    """`pairs` (population -> ...) for each key of `r2_of`'s r²:
    (population, fold) -> the population's."""
    return {key: pairs.get(_group(key), {}) for r2 in r2_of.values() for key in r2}


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
    hopeless = name.startswith(spread.COMMON) and last is not None and tags * HOPELESS < last
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


LADDER_COLUMNS = ("set", "imputed", "reached_by", "smallest_total", "last_total")


def ladder_row(name, imputed, reached_by=None, smallest=None, last=None):
    """The ladder table's row of the set `name` as it reads back: column ->
    text, NA for None (ladder_step's values)."""
    values = (name, int(imputed), reached_by, smallest, last)
    return {column: "NA" if v is None else str(v) for column, v in zip(LADDER_COLUMNS, values)}


# The outcome, for the report and the terminal.

NOT_REACHED = "No set reached the target as imputed in the inner folds"


def reached(row, share):
    """Whether the selection table's `row` reached every share as imputed in
    the inner folds, with nothing added (its lowest share is cut to four
    decimals, so a share of four decimals or fewer compares exactly)."""
    return row["added"] == "0" and row["lowest_share"] != "NA" and completes(float(row["lowest_share"]), share)


def outcome(tags_txt, snps_tsv, aim):
    """The tags chosen for imputation in words, for the report and the
    terminal: how many the list `tags_txt` holds, what they bring to the
    target r² in the held-out people (held_out_text) and what they aimed
    at, "for a target of 95%" or "within a budget of 1,200 tags" (`aim`:
    the config's imputed_r2, imputed_share and max_tags)."""
    with open(tags_txt) as f:
        tags = len(f.read().split())
    reached = held_out_text(snps_tsv, aim["imputed_r2"])
    if aim.get("max_tags") is not None:
        return tags, reached, "within a budget of %s tags" % format(aim["max_tags"], ",")
    return tags, reached, "for a target of %g%%" % (100 * aim["imputed_share"])


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
