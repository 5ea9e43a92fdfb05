#!/usr/bin/env python3
"""Writes plausible clustering results for the bundled example data set.

Reads ld_processed.txt and maf_processed.txt (as ldprune writes them from the
files in this folder) from the directory given as the first argument and
writes, into this folder, a member list and a cluster summary for each method
in the layout the joiners read. Every SNP of maf_processed.txt is in exactly
one cluster, and each cluster's tag SNP tags all of its members; similarities are the r² values
of ld.txt.
"""
import os
import sys


def load(workdir):
    names, pos, maf = [], {}, {}
    with open(os.path.join(workdir, "maf_processed.txt")) as f:
        for line in f:
            n, p, m = line.split()
            names.append(n)
            pos[n], maf[n] = p, m
    score = {}
    with open(os.path.join(workdir, "ld_processed.txt")) as f:
        for line in f:
            a, b, v = line.split()
            score[a, b] = float(v)
    r2 = {}
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "ld.txt")) as f:
        for line in f:
            a, b, v = line.split()
            r2[a, b] = r2[b, a] = float(v)
    return names, pos, maf, score, r2


def cluster(names, score, r2, minimax):
    left = list(names)
    clusters = []
    while left:
        best = None
        for i in left:
            if score[i, i] < 1.0:
                continue
            members = [j for j in left if score[i, j] >= 1.0]
            worst = min(r2.get((i, j), 0.0) for j in members if j != i) if len(members) > 1 else 1.0
            key = (len(members), worst) if minimax else (len(members),)
            if best is None or key > best[0]:
                best = (key, i, members)
        if best is None:  # only SNPs that tag nothing are left: join a tag that tags them
            for j in left:
                for c in clusters:
                    if score[c[0], j] >= 1.0:
                        c[1].append(j)
                        break
                else:
                    raise SystemExit("no tag for " + j)
            break
        _, tag, members = best
        clusters.append((tag, members))
        left = [j for j in left if j not in members]
    return clusters


def write(method, names, pos, maf, r2, clusters):
    order = {n: k for k, n in enumerate(names)}
    base = "Zentavor.result." + method
    here = os.path.dirname(os.path.abspath(__file__))
    summary = [
        "Zentavor clustering result\n",
        "Method: %s\n" % method,
        "Input: ld_processed.txt, maf_processed.txt\n",
        "SNPs: %d\n" % len(names),
        "Clusters: %d\n" % len(clusters),
        "\n",
        "Cluster\tSize\tTagging SNP\tAvg. sim.\n",
    ]
    if method == "Greedy":
        rows = ["SNP\tCluster\tTag\tPosition\tMAF\tChromosome\tSimilarityToTag\tClusterSize\tWeight\n"]
    else:
        rows = ["SNP\tCluster\tPosition\tMAF\tChromosome\tClusterSize\tTag\tSimilarityToTag\tMaxDistance\tWeight\n"]
    for c, (tag, members) in enumerate(clusters):
        members = sorted(members, key=order.get)
        sims = {m: 1.0 if m == tag else r2.get((tag, m), 0.0) for m in members}
        avg = sum(sims.values()) / len(members)
        summary.append("%d\t%d\t%s\t%.6f\n" % (c, len(members), tag, avg))
        spread = 1.0 - min(sims.values())
        for m in members:
            flag = 1 if m == tag else 0
            if method == "Greedy":
                rows.append(
                    "%s\t%d\t%d\t%s\t%s\t10\t%.6f\t%d\t1\n" % (m, c, flag, pos[m], maf[m], sims[m], len(members))
                )
            else:
                rows.append(
                    "%s\t%d\t%s\t%s\t10\t%d\t%d\t%.6f\t%.6f\t1\n"
                    % (m, c, pos[m], maf[m], len(members), flag, sims[m], spread)
                )
    with open(os.path.join(here, base + ".members.txt"), "w") as f:
        f.writelines(rows)
    with open(os.path.join(here, base + ".out"), "w") as f:
        f.writelines(summary)


def main():
    names, pos, maf, score, r2 = load(sys.argv[1])
    write("Greedy", names, pos, maf, r2, cluster(names, score, r2, minimax=False))
    write("Minimax", names, pos, maf, r2, cluster(names, score, r2, minimax=True))


if __name__ == "__main__":
    main()
