"""The LD plot, checked by its pixels, on small regions made by hand."""
import logging
import os
import subprocess
import sys
import warnings

import numpy as np
import pytest
from PIL import Image

import conftest
import ld_plot
import overview

DARKEST = (0x7F, 0, 0)  # r² = 1
WHITE = (255, 255, 255)
TRACK_COLOURS = {label: tuple(int(color[k : k + 2], 16) for k in (1, 3, 5)) for label, color in ld_plot.TRACKS if color}


def write_region(
    folder, r2, done=(), undesirable=(), dropped=(), needed=(), greedy=(), minimax=(), minimum=(), matrix=True
):
    """A region folder as ldprune and the joiners leave it, for SNPs s0..s(n-1);
    greedy, minimax and minimum give each cluster as (tag, members)."""
    n = len(r2)
    names = ["s%d" % k for k in range(n)]
    os.makedirs(folder, exist_ok=True)

    def put(name, text):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)

    put("SNP_names.data", "SNP BP CHR1\n" + "".join("%s %d\n" % (s, 1000 + 10 * k) for k, s in enumerate(names)))
    put("maf.txt", "".join("%s %d 0.25\n" % (s, 1000 + 10 * k) for k, s in enumerate(names)))
    put("done.txt", "".join("s%d\n" % k for k in done))
    put("undesirable.txt", "".join("s%d\n" % k for k in undesirable))
    put(
        "maf_processed.txt",
        "".join("%s %d 0.250000\n" % (s, 1000 + 10 * k) for k, s in enumerate(names) if k not in dropped),
    )
    put(
        "run_log.txt", "".join("the %dth needed SNP (counting from 0) is: s%d\n" % (i, k) for i, k in enumerate(needed))
    )
    for method, clusters in (("greedy", greedy), ("minimax", minimax), ("minimum", minimum)):
        lines = "".join(
            "s%d\t%d\t1\t0\t0\n" % (tag, c) + "".join("s%d\t%d\t0\t0\t0\n" % (m, c) for m in members)
            for c, (tag, members) in enumerate(clusters)
        )
        put(method + "_output.txt", "NAME\tORVANTE\tTag\tPosition\tMAF\n" + lines)
    if matrix:
        np.asarray(r2, dtype="<f8").tofile(os.path.join(folder, "plink.ld.bin"))
    else:
        put("ld.txt", "".join("%s %s %f\n" % (names[i], names[j], r2[i][j]) for i in range(n) for j in range(i + 1, n)))
    return folder


def six_snps():
    r2 = np.full((6, 6), 0.5)
    np.fill_diagonal(r2, 1.0)
    r2[0, 1] = r2[1, 0] = 1.0
    r2[2, 3] = r2[3, 2] = 0.0
    return r2


MARKED = dict(
    done=[4],
    undesirable=[1, 5],
    dropped=[5],
    needed=[4, 2],
    greedy=[(0, [1, 2]), (3, [4])],
    minimax=[(2, [0, 1]), (3, [4])],
    minimum=[(1, [0, 2]), (4, [3])],
)


def render(folder):
    lay = ld_plot.draw(ld_plot.read_region(folder), os.path.join(folder, "plot.png"))
    return lay, np.asarray(Image.open(os.path.join(folder, "plot.png")).convert("RGB"))


def pixel(image, x, y):
    return tuple(int(v) for v in image[y, x])


def test_pairs_are_coloured_by_r2(tmp_path):
    lay, image = render(write_region(str(tmp_path), six_snps(), **MARKED))
    assert pixel(image, *ld_plot.pair_pixel(lay, 0, 1)) == DARKEST
    assert pixel(image, *ld_plot.pair_pixel(lay, 2, 3)) == WHITE
    assert pixel(image, *ld_plot.pair_pixel(lay, 1, 4)) not in (WHITE, DARKEST)
    left, top, width, height = lay.triangle
    triangle = image[top : top + height, left : left + width].reshape(-1, 3)
    assert min(triangle.sum(axis=1)) == sum(DARKEST)  # nothing in it is darker than r² = 1


