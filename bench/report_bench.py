#!/usr/bin/python3
"""The report of a genome-wide run of many regions, opened in headless Chromium.

    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF && cmake --build build-release -j2
    /usr/bin/python3 bench/report_bench.py [--regions 5000] [--chromosomes 22] [--runs 3]

Runs the workflow on the bundled part of chromosome 10 (4 regions, with LD
plots), then makes the results of a run of --regions regions spread evenly
over --chromosomes chromosomes: the genome-wide tables with the 4 regions'
rows repeated under new names, and each region's LD plot a link to one of
the 4 real plots. The workflow's own report script writes the report from
them; the benchmark prints the time that took, each page's size, and the
time from asking Chromium for a page to its load event (the plots are
loaded when scrolled to), for the run's page and the largest chromosome's
page, the median of --runs loads each in a fresh tab. Needs chromium.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
BUILD = os.path.join(ROOT, "build-release")
PART = os.path.join(ROOT, "examples", "genotypes", "chr10_part")
SCRIPTS = os.path.join(ROOT, "workflow", "scripts")
sys.path.insert(0, SCRIPTS)
sys.path.insert(0, os.path.join(ROOT, "tests", "workflow"))

from chromium import Chromium  # noqa: E402
from ldtag import config as settings  # noqa: E402
from ldtag import files, paths  # noqa: E402


def real_run(folder, path):
    with open(os.path.join(folder, "config.yaml"), "w") as f:
        f.write("bfile: %s\n" % PART)
    subprocess.run(
        ["snakemake", "-s", os.path.join(ROOT, "workflow", "Snakefile"), "--configfile", "config.yaml", "--cores", "2"],
        cwd=folder,
        check=True,
        capture_output=True,
        env=dict(os.environ, PATH=path),
    )


def names(count, chromosomes):
    """(chromosome, region) of each of `count` regions, spread evenly."""
    out = []
    for k in range(count):
        chromosome = str(1 + k * chromosomes // count)
        out.append((chromosome, "chr%s_%05d" % (chromosome, k + 1)))
    return out


def repeated(path, regions, key_columns):
    """The table's region rows repeated under the new names; rows whose
    region column is not a region (genome totals) are kept first."""
    header, rows = files.read_table(path)
    own = [r for r in rows if r["region"].startswith("chr")]
    kept = [r for r in rows if not r["region"].startswith("chr")]
    by_region = {}
    for r in own:
        by_region.setdefault(r["region"], []).append(r)
    templates = list(by_region.values())
    out = [[r[c] for c in header] for r in kept]
    for k, (chromosome, region) in enumerate(regions):
        for r in templates[k % len(templates)]:
            r = dict(r, region=region)
            if "chromosome" in key_columns:
                r["chromosome"] = chromosome
            out.append([r[c] for c in header])
    files.write_table(path, header, out)


def big_results(source, folder, regions):
    """A results folder of `regions` made from the real run's."""
    results = os.path.join(folder, os.path.dirname(paths.REPORT))
    shutil.copytree(
        os.path.join(source, "results"), results, ignore=shutil.ignore_patterns("regions", "report", "report.html")
    )
    plots = sorted(
        os.path.join(source, "results", "regions", r, "ld_plot.png")
        for r in os.listdir(os.path.join(source, "results", "regions"))
    )
    repeated(os.path.join(results, "regions.tsv"), regions, ("chromosome",))
    repeated(os.path.join(results, "summary.tsv"), regions, ("chromosome",))
    repeated(os.path.join(results, "coverage.tsv"), regions, ())
    for k, (_, region) in enumerate(regions):
        os.makedirs(os.path.join(results, "regions", region))
        os.symlink(plots[k % len(plots)], os.path.join(results, "regions", region, "ld_plot.png"))
    return results


def write_report(folder, results, chromosomes):
    config = {"bfile": PART}
    settings.check_config(config, os.path.join(ROOT, "workflow", "schemas", "config.schema.yaml"))
    inputs = {
        "summary": paths.SUMMARY,
        "coverage": paths.COVERAGE,
        "regions": paths.REGIONS,
        "qc": paths.QC_REPORT,
        "warnings": paths.WARNINGS,
        "overview": paths.OVERVIEW,
        "populations": paths.POPULATIONS_TABLE,
        "curve": paths.COVERAGE_CURVE,
        "curve_plot": paths.COVERAGE_CURVE_PLOT,
    }
    command = [sys.executable, os.path.join(SCRIPTS, "report.py"), "--config", json.dumps(config), "--engine", "-"]
    command += ["--report", paths.REPORT, "--log", "report.log", "--inputs"]
    command += ["%s=%s" % item for item in inputs.items()]
    command += ["--pages"] + ["%s=%s" % (c, paths.REPORT_PAGE.format(chrom=c)) for c in chromosomes]
    start = time.monotonic()
    subprocess.run(command, cwd=folder, check=True, env=dict(os.environ, PATH=BUILD + os.pathsep + os.environ["PATH"]))
    return time.monotonic() - start


def load_times(pages, runs):
    """Page -> (median seconds to its load event, requests that failed)."""
    out = {}
    with Chromium() as browser:
        for path in pages:
            times, failed = [], []
            for _ in range(runs):
                start = time.monotonic()
                page = browser.open("file://" + path)
                times.append(time.monotonic() - start)
                failed = page.failed
            out[path] = (statistics.median(times), failed)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--regions", type=int, default=5000)
    parser.add_argument("--chromosomes", type=int, default=22)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    if not os.path.exists(os.path.join(BUILD, "ldprune")):
        sys.exit(
            "build the programs first: cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release && cmake --build build-release -j2"
        )
    path = BUILD + os.pathsep + os.environ["PATH"]
    with tempfile.TemporaryDirectory() as source, tempfile.TemporaryDirectory() as folder:
        real_run(source, path)
        regions = names(args.regions, args.chromosomes)
        chromosomes = list(dict.fromkeys(c for c, _ in regions))
        results = big_results(source, folder, regions)
        seconds = write_report(folder, results, chromosomes)
        counts = {c: sum(1 for x, _ in regions if x == c) for c in chromosomes}
        largest = max(chromosomes, key=lambda c: counts[c])
        run_page = os.path.join(folder, paths.REPORT)
        chromosome_page = os.path.join(folder, paths.REPORT_PAGE.format(chrom=largest))
        times = load_times([run_page, chromosome_page], args.runs)
        print(
            "The report of %d regions on %d chromosome(s), written in %.2f s by the report script"
            % (args.regions, len(chromosomes), seconds)
        )
        for label, page in (
            ("the run's page", run_page),
            ("chromosome %s's page, %d regions" % (largest, counts[largest]), chromosome_page),
        ):
            seconds, failed = times[page]
            print(
                "  %-40s %7.1f kB, opened in %.2f s (median of %d)%s"
                % (label, os.path.getsize(page) / 1000, seconds, args.runs, "; failed: %s" % failed if failed else "")
            )


if __name__ == "__main__":
    main()
