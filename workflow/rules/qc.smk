# The genotypes from VCF, and quality control per chromosome: of all samples
# as one, or with populations, of each population's samples.

if VCFS:

    rule vcf_import:
        """A VCF as a PLINK fileset: sample ids kept whole, half-calls missing,
        multiallelic records and records that are not SNPs left out, records
        without an ID named chromosome:position:allele:allele; vcf.py counts
        what was left out and named, for the warnings."""
        input:
            vcf_path,
        output:
            multiext(f"{inputs.VCF_FOLDER}/{{vcf}}", ".bed", ".bim", ".fam"),
            skipped=f"{inputs.VCF_FOLDER}/{{vcf}}.skipped.tsv",
        log:
            f"{inputs.VCF_FOLDER}/{{vcf}}.log",
        params:
            script=script_path("plink_whole.sh"),
            plink=config["plink"],
            memory=plink_memory(1024),
            python=sys.executable,
            scan=script_path("vcf.py"),
            prefix=f"{inputs.VCF_FOLDER}/{{vcf}}",
        benchmark:
            "results/benchmarks/vcf_import/{vcf}.tsv"
        threads: 2
        resources:
            mem_mb=1024,
        # PLINK writes its log itself, as results/vcf/{vcf}.log.
        shell:
            "{params.script:q} {params.prefix:q} bed,bim,fam {params.plink:q} --vcf {input:q} --double-id "
            "--vcf-half-call missing --snps-only just-acgt --biallelic-only strict "
            "--set-missing-var-ids '@:#:$1:$2' --output-chr MT --make-bed --allow-no-sex --threads {threads} "
            "--memory {params.memory} && {params.python:q} {params.scan:q} {output.skipped:q} {input:q}"



rule excluded_names:
    """SNPs whose names cannot pass through the programs: missing ("."),
    given more than once in the genotypes, or longer than ldprune stores."""
    input:
        bims=all_bims,
    output:
        report="results/qc/excluded_names.tsv",
        names="results/qc/excluded_names.txt",
    log:
        "results/qc/excluded_names.log",
    params:
        python=sys.executable,
        script=script_path("exclude_names.py"),
    benchmark:
        "results/benchmarks/excluded_names.tsv"
    threads: 1
    resources:
        mem_mb=512,
    shell:
        "{params.python:q} {params.script:q} --report {output.report:q} --names {output.names:q} {input.bims:q} "
        "2> {log:q}"


if POPULATIONS:

    rule population_samples:
        """Each population's samples, and all of them, as PLINK's --keep
        reads them: family id and sample id."""
        input:
            [config["populations"][p] for p in POPULATIONS],
        output:
            keep=[keep_file(p) for p in POPULATIONS],
            all="results/qc/populations.keep",
        log:
            "results/qc/populations.log",
        params:
            python=sys.executable,
            script=script_path("population_lists.py"),
            pairs=[f"{p}={config['populations'][p]}" for p in POPULATIONS],
        threads: 1
        resources:
            mem_mb=64,
        shell:
            "{params.python:q} {params.script:q} samples --folder results/qc/populations --all {output.all:q} "
            "{params.pairs:q} 2> {log:q}"

    rule population_filters:
        """PLINK's filters on one population's samples, each writing the SNPs
        that pass it: within max_missing, passing the HWE test, and with a
        MAF that reaches min_maf there (the SNPs that vary there)."""
        input:
            genotypes=genotype_files,
            exclude="results/qc/excluded_names.txt",
            keep=population_keep,
            holdout=holdout_people,
        output:
            missing="results/qc/populations/chr{chrom}.{population}.missing_ok.snplist",
            hwe="results/qc/populations/chr{chrom}.{population}.hwe_ok.snplist",
            varies="results/qc/populations/chr{chrom}.{population}.varies.snplist",
        log:
            missing="results/qc/populations/chr{chrom}.{population}.missing_ok.log",
            hwe="results/qc/populations/chr{chrom}.{population}.hwe_ok.log",
            varies="results/qc/populations/chr{chrom}.{population}.varies.log",
        params:
            script=script_path("plink_whole.sh"),
            plink=config["plink"],
            fileset=chromosome_fileset,
            code=chromosome_code,
            prefix="results/qc/populations/chr{chrom}.{population}",
            missing=f"--geno {config['max_missing']}" if config["max_missing"] < 1 else "",
            hwe=f"--hwe {config['hwe_p']}" if config["hwe_p"] is not None else "",
            maf=f"--maf {config['min_maf']}" if config["min_maf"] > 0 else "",
            memory=plink_memory(256),
            holdout=holdout_option,
        benchmark:
            "results/benchmarks/population_filters/chr{chrom}.{population}.tsv"
        threads: 1
        resources:
            mem_mb=256,
        # PLINK writes its logs itself; a filter that removes every SNP gives an
        # empty list.
        shell:
            "exclude=(); if [ -s {input.exclude:q} ]; then exclude=(--exclude {input.exclude:q}); fi; "
            "for filter in missing_ok hwe_ok varies; do "
            "case $filter in missing_ok) options=({params.missing}) ;; hwe_ok) options=({params.hwe}) ;; "
            "varies) options=({params.maf}) ;; esac; "
            "{params.script:q} {params.prefix:q}.$filter 'snplist?' {params.plink:q} --bfile {params.fileset:q} "
            "--chr {params.code:q} --keep {input.keep:q} {params.holdout} \"${{exclude[@]}}\" \"${{options[@]}}\" --write-snplist "
            "--allow-no-sex --threads {threads} --memory {params.memory} || exit 1; done"

    rule qc:
        """The SNPs of one chromosome that pass PLINK's filters in every
        population and vary in at least one, on the populations' samples;
        and per population the SNPs that vary there."""
        input:
            genotypes=genotype_files,
            exclude="results/qc/excluded_names.txt",
            samples="results/qc/populations.keep",
            missing=population_lists("missing_ok.snplist"),
            hwe=population_lists("hwe_ok.snplist"),
            varies=population_lists("varies.snplist"),
            holdout=holdout_people,
        output:
            multiext("results/qc/chr{chrom}", ".bed", ".bim", ".fam"),
            snps=[varying_snps("{chrom}", p) for p in POPULATIONS],
            kept="results/qc/chr{chrom}.kept.txt",
            dropped="results/qc/chr{chrom}.dropped.tsv",
        log:
            "results/qc/chr{chrom}.log",
        params:
            script=script_path("plink_whole.sh"),
            plink=config["plink"],
            fileset=chromosome_fileset,
            code=chromosome_code,
            python=sys.executable,
            lists=script_path("population_lists.py"),
            populations=POPULATIONS,
            memory=plink_memory(256),
            holdout=holdout_option,
        benchmark:
            "results/benchmarks/qc/chr{chrom}.tsv"
        threads: 1
        resources:
            mem_mb=256,
        # PLINK writes its log itself, as results/qc/chr{chrom}.log.
        shell:
            "{params.python:q} {params.lists:q} filters --bim {params.fileset:q}.bim --code {params.code:q} "
            "--exclude {input.exclude:q} --chromosome {wildcards.chrom} "
            "--populations {params.populations:q} --folder results/qc/populations --snps results/qc/chr{wildcards.chrom} "
            "--kept {output.kept:q} --dropped {output.dropped:q} && "
            "{params.script:q} results/qc/chr{wildcards.chrom} bed,bim,fam {params.plink:q} --bfile {params.fileset:q} "
            "--chr {params.code:q} --keep {input.samples:q} {params.holdout} --extract {output.kept:q} --make-bed --allow-no-sex "
            "--threads {threads} --memory {params.memory}"

