"""The report's imputation section: pairwise and imputed coverage of each set
judged, side by side, beside evenly spaced SNPs of the same number.

section() gives the HTML parts from the files in the results folder; it is
empty when the run did not ask for imputation. Every figure of a method's
own tags chosen with the people imputed says "tags chosen with these
people"; only figures from people the selection never saw say "held-out".
"""
import base64
import glob
import html
import os

from . import config as settings
from . import files, imputation, paths, spread, target

MAF_LABELS = {"all": "all", "<0.05": "below 0.05", "0.05-0.2": "0.05 to 0.2", ">=0.2": "0.2 and above"}


def esc(text):
    return html.escape(str(text))


def label(row, config):
    if row["kind"] == "evenly spaced":
        return "evenly spaced, %s SNPs" % format(int(row["tags"]), ",")
    if row["kind"] == "given":
        return "evaluate_tags (%s)" % os.path.basename(config.get("evaluate_tags") or "")
    return imputation.SET_LABELS.get(row["set"], row["set"])


def nav_link(config):
    return '<a href="#imputation">Imputation</a>' if config.get("imputation") else ""


def read_lines(path):
    with open(path) as f:
        return f.read().split()


def protocol(base, config, people):
    """The paragraphs that say how the figures were made."""
    chunks = files.read_table(os.path.join(base, "imputation", "chunks.tsv"))[1]
    labels = list(dict.fromkeys(c["chromosome"] for c in chunks))
    given = [c for c in labels if read_lines(os.path.join(base, "imputation", "chr%s" % c, "phasing.txt")) == ["given"]]
    imputed = sum(1 for p in people if p["fold"] != "reference")
    if config["holdout"] is not None:
        who = (
            "%s%% of each population's people (%d of %d, drawn with seed %d) were set aside before quality control: "
            "the selection never saw them. They were imputed from all the other people, so that <b>every figure "
            "below is held-out</b>." % (format(100 * config["holdout"], "g"), imputed, len(people), config["seed"])
        )
    else:
        who = (
            "The %d people were dealt into %d folds within each population (seed %d), and each fold was imputed "
            "from the people of the other folds. The methods' own tags were chosen with all of them, the people "
            "imputed included: their figures are marked <b>tags chosen with these people</b> and are not held-out "
            "figures. evaluate_tags and the evenly spaced SNPs are judged in held-out people. Set holdout for "
            "held-out figures of the methods." % (len(people), config["folds"], config["seed"])
        )
    if len(given) == len(labels):
        phasing = "The VCF's genotypes are phased: they were used as given, and no phasing ran."
    else:
        phasing = (
            "Beagle 5.4 phased the genotypes of all the people%s once per chunk of %s Mb (with %s Mb flanks), %d "
            "chunk%s in all%s; %s."
            % (
                " but the held-out ones" if config["holdout"] is not None else "",
                format(config["chunk_mb"], "g"),
                format(config["flank_mb"], "g"),
                len(chunks),
                files.plural(len(chunks)),
                "" if not given else "; the phased VCF's chromosomes %s were used as given" % ", ".join(given),
                (
                    "the held-out people's reference is the phased haplotypes of all the others"
                    if config["holdout"] is not None
                    else "the reference of a fold is the phased haplotypes of the people not in it, never its own"
                ),
            )
        )
    version = beagle_version(base)
    genetic_map = ("Beagle: %s. " % esc(version) if version else "") + (
        "Genetic map: %s." % esc(config["genetic_map"])
        if config["genetic_map"]
        else "No genetic map was given: Beagle used its default of 1 cM per Mb."
    )
    return [
        "<p>Each set of tags was typed in the people imputed (their true genotypes at the tags only), and Beagle "
        "5.4 imputed the other SNPs. The r² is the squared correlation between Beagle's dosage and the true "
        "genotype over all the people imputed, per population, tags included. %s</p>" % who,
        "<p>%s %s A SNP that does not vary among the people imputed has no r²: it is counted as not measured. "
        "Pairwise coverage is the share of SNPs that are tags or have a tag within 1 Mb reaching their own r² "
        "threshold, in the people the tags were chosen in.</p>" % (phasing, genetic_map),
    ]


