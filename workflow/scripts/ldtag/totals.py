"""The short table a run ends with on the terminal: the SNPs, the people the
LD came from, the tags of each method and what they capture, and where the
tables and the report are."""
import os

from . import files, paths, populations, target

LABELS = {"greedy": "Greedy", "minimax": "Minimax", "minimum": "Minimum"}


def _n(value):
    return format(int(value), ",")


def _aligned(rows):
    widths = [max(len(str(row[k])) for row in rows) for k in range(len(rows[0]))]
    return ["  " + "  ".join(str(v).ljust(w) for v, w in zip(row, widths)).rstrip() for row in rows]


def text(methods, held_out=None, aim=None):
    """The table, from the merged results, for the given methods; the
    people held out for imputation (their table, `held_out`) are not among
    those the LD came from. With tags chosen for imputation, `aim` is the
    config's imputed_r2, imputed_share and max_tags (target_line)."""
    header, summary = files.read_table(paths.SUMMARY)
    _, coverage = files.read_table(paths.COVERAGE)
    people = populations.estimated_in(paths.POPULATIONS_TABLE, held_out)
    populated = "population" in header
    regions = {r["region"] for r in summary}
    chromosomes = list(dict.fromkeys(r["chromosome"] for r in summary))
    snps = sum(int(r["snps"]) for r in summary)
    total = sum(int(p["people"]) for p in people)
    who = ", ".join("%s %s" % (p["population"], _n(p["people"])) for p in people) if populated else ""
    lines = [
        "Results of %d region%s on %d chromosome%s: %s SNP%s passed quality control%s; LD from %s people%s."
        % (
            len(regions),
            files.plural(len(regions)),
            len(chromosomes),
            files.plural(len(chromosomes)),
            _n(snps),
            files.plural(snps),
            " (counted once per population where they vary)" if populated else "",
            _n(total),
            " (%s)" % who if populated else "",
        ),
        "",
    ]
    # With populations, one set of tags is chosen for all, as the report's "tags for all".
    tags = "tags for all" if populated else "tags"
    rows = [["method"] + (["population"] if populated else []) + [tags, "SNPs captured", "mean r² to the tag"]]
    genome = [r for r in coverage if r["region"] == "genome" and r["maf_class"] == "all"]
    for method in methods:
        # With populations, a region's set of tags is on each of its rows.
        key = method + ("_joint_tags" if populated else "_tags")
        tags = sum({r["region"]: int(r[key]) for r in summary}.values())
        for r in (g for g in genome if g["method"] == method):
            row = [LABELS.get(method, method)] + ([r["population"]] if populated else [])
            row += [_n(tags), "%s of %s (%s%%)" % (_n(r["captured"]), _n(r["snps"]), r["captured_percent"])]
            rows.append(row + [r["mean_r2"]])
    lines += _aligned(rows)
    if os.path.exists(paths.BUDGET_SUMMARY):
        lines += ["", budget_line()]
    if aim is not None and os.path.exists(paths.IMPUTATION_SNPS) and os.path.exists(paths.SELECTION):
        lines += ["", target_line(aim)]
    with open(paths.WARNINGS) as f:
        warnings = sum(1 for _ in f)
    lines += [
        "",
        "Tables: %s (every SNP, its tag and its r² to it); tag lists: %s; per region: %s, %s; %d warning%s: %s."
        % (
            ", ".join(paths.method_table(m) for m in methods),
            ", ".join(paths.method_tags(m) for m in methods),
            paths.SUMMARY,
            paths.COVERAGE,
            warnings,
            files.plural(warnings),
            paths.WARNINGS,
        ),
        "The report: %s (open it in a browser)." % paths.REPORT,
    ]
    if os.path.exists(paths.COVERAGE_CURVE):
        lines.insert(-1, "What N slots capture, for every N: %s." % paths.COVERAGE_CURVE)
    return "\n".join(lines)


def budget_line():
    """What the slot budget's tags capture."""
    rows = files.read_table(paths.BUDGET_SUMMARY)[1]
    genome, regions = rows[0], rows[1:]
    coverage = files.read_table(paths.BUDGET_COVERAGE)[1]
    snps = sum(int(r["snps"]) for r in coverage if r["method"] == "budget_greedy" and r["maf_class"] == "all")
    proven = sum(r["optimal"] == "1" for r in regions)
    return (
        "Slot budget: %s tags capture %s (Greedy) and %s (Maximum, proven in %d of %d regions) of %s SNPs; "
        "tags in %s and %s."
        % (
            _n(genome["tags"]),
            _n(genome["greedy_captured"]),
            _n(genome["maximum_captured"]),
            proven,
            len(regions),
            _n(snps),
            paths.method_tags("budget_greedy"),
            paths.method_tags("budget_maximum"),
        )
    )


def target_line(aim):
    """The tags chosen for imputation and what they reach in the held-out
    people, from the per-SNP table; whether any set reached the target."""
    tags_txt = paths.method_tags(target.METHOD)
    tags, reached, goal = target.outcome(tags_txt, paths.IMPUTATION_SNPS, aim)
    line = "Chosen for imputation: %s tags in %s; held out, %s, %s." % (_n(tags), tags_txt, reached, goal)
    if aim.get("max_tags") is not None:
        return line
    chosen = next(r for r in files.read_table(paths.SELECTION)[1] if r["chosen"] == "1")
    if not target.reached(chosen, aim["imputed_share"]):
        line += " %s: see %s." % (target.NOT_REACHED, paths.SELECTION)
    return line
