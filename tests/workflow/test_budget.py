"""The slot budget's genome-wide part on small hand-made and random
inputs: the regions' greedy orders merged by gain, the budget shared out
across regions against every split, and the coverage curve."""
import collections
import itertools
import random

import pytest

import conftest  # noqa: F401  (puts the scripts on the path)
from ldtag import budget
from ldtag.budget import Step


def order(needed, gains):
    """A region's coverage order: `needed` needed SNPs (gain 1 each), then
    the given gains, which never increase."""
    steps = [Step("n%d" % k, "0", True, 1) for k in range(needed)]
    return steps + [Step("s%d" % k, "0", False, g) for k, g in enumerate(gains)]


def test_orders_merge_needed_first_then_by_gain_in_region_order():
    a, b = order(1, [5, 3, 3, 1]), order(2, [4, 3, 2])
    merged = budget.merge_orders([a, b])
    assert merged == [(0, 0), (1, 0), (1, 1), (0, 1), (1, 2), (0, 2), (0, 3), (1, 3), (1, 4), (0, 4)]


def best_split(orders, budget_size):
    """The most items any split of the budget among the regions' orders
    captures, each region taking a prefix of its own order that holds its
    needed SNPs."""
    needed = [sum(s.needed for s in steps) for steps in orders]
    best = None
    for counts in itertools.product(*[range(n, len(steps) + 1) for n, steps in zip(needed, orders)]):
        if sum(counts) <= budget_size:
            gained = sum(sum(s.gain for s in steps[:c]) for steps, c in zip(orders, counts))
            best = gained if best is None else max(best, gained)
    return best


def test_the_budget_shared_by_marginal_gain_is_the_best_split():
    rng = random.Random(21)
    for _ in range(300):
        orders = []
        for _ in range(rng.randint(1, 4)):
            gains = sorted((rng.randint(1, 9) for _ in range(rng.randint(0, 5))), reverse=True)
            orders.append(order(rng.randint(0, 2), gains))
        needed = sum(s.needed for steps in orders for s in steps)
        full = sum(len(steps) for steps in orders)
        for size in range(needed, full + 1):
            counts, note = budget.allocate(orders, size)
            assert sum(counts) == size and note is None
            gained = sum(sum(s.gain for s in steps[:c]) for steps, c in zip(orders, counts))
            assert gained == best_split(orders, size), (orders, size, counts)


def test_a_budget_below_the_needed_snps_is_an_error_and_one_above_the_full_cover_a_note():
    orders = [order(2, [3]), order(1, [2, 1])]
    with pytest.raises(budget.BudgetError, match="max_tags 2 is below the 3 needed SNPs"):
        budget.allocate(orders, 2)
    counts, note = budget.allocate(orders, 9)
    assert counts == [3, 3]
    assert note == "max_tags 9 is more than the 6 tags that capture every SNP: the budget's tags are the full cover"


def test_the_curve_counts_each_item_once_when_it_is_first_captured():
    # Region 0: a needed SNP captures one item, then a tag captures three.
    # Region 1: one tag captures two items, another one.
    orders = [order(1, [3]), order(0, [2, 1])]
    captures = [
        [(0, "all"), (1, "all"), (1, "all"), (1, "all")],
        [(0, "all"), (0, "all"), (1, "all")],
    ]
    rows = budget.curve(orders, captures)
    assert [(r, k) for r, k, _ in rows] == [(0, 0), (0, 1), (1, 0), (1, 1)]
    assert [counts["all"] for _, _, counts in rows] == [1, 4, 6, 7]


def test_the_curve_is_monotone_and_ends_with_every_item():
    rng = random.Random(5)
    for _ in range(100):
        orders, captures = [], []
        for _ in range(rng.randint(1, 4)):
            gains = sorted((rng.randint(1, 5) for _ in range(rng.randint(1, 5))), reverse=True)
            steps = order(rng.randint(0, 2), gains)
            orders.append(steps)
            captures.append([(k, c) for k, s in enumerate(steps) for c in ["all"] * s.gain])
        rows = budget.curve(orders, captures)
        totals = [counts.get("all", 0) for _, _, counts in rows]
        assert totals == sorted(totals) and totals[-1] == sum(len(c) for c in captures)
        assert len(rows) == sum(len(s) for s in orders)


# End to end: the workflow with a slot budget on the tests' genotypes.

import os  # noqa: E402

from conftest import make_workdir, snakemake, table  # noqa: E402

BUDGET = 300