def beagle_version(base):
    """Beagle's own line about its version, from the first log of a run of
    it, or None."""
    logs = os.path.join(os.path.dirname(base), "logs", "imputation")
    for path in sorted(glob.glob(os.path.join(logs, "*", "*", "*.log"))) + sorted(
        glob.glob(os.path.join(logs, "*", "phase.log"))
    ):
        with open(path, errors="replace") as f:
            for line in f:
                if "(version" in line:
                    return line.strip()
    return None


def percent(text):
    return "–" if text in ("NA", "") else "%s%%" % text


def comparison(rows, sets, config):
    """Per population, a row per set: pairwise and imputed coverage, and the
    evenly spaced SNPs of the same number."""
    overall = {(r["set"], r["population"]): r for r in rows if r["maf_class"] == "all"}
    even = {int(s["tags"]): s["set"] for s in sets if s["kind"] == "evenly spaced"}
    populations = list(dict.fromkeys(r["population"] for r in rows))
    out = []
    for population in populations:
        body = []
        for s in sets:
            r = overall.get((s["set"], population))
            if r is None:
                continue
            baseline = overall.get((even.get(int(s["tags"])), population)) if s["kind"] != "evenly spaced" else None
            gap = "–"
            if baseline and "NA" not in (r["r2_08_percent"], baseline["r2_08_percent"]):
                gap = "%+.2f" % (float(r["r2_08_percent"]) - float(baseline["r2_08_percent"]))
            cells = [
                (label(s, config), "text"),
                (format(int(s["tags"]), ","), ""),
                (percent(r["pairwise_percent"]), ""),
                (percent(r["r2_08_percent"]), ""),
                (percent(r["r2_05_percent"]), ""),
                (r["mean_r2"], ""),
                (percent(baseline["r2_08_percent"]) if baseline else "–", ""),
                (gap, ""),
                ("%s / %s" % (r["measured"], r["not_measured"]), ""),
                (r["how_measured"], "text"),
            ]
            body.append("<tr>%s</tr>" % "".join('<td class="%s">%s</td>' % (c, esc(v)) for v, c in cells))
        headings = [
            "Set",
            "Tags",
            "Pairwise: % captured",
            "Imputed: % at r² ≥ 0.8",
            "% at r² ≥ 0.5",
            "Mean r²",
            "Evenly spaced, same number: % at r² ≥ 0.8",
            "Difference (points)",
            "SNPs measured / not",
            "How measured",
        ]
        head = "".join(
            '<th class="%s">%s</th>' % ("text" if h in ("Set", "How measured") else "", esc(h)) for h in headings
        )
        title = "" if population == "all" else "<h3>Population %s</h3>" % esc(population)
        out.append(
            '%s<div class="wide"><table class="imputation"><tr>%s</tr>%s</table></div>' % (title, head, "".join(body))
        )
    return out


def by_maf(rows, sets, config):
    """The share at r² >= 0.8 per MAF class, a row per set and population."""
    populations = list(dict.fromkeys(r["population"] for r in rows))
    index = {(r["set"], r["population"], r["maf_class"]): r for r in rows}
    named = populations != ["all"]
    head = ["Population"] * named + ["Set"] + ["MAF %s" % MAF_LABELS[c] for c in MAF_LABELS]
    texts = 1 + named  # the leading columns hold text

    def cells(tag, values):
        return "".join(
            '<%s class="%s">%s</%s>' % (tag, "text" if k < texts else "", esc(v), tag) for k, v in enumerate(values)
        )

    body = []
    for population in populations:
        for s in sets:
            values = [population] * named + [label(s, config)]
            for cls in MAF_LABELS:
                r = index.get((s["set"], population, cls))
                values.append("–" if r is None else "%s (%s)" % (percent(r["r2_08_percent"]), r["measured"]))
            body.append("<tr>%s</tr>" % cells("td", values))
    return (
        "<p>Imputed at r² ≥ 0.8 by MAF class among the people imputed (SNPs measured in brackets):</p>"
        '<div class="wide"><table><tr>%s</tr>%s</table></div>' % (cells("th", head), "".join(body))
    )


