#!/usr/bin/python3
"""An LD plot of one region, with the tag selection marked.

    ld_plot.py [--view auto|full|band] [--populations A,B,...] REGION_FOLDER [OUTPUT.png]

The folder is one that ldprune ran in, as the workflow's region folders are:
the SNP list (SNP_names.data), positions (maf.txt), the done and undesirable
lists, and, when they are there, ldprune's outputs and the joined tables of
both methods. The r² values come from PLINK's matrix (plink.ld.bin, in SNP
list order) when the folder holds it, else from ld.txt. Writes ld_plot.png in
the folder unless told otherwise. With --populations, the region's folder
holds a folder per population, whose tags were chosen together: the plot
shows the r² of the first of them with SNPs in the region, and the tags
chosen for all of them that are among its SNPs, and its title says so.

The picture: the r² triangle, SNPs along the top in list order, one cell per
pair, white at 0 to dark red at 1; above it, aligned with the SNPs, a
base-pair ruler and a track each for done SNPs, undesirable SNPs kept because
a desirable SNP tags them, undesirable SNPs dropped because none does, needed
SNPs, each method's tag SNPs (Greedy, Minimax and, from ldcluster, Minimum)
and the Greedy clusters as alternating bands.

Two views, chosen by size unless --view says which; the title says which it
is. The full triangle shows every pair: for N SNPs it is 2·N·f pixels wide
and N·f high, where f = ⌈600/N⌉ (1 from 600 SNPs on); each pair is a diamond
of 2f² pixels, so every pair gets at least two. Above FULL_UP_TO SNPs, where
the triangle is mostly white and its structure sits in a thin band near the
diagonal, the band view shows each SNP's column as the full triangle does but
only the pairs near enough to matter: twice the distance within which 99% of
the pairs with r² of at least 0.5 lie, at most BAND SNPs; each of its rows is
repeated `stretch` times, so that blocks and tags can be seen at the report's
size. The image adds LEFT + RIGHT pixels of width and the title,
ruler, tracks and legend in height, and SNP names when there are at most
NAMED SNPs; layout() gives every box.
"""
import argparse
import os
from dataclasses import dataclass, field

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.collections import LineCollection  # noqa: E402
from matplotlib.colors import LinearSegmentedColormap  # noqa: E402
from matplotlib.patches import Patch  # noqa: E402
from matplotlib.ticker import MaxNLocator  # noqa: E402
from PIL import Image  # noqa: E402

from ldtag import files as formats  # noqa: E402
from ldtag import region as folders  # noqa: E402

LEFT, RIGHT = 270, 40  # pixels beside the triangle: track labels, margin
TITLE, RULER, TRACK, NAMES, GAP, LEGEND = 60, 90, 24, 90, 10, 110  # heights in pixels
NAMED = 100  # SNP names are written up to this many SNPs
FULL_UP_TO = 300  # the full triangle up to this many SNPs, the band view above
BAND = 200  # the band view shows pairs at most this many SNPs apart, or fewer (band_depth())
DPI = 100
COLORMAP = LinearSegmentedColormap.from_list("r2", ["#ffffff", "#7f0000"])
# Tracks from the top, with the colour of their marks.
TRACKS = [
    ("Done", "#1f5fbf"),
    ("Undesirable, tagged (kept)", "#e08a00"),
    ("Undesirable, untagged (dropped)", "#555555"),
    ("Needed", "#1a9641"),
    ("Greedy tags", "#7b3294"),
    ("Minimax tags", "#008b8b"),
    ("Minimum tags", "#c51b7d"),
    ("Greedy clusters", None),
]
BANDS = ("#9fb7d9", "#3e5f8a")  # alternating cluster colours


@dataclass
class Region:
    name: str
    snps: list  # names, in list order
    positions: list
    r2: np.ndarray  # n x n
    done: set = field(default_factory=set)
    undesirable: set = field(default_factory=set)
    kept: set = None  # SNPs in maf_processed.txt; None when ldprune has not run
    needed: set = field(default_factory=set)
    tags: dict = field(default_factory=dict)  # method -> set of tag SNPs
    clusters: dict = field(default_factory=dict)  # Greedy cluster per SNP


@dataclass
class Layout:
    n: int
    f: int  # pixels per lattice step
    width: int
    height: int
    tracks: dict  # label -> (top, height) in pixels from the image's top
    ruler: tuple  # (top, height)
    triangle: tuple  # (left, top, width, height)
    depth: int = 0  # pairs at most this many SNPs apart are shown
    stretch: int = 1  # pixel rows per row of the triangle

    @property
    def view(self):
        return "full" if self.depth >= self.n - 1 else "band"


