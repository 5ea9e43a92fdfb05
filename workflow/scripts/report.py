"""The report of a run: one HTML page that opens from disk.

results/report.html holds the summary table, the coverage of each method's
tags, the genome-wide overview (embedded in the page), quality control, a
digest of the warnings, each
region's LD plot (the PNG files beside it, in the region folders, with a link
to each folder), the config of the run and the versions of PLINK, Snakemake
and this project. It loads nothing from the network and needs no server;
keep it in results/ with the region folders. With populations, the summary
and the coverage are per population, with the counts of the one set of tags
chosen for all of them.
"""
import base64
import collections
import datetime
import html
import os
import re
import subprocess

import yaml

import formats
import imputation_report

METHODS = (("greedy", "Greedy"), ("minimax", "Minimax"), ("minimum", "Minimum"))
BASE_HEADINGS = {
    "chromosome": "Chromosome",
    "region": "Region",
    "snps": "SNPs",
    "undesirable": "Undesirable",
    "undesirable_dropped": "Undesirable dropped",
    "done": "Done",
    "needed": "Needed",
}
# Per method, the summary's columns the report shows.
METHOD_HEADINGS = {
    "tags": "tags",
    "snps_per_tag": "SNPs per tag",
    "captured_percent": "% captured",
    "mean_r2": "mean r²",
}
MAF_CLASSES = {"all": "all", "<0.05": "below 0.05", "0.05-0.2": "0.05 to 0.2", ">=0.2": "0.2 and above"}
STYLE = """
body { font-family: sans-serif; margin: 2em auto; max-width: 1400px; padding: 0 1em; color: #222; }
h1 { font-size: 1.6em; } h2 { border-bottom: 1px solid #ccc; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: 1em 0; font-size: .9em; }
div.wide { overflow-x: auto; }
th, td { border: 1px solid #ccc; padding: .25em .6em; text-align: right; }
th { background: #f0f0f0; } td.text, th.text { text-align: left; }
tr.total td { font-weight: bold; background: #fafafa; }
img { max-width: 100%; height: auto; border: 1px solid #eee; }
pre { background: #f7f7f7; padding: 1em; overflow-x: auto; }
nav a { margin-right: 1em; } .note { color: #666; }
"""


def esc(text):
    return html.escape(str(text))


def table(header, rows, headings=None, text_columns=(), totals=()):
    headings = headings or {}
    out = ["<table><tr>"]
    out += ['<th class="%s">%s</th>' % ("text" if h in text_columns else "", esc(headings.get(h, h))) for h in header]
    out.append("</tr>")
    for row in rows + list(totals):
        out.append('<tr class="total">' if any(row is t for t in totals) else "<tr>")
        out += ['<td class="%s">%s</td>' % ("text" if h in text_columns else "", esc(row.get(h, ""))) for h in header]
        out.append("</tr>")
    out.append("</table>")
    return "".join(out)


def with_ratios(header, rows, genome):
    """The summary as the report shows it: per method its tags, SNPs per tag,
    the share of SNPs captured and the mean r² of the other SNPs to their tag;
    and a total row, whose coverage is the genome-wide one; with
    populations, a total row per population, and the joint tags, the one set
    chosen for all of them, counted once per region."""
    methods = [(key, label) for key, label in METHODS if key + "_tags" in header]
    populated = "population" in header
    base = list(BASE_HEADINGS)
    if populated:
        base.insert(2, "population")
    columns = dict(METHOD_HEADINGS)
    if populated:
        columns = {
            "tags": "tags here",
            "joint_tags": "tags for all",
            **{k: v for k, v in columns.items() if k != "tags"},
        }
    shown = base + ["%s_%s" % (key, c) for key, _ in methods for c in columns]
    headings = dict(BASE_HEADINGS, population="Population")
    for key, label in methods:
        headings.update({"%s_%s" % (key, c): "%s %s" % (label, h) for c, h in columns.items()})
    groups = sorted({r["population"] for r in rows}, key=[r["population"] for r in rows].index) if populated else [""]
    regions = len({r["region"] for r in rows})
    totals = []
    for group in groups:
        members = [r for r in rows if not populated or r["population"] == group]
        total = {"chromosome": "all", "region": "%d regions" % regions, "population": group}
        for key in ["snps", "undesirable", "undesirable_dropped", "done", "needed"] + [m + "_tags" for m, _ in methods]:
            total[key] = sum(int(r[key]) for r in members)
        for key, _ in methods:
            total[key + "_captured"] = genome[(group, key)]["captured"]
            total[key + "_mean_r2"] = genome[(group, key)]["mean_r2"]
            if populated:
                total[key + "_joint_tags"] = joint_tags(rows, key)
        totals.append(total)
    for row in rows + totals:
        for key, _ in methods:
            tags, snps = int(row[key + "_tags"]), int(row["snps"])
            row[key + "_snps_per_tag"] = "%.2f" % (snps / tags) if tags else "–"
            row[key + "_captured_percent"] = "%.1f" % (100.0 * int(row[key + "_captured"]) / snps) if snps else "–"
    return shown, rows, totals, headings


