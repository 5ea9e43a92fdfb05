#!/usr/bin/python3
"""An LD plot of one region, with the tag selection marked.

    ld_plot.py [--view auto|full|band] [--populations TABLE] REGION_FOLDER [OUTPUT.png]

The folder is one that ldprune ran in, as the workflow's region folders are:
the SNP list (SNP_names.data), positions (maf.txt), the done and undesirable
lists, and, when they are there, ldprune's outputs and the joined tables of
both methods. The r² values come from PLINK's matrix (plink.ld.bin, in SNP
list order) when the folder holds it, else from ld.txt. Writes ld_plot.png in
the folder unless told otherwise. With --populations, the run's populations
table (results/populations.tsv), the region's folder holds a folder per
population, whose tags were chosen together: the plot
shows the r² of the first of them with SNPs in the region, and the tags
chosen for all of them that are among its SNPs, and its title says so.

The picture: the r² triangle, SNPs along the top in list order, one cell per
pair, white at 0 to dark red at 1, with a colour bar; above it, aligned with
the SNPs, a base-pair ruler and a track each for done SNPs, undesirable SNPs
kept because a desirable SNP tags them, undesirable SNPs dropped because none
does, needed SNPs, each method's tag SNPs (Greedy, Minimax and, from
ldcluster, Minimum) and the Greedy clusters as alternating bands.

Two views, chosen by size unless --view says which; the title says which it
is. The full triangle shows every pair: for N SNPs it is 2·N·f pixels wide
and N·f high, where f = ⌈600/N⌉ (1 from 600 SNPs on); each pair is a diamond
of 2f² pixels, so every pair gets at least two. Above FULL_UP_TO SNPs, where
the triangle is mostly white and its structure sits in a thin band near the
diagonal, the band view shows each SNP's column as the full triangle does but
only the pairs near enough to matter: twice the distance within which 99% of
the pairs with r² of at least 0.5 lie, at most BAND SNPs; each of its rows is
repeated `stretch` times, so that blocks and tags can be seen at the report's
size.

The report shows a plot SHOWN pixels wide, whatever its size. Everything but
the triangle (labels, tracks, ruler, legend) is laid out in pixels as shown
there, and drawn `scale` times larger, scale being the triangle's width over
the width the layout leaves it; so text has the same size on the report's
page in every plot. SNP names are written up to NAMED SNPs. layout() gives
every box.

The picture is drawn with numpy and Pillow alone, which start in a fraction
of the time matplotlib takes, in the indices of a palette of 256 colours
(192 shades of r², 52 greys for text and lines, the marks' colours), and
written as a palette PNG. The matrix is mapped, not read: NaN, which PLINK
gives a SNP that does not vary, is white.
"""
import argparse
import functools
import importlib.util
import os
from dataclasses import dataclass, field

import numpy as np
from PIL import Image, ImageDraw, ImageFont

from ldtag import files as formats
from ldtag import populations
from ldtag import region as folders

SHOWN = 1400  # the width, in pixels, of a plot on the report's page; the sizes below are in its pixels
LEFT, RIGHT = 280, 20  # beside the triangle: track labels, margin
TITLE, RULER, TRACK, NAMES, GAP, LEGEND = 40, 70, 20, 80, 10, 80  # heights
FONT = {"title": 18, "label": 14, "legend": 13, "tick": 12, "name": 11}  # text sizes (the em)
NAMED = 100  # SNP names are written up to this many SNPs
FULL_UP_TO = 300  # the full triangle up to this many SNPs, the band view above
BAND = 200  # the band view shows pairs at most this many SNPs apart, or fewer (band_depth())
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
DARK_RED = (0x7F, 0x00, 0x00)  # r² = 1
BASELINE, FAN = 0x22, 0x77  # grey of a track's baseline and of the ruler's lines, as ink (0 white, 255 black)


def rgb(colour):
    return tuple(int(colour[k : k + 2], 16) for k in (1, 3, 5))


