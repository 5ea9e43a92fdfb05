# Each chromosome cut into regions of at most max_snps SNPs.


checkpoint cut_regions:
    """Places the cuts of one chromosome where the fewest tagging pairs cross."""
    input:
        bim="results/qc/chr{chrom}.bim",
        ld="results/qc/chr{chrom}.window.ld",
        thresholds=[config["thresholds_file"]] if config["thresholds_file"] else [],
    output:
        regions="results/qc/chr{chrom}.regions.tsv",
        pairs="results/qc/chr{chrom}.cut_pairs.tsv",
    params:
        thresholds_file=config["thresholds_file"],
        threshold=config["threshold"],
        max_snps=config["max_snps"],
    benchmark:
        "results/benchmarks/cut_regions/chr{chrom}.tsv"
    threads: 1
    resources:
        mem_mb=1024,
    script:
        "../scripts/cut_regions.py"


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
