"""The report of a run: HTML pages that open from disk.

results/report.html holds the genome-wide summary first (whom the LD was
estimated in, each method's tags and what they capture), the coverage of
each method's tags, the genome-wide overview (embedded in the page),
quality control, a digest of the warnings, a table of the chromosomes, the
config of the run and the versions of PLINK, Snakemake and this project.
Each chromosome has a page of its own (results/report/chr<label>.html): its
regions' summary and each region's LD plot (the PNG files in the region
folders, loaded when scrolled to), so that a genome of thousands of regions
opens at once. The pages load nothing from the network and need no server;
keep them in results/ with the region folders. With populations, the
summary and the coverage are per population, with the counts of the one set
of tags chosen for all of them.
"""
import base64
import collections
import datetime
import html
import os
import re
import subprocess

import yaml

from . import files, imputation_report, lists, populations

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

# The coverage tables' headings, for the pairwise and the budget's tables.
COVERAGE_LABELS = {
    "population": "Population",
    "method_label": "Method",
    "maf_label": "MAF",
    "snps": "SNPs",
    "captured": "Captured",
    "captured_percent": "% captured",
    "mean_r2": "Mean r² to the tag",
    "min_r2": "Lowest r² to the tag",
}


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


def with_ratios(header, rows, genome, scope="genome"):
    """The summary as the report shows it: per method its tags, SNPs per tag,
    the share of SNPs captured and the mean r² of the other SNPs to their tag;
    and a total row, whose coverage is the genome-wide one (for the scope
    "chromosome", the rows' own captured SNPs, without a mean r²); with
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
        total = {
            "chromosome": "all" if scope == "genome" else rows[0]["chromosome"] if rows else "",
            "region": "%d region%s" % (regions, files.plural(regions)),
            "population": group,
        }
        for key in ["snps", "undesirable", "undesirable_dropped", "done", "needed"] + [m + "_tags" for m, _ in methods]:
            total[key] = sum(int(r[key]) for r in members)
        for key, _ in methods:
            if scope == "genome":
                total[key + "_captured"] = genome[(group, key)]["captured"]
                total[key + "_mean_r2"] = genome[(group, key)]["mean_r2"]
            else:
                total[key + "_captured"] = sum(int(r[key + "_captured"]) for r in members)
                total[key + "_mean_r2"] = "–"
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
    header, rows = files.read_table(coverage_tsv)
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
        COVERAGE_LABELS,
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
        '<p>%d warning%s of %d kind%s; all of them are in <a href="warnings.txt">warnings.txt</a>. A kind is '
        "a message that differs only in the SNP, record or number it names.</p>"
        % (len(lines), files.plural(len(lines)), len(kinds), files.plural(len(kinds)))
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


def people_text(populations_tsv, held_out=None):
    """Who the LD was estimated in: the number of people, and with
    populations each one's size (without the people held out for
    imputation: `held_out`, their table)."""
    rows = populations.estimated_in(populations_tsv, held_out)
    total = sum(int(r["people"]) for r in rows)
    held = sum(int(r["people"]) for r in populations.table(populations_tsv)) - total
    aside = (
        " The %s other people of the genotypes were held out: they only measure imputation." % format(held, ",")
        if held
        else ""
    )
    if not any(r["keep"] for r in rows):
        return (
            "<p>LD (PLINK's r² of each pair) was estimated in %s people of the genotypes, taken as one "
            "population: the tags are chosen for the LD of these people.%s</p>" % (format(total, ","), aside)
        )
    sizes = ", ".join("%s %s" % (esc(r["population"]), format(int(r["people"]), ",")) for r in rows)
    return (
        "<p>LD (PLINK's r² of each pair) was estimated in each population's own people, %s in all: %s. Each SNP "
        "is tagged in each population where it varies.%s</p>" % (format(total, ","), sizes, aside)
    )


def coverage_notes(coverage_tsv, summary_tsv, config):
    """Why the lowest r² may be below the default threshold, and which SNPs
    are not captured."""
    _, rows = files.read_table(coverage_tsv)
    genome = [r for r in rows if r["region"] == "genome" and r["maf_class"] == "all"]
    notes = []
    lowest = [float(r["min_r2"]) for r in genome if r["min_r2"] != "NA"]
    threshold = config["threshold"]
    if lowest and min(lowest) < threshold:
        own = lists.thresholds(config["thresholds_file"]) if config.get("thresholds_file") else {}
        below = [float(v) for v in own.values() if float(v) < threshold]
        notes.append(
            "The lowest r² to a tag (%.2f) is below the default threshold %g because each SNP is tagged at its own "
            "threshold: %s of thresholds_file, the lowest %s, are below %g."
            % (
                min(lowest),
                threshold,
                "%d SNPs" % len(below) if below else "SNPs",
                ("%g" % min(below)) if below else "below it",
                threshold,
            )
        )
    _, summary = files.read_table(summary_tsv)
    dropped = sum(int(r["undesirable_dropped"]) for r in summary)
    if dropped:
        notes.append(
            "Not captured: %s undesirable SNPs (undesirable_file) that no desirable SNP tags. ldprune leaves them out "
            'of every cluster (the summary\'s "Undesirable dropped"; their cluster is NA in the tables). With '
            "ldcluster every other SNP is captured." % format(dropped, ",")
        )
    return "".join('<p class="note">%s</p>' % esc(note) for note in notes)


def page(title, body, style=STYLE):
    return "\n".join(
        [
            '<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">',
            '<link rel="icon" href="data:,"><title>%s</title>' % esc(title),
            "<style>%s</style></head><body>" % style,
        ]
        + body
        + ["</body></html>"]
    )


def region_entry(region, summary, methods, tag_key, plots, base):
    """A region's heading, its numbers and its LD plot, which the browser
    loads only when it is scrolled to; `base` leads to results/."""
    name = region["region"]
    folder = "%sregions/%s/" % (base, name)
    parts = [
        '<h3 id="%s">%s</h3>' % (esc(name), esc(name)),
        "<p>Chromosome %s, %s–%s bp: %s SNPs, %s tags; %s tagging pairs cross its end. "
        '<a href="%s">Its folder</a>.</p>'
        % (
            esc(region["chromosome"]),
            esc(format(int(region["first_position"]), ",")),
            esc(format(int(region["last_position"]), ",")),
            esc(region["snps"]),
            " and ".join("%s %s" % (esc(summary.get(k + tag_key, "?")), label) for k, label in methods),
            esc(region["crossing_pairs"]),
            esc(folder),
        ),
    ]
    if plots:
        parts.append(
            '<a href="%sld_plot.png"><img class="ld-plot" loading="lazy" src="%sld_plot.png" alt="LD plot of %s">'
            "</a>" % (esc(folder), esc(folder), esc(name))
        )
    return parts


def chromosome_page(chromosome, regions, header, rows, genome, plots, methods):
    """A chromosome's page: its regions' summary, with the chromosome's
    totals, and each region with its LD plot."""
    shown, rows, totals, headings = with_ratios(header, rows, genome, scope="chromosome")
    populated = "population" in header
    tag_key = "_joint_tags" if populated else "_tags"
    by_name = {r["region"]: r for r in rows}
    body = [
        "<h1>Chromosome %s: %d region%s</h1>" % (esc(chromosome), len(regions), files.plural(len(regions))),
        '<nav><a href="../report.html">The report of the run</a><a href="#summary">Summary</a>'
        '<a href="#regions">Regions</a></nav>',
        '<h2 id="summary">Summary</h2>',
        '<div class="wide">%s</div>'
        % table(shown, rows, headings, text_columns=("chromosome", "region", "population"), totals=totals),
        '<h2 id="regions">Regions</h2>',
    ]
    if not plots:
        body.append("<p>The LD plots were turned off for this run (config key plots).</p>")
    for region in regions:
        body += region_entry(region, by_name.get(region["region"], {}), methods, tag_key, plots, "../")
    return page("Tag SNP selection: chromosome %s" % chromosome, body)


def chromosomes_table(regions, rows, methods, populated, pages):
    """One row per chromosome: its regions, SNPs and each method's tags, with
    a link to its page."""
    tag_key = "_joint_tags" if populated else "_tags"
    out = []
    for chromosome in dict.fromkeys(r["chromosome"] for r in regions):
        names = {r["region"] for r in regions if r["chromosome"] == chromosome}
        mine = [r for r in rows if r["region"] in names]
        row = {
            "chromosome": '<a href="%s">%s</a>' % (esc(pages[chromosome]), esc(chromosome)),
            "regions": len(names),
            "snps": format(sum(int(r["snps"]) for r in mine), ","),
        }
        for key, _ in methods:
            row[key] = format(sum({r["region"]: int(r[key + tag_key]) for r in mine}.values()), ",")
        out.append(row)
    header = ["chromosome", "regions", "snps"] + [key for key, _ in methods]
    headings = {"chromosome": "Chromosome", "regions": "Regions", "snps": "SNPs", **dict(methods)}
    cells = [
        "<tr>%s</tr>"
        % "".join('<th class="%s">%s</th>' % ("text" if h == "chromosome" else "", esc(headings[h])) for h in header)
    ]
    for row in out:
        cells.append(
            "<tr>%s</tr>"
            % "".join(
                '<td class="text">%s</td>' % row[h] if h == "chromosome" else "<td>%s</td>" % esc(row[h])
                for h in header
            )
        )
    return "<table>%s</table>" % "".join(cells)


def curve_points(curve_tsv, max_tags=None):
    """Rows of the coverage curve at the needed SNPs, at a tenth, a quarter,
    a half, three quarters and nine tenths of the full cover, at the full
    cover and at the budget. The curve is read twice, a line at a time: a
    genome's curve has a row per tag."""
    with open(curve_tsv) as f:
        header = f.readline().rstrip("\n").split("\t")
        at = header.index("needed")
        full = needed = 0
        for line in f:
            full += 1
            needed += line.rstrip("\n").split("\t")[at] == "1"
    if not full:
        return header, []
    wanted = {needed, full} | {max(1, round(full * f)) for f in (0.1, 0.25, 0.5, 0.75, 0.9)}
    if max_tags is not None:
        wanted.add(min(max_tags, full))
    points = []
    with open(curve_tsv) as f:
        f.readline()
        for k, line in enumerate(f, 1):
            if k in wanted:
                points.append(dict(zip(header, line.rstrip("\n").split("\t"))))
    return header, points


