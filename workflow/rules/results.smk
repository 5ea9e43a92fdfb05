# Genome-wide tables from every region.


rule merge:
    """The genome-wide tables, read a region at a time."""
    input:
        regions="results/regions.tsv",
        qc_warnings="results/qc/warnings.txt",
        tables=in_every_region(*[f"{method}_output.txt" for method in METHODS]),
        coverage=in_every_region("coverage.tsv"),
        maf=in_every_region("maf.txt"),
        processed=in_every_region("maf_processed.txt"),
        run_log=in_every_region("run_log.txt"),
    output:
        **MERGED,
    log:
        "results/merge.log",
    params:
        python=sys.executable,
        script=script_path("merge_results.py"),
        methods=METHODS,
        populations=f"--populations {' '.join(quoted(p) for p in POPULATIONS)}" if POPULATIONS else "",
        out=[f"{key}={path}" for key, path in MERGED.items()],
    benchmark:
        "results/benchmarks/merge.tsv"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "{params.python:q} {params.script:q} --regions {input.regions:q} --qc-warnings {input.qc_warnings:q} "
        "--methods {params.methods:q} {params.populations} --out {params.out:q} 2> {log:q}"


localrules:
    merge,
