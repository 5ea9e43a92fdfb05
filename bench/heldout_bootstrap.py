#!/usr/bin/python3
"""How far the held-out share of a set, and the difference between two
sets, would move with another draw of held-out people.

    bench/heldout_bootstrap.py RUN_FOLDER SET [SET ...] [--draws 1000] [--seed 1]

RUN_FOLDER is a finished run with imputation and keep_intermediate: true,
so that each chunk keeps the held-out people's true genotypes
(holdout/truth.vcf.gz) and each set's imputed VCF (holdout/SET.work.imputed.vcf.gz).
The held-out people are drawn again with replacement, --draws times, the
same draw for every set (a paired bootstrap), and each time each set's share
of measured SNPs at r² >= 0.8 is computed as imputation.tsv does: r² of DS
against the true allele count, cut to four decimals, pooled over the chunks'
cores, a SNP that does not vary in the draw not measured. Prints each set's share in the
people as drawn (which matches imputation.tsv) and the bootstrap's standard
deviation, then for each later set its difference from the first, with the
standard deviation and the 2.5% and 97.5% points. Only one population.
"""
import argparse
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "workflow", "scripts"))
from ldtag import dosage, files  # noqa: E402

TARGET = 0.8


def chunk_data(folder, chunk, sets, people=None):
    """(the held-out people, true counts, {set: DS in thousandths}) of the
    chunk's core SNPs, rows aligned, columns the people in the order of
    `people` (by default the truth file's), so that a draw's weights fall
    on the same person in every chunk."""
    holdout = os.path.join(folder, "results", "imputation", "chunks", chunk["chunk"], "holdout")
    ids, positions, samples, x = dosage.read_truth(os.path.join(holdout, "truth.vcf.gz"))
    people = people or samples
    if sorted(people) != sorted(samples):
        sys.exit("chunk %s holds other held-out people than the first chunk" % chunk["chunk"])
    core = (positions >= int(chunk["core_start"])) & (positions <= int(chunk["core_end"]))
    order = [samples.index(p) for p in people]
    ys = {}
    for name in sets:
        ds_ids, ds_samples, ds = dosage.read_dosages(os.path.join(holdout, name + ".work.imputed.vcf.gz"))
        row, column = {s: k for k, s in enumerate(ds_ids)}, {s: k for k, s in enumerate(ds_samples)}
        ys[name] = ds[[row[s] for s in np.array(ids)[core]]][:, [column[s] for s in people]]
    return people, x[core][:, order], ys


def shares(x, y, weights):
    """Per draw (rows of `weights`, one weight per person), the share of
    measured SNPs at r² >= TARGET."""
    typed = (x >= 0).astype(float)
    x, y = np.where(x >= 0, x, 0).astype(float), np.where(x >= 0, y, 0).astype(float)
    w = weights.T
    n, sx, sy = typed @ w, x @ w, y @ w
    vx, vy = n * ((x * x) @ w) - sx * sx, n * ((y * y) @ w) - sy * sy
    cov = n * ((x * y) @ w) - sx * sy
    measured = vx > 1e-9
    with np.errstate(divide="ignore", invalid="ignore"):
        r2 = np.where(vy > 1e-9, cov * cov / (vx * np.where(vy > 1e-9, vy, 1)), 0.0)
    good = measured & (np.floor(r2 * 10000 + 1e-9) >= round(TARGET * 10000))  # as files.four_places cuts it
    return good.sum(0), measured.sum(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder")
    parser.add_argument("sets", nargs="+")
    parser.add_argument("--draws", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    chunks = files.read_table(os.path.join(args.folder, "results", "imputation", "chunks.tsv"))[1]
    people, x, ys = chunk_data(args.folder, chunks[0], args.sets)
    data = [(x, ys)] + [chunk_data(args.folder, chunk, args.sets, people)[1:] for chunk in chunks[1:]]
    people = len(people)
    rng = np.random.default_rng(args.seed)
    weights = np.vstack([np.ones(people), rng.multinomial(people, [1.0 / people] * people, size=args.draws)])
    share = {}
    for name in args.sets:
        counts = [shares(x, ys[name], weights) for x, ys in data]
        share[name] = 100.0 * sum(c[0] for c in counts) / sum(c[1] for c in counts)
    print("%d held-out people, %d draws" % (people, args.draws))
    first = args.sets[0]
    for name in args.sets:
        print("%s: %.2f%%, bootstrap SD %.2f" % (name, share[name][0], share[name][1:].std()))
    for name in args.sets[1:]:
        diff = share[first] - share[name]
        low, high = np.percentile(diff[1:], [2.5, 97.5])
        print(
            "%s - %s: %+.2f points, SD %.2f, 95%% from %+.2f to %+.2f"
            % (first, name, diff[0], diff[1:].std(), low, high)
        )


if __name__ == "__main__":
    main()
