# Tags chosen for imputation (target: imputation; ldtag/target.py): the
# candidates, a ladder of sizes evenly spaced and from the greedy coverage
# order, are imputed in two inner folds of the people not held out (by the
# imputation rules, as sets of their own), and the choice is the smallest
# candidate once repaired with the SNPs that fail. The choice is then judged
# in the held-out people like every method's tags.

if TARGET:

    rule target_candidates:
        """The inner folds of the people not held out, and the candidates."""
        input:
            bims=QC_BIMS,
            people=paths.IMPUTATION_PEOPLE,
            curve=[paths.COVERAGE_CURVE] if BUILTIN else [],
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
            budget=f"--budget {config['max_tags']}" if config["max_tags"] is not None else "",
        threads: 1
        resources:
            mem_mb=512,
        shell:
            "{params.python:q} {params.script:q} --bim {input.bims:q} --people {input.people:q} {params.curve} "
            "{params.budget} --seed {params.seed} --sets {params.sets:q} --folds {params.folds:q} "
            "--table {output.table:q} 2> {log:q}"

    rule target_select:
        """The candidates' r² pooled over the inner folds, and the choice."""
        input:
            sums=inner_sums,
            candidates=paths.CANDIDATES,
            chunks=paths.CHUNKS,
        output:
            tags=paths.method_tags(target.METHOD),
            table=paths.SELECTION,
        log:
            f"{paths.IMPUTATION_LOGS}/target_select.log",
        params:
            python=PYTHON,
            script=script_path("target_select.py"),
            sums=os.path.dirname(paths.CHUNK),
            sets=os.path.dirname(paths.SET),
            r2=config["imputed_r2"],
            share=config["imputed_share"],
            budget=f"--budget {config['max_tags']}" if config["max_tags"] is not None else "",
        benchmark:
            f"{paths.BENCHMARKS}/target_select.tsv"
        threads: 1
        resources:
            mem_mb=1024,
        shell:
            "{params.python:q} {params.script:q} --candidates {input.candidates:q} --chunks {input.chunks:q} "
            "--sums {params.sums:q} --sets {params.sets:q} --r2 {params.r2} --share {params.share} {params.budget} "
            "--out {output.tags:q} --table {output.table:q} 2> {log:q}"

    localrules:
        target_candidates,
