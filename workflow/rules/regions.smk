# Each chromosome cut into regions of at most max_snps SNPs.


checkpoint cut_regions:
    """Places the cuts of one chromosome where the fewest tagging pairs cross:
    PLINK's windowed scan gives the pairs that could share a region (at most
    max_snps - 1 SNPs apart) and may tag (r² at least the lowest threshold),
    then cut_regions.py places the cuts. The scan's table is large and is
    deleted at once unless intermediates are kept; it is made and read in one
    job, since Snakemake keeps a checkpoint's temporary inputs."""
    input:
        multiext("results/qc/chr{chrom}", ".bed", ".bim", ".fam"),
        thresholds=[config["thresholds_file"]] if config["thresholds_file"] else [],
    output:
        regions="results/qc/chr{chrom}.regions.tsv",
        pairs="results/qc/chr{chrom}.cut_pairs.tsv",
    log:
        "results/qc/chr{chrom}.window.log",
    params:
        args=lambda w: "--bfile results/qc/chr%s --r2 --ld-window %d --ld-window-kb 1000000 --ld-window-r2 %r"
        % (w.chrom, config["max_snps"], SETUP.min_threshold * (1 - 1e-6)),
        memory=plink_memory(512),
        python=sys.executable,
        script=os.path.join(workflow.basedir, "scripts", "cut_regions.py"),
        thresholds="--thresholds " + shlex.quote(config["thresholds_file"]) if config["thresholds_file"] else "",
    benchmark:
        "results/benchmarks/cut_regions/chr{chrom}.tsv"
    threads: 2
    resources:
        mem_mb=512,
    # PLINK writes no table for a chromosome of one SNP: it has no pairs.
    shell:
        plink_shell("results/qc/chr{wildcards.chrom}.window")
        + "; table=results/qc/chr{wildcards.chrom}.window.ld; touch $table; "
        "{params.python} {params.script} --bim results/qc/chr{wildcards.chrom}.bim --ld $table "
        "--threshold {config[threshold]} {params.thresholds} --max-snps {config[max_snps]} "
        "--chromosome {wildcards.chrom} --regions {output.regions} --pairs {output.pairs}; "
        + ("" if config["keep_intermediate"] else "rm $table")


rule regions_table:
    """The regions of every chromosome, and the tagging pairs crossing each
    region's end."""
    input:
        regions=expand("results/qc/chr{chrom}.regions.tsv", chrom=CHROMOSOMES),
        pairs=expand("results/qc/chr{chrom}.cut_pairs.tsv", chrom=CHROMOSOMES),
    output:
        regions="results/regions.tsv",
        pairs="results/cut_pairs.tsv",
    benchmark:
        "results/benchmarks/regions_table.tsv"
    threads: 1
    resources:
        mem_mb=64,
    shell:
        "awk 'FNR > 1 || NR == 1' {input.regions} > {output.regions} && "
        "awk 'FNR > 1 || NR == 1' {input.pairs} > {output.pairs}"
