# The genotypes from VCF, the populations and their people, and quality
# control per chromosome: of all samples as one, or with populations, of each
# population's samples.


rule vcf_import:
    """A VCF as a PLINK fileset; what the conversion left out or named, for
    the warnings."""
    input:
        vcf=lambda wildcards: VCFS[wildcards.vcf],
    output:
        multiext(paths.VCF_FILESET, ".bed", ".bim", ".fam"),
        skipped=paths.VCF_SKIPPED,
    log:
        paths.log("vcf_import", "{vcf}"),
    params:
        python=PYTHON,
        script=script_path("vcf_import.py"),
        prefix=paths.VCF_FILESET,
        plink=config["plink"],
        memory=plink_memory(1024),
    benchmark:
        f"{paths.BENCHMARKS}/vcf_import/{{vcf}}.tsv"
    threads: 2
    resources:
        mem_mb=1024,
    shell:
        "{params.python:q} {params.script:q} --vcf {input.vcf:q} --prefix {params.prefix:q} "
        "--skipped {output.skipped:q} --plink {params.plink:q} --threads {threads} --memory {params.memory} "
        "--log {log:q}"


rule exclude_names:
    """SNPs whose names cannot pass through the programs: missing ("."),
    given more than once in the genotypes, or longer than ldprune stores."""
    input:
        bims=all_bims,
    output:
        report=paths.EXCLUDED_NAMES,
        names=paths.EXCLUDED_LIST,
    log:
        paths.log("exclude_names"),
    params:
        python=PYTHON,
        script=script_path("exclude_names.py"),
    benchmark:
        f"{paths.BENCHMARKS}/exclude_names.tsv"
    threads: 1
    resources:
        mem_mb=512,
    shell:
        "{params.python:q} {params.script:q} --bims {input.bims:q} --report {output.report:q} "
        "--names {output.names:q} --log {log:q}"


rule population_samples:
    """The populations and their people, written once for every step that
    needs them; with populations, each one's samples and all of them as
    PLINK's --keep reads them."""
    input:
        fam=all_fams,
        sources=population_sources,
    output:
        table=paths.POPULATIONS_TABLE,
        keep=[paths.POPULATION_KEEP.format(population=p) for p in POPULATIONS],
        keep_all=paths.KEEP_ALL if POPULATIONS else [],
    log:
        paths.log("population_samples"),
    params:
        python=PYTHON,
        script=script_path("population_samples.py"),
        config=population_config,
        keep_all=f"--keep-all {shlex.quote(paths.KEEP_ALL)}" if POPULATIONS else "",
    threads: 1
    resources:
        mem_mb=64,
    shell:
        "{params.python:q} {params.script:q} --fams {input.fam:q} --config {params.config:q} "
        "--table {output.table:q} {params.keep_all} --log {log:q}"


rule population_filters:
    """PLINK's filters on one population's samples, each writing the SNPs
    that pass it: within max_missing, passing the HWE test, and with a MAF
    that reaches min_maf there (the SNPs that vary there)."""
    input:
        genotypes=genotype_files,
        exclude=paths.EXCLUDED_LIST,
        keep=paths.POPULATION_KEEP,
        holdout=holdout_people,
    output:
        [paths.FILTER_LIST.replace("{kind}", kind) for kind in paths.FILTER_KINDS],
    log:
        paths.log("population_filters", "chr{chrom}.{population}"),
    params:
        python=PYTHON,
        script=script_path("population_filters.py"),
        fileset=chromosome_fileset,
        code=chromosome_code,
        out=paths.FILTER_LIST.replace(".{kind}.snplist", ""),
        filters=plink_filters,
        plink=config["plink"],
        memory=plink_memory(256),
    benchmark:
        f"{paths.BENCHMARKS}/population_filters/chr{{chrom}}.{{population}}.tsv"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "{params.python:q} {params.script:q} --bfile {params.fileset:q} --chr {params.code:q} --keep {input.keep:q} "
        "--exclude {input.exclude:q} --out {params.out:q} {params.filters} --remove {input.holdout:q} "
        "--plink {params.plink:q} "
        "--threads {threads} --memory {params.memory} --log {log:q}"


rule qc:
    """The SNPs of one chromosome that pass PLINK's filters, without the
    names left out. With populations: those that pass in every population
    and vary in at least one, on the populations' samples, and per
    population the SNPs that vary there."""
    input:
        genotypes=genotype_files,
        exclude=paths.EXCLUDED_LIST,
        populations=paths.POPULATIONS_TABLE,
        filters=filter_lists,
        holdout=holdout_people,
    output:
        multiext(paths.QC_FILESET, ".bed", ".bim", ".fam"),
        varying=[paths.VARYING.replace("{population}", p) for p in POPULATIONS],
        kept=paths.QC_KEPT if POPULATIONS else [],
        dropped=paths.QC_DROPPED if POPULATIONS else [],
    log:
        paths.log("qc", "chr{chrom}"),
    params:
        python=PYTHON,
        script=script_path("qc.py"),
        fileset=chromosome_fileset,
        code=chromosome_code,
        out=paths.QC_FILESET,
        filters=plink_filters,
        plink=config["plink"],
        memory=plink_memory(256),
    benchmark:
        f"{paths.BENCHMARKS}/qc/chr{{chrom}}.tsv"
    threads: 1
    resources:
        mem_mb=256,
    shell:
        "{params.python:q} {params.script:q} --bfile {params.fileset:q} --chr {params.code:q} "
        "--chromosome {wildcards.chrom} --exclude {input.exclude:q} --out {params.out:q} {params.filters} "
        "--populations {input.populations:q} --remove {input.holdout:q} --plink {params.plink:q} --threads {threads} "
        "--memory {params.memory} --log {log:q}"


rule qc_report:
    """SNPs in and out of quality control per chromosome; the records the
    VCFs' conversion left out or named; with populations, the SNPs each
    population's filters left out; and list names that are not in the
    genotypes or did not pass."""
    input:
        raw=all_bims,
        excluded=paths.EXCLUDED_NAMES,
        passed=expand(f"{paths.QC_FILESET}.bim", chrom=CHROMOSOMES),
        dropped=expand(paths.QC_DROPPED, chrom=CHROMOSOMES) if POPULATIONS else [],
        varying=expand(paths.VARYING, chrom=CHROMOSOMES, population=POPULATIONS),
        vcf=[paths.VCF_SKIPPED.format(vcf=name) for name in VCFS],
        lists=listed("thresholds_file") + listed("done_file") + listed("undesirable_file"),
        populations=paths.POPULATIONS_TABLE,
    output:
        report=paths.QC_REPORT,
        warnings=paths.QC_WARNINGS,
        dropped=paths.DROPPED if POPULATIONS else [],
    log:
        paths.log("qc_report"),
    params:
        python=PYTHON,
        script=script_path("qc_report.py"),
        chromosomes=CHROMOSOMES,
        lists=json.dumps(settings.list_paths(config)),
        vcfs=lambda wildcards, input: key_files(dict(zip(input.vcf, VCFS.values()))),
    benchmark:
        f"{paths.BENCHMARKS}/qc_report.tsv"
    threads: 1
    resources:
        mem_mb=512,
    shell:
        "{params.python:q} {params.script:q} --raw {input.raw:q} --chromosomes {params.chromosomes:q} "
        "--populations {input.populations:q} --lists {params.lists:q} --vcfs {params.vcfs:q} "
        "--report {output.report:q} --warnings {output.warnings:q} --log {log:q}"


localrules:
    exclude_names,
    population_samples,
    qc_report,