def curve_section(curve_tsv, curve_png, max_tags=None):
    """What N slots capture: the curve and a table of its points."""
    header, points = curve_points(curve_tsv, max_tags)
    kinds = header[header.index("share") + 1 :]
    rows = []
    for r in points:
        row = {"tags": format(int(r["tags"]), ",")}
        for kind in kinds:
            row[kind] = "–" if r[kind] == "NA" else "%.1f" % (100.0 * float(r[kind]))
        rows.append(row)
    headings = {"tags": "Tags"}
    for kind in kinds:
        population, _, maf = kind.rpartition(":")
        label = "% " + MAF_CLASSES.get(maf, maf)
        headings[kind] = "%s %s" % (population, label) if population else label
    return "".join(
        [
            '<h2 id="curve">What N slots capture</h2>',
            "<p>The tags in the genome-wide greedy order: every needed SNP first, then, again and again, the tag "
            "that captures the most SNPs not yet captured, in any region (each region's greedy maximum coverage, "
            "merged by gain). The curve and its table give the share of the SNPs that passed quality control with a "
            "tag at their own threshold as the number of tags grows, by MAF class (the undesirable SNPs that no "
            'desirable SNP tags are never captured); every step is in <a href="coverage_curve.tsv">'
            "coverage_curve.tsv</a>. Pairwise coverage is not imputed coverage: see the imputation section when it "
            "ran.</p>",
            '<img id="curve-image" src="%s" alt="SNPs captured as the tags grow">' % embedded_png(curve_png),
            table(["tags"] + kinds, rows, headings),
        ]
    )