def selection_text(path, config, snps_tsv):
    """How the tags chosen for imputation were chosen, from the selection
    table, and what they reach in the held-out people (their per-SNP
    table `snps_tsv`)."""
    _, rows = files.read_table(path)
    chosen = next(r for r in rows if r["chosen"] == "1")
    budget = config.get("max_tags")
    aim = (
        "the most SNPs at imputed r² ≥ %g within the budget of %s tags" % (config["imputed_r2"], format(budget, ","))
        if budget is not None
        else "%g%% of each population's SNPs at imputed r² ≥ %g with the fewest tags"
        % (100 * config["imputed_share"], config["imputed_r2"])
    )
    first = [r for r in rows if not r["candidate"].startswith((target.REFINED, target.COMPLETED))]
    third = [r for r in rows if r["candidate"].startswith(target.COMPLETED)]
    kinds = " and ".join(dict.fromkeys(r["kind"] for r in first))
    climbed = "climbed until one reached the target as imputed"
    ladder = "shares of the budget" if budget is not None else "a ladder of sizes"
    rungs = (
        "climbed from the smallest, passing over sizes far too small, until one reached the target as imputed "
        "or the rest were no smaller than a completed candidate"
    )
    ladder += " " + rungs if budget is None and len(first) < len(spread.LADDER) else ""
    count = len(rows) - len(first) - len(third)
    skipped = not_needed(os.path.join(os.path.dirname(path), os.path.basename(paths.REFINED)))
    if budget is None:
        second = "%d set%s: one of them again with part or all of its completion" % (count, files.plural(count))
        if count + skipped < len(target.REFINE):
            second += ", %s or the rest, no smaller than one completed, were put off" % climbed
        if skipped:
            second += (
                " (%d not imputed: a set before it had its tags, or one that reached the target as imputed had no "
                "more)" % skipped
            )
        put_off = sum(r["kind"].endswith(target.PUT_OFF) for r in third)
        made = []
        if len(third) > put_off:
            made.append("%d of those that fell short, each with its own completion" % (len(third) - put_off))
        if put_off:
            made.append("%d put off as they were" % put_off)
        if made:
            second += "; in a third, %s, as each would be taken if it reached the target" % ", and ".join(made)
    elif count:
        second = "one of them again with all of its completion"
    else:
        second = "none: the best with all of its completion had the tags of a set imputed before"
    taken = (
        "the best that filled the budget as imputed, with none added (if none did, the best completed)"
        if budget is not None
        else "the smallest that reached the target as imputed, with none added (if none did, the smallest " "completed)"
    )
    return (
        "<p><b>Chosen for imputation</b> aims at %s. It was chosen without the held-out people: those not held "
        "out were dealt into %d folds, each imputed from the others, %s, for %d candidate%s (%s, at %s) and, in a "
        "second round, %s. Each set was "
        "completed with the SNPs that bring the most failing ones to the target (themselves or their pairwise "
        "proxies), and %s was taken: %s of %s tags (%s) and %s SNP%s "
        "added by estimate, %s tags in all.%s Its figures above are those of the held-out people: %s. Every "
        'set is in <a href="imputation/target/selection.tsv">imputation/target/selection.tsv</a>.</p>'
        % (
            esc(aim),
            imputation.INNER_FOLD_COUNT,
            "the folds judged as one"
            if budget is not None
            else "r² measured in each fold alone and the folds' shares averaged",
            len(first),
            files.plural(len(first)),
            esc(kinds),
            ladder,
            second,
            taken,
            esc(chosen["candidate"]),
            format(int(chosen["tags"]), ","),
            esc(chosen["kind"]),
            format(int(chosen["added"]), ","),
            files.plural(int(chosen["added"])),
            format(int(chosen["total"]), ","),
            esc(shortfall(chosen, config)),
            esc(target.held_out_text(snps_tsv, config["imputed_r2"])),
        )
    )