# The palette: SHADES of r² from white to dark red, GREYS of ink from white
# to black, then the marks' colours. Index 255 is left free: "not painted".
SHADES, GREYS = 192, 52
MARKS = [c for _, c in TRACKS if c] + list(BANDS)
PALETTE = np.vstack(
    [
        np.rint(255 + np.outer(np.arange(SHADES) / (SHADES - 1), np.subtract(DARK_RED, 255))),
        np.repeat(np.rint(255 - np.arange(GREYS) * 255 / (GREYS - 1))[:, None], 3, axis=1),
        [rgb(c) for c in MARKS],
    ]
).astype(np.uint8)
MARK = {c: SHADES + GREYS + k for k, c in enumerate(MARKS)}  # colour -> palette index
INK_TABLE = [SHADES + round(level * (GREYS - 1) / 255) for level in range(256)]  # ink level -> palette index
UNPAINTED = 255
assert len(PALETTE) < UNPAINTED


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
    scale: float = 1.0  # image pixels per pixel on the report's page

    @property
    def view(self):
        return "full" if self.depth >= self.n - 1 else "band"

    def px(self, size):
        """A size in pixels on the report's page, in the image's pixels."""
        return int(round(size * self.scale))


def band_depth(r2):
    """How many SNPs apart the band view shows pairs: twice the distance
    within which 99% of the pairs with r² of at least 0.5 lie, in tens, from
    10 to BAND."""
    i, j = np.nonzero(r2 >= 0.5)
    distances = (j - i)[j > i]
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
    # The triangle fills what the labels and margin leave of the shown width.
    lay = Layout(n, f, 0, 0, {}, (), (), depth, stretch, max(tri_w, 1200) / (SHOWN - LEFT - RIGHT))
    top = lay.px(TITLE)
    lay.ruler = (top, lay.px(RULER))
    top += lay.px(RULER)
    for label, _ in TRACKS:
        lay.tracks[label] = (top, lay.px(TRACK))
        top += lay.px(TRACK)
    top += (lay.px(NAMES) if n <= NAMED else 0) + lay.px(GAP)
    lay.triangle = (lay.px(LEFT), top, tri_w, tri_h)
    lay.width = lay.px(LEFT) + tri_w + lay.px(RIGHT)
    lay.height = top + tri_h + lay.px(LEGEND)
    return lay


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
        # Mapped, not read: pages come from the file as they are used. NaN stays (shade() whitens it).
        return np.memmap(matrix, dtype="<f8", mode="r", shape=(n, n)) if n else np.zeros((0, 0))
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


def shade(r2):
    """The palette index of each r² value: 0 (white) at 0 to SHADES - 1 (dark
    red) at 1; white for NaN, which PLINK gives a SNP that does not vary."""
    return np.rint(np.fmin(np.fmax(r2, 0), 1) * (SHADES - 1)).astype(np.uint8)


