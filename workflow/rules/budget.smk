# The coverage curve and the slot budget. Once every region is clustered,
# the regions' greedy coverage orders merge into one genome-wide order
# (results/coverage_curve.tsv); with max_tags, the budget is shared out
# across the regions by marginal gain, each region's share is chosen by
# greedy and by exact maximum coverage, and the shares make the budget's
# tables.

if BUILTIN:

    rule coverage_curve:
        """The genome-wide greedy order of tags and what they capture as they
        grow; with max_tags, each region's share of the budget."""
        input:
            regions=paths.REGIONS,
            populations=paths.POPULATIONS_TABLE,
            orders=in_every_region_folder("coverage_order.tsv"),
            ranks=in_every_region("capture_rank.tsv", "maf_processed.txt"),
        output:
            curve=paths.COVERAGE_CURVE,
            allocation=paths.BUDGET_ALLOCATION if BUDGET else [],
        log:
            paths.log("coverage_curve"),
        params:
            python=PYTHON,
            script=script_path("coverage_curve.py"),
            budget=(
                f"--max-tags {config['max_tags']} --allocation {shlex.quote(paths.BUDGET_ALLOCATION)}" if BUDGET else ""
            ),
        benchmark:
            f"{paths.BENCHMARKS}/coverage_curve.tsv"
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            "{params.python:q} {params.script:q} --regions {input.regions:q} --populations {input.populations:q} "
            "--curve {output.curve:q} {params.budget} --log {log:q}"

    localrules:
        coverage_curve,


if BUDGET:

    rule budget_region:
        """A region's share of the budget, by greedy and by exact maximum
        coverage, from the pairs that tag."""
        input:
            allocation=paths.BUDGET_ALLOCATION,
            populations=paths.POPULATIONS_TABLE,
            tables=region_files("maf_processed.txt", "needed.txt", "tagging_pairs.txt"),
        output:
            tables=region_files("budget_greedy.tsv", "budget_maximum.tsv"),
            summary=f"{paths.REGION}/budget_summary.tsv",
        log:
            f"{paths.REGION_LOGS}/budget.log",
        params:
            python=PYTHON,
            script=script_path("budget_region.py"),
            folder=lambda wildcards: paths.region_folder(wildcards.region),
            logs=lambda wildcards: paths.region_logs(wildcards.region),
            time_limit=config["minimum_time_limit"],
        benchmark:
            f"{paths.BENCHMARKS}/budget_region/{{region}}.tsv"
        threads: 1
        resources:
            mem_mb=256,
        shell:
            "{params.python:q} {params.script:q} --region {wildcards.region} --folder {params.folder:q} "
            "--logs {params.logs:q} --allocation {input.allocation:q} --time-limit {params.time_limit} "
            "--populations {input.populations:q}"

    rule merge_budget:
        """The budget's tables: each method's tags and what they capture,
        per region and genome-wide."""
        input:
            regions=paths.REGIONS,
            populations=paths.POPULATIONS_TABLE,
            allocation=paths.BUDGET_ALLOCATION,
            shares=in_every_region("budget_greedy.tsv", "budget_maximum.tsv", "tagging_r2.tsv", "maf.txt"),
            summaries=in_every_region_folder("budget_summary.tsv"),
        output:
            **BUDGET_MERGED,
        log:
            paths.log("merge_budget"),
        params:
            python=PYTHON,
            script=script_path("merge_budget.py"),
            outputs=key_files(BUDGET_MERGED),
        benchmark:
            f"{paths.BENCHMARKS}/merge_budget.tsv"
        threads: 1
        resources:
            mem_mb=512,
        shell:
            "{params.python:q} {params.script:q} --regions {input.regions:q} --populations {input.populations:q} "
            "--allocation {input.allocation:q} --outputs {params.outputs:q} --log {log:q}"

    localrules:
        merge_budget,
