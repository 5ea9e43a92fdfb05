# Tags chosen for imputation (target: imputation; ldtag/spread.py, target.py,
# target_steps.py): the candidates, a ladder of sizes of common SNPs spread
# evenly (within a budget, shares of it, spread so and the greedy coverage
# order's first tags), are imputed in inner folds of the people not held out
# (by the imputation rules, as sets of their own), and each is repaired with
# the SNPs that fail. A second round imputes the best again with part of the
# SNPs its repair added (within a budget, all of them); without a budget a
# third imputes the second-round sets that fell short, each with its own
# repair, and those put off, when it would be chosen if it reached the target,
# the fewest tags first.
# The choice is the smallest set that reaches the target as imputed (within
# a budget, the best that fills it so). Without a budget each round's sets
# are climbed in turn (target_rung): once a set reached the target as
# imputed, the larger ones are not imputed, nor in the first round those
# with as many tags as the smallest candidate repaired, or far too few
# against the last one's repair; in the second, those with as many as the
# smallest set of it repaired are put off to the third. The choice is then
# judged in the held-out people like every method's tags.

if TARGET:

    rule target_candidates:
        """The inner folds of the people not held out, and the candidates."""
        input:
            bims=QC_BIMS,
            people=paths.IMPUTATION_PEOPLE,
            curve=[paths.COVERAGE_CURVE] if BUILTIN and config["max_tags"] is not None else [],
            freqs=TARGET_FREQ_TABLES,
            pairs=TARGET_PAIR_TABLES,
            done=listed("done_file"),
            undesirable=listed("undesirable_file"),
        output:
            table=paths.CANDIDATES,
            sets=[paths.SET.format(set=name) for name in CANDIDATES],
            folds=[paths.FOLD.format(fold=fold) for fold in target.INNER_FOLDS],
        log:
            f"{paths.IMPUTATION_LOGS}/target_candidates.log",
        params:
            python=PYTHON,
            script=script_path("target_candidates.py"),
            seed=config["seed"],
            sets=os.path.dirname(paths.SET),
            folds=os.path.dirname(paths.FOLD),
            curve=lambda wildcards, input: f"--curve {shlex.quote(input.curve[0])}" if input.curve else "",
            budget=TARGET_BUDGET,
            r2=config["imputed_r2"],
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            "{params.python:q} {params.script:q} --bim {input.bims:q} --people {input.people:q} {params.curve} "
            "--freq {input.freqs:q} --pairs {input.pairs:q} --r2 {params.r2} {params.budget} --done {input.done:q} "
            "--undesirable {input.undesirable:q} --seed {params.seed} --sets {params.sets:q} --folds {params.folds:q} "
            "--table {output.table:q} 2> {log:q}"

    rule target_pairs:
        """The pairs of SNPs within pairwise.WINDOW_KB at imputed_r2 or
        above in the selection's people (the held-out people are left out
        at quality control), in each population: a SNP a repair adds
        reaches its proxies too; and the MAFs the candidates are picked by."""
        input:
            multiext(paths.QC_FILESET, ".bed", ".bim", ".fam"),
            people=pair_people,
        output:
            pairs=intermediate(paths.TARGET_PAIRS),
            freq=intermediate(paths.TARGET_FREQ),
        log:
            f"{paths.IMPUTATION_LOGS}/chr{{chrom}}/{{group}}.target_pairs.log",
        params:
            plink=config["plink"],
            fileset=paths.QC_FILESET,
            prefix=f"{paths.TARGET}/chr{{chrom}}/{{group}}.partial",
            window_r2=config["imputed_r2"] * (1 - 1e-6),
            window_kb=pairwise.WINDOW_KB,
            people=pair_options,
            varying=pair_varying,
            memory=plink_memory(1024),
        benchmark:
            f"{paths.BENCHMARKS}/target_pairs/chr{{chrom}}.{{group}}.tsv"
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            "if [ -n {params.varying} ] && [ ! -s {params.varying} ]; then "
            "echo 'no SNP of this chromosome varies in population {wildcards.group}' > {log:q}; "
            ": > {output.pairs:q}; : > {output.freq:q}; "
            "else status=0; {params.plink:q} --bfile {params.fileset:q} {params.people} --make-founders --r2 --freq "
            "--ld-window 999999 "
            "--ld-window-kb {params.window_kb} --ld-window-r2 {params.window_r2} --allow-no-sex --threads {threads} "
            "--memory {params.memory} --out {params.prefix:q} > /dev/null 2>&1 || status=$?; "
            "mv {params.prefix:q}.log {log:q}; [ $status -eq 0 ] || "
            "{{ echo 'ldtag: PLINK failed scanning the pairs for the target, see {log}' >&2; exit 1; }}; "
            "touch {params.prefix:q}.ld; rm -f {params.prefix:q}.nosex; mv {params.prefix:q}.ld {output.pairs:q}; "
            "mv {params.prefix:q}.frq {output.freq:q}; fi"

    checkpoint target_rung:
        """Whether a set of any round is imputed: without a budget, each
        round's sets are climbed in turn, and a set is not imputed once a
        smaller one reached every share as imputed, as the choice would not
        change, nor a candidate the bounds of ldtag.target.ladder_step leave
        out, nor a third-round set the choice would not take."""
        input:
            unpack(rung_inputs),
        output:
            paths.RUNG,
        log:
            f"{paths.IMPUTATION_LOGS}/target_rung/{{set}}.log",
        params:
            python=PYTHON,
            script=script_path("target_rung.py"),
            sums=os.path.dirname(paths.CHUNK),
            previous=rung_previous,
            r2=config["imputed_r2"],
            share=config["imputed_share"],
        benchmark:
            f"{paths.BENCHMARKS}/target_rung/{{set}}.tsv"
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            "{params.python:q} {params.script:q} --candidates {input.candidates:q} --name {wildcards.set} "
            "{params.previous} --chunks {input.chunks:q} --sums {params.sums:q} --r2 {params.r2} "
            "--share {params.share} --varying {input.varying:q} --out {output:q} 2> {log:q}"

    rule target_refine:
        """The second round: the first round's choice with part of the SNPs
        its repair added, as sets to impute again."""
        input:
            **round_inputs(CANDIDATES, paths.CANDIDATES),
        output:
            table=paths.REFINED,
            sets=[paths.SET.format(set=name) for name in REFINED_SETS],
        log:
            f"{paths.IMPUTATION_LOGS}/target_refine.log",
        params:
            **round_params("target_refine.py"),
        benchmark:
            f"{paths.BENCHMARKS}/target_refine.tsv"
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            round_shell()

    rule target_complete:
        """The third round (without a budget): the second-round sets that
        fell short, each with the SNPs its repair adds, and those not
        imputed as they are, the fewest tags first; those the choice would
        take if they reached the target are imputed."""
        input:
            **round_inputs(CANDIDATES + REFINED_SETS, [paths.CANDIDATES, paths.REFINED]),
        output:
            table=paths.COMPLETED,
            sets=[paths.SET.format(set=name) for name in COMPLETED_SETS],
        log:
            f"{paths.IMPUTATION_LOGS}/target_complete.log",
        params:
            **round_params("target_complete.py"),
        benchmark:
            f"{paths.BENCHMARKS}/target_complete.tsv"
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            round_shell()

    rule target_select:
        """Every round's inner r² (within a budget pooled over the folds), and the choice."""
        input:
            **round_inputs(
                CANDIDATES + REFINED_SETS + COMPLETED_SETS,
                [paths.CANDIDATES, paths.REFINED] + ([paths.COMPLETED] if COMPLETED_SETS else []),
            ),
        output:
            tags=paths.method_tags(target.METHOD),
            table=paths.SELECTION,
        log:
            f"{paths.IMPUTATION_LOGS}/target_select.log",
        params:
            **round_params("target_select.py"),
        benchmark:
            f"{paths.BENCHMARKS}/target_select.tsv"
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            round_shell("--out {output.tags:q}")

    localrules:
        target_candidates,
        target_rung,
