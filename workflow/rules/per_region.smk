# Each region, in results/regions/<region>/, as two jobs: the chain up to
# ldprune, then the clustering, the joiners and the coverage. Neither leaves a
# half-written file under an output's name when it is killed, and each leaves
# its last output (run_log.txt, coverage.tsv) missing until all its steps have
# succeeded, so that a rerun redoes it; a failed step is named with its
# region. On a cluster, a region's jobs (with its LD plot) go to the scheduler
# as one submission.


rule prepare_region:
    """PLINK's r² and allele frequencies of the region's SNPs, ldprep's six
    ldprune inputs, and ldprune (scripts/prepare_region.sh)."""
    input:
        unpack(region_genotypes),
        lists=list_files,
    output:
        ld=until_clustered("results/regions/{region}/plink.ld.bin"),
        bim="results/regions/{region}/plink.bim",
        freq="results/regions/{region}/plink.frq",
        snps="results/regions/{region}/SNP_names.data",
        maf="results/regions/{region}/maf.txt",
        weight="results/regions/{region}/weight.txt",
        done="results/regions/{region}/done.txt",
        undesirable="results/regions/{region}/undesirable.txt",
        processed=until_clustered("results/regions/{region}/ld_processed.txt"),
        maf_processed="results/regions/{region}/maf_processed.txt",
        run_log="results/regions/{region}/run_log.txt",
        kept=kept_intermediates(),
    log:
        plink="results/regions/{region}/plink.log",
        ldprep="results/regions/{region}/ldprep.log",
        ldprune="results/regions/{region}/ldprune.log",
    params:
        script=script_path("prepare_region.sh"),
        arguments=prepare_arguments,
    benchmark:
        "results/benchmarks/prepare_region/{region}.tsv"
    group:
        "region"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "{params.script:q} --region {wildcards.region} --folder results/regions/{wildcards.region} "
        "--threads {threads} {params.arguments}"


rule cluster_region:
    """The clustering program, the joiners and the coverage of each method's
    tags (scripts/cluster_region.sh)."""
    input:
        processed="results/regions/{region}/ld_processed.txt",
        maf_processed="results/regions/{region}/maf_processed.txt",
        ld="results/regions/{region}/plink.ld.bin",
        snps="results/regions/{region}/SNP_names.data",
        maf="results/regions/{region}/maf.txt",
        weight="results/regions/{region}/weight.txt",
        results=[] if CLUSTERING else result_files("{region}"),
    output:
        results=result_files("{region}") if CLUSTERING else [],
        tables=joined_tables("{region}"),
        coverage="results/regions/{region}/coverage.tsv",
    log:
        clustering=clustering_log("{region}"),
        joiners=joiner_logs("{region}"),
    params:
        script=script_path("cluster_region.sh"),
        arguments=cluster_arguments,
    benchmark:
        "results/benchmarks/cluster_region/{region}.tsv"
    group:
        "region"
    threads: 1 if BUILTIN or not CLUSTERING else config["clustering_threads"]
    resources:
        mem_mb=128 if BUILTIN or not CLUSTERING else config["clustering_mem_mb"],
    shell:
        "{params.script:q} --region {wildcards.region} --folder results/regions/{wildcards.region} "
        "{params.arguments}"
