# Pictures: each region's LD plot, the genome-wide overview, and the report.

if config["plots"]:

    rule ld_plot:
        """The region's r² triangle with the selection marked."""
        input:
            "results/regions/{region}/plink.ld.bin",
            "results/regions/{region}/SNP_names.data",
            "results/regions/{region}/maf.txt",
            "results/regions/{region}/done.txt",
            "results/regions/{region}/undesirable.txt",
            "results/regions/{region}/maf_processed.txt",
            "results/regions/{region}/run_log.txt",
            joined_tables("{region}"),
        output:
            "results/regions/{region}/ld_plot.png",
        benchmark:
            "results/benchmarks/ld_plot/{region}.tsv"
        params:
            python=sys.executable,
            script=os.path.join(workflow.basedir, "scripts", "ld_plot.py"),
        threads: 1
        resources:
            mem_mb=512,
        # The command a user runs by hand on a region folder.
        shell:
            "{params.python} {params.script} results/regions/{wildcards.region} {output} > /dev/null"


rule overview:
    """Every region along the chromosomes."""
    input:
        summary=MERGED["summary"],
        regions="results/regions.tsv",
    output:
        "results/overview.png",
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
        plots=in_every_region("ld_plot.png") if config["plots"] else [],
    output:
        "results/report.html",
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
