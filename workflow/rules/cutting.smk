# Each chromosome cut into regions of at most max_snps SNPs, where the fewest
# tagging pairs cross; then one table of every region, the checkpoint after
# which the regions' jobs are known.


rule cut_chromosome:
    """PLINK's windowed scan gives the pairs that could share a region (at
    most max_snps - 1 SNPs apart) and may tag (r² at least the lowest
    threshold), with populations a scan in each; the cuts go where the
    fewest such pairs cross. The scans' tables are large and are deleted at
    once unless intermediates are kept."""
    input:
        fileset=multiext(paths.QC_FILESET, ".bed", ".bim", ".fam"),
        thresholds=listed("thresholds_file"),
        populations=paths.POPULATIONS_TABLE,
        samples=population_lists,
    output:
        regions=paths.CHROMOSOME_REGIONS,
        pairs=paths.CHROMOSOME_PAIRS,
    log:
        paths.log("cut_chromosome", "chr{chrom}"),
    params:
        python=PYTHON,
        script=script_path("cut_chromosome.py"),
        fileset=lambda wildcards, input: input.fileset[0][: -len(".bed")],
        max_snps=config["max_snps"],
        threshold=config["threshold"],
        window_r2=SETUP.min_threshold * (1 - 1e-6),
        keep="--keep" if KEEP else "",
        plink=config["plink"],
        memory=plink_memory(512),
    benchmark:
        f"{paths.BENCHMARKS}/cut_chromosome/chr{{chrom}}.tsv"
    threads: 2
    resources:
        mem_mb=512,
    shell:
        "{params.python:q} {params.script:q} --fileset {params.fileset:q} --chromosome {wildcards.chrom} "
        "--max-snps {params.max_snps} --window-r2 {params.window_r2} --threshold {params.threshold} "
        "--thresholds {input.thresholds:q} --populations {input.populations:q} --regions {output.regions:q} "
        "--pairs {output.pairs:q} "
        "--plink {params.plink:q} --threads {threads} --memory {params.memory} --log {log:q} {params.keep}"


checkpoint regions_table:
    """The regions of every chromosome, and the tagging pairs crossing each
    region's end."""
    input:
        regions=expand(paths.CHROMOSOME_REGIONS, chrom=CHROMOSOMES),
        pairs=expand(paths.CHROMOSOME_PAIRS, chrom=CHROMOSOMES),
    output:
        regions=paths.REGIONS,
        pairs=paths.CUT_PAIRS,
    log:
        paths.log("regions_table"),
    benchmark:
        f"{paths.BENCHMARKS}/regions_table.tsv"
    threads: 1
    resources:
        mem_mb=64,
    shell:
        "(awk 'FNR > 1 || NR == 1' {input.regions:q} > {output.regions:q}.partial && "
        "awk 'FNR > 1 || NR == 1' {input.pairs:q} > {output.pairs:q}.partial && "
        "mv {output.pairs:q}.partial {output.pairs:q} && mv {output.regions:q}.partial {output.regions:q}) 2> {log:q}"


localrules:
    regions_table,