def not_needed(refined_tsv):
    """How many of the second round's sets its table says are not needed."""
    if not os.path.exists(refined_tsv):
        return 0
    return sum(r.get("needed") == "0" for r in files.read_table(refined_tsv)[1])


def shortfall(chosen, config):
    """A sentence when no set reached the target as imputed, else none."""
    share = config["imputed_share"]
    if config.get("max_tags") is not None or target.reached(chosen, share):
        return ""
    said = " %s: " % target.NOT_REACHED
    lowest = float(chosen["lowest_share"])
    if target.completes(lowest, share):
        return said + "this one has the fewest tags once completed."
    return said + (
        "this one has the fewest tags once completed, and even so its lowest population reaches only %.2f%% "
        "there: no SNP can be added for the rest (undesirable SNPs are never added)." % (100 * lowest)
    )


def summary(base, config):
    """With tags chosen for imputation, a paragraph for the report's summary,
    as the pairwise tables above it show none of them: their number and
    what they reach in the held-out people; else nothing."""
    if config.get("target") != "imputation":
        return ""
    tags_txt = os.path.join(base, "%s_tag_snps.txt" % target.METHOD)
    tags, reached, goal = target.outcome(tags_txt, os.path.join(base, "imputation_snps.tsv"), config)
    return (
        '<p><b>Chosen for imputation: %s tags</b> (<a href="%s_tag_snps.txt">%s_tag_snps.txt</a>); held out, %s, '
        '%s. How they were chosen and how they compare: <a href="#imputation">Imputation</a>.</p>'
        % (format(tags, ","), target.METHOD, target.METHOD, esc(reached), goal)
    )


def section(base, config):
    """The HTML parts of the section, from the results folder `base`."""
    if not config.get("imputation"):
        return []
    _, rows = files.read_table(os.path.join(base, "imputation.tsv"))
    _, sets = files.read_table(os.path.join(base, "imputation", "sets.tsv"))
    _, people = files.read_table(os.path.join(base, "imputation", "people.tsv"))
    parts = ['<h2 id="imputation">Imputation</h2>'] + protocol(base, config, people)
    parts += comparison(rows, sets, config)
    if config.get("target") == "imputation":
        selection = os.path.join(base, "imputation", "target", "selection.tsv")
        parts.append(selection_text(selection, config, os.path.join(base, "imputation_snps.tsv")))
    for s in sets:
        if s["kind"] == "given" and int(s["not_passed"]):
            parts.append(
                "<p>%s of the %s SNPs of evaluate_tags did not pass quality control and could not be typed; the "
                "other %s were judged.</p>" % (s["not_passed"], s["listed"], s["tags"])
            )
    methods, judged = settings.tag_methods(config), settings.judged_methods(config)
    names = [imputation.SET_LABELS[m] for m in methods if m not in judged]
    if names:
        parts.append(
            "<p>The tags of %s were not judged by imputation (judged_methods).</p>"
            % esc(" and ".join([", ".join(names[:-1]), names[-1]] if len(names) > 1 else names))
        )
    parts.append(by_maf(rows, sets, config))
    with open(os.path.join(base, "imputation.png"), "rb") as f:
        png = base64.b64encode(f.read()).decode()
    parts.append('<img id="imputation-plot" src="data:image/png;base64,%s" alt="Imputed r² against MAF">' % png)
    parts.append(
        '<p>Per SNP: <a href="imputation_snps.tsv">imputation_snps.tsv</a>; by set, population and MAF class: '
        '<a href="imputation.tsv">imputation.tsv</a>. The tags as VCF for array design tools: %s.</p>'
        % ", ".join('<a href="%s_tags.vcf.gz">%s_tags.vcf.gz</a>' % (m, m) for m in methods)
    )
    return parts
