"""The genome-wide overview: every region along the chromosomes.

Four panels over the regions in genome order: SNPs and tags per method
(Greedy, Minimax and, from ldcluster, Minimum);
needed SNPs and dropped undesirable SNPs; SNPs per tag, the figure studies
compare; and the cuts, with the tagging pairs that cross each one.
Chromosomes are told apart by shading and named above the panels. The
panels that count (SNPs, tags, pairs) have whole numbers on their axes. With
populations, a region's bar is its SNPs over all populations, its tags the
one set chosen for all of them, and its needed and dropped SNPs the sums
over the populations.

    overview.py --summary FILE --regions FILE --output PNG --log FILE
"""
import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.ticker import MaxNLocator  # noqa: E402

from ldtag import files as formats  # noqa: E402

SNPS = "#c8c8c8"
METHODS = (
    ("greedy", "Greedy", "#7b3294", "o-"),
    ("minimax", "Minimax", "#008b8b", "s--"),
    ("minimum", "Minimum", "#c51b7d", "^:"),
)
NEEDED, DROPPED, CUT = "#1a9641", "#555555", "#b2182b"


def per_tag(snps, tags):
    return snps / tags if tags else float("nan")


def per_region(header, summary, regions):
    """One summary row per region: with populations, the region's SNPs from
    the regions table, each method's joint tags, and the populations' needed
    and dropped SNPs summed."""
    if "population" not in header:
        return summary
    rows = {}
    for s in summary:
        row = rows.setdefault(s["region"], {"needed": 0, "undesirable_dropped": 0, "region": s["region"]})
        row["needed"] += int(s["needed"])
        row["undesirable_dropped"] += int(s["undesirable_dropped"])
        for key in header:
            if key.endswith("_joint_tags"):
                row[key[: -len("_joint_tags")] + "_tags"] = s[key]
    for r in regions:
        rows[r["region"]]["snps"] = r["snps"]
    return [rows[r["region"]] for r in regions]


def figure(summary_tsv, regions_tsv):
    """The overview of the tables as a matplotlib figure; its axes, from the
    top, are the four panels."""
    header, summary = formats.read_table(summary_tsv)
    regions = formats.read_table(regions_tsv)[1]
    summary = per_region(header, summary, regions)
    summed = " (over populations)" if "population" in header else ""
    n = len(summary)
    x = np.arange(n)
    column = lambda key: np.array([float(s[key]) for s in summary])  # noqa: E731
    snps = column("snps")
    methods = [m for m in METHODS if m[0] + "_tags" in header]
    tags = {key: column(key + "_tags") for key, _, _, _ in methods}
    bar = 0.8 / len(methods)
    width_in = min(30.0, max(11.0, 0.3 * n + 3))
    fig, axes = plt.subplots(4, 1, figsize=(width_in, 11), sharex=True, gridspec_kw={"hspace": 0.12})
    fig.subplots_adjust(left=0.07, right=0.82, top=0.88, bottom=0.12)

    ax = axes[0]
    ax.bar(x, snps, width=0.9, color=SNPS, label="SNPs")
    for k, (key, label, color, _) in enumerate(methods):
        ax.bar(x - 0.4 + bar * (k + 0.5), tags[key], width=bar, color=color, label=label + " tags")
    ax.set_ylabel("SNPs and tags")

    ax = axes[1]
    ax.bar(x - 0.2, column("needed"), width=0.4, color=NEEDED, label="Needed SNPs" + summed)
    ax.bar(x + 0.2, column("undesirable_dropped"), width=0.4, color=DROPPED, label="Undesirable SNPs dropped" + summed)
    ax.set_ylabel("SNPs")
    ax.set_ylim(
        bottom=0, top=max(1, column("needed").max(initial=0), column("undesirable_dropped").max(initial=0)) * 1.15
    )

    ax = axes[2]
    ratios = []
    for key, label, color, style in methods:
        ratio = [per_tag(s, t) for s, t in zip(snps, tags[key])]
        ax.plot(x, ratio, style, color=color, label=label, markersize=4)
        ratios += ratio
    ax.set_ylabel("SNPs per tag")
    ax.set_ylim(bottom=0, top=max([r for r in ratios if r == r] + [1]) * 1.15)

    ax = axes[3]
    cuts = [
        (k + 0.5, int(r["crossing_pairs"]))
        for k, r in enumerate(regions[:-1])
        if r["chromosome"] == regions[k + 1]["chromosome"]
    ]
    if cuts:
        ax.vlines([c for c, _ in cuts], 0, [v for _, v in cuts], color=CUT, linewidth=2)
        ax.plot(
            [c for c, _ in cuts],
            [v for _, v in cuts],
            "o",
            color=CUT,
            markersize=5,
            label="Tagging pairs crossing the cut",
        )
        if len(cuts) <= 60:
            for c, v in cuts:
                ax.annotate(str(v), (c, v), textcoords="offset points", xytext=(0, 6), ha="center", fontsize=8)
    ax.set_ylabel("Pairs across\nthe cut")
    ax.set_ylim(bottom=0, top=max([v for _, v in cuts] + [1]) * 1.25)

    # Chromosomes: alternate shading, names above the top panel.
    chromosomes = []
    for k, r in enumerate(regions):
        if not chromosomes or chromosomes[-1][0] != r["chromosome"]:
            chromosomes.append([r["chromosome"], k, k])
        chromosomes[-1][2] = k
    for index, (name, first, last) in enumerate(chromosomes):
        for ax in axes:
            if index % 2:
                ax.axvspan(first - 0.5, last + 0.5, color="#f2f2f2", zorder=0)
        axes[0].text(
            (first + last) / 2,
            1.02,
            "chromosome " + name,
            transform=axes[0].get_xaxis_transform(),
            ha="center",
            va="bottom",
            fontsize=10,
        )
    for ax in (axes[0], axes[1], axes[3]):
        ax.yaxis.set_major_locator(MaxNLocator(integer=True))
    for ax in axes:
        if ax.get_legend_handles_labels()[0]:  # one region per chromosome: no cut to label in the last panel
            ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=9, frameon=False)
        ax.grid(axis="y", color="#e0e0e0", linewidth=0.6)
        ax.set_axisbelow(True)
    axes[-1].set_xlim(-0.6, n - 0.4)
    if n <= 60:
        axes[-1].set_xticks(x)
        axes[-1].set_xticklabels([s["region"] for s in summary], rotation=90, fontsize=8)
    else:
        axes[-1].set_xlabel("regions in genome order")
    total_snps = snps.sum()
    fig.suptitle(
        "%d region%s on %d chromosome%s, %d SNPs%s\n%s"
        % (
            n,
            formats.plural(n),
            len(chromosomes),
            formats.plural(len(chromosomes)),
            total_snps,
            ", tags chosen for all populations" if "population" in header else "",
            ", ".join(
                "%d %s tags (%.2f SNPs per tag)" % (tags[key].sum(), label, per_tag(total_snps, tags[key].sum()))
                for key, label, _, _ in methods
            ),
        ),
        fontsize=13,
    )
    return fig


def draw(summary_tsv, regions_tsv, output):
    fig = figure(summary_tsv, regions_tsv)
    with formats.written(output) as partial:
        fig.savefig(partial, format="png", dpi=100, bbox_inches="tight", pad_inches=0.2)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(prog="overview.py", description=__doc__.split("\n\n")[0])
    for option in ("--summary", "--regions", "--output", "--log"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    formats.log_to(args.log)
    draw(args.summary, args.regions, args.output)


if __name__ == "__main__":
    main()
