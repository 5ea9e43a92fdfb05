# Each region, in results/regions/<region>/, as two jobs: the chain up to
# ldprune, then the clustering, the joiners and the coverage. With
# populations, the chain up to ldprune runs per population, in
# results/regions/<region>/<population>/, on its samples and the SNPs that
# vary there; one clustering job chooses the tags of all of them. Neither leaves a
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
        population=population_inputs,
    output:
        ld=until_clustered(f"{FOLDER}/plink.ld.bin"),
        bim=f"{FOLDER}/plink.bim",
        freq=f"{FOLDER}/plink.frq",
        snps=f"{FOLDER}/SNP_names.data",
        maf=f"{FOLDER}/maf.txt",
        weight=f"{FOLDER}/weight.txt",
        done=f"{FOLDER}/done.txt",
        undesirable=f"{FOLDER}/undesirable.txt",
        processed=until_clustered(f"{FOLDER}/ld_processed.txt"),
        maf_processed=f"{FOLDER}/maf_processed.txt",
        run_log=f"{FOLDER}/run_log.txt",
        kept=kept_intermediates(),
    log:
        plink=f"{FOLDER}/plink.log",
        ldprep=f"{FOLDER}/ldprep.log",
        ldprune=f"{FOLDER}/ldprune.log",
    params:
        script=script_path("prepare_region.sh"),
        arguments=prepare_arguments,
        folder=FOLDER,
    benchmark:
        (
            "results/benchmarks/prepare_region/{region}/{population}.tsv"
            if POPULATIONS
            else "results/benchmarks/prepare_region/{region}.tsv"
        )
    group:
        "region"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "{params.script:q} --region {wildcards.region} --folder {params.folder:q} --threads {threads} "
        "{params.arguments}"


rule cluster_region:
    """The clustering program, the joiners and the coverage of each method's
    tags (scripts/cluster_region.sh)."""
    input:
        processed=region_files("ld_processed.txt"),
        maf_processed=region_files("maf_processed.txt"),
        ld=region_files("plink.ld.bin"),
        snps=region_files("SNP_names.data"),
        maf=region_files("maf.txt"),
        weight=region_files("weight.txt"),
        results=[] if CLUSTERING else result_files("{region}"),
    output:
        results=result_files("{region}") if CLUSTERING else [],
        tables=joined_tables("{region}"),
        coverage=region_files("coverage.tsv"),
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
