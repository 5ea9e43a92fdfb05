"""The report of a run: one HTML page that opens from disk.

results/report.html holds the summary table, the genome-wide overview
(embedded in the page), quality control, a digest of the warnings, each
region's LD plot (the PNG files beside it, in the region folders, with a link
to each folder), the config of the run and the versions of PLINK, Snakemake
and this project. It loads nothing from the network and needs no server;
keep it in results/ with the region folders.
"""
import base64
import collections
import datetime
import html
import os
import re
import subprocess

import yaml

import tsvtable

SUMMARY_HEADINGS = {
    "chromosome": "Chromosome", "region": "Region", "snps": "SNPs", "undesirable": "Undesirable",
    "undesirable_dropped": "Undesirable dropped", "done": "Done", "needed": "Needed",
    "greedy_clusters": "Greedy clusters", "greedy_tags": "Greedy tags", "minimax_clusters": "Minimax clusters",
    "minimax_tags": "Minimax tags",
}
STYLE = """
body { font-family: sans-serif; margin: 2em auto; max-width: 1400px; padding: 0 1em; color: #222; }
h1 { font-size: 1.6em; } h2 { border-bottom: 1px solid #ccc; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: 1em 0; font-size: .9em; }
th, td { border: 1px solid #ccc; padding: .25em .6em; text-align: right; }
th { background: #f0f0f0; } td.text, th.text { text-align: left; }
tr.total td { font-weight: bold; background: #fafafa; }
img { max-width: 100%; height: auto; border: 1px solid #eee; }
pre { background: #f7f7f7; padding: 1em; overflow-x: auto; }
nav a { margin-right: 1em; } .note { color: #666; }
"""


def esc(text):
    return html.escape(str(text))


def table(header, rows, headings=None, text_columns=(), total=None):
    headings = headings or {}
    out = ["<table><tr>"]
    out += ['<th class="%s">%s</th>' % ("text" if h in text_columns else "", esc(headings.get(h, h))) for h in header]
    out.append("</tr>")
    for row in rows + ([total] if total else []):
        out.append('<tr class="total">' if row is total else "<tr>")
        out += ['<td class="%s">%s</td>' % ("text" if h in text_columns else "", esc(row.get(h, ""))) for h in header]
        out.append("</tr>")
    out.append("</table>")
    return "".join(out)


def with_ratios(header, rows):
    """The summary with SNPs per tag for each method, and a total row."""
    header = header + ["greedy_snps_per_tag", "minimax_snps_per_tag"]
    total = {"chromosome": "all", "region": "%d regions" % len(rows)}
    for key in header[2:-2]:
        total[key] = sum(int(r[key]) for r in rows)
    for row in rows + [total]:
        for method in ("greedy", "minimax"):
            tags = int(row[method + "_tags"])
            row[method + "_snps_per_tag"] = "%.2f" % (int(row["snps"]) / tags) if tags else "–"
    headings = dict(SUMMARY_HEADINGS, greedy_snps_per_tag="SNPs per Greedy tag",
                    minimax_snps_per_tag="SNPs per Minimax tag")
    return header, rows, total, headings


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
    return ("<p>%d warnings of %d kinds; all of them are in <a href=\"warnings.txt\">warnings.txt</a>. A kind is "
            "a message that differs only in the SNP, record or number it names.</p>" % (len(lines), len(kinds))
            + table(["source", "count", "first"], rows[:shown],
                    {"source": "Program", "count": "Count", "first": "The first of the kind"},
                    text_columns=("source", "first")))


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


