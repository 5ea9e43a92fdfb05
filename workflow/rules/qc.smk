# Quality control per chromosome.


rule excluded_names:
    """SNPs whose names cannot pass through the programs: missing ("."),
    given more than once in the genotypes, or longer than ldprune stores."""
    input:
        bims=[prefix + ".bim" for prefix in inputs.filesets(config)],
    output:
        report="results/qc/excluded_names.tsv",
        names="results/qc/excluded_names.txt",
    benchmark:
        "results/benchmarks/excluded_names.tsv"
    threads: 1
    resources:
        mem_mb=512,
    script:
        "../scripts/exclude_names.py"


rule qc:
    """PLINK's filters on one chromosome, without the excluded names."""
    input:
        bfile=lambda w: [SETUP.chromosomes[w.chrom].fileset + ext for ext in (".bed", ".bim", ".fam")],
        exclude="results/qc/excluded_names.txt",
    output:
        multiext("results/qc/chr{chrom}", ".bed", ".bim", ".fam"),
    log:
        "results/qc/chr{chrom}.log",
    params:
        args=lambda w, input: " ".join(
            ["--bfile", shlex.quote(SETUP.chromosomes[w.chrom].fileset), "--chr", SETUP.chromosomes[w.chrom].code]
            + (["--maf", str(config["min_maf"])] if config["min_maf"] > 0 else [])
            + (["--geno", str(config["max_missing"])] if config["max_missing"] < 1 else [])
            + (["--hwe", str(config["hwe_p"])] if config["hwe_p"] is not None else [])
            + ["--make-bed"]
        ),
        memory=plink_memory(256),
    benchmark:
        "results/benchmarks/qc/chr{chrom}.tsv"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "if [ -s {input.exclude} ]; then exclude='--exclude {input.exclude}'; else exclude=; fi; "
        + plink_shell("results/qc/chr{wildcards.chrom}", "$exclude")


rule qc_report:
    """SNPs in and out of quality control per chromosome, and list names that
    are not in the genotypes or did not pass."""
    input:
        raw=[prefix + ".bim" for prefix in inputs.filesets(config)],
        excluded="results/qc/excluded_names.tsv",
        passed=expand("results/qc/chr{chrom}.bim", chrom=CHROMOSOMES),
    output:
        report="results/qc/report.tsv",
        warnings="results/qc/warnings.txt",
    params:
        chromosomes=[(c.label, c.code) for c in SETUP.chromosomes.values()],
    benchmark:
        "results/benchmarks/qc_report.tsv"
    threads: 1
    resources:
        mem_mb=512,
    script:
        "../scripts/qc_report.py"
