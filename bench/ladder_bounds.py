#!/usr/bin/python3
"""What the bounds on the climb would have left out of finished runs that
imputed every candidate up to the first that reached the target, and
every second-round set so.

    bench/ladder_bounds.py RUN...

RUN is a finished fewest-tags run of the workflow with the tags chosen for
imputation (a target_bench.py run's fewest/ folder, or a run of one
population of --populations). From its imputation/target/selection.tsv
the candidates imputed are climbed again as the workflow now climbs them
(ldtag.target.ladder_step, from the totals the table gives, each taken
to reach every share once completed, as it does without undesirable
SNPs), and a line per run says:

- ratio: the largest total of a candidate imputed before the smallest
  repaired candidate (the second round's source), over that one's tags;
  HOPELESS must exceed it, or the source is left out;
- kept: the candidates the climb imputes, of those the run imputed;
- source: whether the source is among them;
- choice: whether the run's choice stands, that is, it is not a candidate
  left out, and a set of a later round reached the target with fewer tags
  than every candidate left out that reached it (then the third round's
  needs are the same too).

And of the second round, from its refined.tsv and the third round's
rows of the selection table:

- put off: the second-round sets put off to the third round, of those the
  run imputed;
- third: the third round's climb as it would be, the fewest tags first
  (a set put off before a completion of the same size): the sets it
  imputes, each c (a completion) or p (a set put off), its tags and
  whether it reached the target as imputed, "?" for a completion the run
  did not impute; it stops at the first that reached it (each completion
  is taken to reach it by estimate, as in runs without undesirable SNPs);
- choice then: the tags of the choice as it would be ("at most" when the
  climb met a completion the run did not impute, which would be taken if
  it reached), against the run's.

A run made since the climb has the bounds imputes only what they keep, so
its line says nothing new.
"""
import os
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "workflow", "scripts"))
from ldtag import files, spread, target  # noqa: E402


def climb(tags_of, by):
    """The sets of a round (`tags_of`: name -> tags, in order) that the
    climb imputes, replayed from the selection table's rows `by` name."""
    kept, previous = [], None
    for name in tags_of:
        imputed = previous is not None and previous["imputed"] == "1"
        before = by[previous["set"]] if imputed else None
        reached = imputed and before["added"] == "0"
        step = target.ladder_step(name, tags_of, previous, reached, int(before["total"]) if imputed else None)
        previous = target.ladder_row(name, *step)
        kept += [name] if step[0] else []
    return kept


def bounds(rows):
    """(ratio, kept names, source kept, choice stands) of the selection
    table's `rows`."""
    candidates = [r for r in rows if r["candidate"].startswith(spread.COMMON)]
    tags_of = {r["candidate"]: int(r["tags"]) for r in candidates}
    total = {r["candidate"]: int(r["total"]) for r in candidates}
    source = min(candidates, key=lambda r: total[r["candidate"]])["candidate"]
    before = [total[r["candidate"]] for r in candidates[: [r["candidate"] for r in candidates].index(source)]]
    ratio = max(before, default=0) / tags_of[source]
    kept = climb(tags_of, {r["candidate"]: r for r in candidates})
    left_out = [r for r in candidates if r["candidate"] not in kept]
    chosen = next(r for r in rows if r["chosen"] == "1")
    later = [int(r["tags"]) for r in rows if r not in candidates and r["added"] == "0"]
    reaching = [int(r["tags"]) for r in left_out if r["added"] == "0"]
    stands = chosen not in left_out and (not reaching or min(later, default=float("inf")) < min(reaching))
    return ratio, kept, source in kept, stands


def second_round(rows, refined):
    """(put off, how many kept, the third round's climb [(tags, a
    completion, reached or None when not imputed)], the choice's tags,
    whether the climb met a set not imputed) of the selection table's
    `rows` and the second round's table `refined`."""
    by = {r["candidate"]: r for r in rows}
    tags_of = {r["set"]: int(r["tags"]) for r in refined}
    kept = climb(tags_of, by)
    put_off = [name for name in tags_of if name in by and name not in kept]
    third = []
    for name in kept:
        if by[name]["added"] != "0":
            done = [r for r in rows if r["kind"].startswith(name + " with ")]
            third.append((int(by[name]["total"]), 1, done[0]["added"] == "0" if done else None))
    third += [(tags_of[name], 0, by[name]["added"] == "0") for name in put_off]
    earlier = [r for r in rows if r["candidate"] not in put_off and not r["candidate"].startswith(target.COMPLETED)]
    verified = [int(r["tags"]) for r in earlier if r["added"] == "0"]
    climbed = []
    for tags, completion, reached in sorted(t for t in third if t[0] < min(verified, default=float("inf"))):
        climbed.append((tags, completion, reached))
        if reached:
            break
    choice = min([t for t, _, reached in climbed if reached] + verified, default=None)
    return put_off, len(kept), climbed, choice, any(reached is None for _, _, reached in climbed)


def main():
    if len(sys.argv) < 2 or sys.argv[1].startswith("-"):
        sys.exit(__doc__)
    print("| run | ratio | kept | of | source kept | choice stands |")
    print("|---|---|---|---|---|---|")
    for run in sys.argv[1:]:
        rows = files.read_table(os.path.join(run, "results", "imputation", "target", "selection.tsv"))[1]
        ratio, kept, source, stands = bounds(rows)
        imputed = sum(r["candidate"].startswith(spread.COMMON) for r in rows)
        print("| %s | %.1f | %d | %d | %s | %s |" % (run, ratio, len(kept), imputed, source, stands))
    print()
    print("| run | put off | of | third | choice then | the run's |")
    print("|---|---|---|---|---|---|")
    for run in sys.argv[1:]:
        folder = os.path.join(run, "results", "imputation", "target")
        rows = files.read_table(os.path.join(folder, "selection.tsv"))[1]
        refined = files.read_table(os.path.join(folder, "refined.tsv"))[1]
        put_off, kept, climbed, choice, unknown = second_round(rows, refined)
        imputed = sum(r["candidate"].startswith(target.REFINED) for r in rows)
        said = {True: "yes", False: "no", None: "?"}
        third = " ".join("%s%d:%s" % ("cp"[not c], t, said[r]) for t, c, r in climbed)
        choice = ("at most %s" if unknown else "%s") % choice
        chosen = next(r["total"] for r in rows if r["chosen"] == "1")
        print("| %s | %d | %d | %s | %s | %s |" % (run, len(put_off), imputed, third, choice, chosen))


if __name__ == "__main__":
    main()