def test_a_pair_without_r2_is_white(tmp_path):
    """PLINK gives NaN for the pairs of a SNP that does not vary: they are
    white, the other pairs keep their colours, and nothing is warned."""
    r2 = six_snps()
    r2[3, :] = r2[:, 3] = np.nan
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        lay, image = render(write_region(str(tmp_path), r2, **MARKED))
    assert pixel(image, *ld_plot.pair_pixel(lay, 0, 1)) == DARKEST
    for pair in ((0, 3), (2, 3), (3, 4), (3, 5)):
        assert pixel(image, *ld_plot.pair_pixel(lay, *pair)) == WHITE, pair
    assert pixel(image, *ld_plot.pair_pixel(lay, 2, 4)) not in (WHITE, DARKEST)


def test_marks_are_in_their_track_at_their_snps_column(tmp_path):
    lay, image = render(write_region(str(tmp_path), six_snps(), **MARKED))
    expected = {
        "Done": {4},
        "Undesirable, tagged (kept)": {1},
        "Undesirable, untagged (dropped)": {5},
        "Needed": {2, 4},
        "Greedy tags": {0, 3},
        "Minimax tags": {2, 3},
        "Minimum tags": {1, 4},
    }
    for label, columns in expected.items():
        top, height = lay.tracks[label]
        for k in range(6):
            got = pixel(image, ld_plot.column_center(lay, k), top + height // 2)
            assert got == (TRACK_COLOURS[label] if k in columns else WHITE), (label, k)
    # Greedy clusters alternate in the order of their first SNP; s5 is in none.
    top, height = lay.tracks["Greedy clusters"]
    bands = [pixel(image, ld_plot.column_center(lay, k), top + height // 2) for k in range(6)]
    first, second = (tuple(int(c[i : i + 2], 16) for i in (1, 3, 5)) for c in ld_plot.BANDS)
    assert bands == [first, first, first, second, second, WHITE]


def test_ld_txt_gives_the_same_picture_as_plinks_matrix(tmp_path):
    _, from_matrix = render(write_region(str(tmp_path / "a"), six_snps(), **MARKED))
    _, from_text = render(write_region(str(tmp_path / "b"), six_snps(), matrix=False, **MARKED))
    below_title = ld_plot.layout(6).ruler[0]
    assert np.array_equal(from_matrix[below_title:], from_text[below_title:])  # the titles name the folders


@pytest.mark.parametrize(
    "n,f,view,rows",
    [
        (6, 100, "full", 600),
        (50, 12, "full", 600),
        (300, 2, "full", 600),
        (301, 2, "band", 201 * 2 * 1),
        (2000, 1, "band", 201 * 1 * 5),
    ],
)
def test_image_size_follows_the_snp_count(tmp_path, n, f, view, rows):
    """The full triangle up to 300 SNPs; above, the band of pairs near enough
    to matter, here the most, 200 SNPs, since random r² values reach 0.5 at
    every distance; its rows repeated so that it is about a quarter as high
    as wide. Around it, the labels, ruler, tracks and legend, laid out for
    the report's width and drawn `scale` times larger, so that the whole
    image is SHOWN pixels wide at that scale."""
    rng = np.random.default_rng(n)
    r2 = rng.random((n, n))
    r2 = (r2 + r2.T) / 2
    lay, image = render(write_region(str(tmp_path), r2))
    assert (lay.f, lay.view) == (f, view)
    assert image.shape[:2] == (lay.height, lay.width)
    assert lay.scale == 2 * n * f / (ld_plot.SHOWN - ld_plot.LEFT - ld_plot.RIGHT)
    assert lay.triangle == (lay.px(ld_plot.LEFT), lay.triangle[1], 2 * n * f, rows)
    assert lay.width == lay.px(ld_plot.LEFT) + 2 * n * f + lay.px(ld_plot.RIGHT)
    assert abs(lay.width - ld_plot.SHOWN * lay.scale) <= 1
    names = lay.px(ld_plot.NAMES) if n <= ld_plot.NAMED else 0
    above = lay.px(ld_plot.TITLE) + lay.px(ld_plot.RULER) + len(ld_plot.TRACKS) * lay.px(ld_plot.TRACK)
    assert lay.triangle[1] == above + names + lay.px(ld_plot.GAP)
    assert lay.height == lay.triangle[1] + rows + lay.px(ld_plot.LEGEND)


def ink_height(image, box):
    """Rows of the box (left, top, right, bottom) that hold dark pixels: the
    height of the text in it."""
    left, top, right, bottom = box
    dark = (image[top:bottom, left:right].astype(int).sum(axis=2) < 3 * 128).any(axis=1)
    rows = np.nonzero(dark)[0]
    return rows[-1] - rows[0] + 1 if len(rows) else 0


@pytest.mark.parametrize("n", [6, 100, 299, 2000])
def test_labels_are_legible_at_the_width_shown(tmp_path, n):
    """Shown SHOWN pixels wide, as the report shows a plot, the track labels
    and the legend are about as large as the report's own text: a label with
    capitals and descenders ("Undesirable, tagged (kept)", "Greedy tags") is
    at least 12 pixels high, the colour bar's caption too."""
    rng = np.random.default_rng(n)
    r2 = rng.random((n, n)) / 2
    lay, image = render(write_region(str(tmp_path), (r2 + r2.T) / 2))
    shown = lambda pixels: pixels / lay.scale  # noqa: E731
    for label in ("Undesirable, tagged (kept)", "Greedy tags"):
        top, height = lay.tracks[label]
        assert shown(ink_height(image, (0, top, lay.triangle[0], top + height))) >= 12, label
    legend = lay.height - lay.px(ld_plot.LEGEND)
    caption = (0, legend + lay.px(47), lay.triangle[0], lay.height)
    assert shown(ink_height(image, caption)) >= 12


def test_the_band_reaches_twice_as_far_as_strong_pairs(tmp_path):
    """Pairs with r² of 0.5 and more reach 45 SNPs: the band shows pairs up
    to 90 SNPs apart, each row 4 pixels high (700 / (2 x 90) rounded); a pair
    90 SNPs apart is drawn, one 120 apart is not."""
    n = 700
    r2 = np.zeros((n, n))
    for d in range(1, 46):
        r2[np.arange(n - d), np.arange(d, n)] = 0.9
    r2[200, 290] = r2[290, 200] = 1.0
    r2[300, 420] = r2[420, 300] = 1.0
    r2 = np.maximum(r2, r2.T)
    assert ld_plot.band_depth(r2) == 90
    lay, image = render(write_region(str(tmp_path), r2))
    assert (lay.view, lay.depth, lay.stretch) == ("band", 90, 4)
    assert pixel(image, *ld_plot.pair_pixel(lay, 200, 290)) == DARKEST
    left, top, width, height = lay.triangle
    assert height == 91 * 4  # down to the middle of the pairs 90 SNPs apart
    triangle = image[top : top + height, left : left + width]
    below = image[top + height : top + height + 4 * 30, left : left + width]
    assert (triangle == DARKEST).all(axis=2).any() and not (below == DARKEST).all(axis=2).any()


@pytest.mark.parametrize("n", [2, 7, 599, 600, 2000])
def test_every_pair_gets_pixels_of_its_own(n):
    """Each pixel of the triangle shows one pair; every pair gets 2f² pixels."""
    f = ld_plot.layout(n).f
    r2 = np.zeros((n, n))
    codes = np.arange(n * n, dtype=np.float64).reshape(n, n)
    # Read the pair behind each pixel through the same mapping as the colours.
    py, px = np.mgrid[0 : n * f, 0 : 2 * n * f]
    i, j = (px - py) // (2 * f), (px + py + 1) // (2 * f)
    inside = (i >= 0) & (j < n) & (i < j)
    counts = np.bincount(codes[i[inside], j[inside]].astype(np.int64), minlength=n * n).reshape(n, n)
    upper = np.triu_indices(n, 1)
    assert (counts[upper] == 2 * f * f).all()
    assert counts.sum() == counts[upper].sum()
    # And the colours follow that mapping: white outside, the pair's r² inside.
    r2 = np.random.default_rng(n).random((n, n))
    rgb = ld_plot.PALETTE[ld_plot.triangle_pixels(r2, f)]
    assert (rgb[~inside] == 255).all()
    assert (rgb[inside] == ld_plot.PALETTE[ld_plot.shade(r2[i[inside], j[inside]])]).all()
    assert ld_plot.PALETTE[ld_plot.shade(1.0)].tolist() == list(DARKEST)
    assert ld_plot.PALETTE[ld_plot.shade(0.0)].tolist() == list(WHITE)


def test_a_plot_is_made_by_hand_for_a_region_folder(tmp_path):
    folder = write_region(str(tmp_path / "region"), six_snps(), **MARKED)
    p = subprocess.run(
        [sys.executable, os.path.join(conftest.ROOT, "workflow", "scripts", "ld_plot.py"), folder],
        capture_output=True,
        text=True,
    )
    assert p.returncode == 0, p.stderr
    assert Image.open(os.path.join(folder, "ld_plot.png")).size == (ld_plot.layout(6).width, ld_plot.layout(6).height)


def test_the_overviews_counts_have_whole_number_ticks(tmp_path):
    """With counts of at most 3 (SNPs, tags, needed and dropped SNPs, pairs
    across a cut), the axes that count are ticked at whole numbers only,
    never at 0.5; the SNPs per tag may be fractions."""
    (tmp_path / "summary.tsv").write_text(
        "region\tsnps\tneeded\tundesirable_dropped\tgreedy_tags\tminimax_tags\tminimum_tags\n"
        "chr1_001\t3\t1\t0\t1\t2\t1\n"
        "chr1_002\t2\t0\t1\t1\t1\t1\n"
        "chr2_001\t1\t0\t0\t1\t1\t1\n"
    )
    (tmp_path / "regions.tsv").write_text(
        "region\tchromosome\tcrossing_pairs\nchr1_001\t1\t1\nchr1_002\t1\t0\nchr2_001\t2\t0\n"
    )
    fig = overview.figure(str(tmp_path / "summary.tsv"), str(tmp_path / "regions.tsv"))
    fig.canvas.draw()
    counts = {"SNPs and tags": fig.axes[0], "SNPs": fig.axes[1], "pairs across the cut": fig.axes[3]}
    for name, ax in counts.items():
        low, high = ax.get_ylim()
        ticks = [t for t in ax.get_yticks() if low <= t <= high]
        assert len(ticks) >= 2 and all(t == round(t) for t in ticks), (name, ticks)
    overview.plt.close(fig)


@pytest.mark.parametrize(
    "regions, title",
    [
        ([("chr1_001", "1")], "1 region on 1 chromosome, 3 SNPs"),
        ([("chr1_001", "1"), ("chr1_002", "1")], "2 regions on 1 chromosome, 6 SNPs"),
        ([("chr1_001", "1"), ("chr2_001", "2")], "2 regions on 2 chromosomes, 6 SNPs"),
    ],
)
def test_the_overviews_title_counts_regions_and_chromosomes(tmp_path, caplog, regions, title):
    """And the figure is drawn without a warning, also with one region per
    chromosome (no cut, so nothing to label in the last panel)."""
    (tmp_path / "summary.tsv").write_text(
        "region\tsnps\tneeded\tundesirable_dropped\tgreedy_tags\tminimax_tags\tminimum_tags\n"
        + "".join("%s\t3\t0\t0\t1\t1\t1\n" % name for name, _ in regions)
    )
    (tmp_path / "regions.tsv").write_text(
        "region\tchromosome\tcrossing_pairs\n" + "".join("%s\t%s\t0\n" % row for row in regions)
    )
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        fig = overview.figure(str(tmp_path / "summary.tsv"), str(tmp_path / "regions.tsv"))
    assert fig._suptitle.get_text().split("\n")[0] == title
    assert not [r.getMessage() for r in caplog.records if r.levelno >= logging.WARNING]
    overview.plt.close(fig)