def budget_section(summary_tsv, coverage_tsv, max_tags):
    """The slot budget: its share per region, and what greedy and exact
    maximum coverage capture with it."""
    _, rows = files.read_table(summary_tsv)
    genome, regions = rows[0], rows[1:]
    proven = sum(r["optimal"] == "1" for r in regions)
    header, coverage = files.read_table(coverage_tsv)
    labels = {"budget_greedy": "Greedy", "budget_maximum": "Maximum (exact)"}
    for r in coverage:
        r["method_label"] = labels.get(r["method"], r["method"])
        r["maf_label"] = MAF_CLASSES.get(r["maf_class"], r["maf_class"])
    shown = ["method_label", "maf_label", "snps", "captured", "captured_percent"]
    if "population" in header:
        shown.insert(0, "population")
    over = int(genome["tags"]) < max_tags
    parts = [
        '<h2 id="budget">The slot budget: %s tags</h2>' % format(max_tags, ","),
        "<p>%s The budget is shared out across the regions by marginal gain (the first %s tags of the "
        "genome-wide greedy order), %s needed SNPs first. In each region, Greedy takes the first tags of its order: "
        "with F needed SNPs and k more tags it captures, beyond what the needed SNPs capture, at least 1 − 1/e "
        "(63%%) of the most that k tags could. Maximum is the most SNPs the region's share can capture, by CBC: "
        "proven in %d of %d regions%s. Genome-wide, Greedy captures %s and Maximum %s of %s SNPs; the shares are "
        'in <a href="budget.tsv">budget.tsv</a>, the tags in budget_greedy_tags.tsv and budget_maximum_tags.tsv.</p>'
        % (
            (
                "The budget is more than the %s tags that capture every SNP: its tags are the full cover."
                % format(int(genome["tags"]), ",")
                if over
                else ""
            ),
            format(int(genome["tags"]), ","),
            format(int(genome["needed"]), ","),
            proven,
            len(regions),
            (
                "; where the time limit stopped the solver, at most %s could be captured in all"
                % format(int(genome["maximum_bound"]), ",")
                if proven < len(regions)
                else ""
            ),
            format(int(genome["greedy_captured"]), ","),
            format(int(genome["maximum_captured"]), ","),
            format(int(genome["items"]), ","),
        ),
        table(
            shown,
            coverage,
            COVERAGE_LABELS,
            text_columns=("population", "method_label", "maf_label"),
        ),
    ]
    return "".join(parts)


