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

from . import files, merge, tagging

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
    """A region's coverage order, its items as (rank index, class) and every
    SNP of the region per class: each SNP counts in its MAF class (maf.txt,
    as the coverage table takes it) and in "all", per population when there
    are several; the undesirable SNPs that ldprune dropped count, never
    captured."""
    from . import paths
    from . import region as folders

    steps = read_order("%s/coverage_order.tsv" % paths.region_folder(region))
    items, snps = [], collections.Counter()
    for population in populations or [None]:
        folder = folders.Region(paths.region_folder(region, population))
        kinds = {name: item_classes(population, float(maf)) for name, _, maf in folder.snp_table()}
        for name_kinds in kinds.values():
            snps.update(name_kinds)
        for row in files.read_table(folder.path("capture_rank.tsv"))[1]:
            items += [(int(row["rank"]) - 1, kind) for kind in kinds[row["snp"]]]
    return steps, items, snps


CURVE_COLUMNS = ("tags", "chromosome", "region", "snp", "needed", "gain", "captured", "share")


def write_curve(regions, populations, out):
    """coverage_curve.tsv of the regions (rows of the regions table): a row
    per tag of the genome-wide greedy order, the SNPs captured so far, and
    their share of the SNPs that passed quality control, in all and per
    class (with populations, a SNP counts once per population where it
    varies). Returns the regions' orders, for the budget."""
    orders, captures, snps = [], [], collections.Counter()
    for row in regions:
        steps, items, counts = read_region(row["region"], populations)
        orders.append(steps)
        captures.append(items)
        snps.update(counts)
    kinds = classes(populations)
    total = sum(snps[k] for k in kinds if k.endswith("all"))

    def share(count, of):
        return "%.6f" % (count / of) if of else "NA"

    with files.written(out) as partial, open(partial, "w") as f:
        f.write("\t".join(CURVE_COLUMNS + tuple(kinds)) + "\n")
        captured = 0
        for number, (r, k, counts) in enumerate(curve(orders, captures), 1):
            step = orders[r][k]
            captured += step.gain
            fields = [number, regions[r]["chromosome"], regions[r]["region"], step.snp, int(step.needed), step.gain]
            fields += [captured, share(captured, total)] + [share(counts.get(kind, 0), snps[kind]) for kind in kinds]
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


# The budget's tables, from every region's share.

BUDGET_METHODS = ("budget_greedy", "budget_maximum")
# The layout of the methods' tags tables, without the cluster.
TABLE_COLUMNS = tuple(c for c in merge.TABLE_COLUMNS if c != "cluster")
SUMMARY_COLUMNS = (
    "chromosome",
    "region",
    "needed",
    "tags",
    "full_cover",
    "items",
    "greedy_captured",
    "maximum_captured",
    "maximum_bound",
    "optimal",
)
COVERAGE_COLUMNS = ("method", "maf_class", "snps", "captured", "captured_percent")


def _with_population(columns, populations):
    if not populations:
        return list(columns)
    at = list(columns).index("region") + 1
    return list(columns[:at]) + ["population"] + list(columns[at:])


def _region_rows(row, populations, method, counts):
    """A region's rows of a budget method's table, and its chosen tags with
    their positions; counts (population or None, MAF class) -> [SNPs,
    captured] are added to."""
    from . import paths, region

    out, chosen = [], {}
    for population in populations or [None]:
        folder = region.Region(paths.region_folder(row["region"], population))
        kept = {r["snp"]: r for r in files.read_table(folder.path(method + ".tsv"))[1]}
        r2 = {(r["tag"], r["snp"]): r["r2"] for r in files.read_table(folder.path("tagging_r2.tsv"))[1]}
        lead = [row["chromosome"], row["region"]] + ([population] if populations else [])
        for name, position, maf in folder.snp_table():
            tag = kept[name]["tag"] if name in kept else "NA"
            mark = int(tag == name)
            if mark:
                chosen[name] = int(position)
            value = "NA" if tag == "NA" else "1.000000" if mark else r2[tag, name]
            out.append(lead + [name, mark, position, maf, tag, value])
            for kind in ("all", tagging.maf_class(float(maf))):
                counts[population, kind][0] += 1
                counts[population, kind][1] += tag != "NA"
    return out, chosen


def write_tables(regions, populations, allocation_table, out):
    """The budget's tables: per method every SNP with its tag or NA
    (`out[method]`), the tag list (`out[method + "_tags"]`), the coverage per
    MAF class (`out["coverage"]`), and per region its share and what each
    method captured, the genome first (`out["summary"]`), with each region's
    share from the allocation table."""
    from . import paths

    coverage_rows = []
    for method in BUDGET_METHODS:
        counts = collections.defaultdict(lambda: [0, 0])
        with files.written(out[method]) as table, files.written(out[method + "_tags"]) as tags:
            with open(table, "w") as t, open(tags, "w") as g:
                t.write("\t".join(_with_population(TABLE_COLUMNS, populations)) + "\n")
                for row in regions:
                    rows, chosen = _region_rows(row, populations, method, counts)
                    t.writelines("\t".join(map(str, r)) + "\n" for r in rows)
                    g.writelines(name + "\n" for name in sorted(chosen, key=lambda n: (chosen[n], n)))
        for population in populations or [None]:
            for kind in tagging.MAF_CLASSES:
                snps, captured = counts[population, kind]
                share = "%.2f" % (100.0 * captured / snps) if snps else "NA"
                coverage_rows.append([method] + ([population] if populations else []) + [kind, snps, captured, share])
    columns = list(COVERAGE_COLUMNS)
    if populations:
        columns.insert(1, "population")
    files.write_table(out["coverage"], columns, coverage_rows)
    allocation = {r["region"]: r for r in files.read_table(allocation_table)[1]}
    summary, total = [], collections.Counter()
    optimal = True
    for row in regions:
        share = allocation[row["region"]]
        found = {
            r["method"]: r for r in files.read_table("%s/budget_summary.tsv" % paths.region_folder(row["region"]))[1]
        }
        greedy, maximum = found["budget_greedy"], found["budget_maximum"]
        values = [share["needed"], share["tags"], share["full_cover"], greedy["items"]]
        values += [greedy["captured"], maximum["captured"], maximum["bound"], maximum["optimal"]]
        summary.append([row["chromosome"], row["region"]] + values)
        for key, value in zip(SUMMARY_COLUMNS[2:-1], values[:-1]):
            total[key] += int(value)
        optimal = optimal and maximum["optimal"] == "1"
    genome = ["genome", "all"] + [total[key] for key in SUMMARY_COLUMNS[2:-1]] + [int(optimal)]
    files.write_table(out["summary"], SUMMARY_COLUMNS, [genome] + summary)