def write(out, summary_tsv, regions_tsv, qc_tsv, warnings_txt, overview_png, plots, config, versions):
    base = os.path.dirname(os.path.abspath(out))
    header, rows = tsvtable.read(summary_tsv)
    header, rows, total, headings = with_ratios(header, rows)
    _, regions = tsvtable.read(regions_tsv)
    qc_header, qc_rows = tsvtable.read(qc_tsv)
    parts = ["<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">",
             "<link rel=\"icon\" href=\"data:,\"><title>Tag SNP selection: report</title>",
             "<style>%s</style></head><body>" % STYLE,
             "<h1>Tag SNP selection: report of the run</h1>",
             "<p class=\"note\">Made %s in %s.</p>" % (
                 esc(datetime.datetime.now().strftime("%Y-%m-%d %H:%M")), esc(os.path.dirname(base))),
             "<nav><a href=\"#summary\">Summary</a><a href=\"#overview\">Overview</a><a href=\"#qc\">Quality "
             "control</a><a href=\"#warnings\">Warnings</a><a href=\"#regions\">Regions</a><a href=\"#run\">Run"
             "</a></nav>",
             "<h2 id=\"summary\">Summary</h2>",
             table(header, rows, headings, text_columns=("chromosome", "region"), total=total),
             "<p>Tables: <a href=\"greedy_tags.tsv\">greedy_tags.tsv</a>, <a href=\"minimax_tags.tsv\">"
             "minimax_tags.tsv</a>; tag SNPs: <a href=\"greedy_tag_snps.txt\">greedy_tag_snps.txt</a>, "
             "<a href=\"minimax_tag_snps.txt\">minimax_tag_snps.txt</a>.</p>",
             "<h2 id=\"overview\">Overview</h2>",
             "<img id=\"overview-image\" src=\"%s\" alt=\"Regions along the genome\">" % embedded_png(overview_png),
             "<h2 id=\"qc\">Quality control</h2>",
             table(qc_header, qc_rows, {"chromosome": "Chromosome", "snps": "SNPs", "excluded_names":
                                        "Left out for their names", "failed_filters": "Failed PLINK's filters",
                                        "passed": "Passed"}, text_columns=("chromosome",)),
             "<h2 id=\"warnings\">Warnings</h2>", warnings_digest(warnings_txt),
             "<h2 id=\"regions\">Regions</h2>"]
    if not plots:
        parts.append("<p>The LD plots were turned off for this run (config key plots).</p>")
    by_name = {r["region"]: r for r in rows}
    for region in regions:
        name = region["region"]
        s = by_name.get(name, {})
        folder = "regions/%s/" % name
        parts.append("<h3 id=\"%s\">%s</h3>" % (esc(name), esc(name)))
        parts.append("<p>Chromosome %s, %s–%s bp: %s SNPs, %s Greedy and %s Minimax tags; %s tagging pairs "
                     "cross its end. <a href=\"%s\">Its folder</a>.</p>" % (
                         esc(region["chromosome"]), esc(format(int(region["first_position"]), ",")),
                         esc(format(int(region["last_position"]), ",")), esc(region["snps"]),
                         esc(s.get("greedy_tags", "?")), esc(s.get("minimax_tags", "?")),
                         esc(region["crossing_pairs"]), esc(folder)))
        if plots:
            parts.append("<a href=\"%sld_plot.png\"><img class=\"ld-plot\" src=\"%sld_plot.png\" alt=\"LD plot of "
                         "%s\"></a>" % (esc(folder), esc(folder), esc(name)))
    parts += ["<h2 id=\"run\">Run</h2>", "<h3>Versions</h3>",
              table(["program", "version"], [{"program": k, "version": v} for k, v in versions.items()],
                    {"program": "Program", "version": "Version"}, text_columns=("program", "version")),
              "<h3>Config</h3>", "<pre>%s</pre>" % esc(yaml.safe_dump(config, sort_keys=False)),
              "</body></html>"]
    with open(out, "w") as f:
        f.write("\n".join(parts))


if "snakemake" in globals():
    import snakemake as engine

    config = dict(snakemake.config)
    write(snakemake.output[0], snakemake.input.summary, snakemake.input.regions, snakemake.input.qc,
          snakemake.input.warnings, snakemake.input.overview, config["plots"], config,
          {"PLINK": version([config["plink"], "--version"]), "Snakemake": engine.__version__,
           "ldtag": version(["ldprune", "--version"])})
