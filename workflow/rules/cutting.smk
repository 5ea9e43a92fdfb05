# Each chromosome cut into regions of at most max_snps SNPs, where the fewest
# tagging pairs cross; then one table of every region, the checkpoint after
# which the regions' jobs are known.


rule cut_chromosome:
    """PLINK's windowed scan gives the pairs that could share a region (at
    most max_snps - 1 SNPs apart) and may tag (r² at least the lowest
    threshold), with populations a scan in each; cut_regions.py places the
    cuts (scripts/cut_chromosome.sh). The scans' tables are large and are
    deleted at once unless intermediates are kept."""
    input:
        bed="results/qc/chr{chrom}.bed",
        bim="results/qc/chr{chrom}.bim",
        fam="results/qc/chr{chrom}.fam",
        thresholds=thresholds_files,
        populations=window_inputs,
    output:
        regions="results/qc/chr{chrom}.regions.tsv",
        pairs="results/qc/chr{chrom}.cut_pairs.tsv",
    log:
        "results/qc/chr{chrom}.window.log" if not POPULATIONS else "results/qc/chr{chrom}.cut.log",
    params:
        script=script_path("cut_chromosome.sh"),
        plink=config["plink"],
        window_r2=SETUP.min_threshold * (1 - 1e-6),
        memory=plink_memory(512),
        python=sys.executable,
        cut=script_path("cut_regions.py"),
        thresholds=thresholds_option,
        threshold=config["threshold"],
        max_snps=config["max_snps"],
        keep="--keep" if KEEP else "",
        populations=population_windows,
    benchmark:
        "results/benchmarks/cut_chromosome/chr{chrom}.tsv"
    threads: 2
    resources:
        mem_mb=512,
    # PLINK writes its logs itself (results/qc/chr{chrom}.window[.<population>].log);
    # cut_regions.py's messages are added to the rule's log when PLINK is done.
    shell:
        "{params.script:q} --fileset results/qc/chr{wildcards.chrom} --out results/qc/chr{wildcards.chrom}.window "
        "--plink {params.plink:q} --max-snps {params.max_snps} --window-r2 {params.window_r2} --threads {threads} "
        "--memory {params.memory} --python {params.python:q} --cut {params.cut:q} --threshold {params.threshold} "
        "{params.thresholds} --chromosome {wildcards.chrom} --regions {output.regions:q} --pairs {output.pairs:q} "
        "--log {log:q} {params.keep} {params.populations}"


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
