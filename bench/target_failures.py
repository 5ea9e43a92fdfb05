#!/usr/bin/python3
"""Where the tags chosen for imputation fail in the held-out people, and
whether the inner folds saw it coming.

    bench/target_failures.py RUN_FOLDER

RUN_FOLDER is a finished run of target: imputation (one of target_bench.py's
"fewest" or "budget" folders). Its non-tag SNPs measured in the held-out
people (results/imputation_snps.tsv, set for_imputation) are counted by the
r² the selection saw for them: that of the chosen candidate, pooled over the
inner folds, and the number of inner folds in which it was below 0.8. The
chosen candidate is the set as imputed in the inner folds, before the SNPs
the choice added by estimate (tags of the chosen set, so not counted). Last,
the failures by MAF in the held-out people. Only one population.
"""
import collections
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "workflow", "scripts"))
from ldtag import files, target, target_steps  # noqa: E402

TARGET = 0.8
R2_BINS = (0, 0.7, 0.8, 0.85, 0.9, 1)
MAF_BINS = (0, 0.02, 0.05, 0.1, 0.2, 0.5)


def binned(value, bounds):
    """The bin of `bounds` that holds `value`, as "low-high" (the last bin
    holds its upper bound; "NA" for None)."""
    if value is None:
        return "NA"
    high = next((b for b in bounds[1:-1] if value < b), bounds[-1])
    return "%g-%g" % (bounds[bounds.index(high) - 1], high)


def held_out(results):
    """SNP -> (held-out r², held-out MAF) of for_imputation's measured non-tags."""
    _, rows = files.read_table(os.path.join(results, "imputation_snps.tsv"))
    return {
        r["snp"]: (float(r["r2"]), float(r["maf"]))
        for r in rows
        if r["set"] == target.METHOD and r["tag"] == "0" and r["r2"] != "NA"
    }


def inner(results):
    """The chosen candidate's name, its pooled r² (SNP -> r²) and per SNP
    the number of inner folds below TARGET."""
    _, rows = files.read_table(os.path.join(results, "imputation", "target", "selection.tsv"))
    name = next(r["candidate"] for r in rows if r["chosen"] == "1")
    _, chunks = files.read_table(os.path.join(results, "imputation", "chunks.tsv"))
    chunks = [r["chunk"] for r in chunks]
    sums = os.path.join(results, "imputation", "chunks")
    pooled = {}
    for values in target_steps._set_r2(name, chunks, sums, pooled=True).values():
        pooled.update(values)
    failing = collections.Counter()
    for values in target_steps._set_r2(name, chunks, sums).values():
        failing.update(s for s, v in values.items() if v is not None and v < TARGET)
    return name, pooled, failing


def show(title, counts):
    print("\n| %s | SNPs | failing held out | %% failing |" % title)
    print("|---|---|---|---|")
    for key in sorted(counts):
        n, bad = counts[key]
        print("| %s | %d | %d | %.1f |" % (key, n, bad, 100 * bad / n))


def main():
    results = os.path.join(sys.argv[1], "results")
    held = held_out(results)
    name, pooled, failing = inner(results)
    by_r2, by_folds, by_maf = (collections.defaultdict(lambda: [0, 0]) for _ in range(3))
    for snp, (r2, maf) in held.items():
        bad = r2 < TARGET
        for counts, key in (
            (by_r2, binned(pooled.get(snp), R2_BINS)),
            (by_folds, failing[snp]),
            (by_maf, binned(maf, MAF_BINS)),
        ):
            counts[key][0] += 1
            counts[key][1] += bad
    total = sum(r2 < TARGET for r2, _ in held.values())
    print(
        "%s: %d non-tag SNPs measured held out, %d below r² %g; the inner r² is %s's"
        % (sys.argv[1], len(held), total, TARGET, name)
    )
    show("inner r², pooled", by_r2)
    show("inner folds below %g" % TARGET, by_folds)
    show("MAF held out", by_maf)


if __name__ == "__main__":
    main()
