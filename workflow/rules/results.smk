# Genome-wide tables from every region, and what the run says at its end.

MERGED = {
    **{method: "results/%s_tags.tsv" % method for method in METHODS},
    **{method + "_tags": "results/%s_tag_snps.txt" % method for method in METHODS},
    "summary": "results/summary.tsv",
    "coverage": "results/coverage.tsv",
    "warnings": "results/warnings.txt",
}


def in_every_region(*names):
    return lambda w: ["%s/%s" % (region_dir(r), name) for name in names for r in all_regions()]


rule merge:
    """The genome-wide tables, read a region at a time."""
    input:
        regions="results/regions.tsv",
        qc_warnings="results/qc/warnings.txt",
        tables=in_every_region(*["%s_output.txt" % method for method in METHODS]),
        coverage=in_every_region("coverage.tsv"),
        maf=in_every_region("maf.txt"),
        processed=in_every_region("maf_processed.txt"),
        run_log=in_every_region("run_log.txt"),
    output:
        **MERGED,
    params:
        methods=METHODS,
    benchmark:
        "results/benchmarks/merge.tsv"
    threads: 1
    resources:
        mem_mb=256,
    script:
        "../scripts/merge_results.py"


localrules:
    excluded_names,
    qc_report,
    regions_table,
    merge,


def final_targets(wildcards):
    """Everything up to ldprune in every region; the joined tables of the
    regions that have clustering results; the genome-wide tables once all
    have."""
    regions = all_regions()
    ready = [r for r in regions if has_results(r)]
    targets = ["results/regions.tsv", "results/qc/report.tsv", "results/qc/warnings.txt"]
    targets += ["%s/maf_processed.txt" % region_dir(r) for r in regions]
    targets += ["%s/coverage.tsv" % region_dir(r) for r in ready]
    if len(ready) == len(regions):
        targets += list(MERGED.values()) + ["results/overview.png", "results/report.html"]
    return targets


def report_next_steps():
    """Where the results are, or what to run next when the clustering program
    is run by hand."""
    if not os.path.exists("results/regions.tsv"):
        return
    with open("results/regions.tsv") as f:
        regions = [line.split("\t")[1] for line in list(f)[1:]]
    waiting = [r for r in regions if not has_results(r)]
    if waiting:
        logger.info(
            "\n%d of %d regions are ready for the clustering program: run it in each of these folders so that it "
            "writes Zentavor.result.{Greedy,Minimax}.{members.txt,out} there from ld_processed.txt and "
            "maf_processed.txt:\n  %s\nor set clustering_command in the config (ldcluster, this project's clustering "
            "program, unless it is null). Then run snakemake again: it joins the results and writes the genome-wide "
            "tables."
            % (len(waiting), len(regions), "\n  ".join(region_dir(r) for r in waiting))
        )
        return
    if not os.path.exists(MERGED["warnings"]):
        return
    with open(MERGED["warnings"]) as f:
        warnings = sum(1 for _ in f)
    logger.info(
        "\nResults of %d regions: %s (tables), %s (tag SNPs), %s (per region), %s (how well the tags capture the "
        "SNPs), %s (%d warnings); open results/report.html in a browser to see them."
        % (len(regions), ", ".join(MERGED[m] for m in METHODS), ", ".join(MERGED[m + "_tags"] for m in METHODS),
           MERGED["summary"], MERGED["coverage"], MERGED["warnings"], warnings)
    )


def report_failure():
    logger.error(
        "\nThe results of every job that finished are kept. Correct what the messages above name and run "
        "snakemake again: it goes on from there."
    )
