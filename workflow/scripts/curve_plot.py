"""Rule curve_plot: what N slots buy (results/coverage_curve.png).

The share of SNPs captured pairwise as the genome-wide greedy order of tags
grows (results/coverage_curve.tsv): one line per population (all SNPs) and,
dashed, per MAF class; the needed SNPs, each full-cover method's tags and the
slot budget are marked where they fall, so that a designer reads off what
10,000 or 50,000 slots buy.

    curve_plot.py --curve FILE --summary FILE --output PNG [--max-tags N] --log FILE
"""
import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.ticker import FuncFormatter, PercentFormatter  # noqa: E402

from ldtag import files  # noqa: E402

POINTS = 2000  # points drawn of each line, at most: a genome's curve has millions of steps
CLASSES = {"all": ("all SNPs", "-"), "<0.05": ("MAF < 0.05", ":"), "0.05-0.2": ("MAF 0.05-0.2", "--")}
CLASSES[">=0.2"] = ("MAF ≥ 0.2", "-.")
COLOURS = ("#1f4e79", "#b2182b", "#1a9641", "#7b3294", "#e08214", "#008b8b")
METHODS = (("greedy", "Greedy"), ("minimax", "Minimax"), ("minimum", "Minimum"))


def read_curve(path):
    """The curve's classes, and per row its tag count and the share of each
    class captured."""
    header, rows = files.read_table(path)
    kinds = header[header.index("share") + 1 :]
    return kinds, [(int(r["tags"]), [None if r[k] == "NA" else float(r[k]) for k in kinds]) for r in rows]


def thinned(rows):
    step = max(1, len(rows) // POINTS)
    return rows[::step] + ([rows[-1]] if rows and (len(rows) - 1) % step else [])


def method_tags(summary_tsv):
    """Each full-cover method's tags genome-wide (the joint set with
    populations)."""
    header, rows = files.read_table(summary_tsv)
    out = {}
    for key, label in METHODS:
        column = key + ("_joint_tags" if "population" in header else "_tags")
        if column in header:
            out[label] = sum({r["region"]: int(r[column]) for r in rows}.values())
    return out


def figure(curve_tsv, summary_tsv, max_tags=None):
    kinds, rows = read_curve(curve_tsv)
    fig, ax = plt.subplots(figsize=(11, 5.5), dpi=100)
    if not rows:
        ax.text(0.5, 0.5, "no SNPs", ha="center", transform=ax.transAxes)
        return fig
    drawn = thinned(rows)
    populations = list(dict.fromkeys(k.split(":")[0] for k in kinds if ":" in k))
    for k, kind in enumerate(kinds):
        population, _, maf = kind.rpartition(":")
        label, style = CLASSES[maf]
        colour = COLOURS[populations.index(population) % len(COLOURS)] if population else COLOURS[0]
        if rows[-1][1][k] is None:
            continue  # a class without SNPs
        ax.plot(
            [tags for tags, _ in drawn],
            [shares[k] for _, shares in drawn],
            style,
            color=colour,
            lw=2.2 if maf == "all" else 1.2,
            label="%s: %s" % (population, label) if population else label,
        )
    needed = sum(1 for _ in _needed_rows(curve_tsv))
    marks = [("needed SNPs", needed)] + sorted(method_tags(summary_tsv).items(), key=lambda m: m[1])
    if max_tags is not None:
        marks.append(("budget", min(max_tags, rows[-1][0])))
    for tags in sorted({tags for _, tags in marks}):
        ax.axvline(tags, color="#888888", lw=0.8, ls=(0, (2, 2)))
    for tags, text in mark_labels(marks, rows[-1][0]):
        ax.annotate(
            text,
            (tags, 0.02),
            xycoords=("data", "axes fraction"),
            rotation=90,
            fontsize=9,
            color="#444444",
            ha="right",
            va="bottom",
        )
    ax.set_xlim(0, rows[-1][0] * 1.01)
    ax.set_ylim(0, 1.02)
    ax.yaxis.set_major_formatter(PercentFormatter(1.0))
    ax.xaxis.set_major_formatter(FuncFormatter(lambda x, _: format(int(x), ",")))
    ax.set_xlabel("tags (the genome-wide greedy order: needed SNPs first, then the most SNPs captured per tag)")
    ax.set_ylabel("SNPs that passed quality control, captured pairwise")
    ax.set_title("What N slots capture: SNPs with a tag at their own threshold, as the tags grow")
    ax.grid(alpha=0.3)
    ax.legend(fontsize=9, loc="upper left")
    fig.tight_layout()
    return fig


def mark_labels(marks, span, apart=0.02):
    """(tags, text) of the labels of the marks, (label, tags): marks closer
    than `apart` of the axis' span share one label, at the first of them,
    so that their texts do not overlap; marks at one count share a name."""
    groups = []
    for label, tags in sorted(marks, key=lambda mark: mark[1]):
        if groups and tags - groups[-1][-1][1] < apart * span:
            groups[-1].append((label, tags))
        else:
            groups.append([(label, tags)])
    texts = []
    for group in groups:
        counts = list(dict.fromkeys(tags for _, tags in group))
        parts = [", ".join(name for name, t in group if t == c) + " " + format(c, ",") for c in counts]
        texts.append((group[0][1], "; ".join(parts)))
    return texts


def _needed_rows(curve_tsv):
    with open(curve_tsv) as f:
        header = f.readline().rstrip("\n").split("\t")
        at = header.index("needed")
        for line in f:
            if line.split("\t")[at] == "1":
                yield line


def draw(curve_tsv, summary_tsv, output, max_tags=None):
    fig = figure(curve_tsv, summary_tsv, max_tags)
    with files.written(output) as partial:
        fig.savefig(partial, format="png")
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(prog="curve_plot.py", description=__doc__.split("\n\n")[0])
    for option in ("--curve", "--summary", "--output", "--log"):
        parser.add_argument(option, required=True)
    parser.add_argument("--max-tags", type=int)
    args = parser.parse_args()
    files.log_to(args.log)
    draw(args.curve, args.summary, args.output, args.max_tags)


if __name__ == "__main__":
    main()
