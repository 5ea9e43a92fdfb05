# Each method's tags as a VCF for array design tools; and, with imputation,
# how well each set of tags imputes the other SNPs in people held out
# (ldtag/imputation.py gives the protocol, ldtag/dosage.py the scoring).
#
# The panel, a chromosome's people at the SNPs that passed quality control,
# is phased once per chunk with Beagle (or used as given when the user's VCF is
# phased). For each fold, the reference is the phased haplotypes of the people
# not in the fold; the target, the fold's true genotypes at a set's tags;
# Beagle imputes the rest, and the fold's sums of dosage and genotype are
# pooled over the folds into results/imputation.tsv.

rule tags_vcf:
    """Each method's tags as a sites-only VCF (BGZF, for tabix): chromosome,
    position, name and the two alleles."""
    input:
        tags=tag_lists(TAG_METHODS),
        bims=QC_BIMS,
        vcf=list(VCFS.values()),
    output:
        [paths.method_vcf(method) for method in TAG_METHODS],
    log:
        paths.log("tags_vcf"),
    params:
        python=PYTHON,
        script=script_path("tags_vcf.py"),
        sources=tag_codes,
        tags=[f"{m}={paths.method_tags(m)}={paths.method_vcf(m)}" for m in TAG_METHODS],
    benchmark:
        f"{paths.BENCHMARKS}/tags_vcf.tsv"
    threads: 1
    resources:
        mem_mb=512,
    shell:
        "{params.python:q} {params.script:q} --bim {input.bims:q} {params.sources} --tags {params.tags:q} 2> {log:q}"


localrules:
    tags_vcf,


