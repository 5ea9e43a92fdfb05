# Each region, in results/regions/<region>/, as two jobs: the chain up to
# ldprune, then the clustering, the joiners and the coverage. With
# populations, the chain up to ldprune runs per population, in
# results/regions/<region>/<population>/, on its samples and the SNPs that
# vary there; one clustering job chooses the tags of all of them. Neither
# leaves a half-written file under an output's name when it is killed, and
# each leaves its last output (run_log.txt, coverage.tsv) missing until all
# its steps have succeeded, so that a rerun redoes it; a failed step is named
# with its region. The programs' messages are in logs/regions/<region>/. On a
# cluster, a region's jobs (with its LD plot) go to the scheduler as one
# submission.


rule prepare_region:
    """PLINK's r² and allele frequencies of the region's SNPs, ldprep's six
    ldprune inputs, and ldprune."""
    input:
        unpack(population_inputs),
        fileset=region_fileset,
        regions=paths.REGIONS,
        thresholds=listed("thresholds_file"),
        done=listed("done_file"),
        undesirable=listed("undesirable_file"),
    output:
        **prepared_outputs(),
        kept=kept_intermediates(),
    log:
        plink=f"{FOLDER_LOGS}/plink.log",
        ldprep=f"{FOLDER_LOGS}/ldprep.log",
        ldprune=f"{FOLDER_LOGS}/ldprune.log",
    params:
        python=PYTHON,
        script=script_path("prepare_region.py"),
        logs=lambda wildcards: FOLDER_LOGS.format(**wildcards),
        bfile=lambda wildcards, input: input.fileset[0][: -len(".bed")],
        threshold=config["threshold"],
        population=population_options,
        plink=config["plink"],
        memory=plink_memory(256),
    benchmark:
        f"{paths.BENCHMARKS}/prepare_region/{{region}}/{{population}}.tsv"
        if POPULATIONS
        else f"{paths.BENCHMARKS}/prepare_region/{{region}}.tsv"
    group:
        "region"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "{params.python:q} {params.script:q} --region {wildcards.region} --logs {params.logs:q} "
        "--bfile {params.bfile:q} --regions {input.regions:q} --plink {params.plink:q} --threads {threads} "
        "--memory {params.memory} --threshold {params.threshold} "
        "--thresholds {input.thresholds:q} --done {input.done:q} --undesirable {input.undesirable:q} "
        "{params.population} --outputs {output:q}"


rule cluster_region:
    """The clustering program, the joiners and the coverage of each method's
    tags."""
    input:
        processed=region_files("ld_processed.txt"),
        maf_processed=region_files("maf_processed.txt"),
        ld=region_files("plink.ld.bin"),
        snps=region_files("SNP_names.data"),
        maf=region_files("maf.txt"),
        weight=region_files("weight.txt"),
        results=[] if CLUSTERING else result_files("{region}"),
        populations=paths.POPULATIONS_TABLE,
    output:
        results=result_files("{region}") if CLUSTERING else [],
        tables=joined_tables("{region}"),
        tag_r2=region_files("tag_r2.tsv"),
        order=[f"{paths.REGION}/coverage_order.tsv"] if BUILTIN else [],
        curve=region_files("capture_rank.tsv", "needed.txt") if BUILTIN else [],
        tagging=region_files("tagging_pairs.txt", "tagging_r2.tsv") if BUDGET else [],
        coverage=region_files("coverage.tsv"),
    log:
        clustering=clustering_log("{region}"),
        joiners=joiner_logs("{region}"),
    params:
        python=PYTHON,
        script=script_path("cluster_region.py"),
        folder=lambda wildcards: paths.region_folder(wildcards.region),
        logs=lambda wildcards: paths.region_logs(wildcards.region),
        methods=METHODS,
        clustering=clustering_options,
        budget="--budget" if BUDGET else "",
    benchmark:
        f"{paths.BENCHMARKS}/cluster_region/{{region}}.tsv"
    group:
        "region"
    threads: 1 if BUILTIN or not CLUSTERING else config["clustering_threads"]
    resources:
        mem_mb=128 if BUILTIN or not CLUSTERING else config["clustering_mem_mb"],
    shell:
        "{params.python:q} {params.script:q} --region {wildcards.region} --folder {params.folder:q} "
        "--logs {params.logs:q} --methods {params.methods} {params.clustering} --populations {input.populations:q} "
        "{params.budget}"
