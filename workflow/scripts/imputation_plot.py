#!/usr/bin/python3
"""Imputed r² against MAF: per population, the mean dosage r² and the share
of SNPs at r² >= 0.8 in classes of MAF, a line per set judged.

    imputation_plot.py --snps imputation_snps.tsv --sets sets.tsv --out imputation.png

The methods' lines are solid, the user's list dashed, the evenly spaced sets
dotted in grey; a method whose tags were chosen with the people imputed says
so in the legend. Each MAF class counts only the SNPs measured (those that
vary among the people imputed), and is left out where none are.
"""
import argparse
import collections
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from ldtag import files as formats  # noqa: E402
from ldtag import imputation  # noqa: E402

EDGES = (0.0, 0.01, 0.02, 0.05, 0.1, 0.2, 0.3, 0.5000001)
LABELS = ("<0.01", "0.01-0.02", "0.02-0.05", "0.05-0.1", "0.1-0.2", "0.2-0.3", "0.3-0.5")
METHOD_COLOURS = ("#1b6ca8", "#d1495b", "#2e933c", "#8f5fb8", "#e07a1f", "#3a9ea5")


def bin_of(maf):
    for k in range(len(EDGES) - 1):
        if maf < EDGES[k + 1]:
            return k
    return len(EDGES) - 2


def read(snps_tsv):
    """(set, population) -> per MAF bin [measured, sum of r², at r² >= 0.8]."""
    bins = collections.defaultdict(lambda: [[0, 0.0, 0] for _ in LABELS])
    with open(snps_tsv) as f:
        header = f.readline().rstrip("\n").split("\t")
        at = {name: k for k, name in enumerate(header)}
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[at["r2"]] == "NA":
                continue
            value = float(fields[at["r2"]])
            b = bins[(fields[at["set"]], fields[at["population"]])][bin_of(float(fields[at["maf"]]))]
            b[0] += 1
            b[1] += value
            b[2] += value >= 0.8
    return bins


GREYS = ("0.15", "0.45", "0.65", "0.3", "0.55")  # evenly spaced sets, told apart by shade and marker
GREY_MARKERS = ("s", "^", "v", "D", "x")


def style(row, method_index, even_index=0):
    kind, name, tags = row["kind"], row["set"], int(row["tags"])
    if kind == "evenly spaced":
        k = even_index % len(GREYS)
        kw = dict(color=GREYS[k], linestyle=":", marker=GREY_MARKERS[k], markersize=4)
        return kw, "evenly spaced, %s SNPs" % format(tags, ",")
    colour = METHOD_COLOURS[method_index % len(METHOD_COLOURS)]
    label = "%s, %s tags" % (imputation.SET_LABELS.get(name, name), format(tags, ","))
    if row["how_measured"].startswith("tags chosen"):
        label += " chosen with these people"
    return dict(color=colour, linestyle="--" if kind == "given" else "-", marker="o", markersize=4), label


def y_range(ax, top):
    """From a tenth of the scale below the lowest point drawn (never below
    0), rounded down to a tenth, to a little above the top."""
    values = [y for line in ax.get_lines() for y in line.get_ydata()]
    low = min(values, default=0.0) - top / 10
    return max(0.0, int(low / (top / 10)) * (top / 10)), top * 1.02


def draw(snps_tsv, sets_tsv, out):
    bins = read(snps_tsv)
    sets = formats.read_table(sets_tsv)[1]
    populations = list(dict.fromkeys(p for _, p in bins)) or ["all"]
    fig, axes = plt.subplots(len(populations), 2, figsize=(15, 3.8 * len(populations) + 0.6), squeeze=False)
    for row_axes, population in zip(axes, populations):
        coloured = grey = 0
        for row in sets:
            kw, label = style(row, coloured, grey)
            coloured += row["kind"] != "evenly spaced"
            grey += row["kind"] == "evenly spaced"
            counts = bins.get((row["set"], population))
            if counts is None:
                continue
            xs = [k for k, c in enumerate(counts) if c[0]]
            row_axes[0].plot(xs, [counts[k][1] / counts[k][0] for k in xs], label=label, **kw)
            row_axes[1].plot(xs, [100.0 * counts[k][2] / counts[k][0] for k in xs], label=label, **kw)
        where = "" if population == "all" else "population %s: " % population
        for ax, title, ylabel, top in (
            (row_axes[0], "mean imputed r²", "mean r²", 1.0),
            (row_axes[1], "SNPs imputed at r² ≥ 0.8", "% of the SNPs measured", 100.0),
        ):
            ax.set_ylim(*y_range(ax, top))
            ax.set_title(where + title, fontsize=11)
            ax.set_xticks(range(len(LABELS)))
            ax.set_xticklabels(LABELS, fontsize=9)
            ax.set_xlabel("MAF among the people imputed")
            ax.set_ylabel(ylabel)
            ax.grid(True, alpha=0.3)
        row_axes[1].legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.02, 1.0), frameon=False)
    fig.tight_layout()
    with formats.written(out) as partial:
        fig.savefig(partial, format="png", dpi=110)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(prog="imputation_plot.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--snps", required=True)
    parser.add_argument("--sets", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    try:
        draw(args.snps, args.sets, args.out)
    except (OSError, ValueError, KeyError) as e:
        sys.exit("imputation_plot.py: %s" % e)


if __name__ == "__main__":
    main()
