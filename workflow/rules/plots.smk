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
        output:
            "results/regions/{region}/ld_plot.png",
        log:
            "results/regions/{region}/ld_plot.log",
        params:
            python=sys.executable,
            script=script_path("ld_plot.py"),
            arguments=plot_arguments,
        benchmark:
            "results/benchmarks/ld_plot/{region}.tsv"
        group:
            "region"
        threads: 1
        resources:
            mem_mb=512,
        shell:
            "{params.python:q} {params.script:q} {params.arguments} {output:q} > /dev/null 2> {log:q}"


rule overview:
    """Every region along the chromosomes."""
    input:
        summary=MERGED["summary"],
        regions="results/regions.tsv",
    output:
        "results/overview.png",
    log:
        "results/overview.log",
    benchmark:
        "results/benchmarks/overview.tsv"
    threads: 1
    resources:
        mem_mb=256,
    script:
        "../scripts/overview.py"


rule report:
    """One page with the tables, the overview and every plot."""
    input:
        summary=MERGED["summary"],
        coverage=MERGED["coverage"],
        regions="results/regions.tsv",
        qc="results/qc/report.tsv",
        warnings=MERGED["warnings"],
        overview="results/overview.png",
        plots=every_ld_plot,
        imputation=imputation_report_inputs,
    output:
        "results/report.html",
    log:
        "results/report.log",
    benchmark:
        "results/benchmarks/report.tsv"
    threads: 1
    resources:
        mem_mb=256,
    script:
        "../scripts/report.py"


localrules:
    overview,
    report,
