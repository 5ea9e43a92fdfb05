# One region, in results/regions/<region>/: PLINK's r² and allele
# frequencies, the six ldprune inputs, ldprune, the clustering program and
# both joiners. Programs run in the region's folder; their warnings go to a
# log there, and errors to the screen as well.


def on_failure(log):
    """Shell text that shows a failed program's messages on the screen."""
    return "|| {{ cat " + log + " >&2; exit 1; }}"


rule region_ld:
    """PLINK's r² for every pair of the region's SNPs, with their .bim lines
    and allele frequencies, all in the same order."""
    input:
        bfile=lambda w: multiext("results/qc/chr" + chromosome_of(w.region), ".bed", ".bim", ".fam"),
        regions=lambda w: checkpoints.cut_regions.get(chrom=chromosome_of(w.region)).output.regions,
    output:
        ld=intermediate("results/regions/{region}/plink.ld.bin"),
        bim="results/regions/{region}/plink.bim",
        freq="results/regions/{region}/plink.frq",
    log:
        "results/regions/{region}/plink.log",
    params:
        args=lambda w: "--bfile results/qc/chr{chrom} --from {first_snp} --to {last_snp} --r2 square bin --freq "
        "--make-just-bim".format(chrom=chromosome_of(w.region), **region_row(w.region)),
        memory=plink_memory(256),
    benchmark:
        "results/benchmarks/region_ld/{region}.tsv"
    threads: 2
    resources:
        mem_mb=256,
    shell:
        plink_shell("results/regions/{wildcards.region}/plink")


rule ldprep:
    """The six ldprune inputs."""
    input:
        ld="results/regions/{region}/plink.ld.bin",
        bim="results/regions/{region}/plink.bim",
        freq="results/regions/{region}/plink.frq",
        lists=[config[k] for k in inputs.LIST_KEYS if config[k] is not None],
    output:
        "results/regions/{region}/SNP_names.data",
        intermediate("results/regions/{region}/ld.txt"),
        "results/regions/{region}/maf.txt",
        "results/regions/{region}/weight.txt",
        "results/regions/{region}/done.txt",
        "results/regions/{region}/undesirable.txt",
    log:
        "results/regions/{region}/ldprep.log",
    params:
        lists=" ".join(
            "--%s %s" % (option, abspath_or_none(key))
            for option, key in (("thresholds", "thresholds_file"), ("done", "done_file"), ("undesirable", "undesirable_file"))
            if config[key] is not None
        ),
    benchmark:
        "results/benchmarks/ldprep/{region}.tsv"
    threads: 1
    resources:
        mem_mb=64,
    shell:
        "cd results/regions/{wildcards.region}; ldprep --bim plink.bim --freq plink.frq --ld plink.ld.bin "
        "--threshold {config[threshold]} {params.lists} 2> ldprep.log " + on_failure("ldprep.log")


rule ldprune:
    """ldprune, and its run log without the matrix dumps, which is kept."""
    input:
        rules.ldprep.output,
    output:
        processed=processed_table("results/regions/{region}/ld_processed.txt"),
        maf="results/regions/{region}/maf_processed.txt",
        run_log=intermediate("results/regions/{region}/ld_processed_temp.txt"),
        head="results/regions/{region}/run_log.txt",
    log:
        "results/regions/{region}/ldprune.log",
    benchmark:
        "results/benchmarks/ldprune/{region}.tsv"
    threads: 2
    resources:
        mem_mb=64,
    shell:
        "cd results/regions/{wildcards.region}; ldprune 2> ldprune.log " + on_failure("ldprune.log") + "; "
        "sed -n '/^$/q;p' ld_processed_temp.txt > run_log.txt"


if CLUSTERING:

    rule cluster:
        """The clustering command, in the region's folder."""
        input:
            "results/regions/{region}/ld_processed.txt",
            "results/regions/{region}/maf_processed.txt",
        output:
            ["results/regions/{region}/Zentavor.result." + kind for kind in RESULT_KINDS],
        log:
            "results/regions/{region}/clustering.log",
        params:
            command=config["clustering_command"],
        benchmark:
            "results/benchmarks/cluster/{region}.tsv"
        threads: config["clustering_threads"]
        resources:
            mem_mb=config["clustering_mem_mb"],
        shell:
            "{workflow.basedir}/scripts/run_clustering.sh {wildcards.region} results/regions/{wildcards.region} "
            "{params.command:q}"


rule join:
    """Both joiners; what they echo is dropped."""
    input:
        ["results/regions/{region}/Zentavor.result." + kind for kind in RESULT_KINDS],
    output:
        greedy="results/regions/{region}/greedy_output.txt",
        minimax="results/regions/{region}/minimax_output.txt",
    log:
        greedy="results/regions/{region}/memberjoin1.log",
        minimax="results/regions/{region}/memberjoin2.log",
    benchmark:
        "results/benchmarks/join/{region}.tsv"
    threads: 1
    resources:
        mem_mb=32,
    shell:
        "cd results/regions/{wildcards.region}; "
        "memberjoin1 > /dev/null 2> memberjoin1.log " + on_failure("memberjoin1.log") + "; "
        "memberjoin2 > /dev/null 2> memberjoin2.log " + on_failure("memberjoin2.log")
