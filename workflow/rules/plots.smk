# Pictures: each region's LD plot, the genome-wide overview, and the report.

if config["plots"]:

    rule ld_plot:
        """The region's r² with the selection marked (scripts/ld_plot.py, the
        command a user runs by hand on a region's folder); with populations,
        the r² of the first population with SNPs in the region."""
        input:
            ld=region_files("plink.ld.bin"),
            snps=region_files("SNP_names.data"),
            maf=region_files("maf.txt"),
            done=region_files("done.txt"),
            undesirable=region_files("undesirable.txt"),
            maf_processed=region_files("maf_processed.txt"),
            run_log=region_files("run_log.txt"),
            tables=joined_tables("{region}"),
            populations=paths.POPULATIONS_TABLE,
        output:
            paths.LD_PLOT,
        log:
            paths.log("ld_plot", "{region}"),
        params:
            python=PYTHON,
            script=script_path("ld_plot.py"),
            folder=lambda wildcards: paths.region_folder(wildcards.region),
        benchmark:
            f"{paths.BENCHMARKS}/ld_plot/{{region}}.tsv"
        group:
            "region"
        threads: 1
        resources:
            mem_mb=256,
        shell:
            "{params.python:q} {params.script:q} --populations {input.populations:q} {params.folder:q} {output:q} "
            "> /dev/null 2> {log:q}"


rule overview:
    """Every region along the chromosomes."""
    input:
        summary=MERGED["summary"],
        regions=paths.REGIONS,
    output:
        paths.OVERVIEW,
    log:
        paths.log("overview"),
    params:
        python=PYTHON,
        script=script_path("overview.py"),
    benchmark:
        f"{paths.BENCHMARKS}/overview.tsv"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "{params.python:q} {params.script:q} --summary {input.summary:q} --regions {input.regions:q} "
        "--output {output:q} --log {log:q}"


if BUILTIN:

    rule curve_plot:
        """What N slots capture, as the genome-wide greedy order grows."""
        input:
            curve=paths.COVERAGE_CURVE,
            summary=MERGED["summary"],
        output:
            paths.COVERAGE_CURVE_PLOT,
        log:
            paths.log("curve_plot"),
        params:
            python=PYTHON,
            script=script_path("curve_plot.py"),
            max_tags="" if config["max_tags"] is None else f"--max-tags {config['max_tags']}",
        benchmark:
            f"{paths.BENCHMARKS}/curve_plot.tsv"
        threads: 1
        resources:
            mem_mb=512,
        shell:
            "{params.python:q} {params.script:q} --curve {input.curve:q} --summary {input.summary:q} "
            "--output {output:q} {params.max_tags} --log {log:q}"

    localrules:
        curve_plot,


rule report:
    """The run's page with the genome-wide tables and the overview, and a
    page per chromosome with its regions and their plots."""
    input:
        summary=MERGED["summary"],
        coverage=MERGED["coverage"],
        regions=paths.REGIONS,
        qc=paths.QC_REPORT,
        warnings=MERGED["warnings"],
        overview=paths.OVERVIEW,
        populations=paths.POPULATIONS_TABLE,
        plots=every_ld_plot,
        **report_extras(),
        imputation=imputation_report_inputs,
    output:
        report=paths.REPORT,
        pages=expand(paths.REPORT_PAGE, chrom=CHROMOSOMES),
    log:
        paths.log("report"),
    params:
        python=PYTHON,
        script=script_path("report.py"),
        inputs=named_files,
        config=json.dumps(config),
        engine=SNAKEMAKE_VERSION,
        pages=lambda wildcards, output: key_files(dict(zip(CHROMOSOMES, output.pages))),
    benchmark:
        f"{paths.BENCHMARKS}/report.tsv"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "{params.python:q} {params.script:q} --inputs {params.inputs:q} --config {params.config:q} "
        "--engine {params.engine:q} --report {output.report:q} --pages {params.pages:q} --log {log:q}"


localrules:
    overview,
    report,
