"""The slot budget: the regions' greedy coverage orders as one genome-wide
order, the budget shared out across regions, and the coverage curve.

ldcluster --curve writes, per region, the order in which greedy maximum
coverage takes its tags (coverage_order.tsv: the needed SNPs first, then
tags whose gains, the items each captures first, never increase) and, per
population folder, the rank at which each SNP is first captured
(capture_rank.tsv). Regions are independent, so the best way to spend one
more slot is on the region whose next tag gains the most: merged by gain,
the regions' orders make the greedy order of the whole genome, and its first
N tags are the greedy choice of N tags genome-wide. Because each region's
gains never increase, taking slots by marginal gain gives the most items any
split of N slots among the regions' greedy orders can give (the tests check
this against every split on small cases). The needed SNPs of every region
come first: they count against the budget before any other tag.
"""
import collections

from . import files, tagging

ORDER_COLUMNS = ("rank", "snp", "position", "needed", "gain")
ALLOCATION_COLUMNS = ("chromosome", "region", "needed", "tags", "full_cover")

Step = collections.namedtuple("Step", "snp position needed gain")


class BudgetError(Exception):
    """A budget that cannot be met; the message says why."""


def read_order(path):
    """The steps of a region's coverage_order.tsv, in rank order."""
    return [
        Step(r["snp"], r["position"], r["needed"] == "1", int(r["gain"]))
        for r in files.read_table(path)[1]
        if r.get("rank")
    ]


def merge_orders(orders):
    """The genome-wide order of the regions' orders (a list of step lists,
    in region order), as (region index, rank index) pairs: every needed SNP
    first, in region order, then every other step by falling gain, ties in
    region order and then rank."""
    needed = [(r, k) for r, steps in enumerate(orders) for k, s in enumerate(steps) if s.needed]
    rest = [(r, k) for r, steps in enumerate(orders) for k, s in enumerate(steps) if not s.needed]
    rest.sort(key=lambda rk: (-orders[rk[0]][rk[1]].gain, rk[0], rk[1]))
    return needed + rest


def allocate(orders, max_tags):
    """Tags per region for a budget of max_tags over the regions' orders,
    and a note when the budget is more than a full cover needs. Raises
    BudgetError when the needed SNPs alone exceed it."""
    needed = sum(s.needed for steps in orders for s in steps)
    full = sum(len(steps) for steps in orders)
    if max_tags < needed:
        raise BudgetError(
            "max_tags %d is below the %d needed SNPs (the done SNPs and those picked for undesirable SNPs), which "
            "every design holds: give at least %d" % (max_tags, needed, needed)
        )
    note = None
    if max_tags > full:
        note = "max_tags %d is more than the %d tags that capture every SNP: the budget's tags are the full cover" % (
            max_tags,
            full,
        )
    counts = [0] * len(orders)
    for r, _ in merge_orders(orders)[:max_tags]:
        counts[r] += 1
    return counts, note


def curve(orders, captures):
    """The coverage curve: per step of the genome-wide order, (region index,
    rank index, the items captured so far per class). `captures[r]` lists
    region r's items as (rank index at which it is first captured, class)."""
    order = merge_orders(orders)
    at = {rk: g for g, rk in enumerate(order)}
    new = [collections.Counter() for _ in order]
    for r, items in enumerate(captures):
        for rank, kind in items:
            new[at[r, rank]][kind] += 1
    running = collections.Counter()
    rows = []
    for (r, k), gained in zip(order, new):
        running.update(gained)
        rows.append((r, k, dict(running)))
    return rows


def classes(populations):
    """The curve's classes: each MAF class, per population when there are
    several ("A:<0.05"), and the column name of each."""
    if not populations:
        return list(tagging.MAF_CLASSES)
    return ["%s:%s" % (p, c) for p in populations for c in tagging.MAF_CLASSES]


def item_classes(population, maf):
    """The classes an item of a population with this MAF counts in."""
    kinds = ("all", tagging.maf_class(maf))
    return list(kinds) if population is None else ["%s:%s" % (population, c) for c in kinds]


# The files of a run.


def read_region(region, populations):
    """A region's coverage order, and its items as (rank index, class):
    each captured item counts in its MAF class and in "all", per
    population when there are several."""
    from . import paths

    steps = read_order("%s/coverage_order.tsv" % paths.region_folder(region))
    items = []
    for population in populations or [None]:
        folder = paths.region_folder(region, population)
        maf = {row[0]: float(row[2]) for row in _triples(files.tokens("%s/maf_processed.txt" % folder))}
        for row in files.read_table("%s/capture_rank.tsv" % folder)[1]:
            rank = int(row["rank"]) - 1
            items += [(rank, kind) for kind in item_classes(population, maf[row["snp"]])]
    return steps, items


def _triples(words):
    return [words[k : k + 3] for k in range(0, len(words) - 2, 3)]


CURVE_COLUMNS = ("tags", "chromosome", "region", "snp", "needed", "gain", "captured", "share")


def write_curve(regions, populations, out):
    """coverage_curve.tsv of the regions (rows of the regions table): a row
    per tag of the genome-wide greedy order, with the items captured so far
    in all and per class. Returns the regions' orders, for the budget."""
    orders, captures = [], []
    for row in regions:
        steps, items = read_region(row["region"], populations)
        orders.append(steps)
        captures.append(items)
    kinds = classes(populations)
    total = sum(s.gain for steps in orders for s in steps)
    with files.written(out) as partial, open(partial, "w") as f:
        f.write("\t".join(CURVE_COLUMNS + tuple(kinds)) + "\n")
        captured = 0
        for number, (r, k, counts) in enumerate(curve(orders, captures), 1):
            step = orders[r][k]
            captured += step.gain
            share = "%.6f" % (captured / total) if total else "NA"
            fields = [number, regions[r]["chromosome"], regions[r]["region"], step.snp, int(step.needed), step.gain]
            fields += [captured, share] + [counts.get(kind, 0) for kind in kinds]
            f.write("\t".join(map(str, fields)) + "\n")
    return orders


def write_allocation(regions, orders, max_tags, out):
    """budget.tsv: per region its needed SNPs, its share of the budget and
    the size of its full cover; returns a note when the budget exceeds the
    full cover (raises BudgetError when it is below the needed SNPs)."""
    counts, note = allocate(orders, max_tags)
    rows = [
        (row["chromosome"], row["region"], sum(s.needed for s in steps), count, len(steps))
        for row, steps, count in zip(regions, orders, counts)
    ]
    files.write_table(out, ALLOCATION_COLUMNS, rows)
    return note