def band_depth(r2):
    """How many SNPs apart the band view shows pairs: twice the distance
    within which 99% of the pairs with r² of at least 0.5 lie, in tens, from
    10 to BAND."""
    n = r2.shape[0]
    i, j = np.triu_indices(n, 1)
    distances = (j - i)[r2[i, j] >= 0.5]
    reach = np.percentile(distances, 99) if len(distances) else 1
    return int(min(BAND, max(10, 10 * np.ceil(2 * reach / 10))))


def layout(n, view="auto", depth=BAND):
    """Where everything goes in the image of an n-SNP region, in pixels from
    the top-left corner; `view` is full, band (pairs at most `depth` SNPs
    apart) or auto (by size)."""
    f = max(1, -(-600 // max(n, 1)))
    band = view == "band" or (view == "auto" and n > FULL_UP_TO)
    depth = min(depth, n - 1) if band else max(n - 1, 0)
    # The band about a quarter as high as it is wide.
    stretch = max(1, round(n / (2 * max(depth, 1)))) if band else 1
    tri_w, tri_h = 2 * n * f, (depth + 1) * f * stretch if band else n * f
    top = TITLE
    ruler = (top, RULER)
    top += RULER
    tracks = {}
    for label, _ in TRACKS:
        tracks[label] = (top, TRACK)
        top += TRACK
    top += (NAMES if n <= NAMED else 0) + GAP
    triangle = (LEFT, top, tri_w, tri_h)
    return Layout(n, f, LEFT + tri_w + RIGHT, top + tri_h + LEGEND, tracks, ruler, triangle, depth, stretch)


def column_center(lay, k):
    """The x pixel at the middle of SNP k's column."""
    return lay.triangle[0] + (2 * k + 1) * lay.f


def pair_pixel(lay, i, j):
    """A pixel (x, y) of pair (i, j)'s diamond, i < j, next to its centre."""
    left, top, _, _ = lay.triangle
    return left + (i + j + 1) * lay.f - 1, top + (j - i) * lay.f * lay.stretch


def read_r2(region, snps):
    n = len(snps)
    matrix = region.path("plink.ld.bin")
    if os.path.exists(matrix) and os.path.getsize(matrix) == 8 * n * n:
        r2 = np.fromfile(matrix, dtype="<f8").reshape(n, n)
        return np.nan_to_num(r2, nan=0.0)
    r2 = np.zeros((n, n))
    index = {name: k for k, name in enumerate(snps)}
    words = formats.tokens(region.path("ld.txt"))
    first = np.array([index.get(w, -1) for w in words[0::3]])
    second = np.array([index.get(w, -1) for w in words[1::3]])
    values = np.array(words[2::3], dtype=float)
    ok = (first >= 0) & (second >= 0)
    r2[first[ok], second[ok]] = values[ok]
    r2[second[ok], first[ok]] = values[ok]
    return r2


def population_region(folder, populations):
    """The region as the first population with SNPs in it sees it, named
    for the region and that population."""
    region_name = os.path.basename(os.path.abspath(folder))
    for population in populations:
        sub = os.path.join(folder, population)
        if folders.Region(sub).snps():
            return read_region(
                sub, "%s, r² in %s (tags chosen for %s)" % (region_name, population, ", ".join(populations))
            )
    raise ValueError("%s: no population has SNPs in the region" % folder)


def read_region(folder, name=None):
    files = folders.Region(folder)
    snps = files.snps()
    where = {}
    for snp, position, _ in files.snp_table():
        where.setdefault(snp, int(position))
    region = Region(
        name or os.path.basename(os.path.abspath(folder)), snps, [where.get(s, 0) for s in snps], read_r2(files, snps)
    )
    region.done = set(files.names("done.txt"))
    region.undesirable = set(files.names("undesirable.txt"))
    if files.has("maf_processed.txt"):
        region.kept = set(files.kept())
    region.needed = files.needed()
    for method in ("greedy", "minimax", "minimum"):
        if files.has(method + "_output.txt"):
            rows = files.joined(method)
            region.tags[method] = {name for name, _, flag in rows if flag == "1"}
            if method == "greedy":
                region.clusters = {name: cluster for name, cluster, _ in rows}
    return region


def triangle_pixels(r2, f, height=None, stretch=1):
    """RGB pixels of the triangle, white outside it. In lattice units, SNP k
    spans x from 2k to 2k + 2 along the top, and pair (i, j) is the diamond
    around x = i + j + 1, depth y = j - i, so the point (x, y) shows pair
    (floor((x - y) / 2), floor((x + y) / 2)). A lattice unit is f pixels:
    pixel (px, py), centred at ((px + ½) / f, (py + ½) / f), shows pair
    ((px - py) // 2f, (px + py + 1) // 2f), and each diamond covers 2f²
    pixels, two when f is 1. The band view keeps the top `height` rows, each
    repeated `stretch` times."""
    n = r2.shape[0]
    height, width = (n * f if height is None else height), 2 * n * f
    lut = (COLORMAP(np.linspace(0, 1, 256))[:, :3] * 255).astype(np.uint8)  # lut[0] is white
    shades = np.clip(np.rint(r2 * 255), 0, 255).astype(np.uint8)
    rgb = np.empty((height, width, 3), dtype=np.uint8)
    px = np.arange(width, dtype=np.int32)
    for start in range(0, height, 256):  # a band of rows at a time keeps memory small
        py = np.arange(start, min(start + 256, height), dtype=np.int32)[:, None] // stretch
        i = (px - py) // (2 * f)
        j = (px + py + 1) // (2 * f)
        inside = (i >= 0) & (j < n) & (i < j)
        rgb[start : start + len(py)] = lut[np.where(inside, shades[np.clip(i, 0, n - 1), np.clip(j, 0, n - 1)], 0)]
    return rgb


def axes_at(fig, lay, left, top, width, height):
    """Axes over the given pixel box (from the image's top-left)."""
    return fig.add_axes([left / lay.width, 1 - (top + height) / lay.height, width / lay.width, height / lay.height])


def track_axes(fig, lay, label):
    top, height = lay.tracks[label]
    ax = axes_at(fig, lay, lay.triangle[0], top, lay.triangle[2], height)
    ax.set_xlim(0, lay.n)
    ax.set_ylim(0, 1)
    ax.set_axis_off()
    ax.axhline(0.02, color="#dddddd", linewidth=0.8)
    fig.text(
        (lay.triangle[0] - 10) / lay.width,
        1 - (top + height / 2) / lay.height,
        label,
        ha="right",
        va="center",
        fontsize=10,
    )
    return ax


def mark(ax, columns, color):
    if columns:
        ax.broken_barh([(k, 1) for k in columns], (0.1, 0.8), facecolors=color, linewidth=0, antialiased=False)


def draw_ruler(fig, lay, positions):
    top, height = lay.ruler
    ax = axes_at(fig, lay, lay.triangle[0], top, lay.triangle[2], height)
    ax.set_xlim(0, lay.n)
    ax.set_ylim(0, 1)
    for side in ("left", "right", "bottom"):
        ax.spines[side].set_visible(False)
    ax.spines["top"].set_position(("data", 0.72))
    ax.yaxis.set_visible(False)
    ax.xaxis.tick_top()
    low, high = min(positions), max(positions)
    span = max(high - low, 1)
    to_x = lambda p: (p - low) / span * lay.n  # noqa: E731
    ticks = [t for t in MaxNLocator(nbins=8, integer=True).tick_values(low, high) if low <= t <= high]
    ax.set_xticks([to_x(t) for t in ticks])
    ax.set_xticklabels(["{:,}".format(int(t)) for t in ticks], fontsize=9)
    lines = [((to_x(p), 0.72), (k + 0.5, 0.0)) for k, p in enumerate(positions)]
    ax.add_collection(LineCollection(lines, colors="#888888", linewidths=0.5))
    fig.text(
        (lay.triangle[0] - 10) / lay.width,
        1 - (top + height * 0.28) / lay.height,
        "Position (bp)",
        ha="right",
        va="center",
        fontsize=10,
    )


def draw(region, output, view="auto"):
    n = len(region.snps)
    lay = layout(n, view)
    if lay.view == "band":
        lay = layout(n, view, band_depth(region.r2))
    fig = plt.figure(figsize=(lay.width / DPI, lay.height / DPI), dpi=DPI)
    left, top, tri_w, tri_h = lay.triangle
    low, high = (min(region.positions), max(region.positions)) if n else (0, 0)
    span = "{:,} bp".format(low) if low == high else "{:,}–{:,} bp".format(low, high)
    shown = "every pair" if lay.view == "full" else "pairs at most %d SNPs apart" % lay.depth
    fig.text(
        10 / lay.width,
        1 - 30 / lay.height,
        "%s: %d SNP%s, %s; %s" % (region.name, n, "" if n == 1 else "s", span, shown),
        fontsize=15,
        va="center",
        weight="bold",
    )
    if n:
        draw_ruler(fig, lay, region.positions)
    column = {name: k for k, name in enumerate(region.snps)}
    kept = region.kept if region.kept is not None else set(region.snps)
    marks = {
        "Done": region.done,
        "Undesirable, tagged (kept)": region.undesirable & kept,
        "Undesirable, untagged (dropped)": region.undesirable - kept,
        "Needed": region.needed,
        "Greedy tags": region.tags.get("greedy", set()),
        "Minimax tags": region.tags.get("minimax", set()),
        "Minimum tags": region.tags.get("minimum", set()),
    }
    for label, color in TRACKS[:-1]:
        mark(track_axes(fig, lay, label), sorted(column[s] for s in marks[label] if s in column), color)
    # Clusters in the order of their first SNP, coloured alternately.
    first = {}
    for name, cluster in region.clusters.items():
        if name in column:
            first[cluster] = min(first.get(cluster, n), column[name])
    rank = {c: k for k, c in enumerate(sorted(first, key=first.get))}
    bands = track_axes(fig, lay, "Greedy clusters")
    for parity, color in enumerate(BANDS):
        mark(
            bands, sorted(column[s] for s, c in region.clusters.items() if s in column and rank[c] % 2 == parity), color
        )
    if n <= NAMED:
        names_top = lay.tracks[TRACKS[-1][0]][0] + TRACK
        for k, name in enumerate(region.snps):
            fig.text(
                column_center(lay, k) / lay.width,
                1 - (names_top + 4) / lay.height,
                name,
                rotation=90,
                ha="center",
                va="top",
                fontsize=7,
            )
    cax = axes_at(fig, lay, left, lay.height - LEGEND + 30, 320, 16)
    bar = fig.colorbar(
        plt.cm.ScalarMappable(cmap=COLORMAP, norm=plt.Normalize(0, 1)), cax=cax, orientation="horizontal"
    )
    bar.set_label("r² of the pair (white 0, dark red 1)", fontsize=10)
    handles = [Patch(color=c, label=l) for l, c in TRACKS if c] + [
        Patch(facecolor=BANDS[0], edgecolor=BANDS[1], label="Greedy clusters, alternately")
    ]
    fig.legend(
        handles=handles,
        loc="center left",
        ncol=4,
        fontsize=9,
        frameon=False,
        bbox_to_anchor=((left + 360) / lay.width, (LEGEND - 45) / lay.height),
    )
    # The triangle goes into the rendered image pixel for pixel, unscaled.
    fig.canvas.draw()
    image = np.asarray(fig.canvas.buffer_rgba())[:, :, :3].copy()
    plt.close(fig)
    image[top : top + tri_h, left : left + tri_w] = triangle_pixels(region.r2, lay.f, tri_h, lay.stretch)
    with formats.written(output) as partial:
        Image.fromarray(image).save(partial, format="png", compress_level=2)
    return lay


def main():
    parser = argparse.ArgumentParser(
        prog="ld_plot.py",
        description="Draws the LD plot of a folder that ldprune ran in, with the tag selection "
        "marked: the SNP list, positions, done and undesirable lists, and when there, ldprune's outputs and the "
        "joined tables. r² comes from plink.ld.bin, else from ld.txt.",
    )
    parser.add_argument(
        "--view",
        choices=("auto", "full", "band"),
        default="auto",
        help="every pair (full), only pairs at most %d SNPs apart (band), or by size (auto: the band "
        "above %d SNPs)" % (BAND, FULL_UP_TO),
    )
    parser.add_argument(
        "--populations", help="comma-separated populations whose folders are in the region's, tags chosen together"
    )
    parser.add_argument("folder", help="the region's folder")
    parser.add_argument("output", nargs="?", help="the PNG file to write (default: FOLDER/ld_plot.png)")
    args = parser.parse_args()
    output = args.output or os.path.join(args.folder, "ld_plot.png")
    try:
        if args.populations:
            region = population_region(args.folder, args.populations.split(","))
        else:
            region = read_region(args.folder)
        draw(region, output, args.view)
    except (OSError, ValueError, IndexError, formats.FormatError) as e:
        parser.exit(1, "ld_plot.py: %s\n" % e)
    print(output)


if __name__ == "__main__":
    main()
