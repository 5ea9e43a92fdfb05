"""The slot budget's genome-wide part on small hand-made and random
inputs: the regions' greedy orders merged by gain, the budget shared out
across regions against every split, and the coverage curve."""
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
