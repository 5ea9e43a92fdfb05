# Genome-wide tables from every region.


rule merge_results:
    """The genome-wide tables, read a region at a time."""
    input:
        regions=paths.REGIONS,
        populations=paths.POPULATIONS_TABLE,
        qc_warnings=paths.QC_WARNINGS,
        tables=in_every_region(*[f"{method}_output.txt" for method in METHODS]),
        tag_r2=in_every_region("tag_r2.tsv"),
        coverage=in_every_region("coverage.tsv"),
        maf=in_every_region("maf.txt"),
        processed=in_every_region("maf_processed.txt"),
        run_log=in_every_region("run_log.txt"),
        logs=every_region_log,
    output:
        **MERGED,
    log:
        paths.log("merge_results"),
    params:
        python=PYTHON,
        script=script_path("merge_results.py"),
        methods=METHODS,
        outputs=key_files(MERGED),
    benchmark:
        f"{paths.BENCHMARKS}/merge_results.tsv"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "{params.python:q} {params.script:q} --regions {input.regions:q} --qc-warnings {input.qc_warnings:q} "
        "--populations {input.populations:q} --methods {params.methods} --outputs {params.outputs:q} --log {log:q}"


localrules:
    merge_results,