else:

    rule qc:
        """PLINK's filters on one chromosome, without the excluded names."""
        input:
            genotypes=genotype_files,
            exclude="results/qc/excluded_names.txt",
            holdout=holdout_people,
        output:
            multiext("results/qc/chr{chrom}", ".bed", ".bim", ".fam"),
        log:
            "results/qc/chr{chrom}.log",
        params:
            script=script_path("plink_whole.sh"),
            plink=config["plink"],
            fileset=chromosome_fileset,
            code=chromosome_code,
            filters=" ".join(
                (["--maf", str(config["min_maf"])] if config["min_maf"] > 0 else [])
                + (["--geno", str(config["max_missing"])] if config["max_missing"] < 1 else [])
                + (["--hwe", str(config["hwe_p"])] if config["hwe_p"] is not None else [])
            ),
            memory=plink_memory(256),
            holdout=holdout_option,
        benchmark:
            "results/benchmarks/qc/chr{chrom}.tsv"
        threads: 1
        resources:
            mem_mb=256,
        # PLINK writes its log itself, as results/qc/chr{chrom}.log.
        shell:
            "exclude=(); if [ -s {input.exclude:q} ]; then exclude=(--exclude {input.exclude:q}); fi; "
            "{params.script:q} results/qc/chr{wildcards.chrom} bed,bim,fam {params.plink:q} --bfile {params.fileset:q} "
            "--chr {params.code:q} {params.filters} {params.holdout} \"${{exclude[@]}}\" --make-bed --allow-no-sex --threads {threads} "
            "--memory {params.memory}"


rule qc_report:
    """SNPs in and out of quality control per chromosome; the records the
    VCFs' conversion left out or named; with populations, the SNPs each
    population's filters left out; and list names that are not in the
    genotypes or did not pass."""
    input:
        raw=all_bims,
        excluded="results/qc/excluded_names.tsv",
        passed=expand("results/qc/chr{chrom}.bim", chrom=CHROMOSOMES),
        dropped=expand("results/qc/chr{chrom}.dropped.tsv", chrom=CHROMOSOMES) if POPULATIONS else [],
        snps=[varying_snps(c, p) for c in CHROMOSOMES for p in POPULATIONS],
        vcf=vcf_skipped,
    output:
        report="results/qc/report.tsv",
        warnings="results/qc/warnings.txt",
        dropped="results/qc/dropped.tsv" if POPULATIONS else [],
    log:
        "results/qc/report.log",
    params:
        python=sys.executable,
        script=script_path("qc_report.py"),
        chromosomes=CHROMOSOMES,
        lists=list_options,
        populations=(f"--populations {' '.join(quoted(p) for p in POPULATIONS)} --dropped results/qc/dropped.tsv"
                     if POPULATIONS else ""),
        vcf=vcf_options,
    benchmark:
        "results/benchmarks/qc_report.tsv"
    threads: 1
    resources:
        mem_mb=512,
    shell:
        "{params.python:q} {params.script:q} --raw {input.raw:q} --excluded {input.excluded:q} "
        "--passed {input.passed:q} --chromosomes {params.chromosomes:q} {params.lists} {params.populations} "
        "{params.vcf} --report {output.report:q} --warnings {output.warnings:q} 2> {log:q}"


localrules:
    excluded_names,
    qc_report,


if POPULATIONS:

    localrules:
        population_samples,