if IMPUTATION:

    rule imputation_people:
        """Who is imputed in which fold: with holdout, a share of each
        population, set aside before quality control; else folds within each
        population."""
        input:
            unpack(people_source),
        output:
            people=paths.IMPUTATION_PEOPLE,
            keep=f"{paths.IMPUTATION}/people.keep",
            holdout=paths.HOLDOUT,
            ids=f"{paths.IMPUTATION}/vcf_ids.txt",
            folds=expand(paths.FOLD, fold=FOLDS),
        log:
            f"{paths.IMPUTATION_LOGS}/people.log",
        params:
            python=PYTHON,
            script=script_path("imputation_people.py"),
            source=people_options,
            folder=lambda wildcards, output: os.path.dirname(output.people),
            folds=len(FOLDS),
            holdout=config["holdout"] if config["holdout"] is not None else "none",
            seed=config["seed"],
        benchmark:
            f"{paths.BENCHMARKS}/imputation_people.tsv"
        threads: 1
        resources:
            mem_mb=256,
        shell:
            "{params.python:q} {params.script:q} --out {params.folder:q} --populations {input.populations:q} "
            "{params.source} --folds {params.folds} --holdout {params.holdout} --seed {params.seed} 2> {log:q}"

    if VCFS:

        rule imputation_panel:
            """The people's genotypes at the chromosome's SNPs that passed
            quality control, from the user's VCF, phase and all; phasing.txt
            says "given" when every genotype is phased."""
            input:
                vcf=chromosome_vcf,
                bim=f"{paths.QC_FILESET}.bim",
                people=paths.IMPUTATION_PEOPLE,
            output:
                vcf=paths.PANEL,
                index=f"{paths.PANEL}.tbi",
                phasing=paths.PHASING,
            log:
                f"{paths.IMPUTATION_LOGS}/chr{{chrom}}/panel.log",
            params:
                python=PYTHON,
                script=script_path("imputation_panel.py"),
            benchmark:
                f"{paths.BENCHMARKS}/imputation_panel/chr{{chrom}}.tsv"
            threads: 1
            resources:
                mem_mb=512,
            shell:
                "({params.python:q} {params.script:q} --vcf {input.vcf:q} --bim {input.bim:q} "
                "--people {input.people:q} --out {output.vcf:q} --phasing {output.phasing:q} && "
                "bcftools index -t -f -o {output.index:q}.partial {output.vcf:q} && "
                "mv {output.index:q}.partial {output.index:q}) 2> {log:q}"

    else:

        rule imputation_panel:
            """The people's genotypes at the chromosome's SNPs that passed
            quality control, from the user's fileset, as VCF (PLINK's A2
            allele as REF); Beagle phases them."""
            input:
                genotypes=genotype_files,
                bim=f"{paths.QC_FILESET}.bim",
                keep=f"{paths.IMPUTATION}/people.keep",
                ids=f"{paths.IMPUTATION}/vcf_ids.txt",
            output:
                vcf=paths.PANEL,
                index=f"{paths.PANEL}.tbi",
                phasing=paths.PHASING,
            log:
                f"{paths.IMPUTATION_LOGS}/chr{{chrom}}/panel.log",
            params:
                plink=config["plink"],
                fileset=chromosome_fileset,
                code=chromosome_code,
                prefix=f"{paths.IMPUTATION}/chr{{chrom}}/panel.partial",
                memory=plink_memory(1024),
            benchmark:
                f"{paths.BENCHMARKS}/imputation_panel/chr{{chrom}}.tsv"
            threads: 1
            resources:
                mem_mb=1024,
            shell:
                "cut -f2 {input.bim:q} > {params.prefix:q}.snps && status=0 && "
                "{params.plink:q} --bfile {params.fileset:q} --chr {params.code:q} --extract {params.prefix:q}.snps "
                "--keep {input.keep:q} --recode $(cat {input.ids:q}) bgz --output-chr MT --allow-no-sex "
                "--threads {threads} --memory {params.memory} --out {params.prefix:q} > /dev/null 2>&1 || status=$?; "
                "mv {params.prefix:q}.log {log:q}; rm -f {params.prefix:q}.snps {params.prefix:q}.nosex; "
                "[ $status -eq 0 ] || {{ echo 'ldtag: PLINK failed writing the panel, see {log}' >&2; exit 1; }}; "
                "bcftools index -t -f -o {output.index:q}.partial {params.prefix:q}.vcf.gz 2>> {log:q} && "
                "mv {params.prefix:q}.vcf.gz {output.vcf:q} && mv {output.index:q}.partial {output.index:q} && "
                "echo beagle > {output.phasing:q}"

    checkpoint imputation_chunks:
        """Each chromosome's chunks: a core of chunk_mb, scored, and flanks of
        flank_mb that Beagle reads too."""
        input:
            QC_BIMS,
        output:
            paths.CHUNKS,
        log:
            f"{paths.IMPUTATION_LOGS}/chunks.log",
        params:
            python=PYTHON,
            script=script_path("imputation_chunks.py"),
            chunk=config["chunk_mb"],
            flank=config["flank_mb"],
        benchmark:
            f"{paths.BENCHMARKS}/imputation_chunks.tsv"
        threads: 1
        resources:
            mem_mb=256,
        shell:
            "{params.python:q} {params.script:q} --bim {input:q} --chunk-mb {params.chunk} --flank-mb {params.flank} "
            "--out {output:q} 2> {log:q}"

    checkpoint imputation_sets:
        """The sets judged: each method's tags, evaluate_tags (cut to the SNPs
        that passed quality control), and evenly spaced SNPs of each of
        their numbers."""
        input:
            tags=tag_lists(JUDGED_METHODS),
            given=[config["evaluate_tags"]] if config["evaluate_tags"] else [],
            bims=QC_BIMS,
        output:
            table=paths.SETS,
            tags=paths.ALL_TAGS,
        log:
            f"{paths.IMPUTATION_LOGS}/sets.log",
        params:
            python=PYTHON,
            script=script_path("imputation_sets.py"),
            methods=[f"{m}={paths.method_tags(m)}" for m in JUDGED_METHODS],
            folder=lambda wildcards, output: os.path.dirname(paths.SET),
            folds=len(FOLDS),
            holdout=config["holdout"] if config["holdout"] is not None else "none",
        benchmark:
            f"{paths.BENCHMARKS}/imputation_sets.tsv"
        threads: 1
        resources:
            mem_mb=512,
        shell:
            "{params.python:q} {params.script:q} --bim {input.bims:q} --methods {params.methods:q} "
            "--given {input.given:q} --folder {params.folder:q} --table {output.table:q} --all-tags {output.tags:q} "
            "--folds {params.folds} --holdout {params.holdout} 2> {log:q}"

    rule imputation_phase:
        """A chunk of the panel phased by Beagle, all people at once (but the
        held-out ones, who take no part in it); or cut from the panel when
        the user's VCF is phased or the chunk has fewer than two SNPs (the
        held-out people left out too)."""
        input:
            unpack(chunk_panel),
            chunks=paths.CHUNKS,
            map=[config["genetic_map"]] if config["genetic_map"] else [],
            excluded=phasing_excluded,
        output:
            vcf=f"{paths.CHUNK}/phased.vcf.gz",
            index=f"{paths.CHUNK}/phased.vcf.gz.tbi",
        log:
            f"{paths.IMPUTATION_LOGS}/{{chunk}}/phase.log",
        params:
            beagle=config["beagle"],
            interval=chunk_interval,
            heap=java_heap,
            map=BEAGLE_MAP,
            seed=config["seed"],
            prefix=f"{paths.CHUNK}/phased.partial",
            exclude=lambda wildcards, input: (
                "excludesamples=%s" % shlex.quote(input.excluded[0]) if input.excluded else ""
            ),
            drop=lambda wildcards, input: (
                "--force-samples -S ^%s" % shlex.quote(input.excluded[0]) if input.excluded else ""
            ),
        benchmark:
            f"{paths.BENCHMARKS}/imputation_phase/{{chunk}}.tsv"
        threads: config["beagle_threads"]
        resources:
            mem_mb=config["beagle_mem_mb"],
        shell:
            "markers=$(bcftools view -H -r {params.interval} {input.panel:q} | wc -l); "
            "if [ \"$(cat {input.phasing:q})\" = given ] || [ $markers -lt 2 ]; then "
            "bcftools view {params.drop} -r {params.interval} {input.panel:q} -Oz -o {params.prefix:q}.vcf.gz "
            "> {log:q} 2>&1; "
            "else JAVA_TOOL_OPTIONS=-Xmx{params.heap}m {params.beagle} gt={input.panel:q} chrom={params.interval} "
            "out={params.prefix:q} nthreads={threads} seed={params.seed} {params.map} {params.exclude} "
            "> {log:q} 2>&1 || "
            "{{ echo \"ldtag: Beagle failed phasing chunk {wildcards.chunk}; the end of {log}:\" >&2; "
            "tail -n 5 {log:q} >&2; exit 1; }}; "
            "rm -f {params.prefix:q}.log; fi && "
            "bcftools index -t -f -o {output.index:q}.partial {params.prefix:q}.vcf.gz 2>> {log:q} && "
            "mv {params.prefix:q}.vcf.gz {output.vcf:q} && mv {output.index:q}.partial {output.index:q}"

    rule imputation_split:
        """A fold's reference, the phased haplotypes of the people not in it
        (held-out people are not phased at all: --force-samples lets them
        be absent), and its people's true genotypes over the chunk."""
        input:
            unpack(chunk_panel),
            phased=f"{paths.CHUNK}/phased.vcf.gz",
            phased_index=f"{paths.CHUNK}/phased.vcf.gz.tbi",
            fold=paths.FOLD,
            chunks=paths.CHUNKS,
        output:
            reference=intermediate(f"{paths.CHUNK}/{{fold}}/reference.vcf.gz"),
            truth=intermediate(f"{paths.CHUNK}/{{fold}}/truth.vcf.gz"),
        log:
            f"{paths.IMPUTATION_LOGS}/{{chunk}}/{{fold}}/split.log",
        params:
            interval=chunk_interval,
        benchmark:
            f"{paths.BENCHMARKS}/imputation_split/{{chunk}}/{{fold}}.tsv"
        threads: 1
        resources:
            mem_mb=256,
        shell:
            "(bcftools view --force-samples -S ^{input.fold:q} {input.phased:q} -Oz -o {output.reference:q}.partial && "
            "bcftools view -S {input.fold:q} -r {params.interval} {input.panel:q} -Oz -o {output.truth:q}.partial && "
            "mv {output.reference:q}.partial {output.reference:q} && mv {output.truth:q}.partial {output.truth:q}) "
            "2> {log:q}"

    rule imputation_impute:
        """A set's tags typed in a fold's people (their true genotypes at the
        tags only), imputed by Beagle from the fold's reference, and the
        fold's sums of dosage and genotype for the chunk's core SNPs. The
        times log gives each step's wall, user and system seconds."""
        input:
            reference=f"{paths.CHUNK}/{{fold}}/reference.vcf.gz",
            truth=f"{paths.CHUNK}/{{fold}}/truth.vcf.gz",
            tags=paths.SET,
            people=paths.IMPUTATION_PEOPLE,
            chunks=paths.CHUNKS,
            map=[config["genetic_map"]] if config["genetic_map"] else [],
        output:
            f"{paths.CHUNK}/{{fold}}/{{set}}.tsv",
        log:
            run=f"{paths.IMPUTATION_LOGS}/{{chunk}}/{{fold}}/{{set}}.log",
            times=f"{paths.IMPUTATION_LOGS}/{{chunk}}/{{fold}}/{{set}}.times",
        params:
            python=PYTHON,
            script=script_path("imputation_impute.py"),
            beagle=config["beagle"],
            heap=java_heap,
            map=BEAGLE_MAP,
            seed=config["seed"],
            work=f"{paths.CHUNK}/{{fold}}/{{set}}.work",
            core=chunk_core,
            keep="--keep" if KEEP else "",
        benchmark:
            f"{paths.BENCHMARKS}/imputation_impute/{{chunk}}/{{fold}}/{{set}}.tsv"
        threads: config["beagle_threads"]
        resources:
            mem_mb=config["beagle_mem_mb"],
        shell:
            "{params.python:q} {params.script:q} --reference {input.reference:q} --truth {input.truth:q} "
            "--tags {input.tags:q} --people {input.people:q} --core {params.core} --out {output:q} "
            "--work {params.work:q} --beagle {params.beagle:q} --heap {params.heap} --threads {threads} "
            "--seed {params.seed} --map {input.map:q} --log {log.run:q} --times {log.times:q} {params.keep} "
            "--chunk {wildcards.chunk} --fold {wildcards.fold} --set {wildcards.set}"

    rule imputation_pairs:
        """The pairs within pairwise.WINDOW_KB of a tag of any set judged, at
        the lowest threshold or above, in the people the tags were chosen in
        (each population's, with populations): for pairwise coverage."""
        input:
            multiext(paths.QC_FILESET, ".bed", ".bim", ".fam"),
            tags=paths.ALL_TAGS,
            people=pair_people,
        output:
            intermediate(paths.PAIRS),
        log:
            f"{paths.IMPUTATION_LOGS}/chr{{chrom}}/{{group}}.pairs.log",
        params:
            plink=config["plink"],
            fileset=paths.QC_FILESET,
            prefix=f"{paths.IMPUTATION}/chr{{chrom}}/{{group}}.pairs.partial",
            window_r2=SETUP.min_threshold * (1 - 1e-6),
            window_kb=pairwise.WINDOW_KB,
            people=pair_options,
            varying=pair_varying,
            memory=plink_memory(1024),
        benchmark:
            f"{paths.BENCHMARKS}/imputation_pairs/chr{{chrom}}.{{group}}.tsv"
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            "cut -f2 {params.fileset:q}.bim | grep -Fxf {input.tags:q} > {params.prefix:q}.tags || true; "
            "if [ -n {params.varying} ] && [ ! -s {params.varying} ]; then : > {params.prefix:q}.tags; fi; "
            "if [ -s {params.prefix:q}.tags ]; then status=0; "
            "{params.plink:q} --bfile {params.fileset:q} {params.people} --make-founders --r2 --ld-snp-list "
            "{params.prefix:q}.tags --ld-window 999999 --ld-window-kb {params.window_kb} "
            "--ld-window-r2 {params.window_r2} "
            "--allow-no-sex --threads {threads} --memory {params.memory} --out {params.prefix:q} > /dev/null 2>&1 "
            "|| status=$?; mv {params.prefix:q}.log {log:q}; [ $status -eq 0 ] || "
            "{{ echo 'ldtag: PLINK failed scanning the pairs of the tags, see {log}' >&2; exit 1; }}; "
            "touch {params.prefix:q}.ld; "
            "else echo 'no tag on this chromosome, or none of its SNPs varies in {wildcards.group}' > {log:q}; "
            ": > {params.prefix:q}.ld; "
            "fi; "
            "rm -f {params.prefix:q}.tags {params.prefix:q}.nosex; mv {params.prefix:q}.ld {output:q}"

    rule imputation_tables:
        """The folds pooled: per SNP, set and population the dosage r²; and
        per set, population and MAF class the shares at r² >= 0.8 and 0.5."""
        input:
            sums=imputation_sums,
            sets=paths.SETS,
            chunks=paths.CHUNKS,
            people=paths.IMPUTATION_PEOPLE,
            bims=QC_BIMS,
            pairs=imputation_pair_tables,
            thresholds=listed("thresholds_file"),
            varying=VARYING_LISTS,
        output:
            table=paths.IMPUTATION_TABLE,
            snps=paths.IMPUTATION_SNPS,
        log:
            f"{paths.IMPUTATION_LOGS}/tables.log",
        params:
            python=PYTHON,
            script=script_path("imputation_tables.py"),
            folds=FOLDS,
            groups=GROUPS,
            sums=os.path.dirname(paths.CHUNK),
            pairs=paths.IMPUTATION,
            threshold=config["threshold"],
        benchmark:
            f"{paths.BENCHMARKS}/imputation_tables.tsv"
        threads: 1
        resources:
            mem_mb=2048,
        shell:
            "{params.python:q} {params.script:q} --sets {input.sets:q} --chunks {input.chunks:q} "
            "--folds {params.folds:q} --sums {params.sums:q} --bim {input.bims:q} --people {input.people:q} "
            "--pairs {params.pairs:q} --groups {params.groups:q} --threshold {params.threshold} "
            "--thresholds {input.thresholds:q} --snps {output.snps:q} --table {output.table:q} 2> {log:q}"

    rule imputation_plot:
        """Imputed r² against MAF, per set and population."""
        input:
            snps=paths.IMPUTATION_SNPS,
            sets=paths.SETS,
        output:
            paths.IMPUTATION_PLOT,
        log:
            f"{paths.IMPUTATION_LOGS}/plot.log",
        params:
            python=PYTHON,
            script=script_path("imputation_plot.py"),
        benchmark:
            f"{paths.BENCHMARKS}/imputation_plot.tsv"
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            "{params.python:q} {params.script:q} --snps {input.snps:q} --sets {input.sets:q} --out {output:q} "
            "2> {log:q}"

    localrules:
        imputation_people,
        imputation_chunks,
        imputation_sets,