def triangle_pixels(r2, f, height=None, stretch=1):
    """Palette indices of the triangle, white outside it. In lattice units,
    SNP k spans x from 2k to 2k + 2 along the top, and pair (i, j) is the
    diamond around x = i + j + 1, depth y = j - i, so the point (x, y) shows
    pair (floor((x - y) / 2), floor((x + y) / 2)). A lattice unit is f
    pixels: pixel (px, py), centred at ((px + ½) / f, (py + ½) / f), shows
    pair ((px - py) // 2f, (px + py + 1) // 2f), and each diamond covers 2f²
    pixels, two when f is 1. So with py = r·f + q, row py is white up to
    px = py, then a block of 2f pixels per i from 0: pair (i, i + r) in its
    first 2f - 2q - 1 pixels, pair (i, i + r + 1) in the rest; two diagonals
    of the matrix interleaved. The band view keeps the top `height` rows,
    each repeated `stretch` times."""
    n = r2.shape[0]
    height = n * f if height is None else height
    rows, width = -(-height // stretch), 2 * n * f
    out = np.zeros((rows, width), dtype=np.uint8)
    block = np.empty((n, 2 * f), dtype=np.uint8)
    shades = {}

    def diagonal(d):  # the shades of the pairs d SNPs apart; white for a SNP with itself
        if d not in shades:
            shades[d] = shade(np.diagonal(r2, d)) if d else np.zeros(n, dtype=np.uint8)
        return shades[d]

    for py in range(min(rows, n * f)):
        r, q = divmod(py, f)
        count, split = n - r, 2 * f - 2 * q - 1
        row = block[:count]
        row[:, :split] = diagonal(r)[:, None]
        row[: count - 1, split:] = diagonal(r + 1)[:, None]
        row[count - 1, split:] = 0
        line = row.ravel()[: width - py]
        out[py, py : py + len(line)] = line
    return np.repeat(out, stretch, axis=0)[:height] if stretch > 1 else out


@functools.lru_cache(maxsize=None)
def font_file(bold):
    """DejaVu Sans, matplotlib's font, from matplotlib's data or the system's
    fonts; matplotlib finds it when neither place has it."""
    name = "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"
    found = importlib.util.find_spec("matplotlib")
    folders = (
        [os.path.join(os.path.dirname(found.origin), "mpl-data", "fonts", "ttf")] if found and found.origin else []
    )
    folders += ["/usr/share/matplotlib/mpl-data/fonts/ttf", "/usr/share/fonts/truetype/dejavu"]
    for folder in folders:
        if os.path.exists(os.path.join(folder, name)):
            return os.path.join(folder, name)
    from matplotlib import font_manager

    return font_manager.findfont(font_manager.FontProperties(family="DejaVu Sans", weight="bold" if bold else "normal"))


@functools.lru_cache(maxsize=None)
def font(pixels, bold=False):
    return ImageFont.truetype(font_file(bold), max(pixels, 1))


class Canvas:
    """The picture as it is drawn: a grey image of palette indices, which
    takes the palette at the end. Text and lines are drawn as ink (0 blank,
    255 black), antialiased by Pillow, which blends the background with the
    ink: as the greys' indices grow with the ink in equal steps (INK_TABLE),
    a blend lands on the grey between. Coloured parts are pasted in their
    own indices."""

    def __init__(self, lay):
        self.lay = lay
        self.picture = Image.new("L", (lay.width, lay.height), INK_TABLE[0])
        self.pen = ImageDraw.Draw(self.picture)

    def text(self, x, y, text, size, anchor="la", bold=False):
        """Text at (x, y) in image pixels; `size` a key of FONT."""
        self.pen.text((x, y), text, fill=INK_TABLE[255], font=font(self.lay.px(FONT[size]), bold), anchor=anchor)

    def rule(self, x0, y0, x1, y1, ink=255):
        """A filled box of ink, x1 and y1 excluded."""
        self.pen.rectangle((x0, y0, x1 - 1, y1 - 1), fill=INK_TABLE[ink])

    def stamp(self, x, y, mask, ink=255):
        """Ink where a grey image (255 full) says, its corner at (x, y)."""
        self.picture.paste(INK_TABLE[ink], (x, y), mask)

    def paint(self, x0, y0, x1, y1, index):
        """A box in one colour, or in the palette indices of an array; the
        array's UNPAINTED entries leave what is under them."""
        if np.ndim(index) == 0:
            self.picture.paste(int(index), (x0, y0, x1, y1))
            return
        index = np.ascontiguousarray(np.broadcast_to(index, (y1 - y0, x1 - x0)))
        mask = Image.fromarray(np.where(index == UNPAINTED, 0, 255).astype(np.uint8)) if UNPAINTED in index else None
        self.picture.paste(Image.fromarray(index), (x0, y0), mask)

    def image(self):
        self.picture.putpalette(PALETTE.ravel().tolist())
        return self.picture


def draw_ruler(canvas, positions):
    """The base-pair axis over the tracks, ticked at round positions, and a
    line from each SNP's position on it to the middle of its column."""
    lay = canvas.lay
    top, height = lay.ruler
    left, _, width, _ = lay.triangle
    axis = top + round(0.28 * height)
    low, high = min(positions), max(positions)
    span = max(high - low, 1)
    to_x = lambda p: left + (p - low) / span * width  # noqa: E731
    draw_fan(
        canvas,
        (left, axis, width, top + height - axis),
        [to_x(p) for p in positions],
        [column_center(lay, k) for k in range(lay.n)],
        min(0.7 * lay.scale, 0.7 * lay.f),
    )
    thick = max(1, lay.px(0.8))
    canvas.rule(left, axis, left + width, axis + thick)
    for t in ruler_ticks(low, high):
        x = int(round(to_x(t)))
        canvas.rule(x - thick // 2, axis - lay.px(5), x - thick // 2 + thick, axis)
        label = "{:,}".format(t)
        half = font(lay.px(FONT["tick"])).getlength(label) / 2
        canvas.text(min(max(x, half), lay.width - half), axis - lay.px(7), label, "tick", anchor="ms")
    canvas.text(left - lay.px(10), axis, "Position (bp)", "label", anchor="rm")


def draw_fan(canvas, box, starts, ends, width):
    """Lines from each x of `starts` on the box's top to the x of `ends` on
    its bottom, in grey, as dark as lines `width` pixels wide: drawn one
    pixel wide, twice as large, and halved, so antialiased."""
    left, top, w, h = box
    layer = Image.new("L", (w * 2, h * 2), 0)
    pen = ImageDraw.Draw(layer)
    for a, b in zip(starts, ends):
        pen.line([((a - left) * 2, 0), ((b - left) * 2, h * 2 - 1)], fill=255)
    canvas.stamp(left, top, layer.reduce(2), min(255, round(FAN * width * 2)))


def ruler_ticks(low, high, most=9):
    """Round positions from low to high, at most `most` of them: the
    multiples of the smallest step of 1, 2, 2.5 or 5 times a power of ten
    (whole numbers only) that gives no more."""
    scale = 1
    while True:
        for step in (scale, 2 * scale, 5 * scale // 2, 5 * scale):
            ticks = range(-(-low // step) * step, high + 1, step)
            if len(ticks) <= most:
                return list(ticks)
        scale *= 10


def draw_tracks(canvas, region):
    """A track per kind of SNP: a mark in each such SNP's column, its label
    on the left."""
    lay = canvas.lay
    n = lay.n
    left, _, width, _ = lay.triangle
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
    for label, colour in TRACKS:
        top, height = lay.tracks[label]
        canvas.text(left - lay.px(10), top + height // 2, label, "label", anchor="rm")
        canvas.rule(left, top + height - max(1, lay.px(0.8)), left + width, top + height, BASELINE)
        indices = np.full(n, UNPAINTED, dtype=np.uint8)
        if colour:
            indices[[column[s] for s in marks[label] if s in column]] = MARK[colour]
        else:
            indices[:] = cluster_bands(region, column)
        y0, y1 = top + round(0.1 * height), top + round(0.9 * height)
        canvas.paint(left, y0, left + width, y1, np.repeat(indices, 2 * lay.f)[None, :])


def cluster_bands(region, column):
    """Each SNP's band colour: the Greedy clusters in the order of their
    first SNP, coloured alternately; UNPAINTED for SNPs in none."""
    first = {}
    for name, cluster in region.clusters.items():
        if name in column:
            first[cluster] = min(first.get(cluster, len(column)), column[name])
    rank = {c: k for k, c in enumerate(sorted(first, key=first.get))}
    bands = np.full(len(column), UNPAINTED, dtype=np.uint8)
    for name, cluster in region.clusters.items():
        if name in column:
            bands[column[name]] = MARK[BANDS[rank[cluster] % 2]]
    return bands


def draw_names(canvas, snps):
    """Each SNP's name under the tracks, reading upwards, in its column."""
    lay = canvas.lay
    top = lay.tracks[TRACKS[-1][0]][0] + lay.tracks[TRACKS[-1][0]][1] + lay.px(4)
    face = font(min(lay.px(FONT["name"]), int(1.7 * lay.f)))
    for k, name in enumerate(snps):
        x0, y0, x1, y1 = face.getbbox(name)
        text = Image.new("L", (x1 - x0, y1 - y0), 0)
        ImageDraw.Draw(text).text((-x0, -y0), name, fill=255, font=face)
        upright = text.transpose(Image.Transpose.ROTATE_90)
        canvas.stamp(column_center(lay, k) - upright.width // 2, top, upright)


def draw_legend(canvas):
    """Under the triangle: the colour bar of r² on the left, under the track
    labels, and a swatch per track's colour."""
    lay = canvas.lay
    top = lay.height - lay.px(LEGEND)
    x0, x1 = lay.px(20), lay.px(LEFT - 20)
    y0, y1 = top + lay.px(10), top + lay.px(24)
    edge = max(1, lay.px(0.8))
    canvas.rule(x0 - edge, y0 - edge, x1 + edge, y1 + edge)
    canvas.paint(x0, y0, x1, y1, shade(np.linspace(0, 1, x1 - x0))[None, :])
    for k in range(6):
        x = x0 + round(k / 5 * (x1 - x0 - 1))
        canvas.rule(x - edge // 2, y1 + edge, x - edge // 2 + edge, y1 + lay.px(5))
        canvas.text(x, y1 + lay.px(7), "%.1f" % (k / 5), "tick", anchor="mt")
    canvas.text(x0, y1 + lay.px(26), "r² of the pair (white 0, dark red 1)", "legend", anchor="lt")
    entries = [(label, MARK[c], MARK[c]) for label, c in TRACKS if c]
    entries.append(("Greedy clusters, alternately", MARK[BANDS[0]], MARK[BANDS[1]]))
    for k, (label, inside, border) in enumerate(entries):
        x, y = lay.triangle[0] + (k // 2) * lay.px(275), top + lay.px(16 + 24 * (k % 2))
        sx, sy = x + lay.px(22), y - lay.px(6)
        canvas.paint(x, sy, sx, y + lay.px(6), border)
        canvas.paint(x + edge, sy + edge, sx - edge, y + lay.px(6) - edge, inside)
        canvas.text(x + lay.px(30), y, label, "legend", anchor="lm")


def render(region, view="auto"):
    """The region's layout and picture, a palette image."""
    n = len(region.snps)
    lay = layout(n, view)
    if lay.view == "band":
        lay = layout(n, view, band_depth(region.r2))
    canvas = Canvas(lay)
    low, high = (min(region.positions), max(region.positions)) if n else (0, 0)
    span = "{:,} bp".format(low) if low == high else "{:,}–{:,} bp".format(low, high)
    shown = "every pair" if lay.view == "full" else "pairs at most %d SNPs apart" % lay.depth
    title = "%s: %d SNP%s, %s; %s" % (region.name, n, formats.plural(n), span, shown)
    canvas.text(lay.px(10), lay.px(TITLE) // 2, title, "title", anchor="lm", bold=True)
    if n:
        draw_ruler(canvas, region.positions)
    draw_tracks(canvas, region)
    if n <= NAMED:
        draw_names(canvas, region.snps)
    draw_legend(canvas)
    left, top, width, height = lay.triangle
    canvas.paint(left, top, left + width, top + height, triangle_pixels(region.r2, lay.f, height, lay.stretch))
    return lay, canvas.image()


def save(image, output):
    with formats.written(output) as partial:
        image.save(partial, format="png", compress_level=2)


def draw(region, output, view="auto"):
    """Writes the region's plot to `output`; returns its layout."""
    lay, image = render(region, view)
    save(image, output)
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
        "--populations",
        help="the run's populations table (results/populations.tsv): with populations, their folders are in the "
        "region's, tags chosen together",
    )
    parser.add_argument("folder", help="the region's folder")
    parser.add_argument("output", nargs="?", help="the PNG file to write (default: FOLDER/ld_plot.png)")
    args = parser.parse_args()
    output = args.output or os.path.join(args.folder, "ld_plot.png")
    try:
        names = populations.names(args.populations) if args.populations else []
        if names:
            region = population_region(args.folder, names)
        else:
            region = read_region(args.folder)
        draw(region, output, args.view)
    except (OSError, ValueError, IndexError, formats.FormatError) as e:
        parser.exit(1, "ld_plot.py: %s\n" % e)
    print(output)


if __name__ == "__main__":
    main()
