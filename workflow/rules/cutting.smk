# Each chromosome cut into regions of at most max_snps SNPs, where the fewest
# tagging pairs cross; then one table of every region, the checkpoint after
# which the regions' jobs are known.


rule cut_chromosome:
    """PLINK's windowed scan gives the pairs that could share a region (at
    most max_snps - 1 SNPs apart) and may tag (r² at least the lowest
    threshold); cut_regions.py places the cuts. The scan's table is large and
    is deleted at once unless intermediates are kept."""
    input:
        bed="results/qc/chr{chrom}.bed",
        bim="results/qc/chr{chrom}.bim",
        fam="results/qc/chr{chrom}.fam",
        thresholds=thresholds_files,
    output:
        regions="results/qc/chr{chrom}.regions.tsv",
        pairs="results/qc/chr{chrom}.cut_pairs.tsv",
    log:
        "results/qc/chr{chrom}.window.log",
    params:
        plink_whole=script_path("plink_whole.sh"),
        plink=config["plink"],
        window_r2=SETUP.min_threshold * (1 - 1e-6),
        memory=plink_memory(512),
        python=sys.executable,
        cut=script_path("cut_regions.py"),
        thresholds=thresholds_option,
        threshold=config["threshold"],
        max_snps=config["max_snps"],
        keep="true" if KEEP else "false",
    benchmark:
        "results/benchmarks/cut_chromosome/chr{chrom}.tsv"
    threads: 2
    resources:
        mem_mb=512,
    # PLINK writes its log itself, and no table for a chromosome of one SNP.
    shell:
        "{params.plink_whole:q} results/qc/chr{wildcards.chrom}.window 'ld?' {params.plink:q} "
        "--bfile results/qc/chr{wildcards.chrom} --r2 --ld-window {params.max_snps} --ld-window-kb 1000000 "
        "--ld-window-r2 {params.window_r2} --allow-no-sex --threads {threads} --memory {params.memory} && "
        "{params.python:q} {params.cut:q} --bim {input.bim:q} --ld results/qc/chr{wildcards.chrom}.window.ld "
        "--threshold {params.threshold} {params.thresholds} --max-snps {params.max_snps} "
        "--chromosome {wildcards.chrom} --regions {output.regions:q} --pairs {output.pairs:q} >> {log:q} 2>&1; "
        "status=$?; {params.keep} || rm -f results/qc/chr{wildcards.chrom}.window.ld; exit $status"


checkpoint regions_table:
    """The regions of every chromosome, and the tagging pairs crossing each
    region's end."""
    input:
        regions=expand("results/qc/chr{chrom}.regions.tsv", chrom=CHROMOSOMES),
        pairs=expand("results/qc/chr{chrom}.cut_pairs.tsv", chrom=CHROMOSOMES),
    output:
        regions="results/regions.tsv",
        pairs="results/cut_pairs.tsv",
    log:
        "results/regions.log",
    benchmark:
        "results/benchmarks/regions_table.tsv"
    threads: 1
    resources:
        mem_mb=64,
    shell:
        "(awk 'FNR > 1 || NR == 1' {input.regions:q} > {output.regions:q}.partial && "
        "awk 'FNR > 1 || NR == 1' {input.pairs:q} > {output.pairs:q}.partial && "
        "mv {output.pairs:q}.partial {output.pairs:q} && mv {output.regions:q}.partial {output.regions:q}) 2> {log:q}"


localrules:
    regions_table,
