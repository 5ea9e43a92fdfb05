# Quality control per chromosome.


rule excluded_names:
    """SNPs whose names cannot pass through the programs: missing ("."),
    given more than once in the genotypes, or longer than ldprune stores."""
    input:
        bims=all_bims,
    output:
        report="results/qc/excluded_names.tsv",
        names="results/qc/excluded_names.txt",
    log:
        "results/qc/excluded_names.log",
    params:
        python=sys.executable,
        script=script_path("exclude_names.py"),
    benchmark:
        "results/benchmarks/excluded_names.tsv"
    threads: 1
    resources:
        mem_mb=512,
    shell:
        "{params.python:q} {params.script:q} --report {output.report:q} --names {output.names:q} {input.bims:q} "
        "2> {log:q}"


rule qc:
    """PLINK's filters on one chromosome, without the excluded names."""
    input:
        genotypes=genotype_files,
        exclude="results/qc/excluded_names.txt",
    output:
        multiext("results/qc/chr{chrom}", ".bed", ".bim", ".fam"),
    log:
        "results/qc/chr{chrom}.log",
    params:
        script=script_path("plink_whole.sh"),
        plink=config["plink"],
        fileset=chromosome_fileset,
        code=chromosome_code,
        filters=" ".join(
            (["--maf", str(config["min_maf"])] if config["min_maf"] > 0 else [])
            + (["--geno", str(config["max_missing"])] if config["max_missing"] < 1 else [])
            + (["--hwe", str(config["hwe_p"])] if config["hwe_p"] is not None else [])
        ),
        memory=plink_memory(256),
    benchmark:
        "results/benchmarks/qc/chr{chrom}.tsv"
    threads: 1
    resources:
        mem_mb=256,
    # PLINK writes its log itself, as results/qc/chr{chrom}.log.
    shell:
        "exclude=(); if [ -s {input.exclude:q} ]; then exclude=(--exclude {input.exclude:q}); fi; "
        "{params.script:q} results/qc/chr{wildcards.chrom} bed,bim,fam {params.plink:q} --bfile {params.fileset:q} "
        "--chr {params.code:q} {params.filters} \"${{exclude[@]}}\" --make-bed --allow-no-sex --threads {threads} "
        "--memory {params.memory}"


rule qc_report:
    """SNPs in and out of quality control per chromosome, and list names that
    are not in the genotypes or did not pass."""
    input:
        raw=all_bims,
        excluded="results/qc/excluded_names.tsv",
        passed=expand("results/qc/chr{chrom}.bim", chrom=CHROMOSOMES),
    output:
        report="results/qc/report.tsv",
        warnings="results/qc/warnings.txt",
    log:
        "results/qc/report.log",
    params:
        python=sys.executable,
        script=script_path("qc_report.py"),
        chromosomes=CHROMOSOMES,
        lists=list_options,
    benchmark:
        "results/benchmarks/qc_report.tsv"
    threads: 1
    resources:
        mem_mb=512,
    shell:
        "{params.python:q} {params.script:q} --raw {input.raw:q} --excluded {input.excluded:q} "
        "--passed {input.passed:q} --chromosomes {params.chromosomes:q} {params.lists} "
        "--report {output.report:q} --warnings {output.warnings:q} 2> {log:q}"


localrules:
    excluded_names,
    qc_report,