def joint_tags(rows, method):
    """The tags chosen for all populations, over the regions."""
    per_region = {r["region"]: int(r[method + "_joint_tags"]) for r in rows}
    return sum(per_region.values())


def coverage_table(coverage_tsv):
    """The genome-wide coverage per method and MAF class (and population), and
    per (population, method) its row for all SNPs; the population is "" when
    there are none."""
    header, rows = formats.read_table(coverage_tsv)
    genome = [r for r in rows if r["region"] == "genome"]
    labels = dict(METHODS)
    for r in genome:
        r["method_label"] = labels.get(r["method"], r["method"])
        r["maf_label"] = MAF_CLASSES.get(r["maf_class"], r["maf_class"])
        r.setdefault("population", "")
    shown = ["method_label", "maf_label", "snps", "captured", "captured_percent", "mean_r2", "min_r2"]
    if "population" in header:
        shown.insert(0, "population")
    html_table = table(
        shown,
        genome,
        {
            "population": "Population",
            "method_label": "Method",
            "maf_label": "MAF",
            "snps": "SNPs",
            "captured": "Captured",
            "captured_percent": "% captured",
            "mean_r2": "Mean r² to the tag",
            "min_r2": "Lowest r² to the tag",
        },
        text_columns=("population", "method_label", "maf_label"),
    )
    return html_table, {(r["population"], r["method"]): r for r in genome if r["maf_class"] == "all"}


def warning_kind(line):
    """(source, kind) of a warnings.txt line, the kind with the specifics of
    one SNP, record or number taken out."""
    where, _, rest = line.partition(": ")
    source, _, message = rest.partition(": ")
    if where == "genome":
        source, message = "workflow", rest
    kind = re.sub(r'"[^"]*"', '"…"', message)
    kind = re.sub(r"\b(SNPs?|names?|records?|lines?|clusters?|rows?) [^ ,;:]+", r"\1 …", kind)
    kind = re.sub(r"\d+(\.\d+)?", "#", kind)
    return source, kind.strip()


def warnings_digest(path, shown=40):
    with open(path) as f:
        lines = [line.rstrip("\n") for line in f if line.strip()]
    if not lines:
        return "<p>No program gave a warning.</p>"
    kinds = collections.OrderedDict()
    for line in lines:
        key = warning_kind(line)
        kinds.setdefault(key, []).append(line)
    rows = [{"source": s, "count": len(v), "first": v[0]} for (s, _), v in kinds.items()]
    return (
        '<p>%d warnings of %d kinds; all of them are in <a href="warnings.txt">warnings.txt</a>. A kind is '
        "a message that differs only in the SNP, record or number it names.</p>" % (len(lines), len(kinds))
        + table(
            ["source", "count", "first"],
            rows[:shown],
            {"source": "Program", "count": "Count", "first": "The first of the kind"},
            text_columns=("source", "first"),
        )
    )


def version(command):
    try:
        p = subprocess.run(command, capture_output=True, text=True, timeout=60)
        lines = (p.stdout or p.stderr).strip().splitlines()
        return lines[0] if lines else "unknown"
    except OSError as e:
        return "not found (%s)" % e


def embedded_png(path):
    with open(path, "rb") as f:
        return "data:image/png;base64," + base64.b64encode(f.read()).decode()