@pytest.fixture(scope="module")
def budget_run(tmp_path_factory):
    folder = make_workdir(str(tmp_path_factory.mktemp("budget")), max_tags=BUDGET, plots=False)
    snakemake(folder)
    return folder


def results(folder, name):
    return table(os.path.join(folder, "results", name))


def test_the_curve_grows_to_the_full_cover_and_captures_what_it_can(budget_run):
    curve = results(budget_run, "coverage_curve.tsv")
    assert [int(r["tags"]) for r in curve] == list(range(1, len(curve) + 1))
    shares = [float(r["share"]) for r in curve]
    assert shares == sorted(shares)
    for kind in ("all", "<0.05", "0.05-0.2", ">=0.2"):
        column = [float(r[kind]) for r in curve]
        assert column == sorted(column), kind
    # Its end: every SNP but the undesirable ones nothing tags, as the full
    # covers capture, in the regions' orders laid end to end.
    minimum = [r for r in results(budget_run, "coverage.tsv") if r["region"] == "genome" and r["maf_class"] == "all"]
    assert int(curve[-1]["captured"]) == int(minimum[0]["captured"])
    orders = sum(
        len(results(budget_run, "regions/%s/coverage_order.tsv" % r["region"]))
        for r in results(budget_run, "regions.tsv")
    )
    assert len(curve) == orders
    needed = sum(int(r["needed"]) for r in results(budget_run, "summary.tsv"))
    assert [r["needed"] for r in curve[:needed]] == ["1"] * needed and "1" not in [r["needed"] for r in curve[needed:]]


def test_the_budget_is_the_first_tags_of_the_curve_shared_among_the_regions(budget_run):
    curve = results(budget_run, "coverage_curve.tsv")
    allocation = results(budget_run, "budget_allocation.tsv")
    assert sum(int(r["tags"]) for r in allocation) == BUDGET
    first = collections.Counter(r["region"] for r in curve[:BUDGET])
    assert {r["region"]: int(r["tags"]) for r in allocation} == {r["region"]: first[r["region"]] for r in allocation}
    summary = results(budget_run, "budget.tsv")
    genome, regions = summary[0], summary[1:]
    assert genome["region"] == "all" and int(genome["tags"]) == BUDGET
    assert int(genome["greedy_captured"]) == int(curve[BUDGET - 1]["captured"])
    for r in regions:
        assert int(r["needed"]) <= int(r["tags"]) <= int(r["full_cover"])
        assert int(r["greedy_captured"]) <= int(r["maximum_captured"]) <= int(r["maximum_bound"])
    for method in ("budget_greedy", "budget_maximum"):
        rows = results(budget_run, method + "_tags.tsv")
        tags = [r["snp"] for r in rows if r["tag"] == "1"]
        assert len(tags) == BUDGET
        with open(os.path.join(budget_run, "results", method + "_tag_snps.txt")) as f:
            assert sorted(f.read().split()) == sorted(tags)
        assert {r["snp"] for r in rows} == {r["snp"] for r in results(budget_run, "minimum_tags.tsv")}
        chosen = set(tags)
        for r in rows:
            if r["tag_snp"] != "NA":
                assert r["tag_snp"] in chosen and float(r["r2"]) > 0
        captured = sum(r["tag_snp"] != "NA" for r in rows)
        key = "greedy_captured" if method == "budget_greedy" else "maximum_captured"
        assert captured == int(genome[key])
        # The needed SNPs are tags of the budget.
        for region in results(budget_run, "regions.tsv"):
            with open(os.path.join(budget_run, "results", "regions", region["region"], "needed.txt")) as f:
                assert set(f.read().split()) <= chosen


def test_a_budget_below_the_needed_snps_stops_and_one_above_the_full_cover_takes_it(budget_run, tmp_path):
    folder = make_workdir(str(tmp_path / "small"), max_tags=3, plots=False)
    p = snakemake(folder, check=False)
    needed = sum(int(r["needed"]) for r in results(budget_run, "summary.tsv"))
    assert p.returncode != 0
    assert "ldtag: max_tags 3 is below the %d needed SNPs" % needed in p.stderr
    folder = make_workdir(str(tmp_path / "large"), max_tags=5000, plots=False)
    p = snakemake(folder)
    full = len(results(budget_run, "coverage_curve.tsv"))
    assert "max_tags 5000 is more than the %d tags that capture every SNP" % full in p.stderr
    summary = results(folder, "budget.tsv")
    assert int(summary[0]["tags"]) == full and summary[0]["optimal"] == "1"
    assert summary[0]["greedy_captured"] == summary[0]["maximum_captured"] == summary[0]["items"]
