#!/usr/bin/python3
"""What the first round's two bounds on the climb would have left out of
finished runs that imputed every candidate up to the first that reached
the target.

    bench/ladder_bounds.py RUN...

RUN is a finished fewest-tags run of the workflow with the tags chosen for
imputation (a target_bench.py run's fewest/ folder, or a run of one
population of --populations). From its imputation/target/selection.tsv
the candidates imputed are climbed again as the workflow now climbs them
(ldtag.target.ladder_step, from the totals the table gives), and a line
per run says:

- ratio: the largest total of a candidate imputed before the smallest
  repaired candidate (the second round's source), over that one's tags;
  HOPELESS must exceed it, or the source is left out;
- kept: the candidates the climb imputes, of those the run imputed;
- source: whether the source is among them;
- choice: whether the run's choice stands, that is, it is not a candidate
  left out, and a set of a later round reached the target with fewer tags
  than every candidate left out that reached it (then the third round's
  needs are the same too).

A run made since the climb has the bounds imputes only what they keep, so
its line says nothing new.
"""
import os
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "workflow", "scripts"))
from ldtag import files, target  # noqa: E402


def bounds(rows):
    """(ratio, kept names, source kept, choice stands) of the selection
    table's `rows`."""
    candidates = [r for r in rows if r["candidate"].startswith(target.COMMON)]
    tags_of = {r["candidate"]: int(r["tags"]) for r in candidates}
    total = {r["candidate"]: int(r["total"]) for r in candidates}
    source = min(candidates, key=lambda r: total[r["candidate"]])["candidate"]
    before = [total[r["candidate"]] for r in candidates[: [r["candidate"] for r in candidates].index(source)]]
    ratio = max(before, default=0) / tags_of[source]
    added = {r["candidate"]: r["added"] for r in candidates}
    kept, previous = [], None
    for name in tags_of:
        imputed = previous is not None and previous["imputed"] == "1"
        reached = imputed and added[previous["set"]] == "0"
        step = target.ladder_step(name, tags_of, previous, reached, total[previous["set"]] if imputed else None)
        previous = target.ladder_row(name, *step)
        kept += [name] if step[0] else []
    left_out = [r for r in candidates if r["candidate"] not in kept]
    chosen = next(r for r in rows if r["chosen"] == "1")
    later = [int(r["tags"]) for r in rows if r not in candidates and r["added"] == "0"]
    reaching = [int(r["tags"]) for r in left_out if r["added"] == "0"]
    stands = chosen not in left_out and (not reaching or min(later, default=float("inf")) < min(reaching))
    return ratio, kept, source in kept, stands


def main():
    if len(sys.argv) < 2 or sys.argv[1].startswith("-"):
        sys.exit(__doc__)
    print("| run | ratio | kept | of | source kept | choice stands |")
    print("|---|---|---|---|---|---|")
    for run in sys.argv[1:]:
        rows = files.read_table(os.path.join(run, "results", "imputation", "target", "selection.tsv"))[1]
        ratio, kept, source, stands = bounds(rows)
        imputed = sum(r["candidate"].startswith(target.COMMON) for r in rows)
        print("| %s | %.1f | %d | %d | %s | %s |" % (run, ratio, len(kept), imputed, source, stands))


if __name__ == "__main__":
    main()
