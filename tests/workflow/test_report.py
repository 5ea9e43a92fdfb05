"""The report of a run, as a reader sees it in headless Chromium: who the LD
was estimated in, and the notes that explain the coverage table."""
import os
import shutil

from chromium import Chromium
from conftest import make_workdir, snakemake, table


def visible_text(report):
    with Chromium() as browser:
        page = browser.open("file://" + report)
        assert page.failed == []
        return " ".join(page.evaluate("document.body.innerText").split())


def test_the_report_says_whom_the_ld_comes_from_and_explains_the_coverage(clean_run):
    text = visible_text(os.path.join(clean_run, "results", "report.html"))
    assert "LD (PLINK's r² of each pair) was estimated in 1,000 people of the genotypes" in text
    coverage = table(os.path.join(clean_run, "results", "coverage.tsv"))
    lowest = min(float(r["min_r2"]) for r in coverage if r["region"] == "genome" and r["min_r2"] != "NA")
    assert (
        "The lowest r² to a tag (%.2f) is below the default threshold 0.8 because each SNP is tagged at its own "
        "threshold: 17 SNPs of thresholds_file, the lowest 0.5, are below 0.8." % lowest
    ) in text
    dropped = sum(int(r["undesirable_dropped"]) for r in table(os.path.join(clean_run, "results", "summary.tsv")))
    assert dropped > 0
    assert "Not captured: %d undesirable SNPs (undesirable_file) that no desirable SNP tags." % dropped in text
    # The notes stand beside the table they explain: after it, before the overview.
    assert text.index("Lowest r² to the tag") < text.index("Not captured:") < text.rindex("Overview Quality control")


IMAGES = (
    "Promise.all(Array.from(document.images).map(i => (i.scrollIntoView(), i.decode()).then("
    "() => [i.getAttribute('src').slice(0, 60), i.naturalWidth, i.loading], "
    "() => [i.getAttribute('src'), 0, i.loading])))"
)
LINKS = "Array.from(document.links).map(a => a.getAttribute('href'))"


def test_the_report_is_a_page_for_the_run_and_one_per_chromosome(clean_run, tmp_path):
    """The run's page holds the genome-wide tables and the overview and links
    each chromosome's page; a chromosome's page holds its regions and their
    plots, loaded when scrolled to, and leads back."""
    results = os.path.join(clean_run, "results")
    regions = table(os.path.join(results, "regions.tsv"))
    chromosomes = list(dict.fromkeys(r["chromosome"] for r in regions))
    with Chromium() as browser:
        page = browser.open("file://" + os.path.join(results, "report.html"))
        assert page.failed == []
        images = page.evaluate(IMAGES)
        # The coverage curve and the overview, embedded in the page.
        assert len(images) == 2 and all(src.startswith("data:image/png") and width > 0 for src, width, _ in images)
        links = page.evaluate(LINKS)
        assert [link for link in links if link.startswith("report/")] == ["report/chr%s.html" % c for c in chromosomes]
        text = page.evaluate("document.body.innerText")
        assert text.index("Summary") < text.index("Coverage") < text.index("Regions")
        for chromosome in chromosomes:
            here = [r["region"] for r in regions if r["chromosome"] == chromosome]
            page = browser.open("file://%s/report/chr%s.html" % (results, chromosome))
            assert page.failed == []
            images = page.evaluate(IMAGES)
            assert [src for src, _, _ in images] == ["../regions/%s/ld_plot.png" % r for r in here]
            assert all(width > 0 and loading == "lazy" for _, width, loading in images), images
            assert "../report.html" in page.evaluate(LINKS)
            assert page.evaluate("Array.from(document.querySelectorAll('h3')).map(h => h.id)") == here
    # A plot that is missing is seen as missing.
    copy = tmp_path / "copy"
    shutil.copytree(results, copy, ignore=shutil.ignore_patterns("*.txt", "*.tsv"))
    first = regions[0]
    os.remove(copy / "regions" / first["region"] / "ld_plot.png")
    with Chromium() as browser:
        page = browser.open("file://%s/report/chr%s.html" % (copy, first["chromosome"]))
        assert sum(width == 0 for _, width, _ in page.evaluate(IMAGES)) == 1
        assert [error for _, error in page.failed] == ["net::ERR_FILE_NOT_FOUND"]


def test_a_run_of_300_regions_has_every_region_in_its_report(tmp_path):
    """Regions of at most 4 SNPs make over 300 of the test genotypes' SNPs:
    the run's page links each chromosome's, and each chromosome's page
    holds every one of its regions, in order. Without plots, to keep the
    run short: the plots' paging is the test above."""
    folder = make_workdir(str(tmp_path), max_snps=4, plots=False)
    snakemake(folder)
    results = os.path.join(folder, "results")
    regions = table(os.path.join(results, "regions.tsv"))
    assert len(regions) >= 300
    chromosomes = list(dict.fromkeys(r["chromosome"] for r in regions))
    with Chromium() as browser:
        page = browser.open("file://" + os.path.join(results, "report.html"))
        assert page.failed == []
        links = [link for link in page.evaluate(LINKS) if link.startswith("report/")]
        assert links == ["report/chr%s.html" % c for c in chromosomes]
        shown = []
        for chromosome in chromosomes:
            page = browser.open("file://%s/report/chr%s.html" % (results, chromosome))
            assert page.failed == []
            shown += page.evaluate("Array.from(document.querySelectorAll('h3')).map(h => h.id)")
    assert shown == [r["region"] for r in regions]
