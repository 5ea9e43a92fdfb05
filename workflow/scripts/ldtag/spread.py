"""The candidates of the tags chosen for imputation: common SNPs spread
along the chromosomes, as many as a rung of the ladder (a share of the
SNPs that passed quality control) or within a budget a share of it, with
the greedy coverage order's first tags beside them there. An evenly
spaced tag is often rare and tells few haplotypes apart, so each stretch
gives a common SNP, passing over a proxy of the pick before
(bench/README.md, "Why common SNPs").
"""
from . import imputation

LADDER = (0.01, 0.015, 0.02, 0.025, 0.03, 0.04, 0.05, 0.07, 0.10, 0.15, 0.25)
BUDGET_LADDER = (0.5, 0.7, 0.85, 1.0)  # shares of max_tags
COMMON = "candidate_common_"
GREEDY = "candidate_greedy_"
SPREAD = "common SNPs spread evenly"


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
    concern: it starts with the done SNPs and takes no undesirable one), nor
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


def shared_proxies(pairs):
    """SNP -> the SNPs that are its proxies in every population of `pairs`
    (population -> SNP -> SNP -> r², as target_steps.read_pairs gives)."""
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
