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
        ld=processed_table("results/regions/{region}/plink.ld.bin"),
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


if BUILTIN:

    rule cluster:
        """ldcluster, in the region's folder."""
        input:
            "results/regions/{region}/ld_processed.txt",
            "results/regions/{region}/maf_processed.txt",
        output:
            ["results/regions/{region}/Zentavor.result." + kind for kind in RESULT_KINDS],
        log:
            "results/regions/{region}/ldcluster.log",
        params:
            chromosome=lambda w: chromosome_of(w.region),
        benchmark:
            "results/benchmarks/cluster/{region}.tsv"
        threads: 1
        resources:
            mem_mb=128,
        shell:
            "cd results/regions/{wildcards.region}; ldcluster --time-limit {config[minimum_time_limit]} "
            "--chromosome {params.chromosome} 2> ldcluster.log " + on_failure("ldcluster.log")

elif CLUSTERING:

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


# The Minimum result is in the Greedy layout: memberjoin1 joins it in a
# folder of its own, under the Greedy names.
JOIN_MINIMUM = (
    "; mkdir -p minimum && ln -sf ../Zentavor.result.Minimum.members.txt minimum/Zentavor.result.Greedy.members.txt"
    " && ln -sf ../Zentavor.result.Minimum.out minimum/Zentavor.result.Greedy.out"
    " && (cd minimum && memberjoin1 > /dev/null 2> ../memberjoin1_minimum.log) "
    + on_failure("memberjoin1_minimum.log")
    + "; mv minimum/greedy_output.txt minimum_output.txt && rm -r minimum"
)


rule join:
    """The joiners; what they echo is dropped."""
    input:
        ["results/regions/{region}/Zentavor.result." + kind for kind in RESULT_KINDS],
    output:
        ["results/regions/{region}/%s_output.txt" % method for method in METHODS],
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
        + (JOIN_MINIMUM if BUILTIN else "")


rule coverage:
    """How well each method's tags capture the region's SNPs, from PLINK's r²."""
    input:
        "results/regions/{region}/plink.ld.bin",
        "results/regions/{region}/SNP_names.data",
        "results/regions/{region}/maf.txt",
        "results/regions/{region}/weight.txt",
        tables=["results/regions/{region}/%s_output.txt" % method for method in METHODS],
    output:
        "results/regions/{region}/coverage.tsv",
    benchmark:
        "results/benchmarks/coverage/{region}.tsv"
    params:
        python=sys.executable,
        script=os.path.join(workflow.basedir, "scripts", "coverage.py"),
        methods=" ".join(METHODS),
    threads: 1
    resources:
        mem_mb=128,
    shell:
        "{params.python} {params.script:q} results/regions/{wildcards.region} {output} {params.methods}"