def write(out, inputs, plots, config, versions, pages):
    """The report, from the rule's inputs (summary, coverage, regions, qc,
    warnings, overview and populations): the run's page, and a page per
    chromosome (`pages`: chromosome -> its file, beside the report's folder
    in report/)."""
    summary_tsv, coverage_tsv, regions_tsv = inputs.summary, inputs.coverage, inputs.regions
    qc_tsv, warnings_txt, overview_png = inputs.qc, inputs.warnings, inputs.overview
    base = os.path.dirname(os.path.abspath(out))
    header, all_rows = files.read_table(summary_tsv)
    coverage_html, genome = coverage_table(coverage_tsv)
    shown, rows, totals, headings = with_ratios(header, [dict(r) for r in all_rows], genome)
    populated = "population" in header
    methods = [(key, label) for key, label in METHODS if key + "_tags" in header]
    _, regions = files.read_table(regions_tsv)
    qc_header, qc_rows = files.read_table(qc_tsv)
    links = {c: os.path.relpath(path, base) for c, path in pages.items()}
    body = [
        "<h1>Tag SNP selection: report of the run</h1>",
        '<p class="note">Made %s in %s.</p>'
        % (esc(datetime.datetime.now().strftime("%Y-%m-%d %H:%M")), esc(os.path.dirname(base))),
        '<nav><a href="#summary">Summary</a><a href="#coverage">Coverage</a>%s<a href="#overview">'
        'Overview</a><a href="#qc">Quality '
        'control</a><a href="#warnings">Warnings</a><a href="#regions">Regions</a><a href="#run">Run'
        "</a></nav>" % imputation_report.nav_link(config),
        '<h2 id="summary">Summary</h2>',
        people_text(inputs.populations, inputs.get("held_out")),
        (
            '<p>One set of tags is chosen for all the populations: "tags here" are those of the set among a '
            'population\'s SNPs, "tags for all" the whole set.</p>'
            if populated
            else ""
        ),
        '<div class="wide">%s</div>'
        % table(shown, [], headings, text_columns=("chromosome", "region", "population"), totals=totals),
        '<p>Tables: %s; tag SNPs: %s; every count, per region, in <a href="summary.tsv">summary.tsv</a>.</p>'
        % (
            ", ".join('<a href="%s_tags.tsv">%s_tags.tsv</a>' % (k, k) for k, _ in methods),
            ", ".join('<a href="%s_tag_snps.txt">%s_tag_snps.txt</a>' % (k, k) for k, _ in methods),
        ),
        imputation_report.summary(base, config),
        '<h2 id="coverage">Coverage</h2>',
        "<p>A SNP is captured when the tag of its cluster reaches the SNP's own threshold in PLINK's r² of the "
        "pair (a tag captures itself; the undesirable SNPs that no desirable SNP tags are in no cluster). The "
        'r² columns are over the SNPs that are not tags. Per region in <a href="coverage.tsv">coverage.tsv'
        "</a>.</p>",
        coverage_html,
        coverage_notes(coverage_tsv, summary_tsv, config),
        curve_section(inputs.curve, inputs.curve_plot, config["max_tags"]) if "curve" in inputs.keys() else "",
        (
            budget_section(inputs.budget_summary, inputs.budget_coverage, config["max_tags"])
            if "budget_summary" in inputs.keys()
            else ""
        ),
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
        "<p>%d region%s. Each chromosome's regions, their numbers and their LD plots are on a page of its own:</p>"
        % (len(regions), files.plural(len(regions))),
        chromosomes_table(regions, all_rows, methods, populated, links),
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
    ]
    for chromosome, path in pages.items():
        mine = [r for r in regions if r["chromosome"] == chromosome]
        names = {r["region"] for r in mine}
        rows_here = [dict(r) for r in all_rows if r["region"] in names]
        text = chromosome_page(chromosome, mine, header, rows_here, genome, plots, methods)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with files.written(path) as partial, open(partial, "w") as f:
            f.write(text)
    with files.written(out) as partial, open(partial, "w") as f:
        f.write(page("Tag SNP selection: report", body))
