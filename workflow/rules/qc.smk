# Quality control per chromosome and the windowed LD scan that places the cuts.


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
            ["--bfile", SETUP.chromosomes[w.chrom].fileset, "--chr", SETUP.chromosomes[w.chrom].code]
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


rule window_ld:
    """r² of the pairs that could share a region and that may tag: at most
    max_snps - 1 SNPs apart, r² at least the lowest threshold."""
    input:
        multiext("results/qc/chr{chrom}", ".bed", ".bim", ".fam"),
    output:
        intermediate("results/qc/chr{chrom}.window.ld"),
    log:
        "results/qc/chr{chrom}.window.log",
    params:
        args=lambda w: "--bfile results/qc/chr%s --r2 --ld-window %d --ld-window-kb 1000000 --ld-window-r2 %r"
        % (w.chrom, config["max_snps"], SETUP.min_threshold * (1 - 1e-6)),
        memory=plink_memory(512),
    benchmark:
        "results/benchmarks/window_ld/chr{chrom}.tsv"
    threads: 2
    resources:
        mem_mb=512,
    shell:
        plink_shell("results/qc/chr{wildcards.chrom}.window")


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