def write(out, summary_tsv, coverage_tsv, regions_tsv, qc_tsv, warnings_txt, overview_png, plots, config, versions):
    base = os.path.dirname(os.path.abspath(out))
    header, rows = formats.read_table(summary_tsv)
    coverage_html, genome = coverage_table(coverage_tsv)
    shown, rows, totals, headings = with_ratios(header, rows, genome)
    populated = "population" in header
    methods = [(key, label) for key, label in METHODS if key + "_tags" in header]
    _, regions = formats.read_table(regions_tsv)
    qc_header, qc_rows = formats.read_table(qc_tsv)
    parts = [
        '<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">',
        '<link rel="icon" href="data:,"><title>Tag SNP selection: report</title>',
        "<style>%s</style></head><body>" % STYLE,
        "<h1>Tag SNP selection: report of the run</h1>",
        '<p class="note">Made %s in %s.</p>'
        % (esc(datetime.datetime.now().strftime("%Y-%m-%d %H:%M")), esc(os.path.dirname(base))),
        '<nav><a href="#summary">Summary</a><a href="#coverage">Coverage</a>%s<a href="#overview">'
        'Overview</a><a href="#qc">Quality '
        'control</a><a href="#warnings">Warnings</a><a href="#regions">Regions</a><a href="#run">Run'
        "</a></nav>" % imputation_report.nav_link(config),
        '<h2 id="summary">Summary</h2>',
        (
            "<p>Each SNP is tagged in each population where it varies, by one set of tags chosen for all the "
            'populations: "tags here" are those of the set among a population\'s SNPs in the region, "tags for '
            'all" the whole set.</p>'
            if populated
            else ""
        ),
        '<div class="wide">%s</div>'
        % table(shown, rows, headings, text_columns=("chromosome", "region", "population"), totals=totals),
        '<p>Tables: %s; tag SNPs: %s; every count in <a href="summary.tsv">summary.tsv</a>.</p>'
        % (
            ", ".join('<a href="%s_tags.tsv">%s_tags.tsv</a>' % (k, k) for k, _ in methods),
            ", ".join('<a href="%s_tag_snps.txt">%s_tag_snps.txt</a>' % (k, k) for k, _ in methods),
        ),
        '<h2 id="coverage">Coverage</h2>',
        "<p>A SNP is captured when the tag of its cluster reaches the SNP's own threshold in PLINK's r² of the "
        "pair (a tag captures itself; the undesirable SNPs that no desirable SNP tags are in no cluster). The "
        'r² columns are over the SNPs that are not tags. Per region in <a href="coverage.tsv">coverage.tsv'
        "</a>.</p>",
        coverage_html,
        *imputation_report.section(base, config),
        '<h2 id="overview">Overview</h2>',
        '<img id="overview-image" src="%s" alt="Regions along the genome">' % embedded_png(overview_png),
        '<h2 id="qc">Quality control</h2>',
        table(
            qc_header,
            qc_rows,
            {
                "chromosome": "Chromosome",
                "snps": "SNPs",
                "excluded_names": "Left out for their names",
                "failed_filters": "Failed PLINK's filters",
                "passed": "Passed",
                **{h: "Vary in " + h[len("varies_") :] for h in qc_header if h.startswith("varies_")},
            },
            text_columns=("chromosome",),
        ),
        (
            "<p>The filters are checked in each population: a SNP failing in any is left out, and one is kept "
            "when it varies (its MAF reaches min_maf) in at least one. Every SNP left out, with the reason and the "
            'populations: <a href="qc/dropped.tsv">qc/dropped.tsv</a>.</p>'
            if populated
            else ""
        ),
        '<h2 id="warnings">Warnings</h2>',
        warnings_digest(warnings_txt),
        '<h2 id="regions">Regions</h2>',
    ]
    if not plots:
        parts.append("<p>The LD plots were turned off for this run (config key plots).</p>")
    by_name = {r["region"]: r for r in rows}
    tag_key = "_joint_tags" if populated else "_tags"
    for region in regions:
        name = region["region"]
        s = by_name.get(name, {})
        folder = "regions/%s/" % name
        parts.append('<h3 id="%s">%s</h3>' % (esc(name), esc(name)))
        parts.append(
            "<p>Chromosome %s, %s–%s bp: %s SNPs, %s tags; %s tagging pairs cross its end. "
            '<a href="%s">Its folder</a>.</p>'
            % (
                esc(region["chromosome"]),
                esc(format(int(region["first_position"]), ",")),
                esc(format(int(region["last_position"]), ",")),
                esc(region["snps"]),
                " and ".join("%s %s" % (esc(s.get(k + tag_key, "?")), label) for k, label in methods),
                esc(region["crossing_pairs"]),
                esc(folder),
            )
        )
        if plots:
            parts.append(
                '<a href="%sld_plot.png"><img class="ld-plot" src="%sld_plot.png" alt="LD plot of '
                '%s"></a>' % (esc(folder), esc(folder), esc(name))
            )
    parts += [
        '<h2 id="run">Run</h2>',
        "<h3>Versions</h3>",
        table(
            ["program", "version"],
            [{"program": k, "version": v} for k, v in versions.items()],
            {"program": "Program", "version": "Version"},
            text_columns=("program", "version"),
        ),
        "<h3>Config</h3>",
        "<pre>%s</pre>" % esc(yaml.safe_dump(config, sort_keys=False)),
        "</body></html>",
    ]
    with formats.written(out) as partial, open(partial, "w") as f:
        f.write("\n".join(parts))


if "snakemake" in globals():
    formats.log_to(snakemake.log[0])
    import snakemake as engine

    config = dict(snakemake.config)
    write(
        snakemake.output[0],
        snakemake.input.summary,
        snakemake.input.coverage,
        snakemake.input.regions,
        snakemake.input.qc,
        snakemake.input.warnings,
        snakemake.input.overview,
        config["plots"],
        config,
        {
            "PLINK": version([config["plink"], "--version"]),
            "Snakemake": engine.__version__,
            "ldtag": version(["ldprune", "--version"]),
        },
    )
