"""A region's chain of programs, as two jobs.

prepare(): PLINK's r² of every pair of the region's SNPs (plink.ld.bin),
their allele frequencies and .bim lines; ldprep, which writes ldprune's six
inputs; ldprune, whose run log's lines before the matrix dumps are kept as
run_log.txt. The steps run in a scratch folder beside the region's files
(.partial), and what they leave is moved into place only when every step has
succeeded, run_log.txt last: a killed run leaves no half-written file in the
region's folder, and no run_log.txt, so the region counts as not prepared.

cluster(): the clustering program (ldcluster, another program's command, or
none when results were put in place by hand), the joiners, and the coverage
of each method's tags. coverage.tsv, the last output, is removed first and
written last, so that a region counts as not clustered until every step has
succeeded.

Each program's messages go to its log in the region's log folder. A failed
step raises Failed, whose message names the region, the step, its exit
status and the end of its log.
"""
import os
import shutil
import subprocess

from . import coverage, files, genotypes
from . import region as regionfiles

NEEDED = "needed.txt"  # a folder's needed SNPs, for ldcluster
TAGGING_PAIRS = "tagging_pairs.txt"  # the pairs that tag, as ld_processed.txt lists them
# The Minimum result is in the Greedy layout: memberjoin1 joins it in a
# folder of its own.
JOINERS = {"greedy": "memberjoin1", "minimax": "memberjoin2", "minimum": "memberjoin1"}


class Failed(Exception):
    pass


def result_files(method):
    """The clustering program's two result files of a method."""
    stem = "Zentavor.result.%s" % method.capitalize()
    return [stem + ".members.txt", stem + ".out"]


def joiner_log(method):
    return "memberjoin1_minimum.log" if method == "minimum" else JOINERS[method] + ".log"


def _failed(region, step, status, log):
    if status < 0:
        return Failed(
            "ldtag: region %s: %s was stopped by signal %d (an interrupt, or a kill)" % (region, step, -status)
        )
    lines = []
    if os.path.exists(log):
        with open(log, errors="replace") as f:
            lines = f.read().splitlines()[-12:]
    return Failed(
        "ldtag: region %s: %s failed with exit status %d; the end of %s:\n%s"
        % (region, step, status, log, "\n".join("  " + line for line in lines))
    )


def _run(region, step, command, cwd, log, output_too=False):
    """Runs a program in `cwd` with its messages (and with `output_too` its
    standard output) in `log`."""
    with open(log, "w") as messages:
        stdout = messages if output_too else subprocess.DEVNULL
        status = subprocess.run(command, cwd=cwd, stdout=stdout, stderr=messages).returncode
    if status != 0:
        raise _failed(region, step, status, log)


# The chain up to ldprune.


def _move_into_place(work, outputs):
    """The outputs from the scratch folder into the region's folder,
    run_log.txt last, and the earlier one first: while it is missing the
    region counts as not prepared, whatever else is there. What the steps
    left that is no output goes with the scratch folder."""
    run_log = next(path for path in outputs if os.path.basename(path) == "run_log.txt")
    if os.path.exists(run_log):
        os.remove(run_log)
    for path in outputs:
        if path != run_log:
            os.replace(os.path.join(work, os.path.basename(path)), path)
    os.replace(os.path.join(work, "run_log.txt"), run_log)
    shutil.rmtree(work)


def _varying_snps(bim_lines, varying):
    """The SNPs of the region's .bim lines that are in `varying`."""
    with open(varying) as f:
        varies = set(f.read().split())
    return [name for name in (line.split()[1] for line in bim_lines if line.strip()) if name in varies]


def prepare(region, outputs, logs, bfile, first, last, plink, threads, memory, threshold, lists, population):
    """Runs the chain up to ldprune. `outputs`: the files to leave in the
    region's folder, all of them in that folder, run_log.txt among them
    (ld.txt and ldprune's whole run log ld_processed_temp.txt only when they
    are to be kept); `lists`: ldprep's list options and their files;
    `population`: None, or (name, keep file, its varying SNPs). PLINK reads
    the region's SNPs copied out of the chromosome's fileset."""
    folder = os.path.dirname(outputs[0])
    work = os.path.join(folder, ".partial")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    try:
        bim_lines = genotypes.region_fileset(bfile, first, last, os.path.join(work, "region"))
    except (files.FormatError, OSError) as e:
        raise Failed("ldtag: region %s: copying its SNPs out of %s failed: %s" % (region, bfile, e))
    subset = []
    if population:
        name, samples, varying = population
        snps = _varying_snps(bim_lines, varying)
        if not snps:
            for path in outputs + [os.path.join(logs, log) for log in ("plink.log", "ldprep.log", "ldprune.log")]:
                open(os.path.join(work, os.path.basename(path)) if path in outputs else path, "w").close()
            files.write_lines(
                os.path.join(work, "run_log.txt"), ["No SNP of region %s varies in population %s." % (region, name)]
            )
            _move_into_place(work, outputs)
            return
        files.write_lines(os.path.join(work, "snps.txt"), snps)
        subset = ["--keep", samples, "--extract", os.path.join(work, "snps.txt")]
    status = subprocess.run(
        [plink, "--bfile", os.path.join(work, "region"), *subset, "--make-founders", "--r2", "square", "bin", "--freq"]
        + ["--make-just-bim", "--allow-no-sex", "--threads", str(threads), "--memory", str(memory)]
        + ["--out", os.path.join(work, "plink")],
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    ).returncode
    if os.path.exists(os.path.join(work, "plink.log")):
        os.replace(os.path.join(work, "plink.log"), os.path.join(logs, "plink.log"))
    if status != 0:
        step = "PLINK's r² (writing plink.ld.bin, plink.frq and plink.bim)"
        raise _failed(region, step, status, os.path.join(logs, "plink.log"))
    command = ["ldprep", "--bim", "plink.bim", "--freq", "plink.frq", "--ld", "plink.ld.bin", "--threshold", threshold]
    _run(region, "ldprep", command + lists, work, os.path.join(logs, "ldprep.log"))
    _run(region, "ldprune", ["ldprune"], work, os.path.join(logs, "ldprune.log"))
    with open(os.path.join(work, "ld_processed_temp.txt")) as log:
        lines = []
        for line in log:
            if line == "\n":
                break  # the matrix dumps follow
            lines.append(line)
    with open(os.path.join(work, "run_log.txt"), "w") as f:
        f.writelines(lines)
    _move_into_place(work, outputs)


# The clustering, the joiners and the coverage.


def _write_needed(folders):
    """Each folder's needed SNPs, as ldprune's run log names them, for
    ldcluster's --needed."""
    for where, _ in folders:
        files.write_lines(os.path.join(where, NEEDED), sorted(regionfiles.Region(where).needed()))


def _cluster(region, folder, logs, clustering, methods, populations, budget):
    """Runs the clustering program in the region's folder. ldcluster also
    writes the greedy coverage order, and with a budget to come, the pairs
    that tag (TAGGING_PAIRS)."""
    kind, argument = clustering
    if kind == "ldcluster":
        command = ["ldcluster", *argument, "--needed", NEEDED, "--curve"]
        if budget:
            command += ["--tagging-pairs", TAGGING_PAIRS]
        if populations:
            command += ["--populations", ",".join(populations)]
        _run(region, "ldcluster", command, folder, os.path.join(logs, "ldcluster.log"))
    elif kind == "command":
        log = os.path.join(logs, "clustering.log")
        _run(region, "the clustering command", ["bash", "-c", argument], folder, log, output_too=True)
        for method in methods:
            for name in result_files(method):
                if not os.path.isfile(os.path.join(folder, name)):
                    raise Failed(
                        "ldtag: region %s: the clustering command did not write %s in %s" % (region, name, folder)
                    )


def _join(region, folder, logs, methods):
    """The joiners' tables in one folder of the chain. A folder without SNPs
    gets empty tables."""
    if os.path.getsize(os.path.join(folder, "maf_processed.txt")) == 0:
        for method in methods:
            open(os.path.join(folder, method + "_output.txt"), "w").close()
            open(os.path.join(logs, joiner_log(method)), "w").close()
        return
    for method in methods:
        joiner, log = JOINERS[method], os.path.join(logs, joiner_log(method))
        if method != "minimum":
            _run(region, joiner, [joiner], folder, log)
            continue
        scratch = os.path.join(folder, ".minimum")
        shutil.rmtree(scratch, ignore_errors=True)
        os.mkdir(scratch)
        for own, greedy in zip(result_files("minimum"), result_files("greedy")):
            os.symlink(os.path.join("..", own), os.path.join(scratch, greedy))
        _run(region, "memberjoin1 on the Minimum result", [joiner], scratch, log)
        os.replace(os.path.join(scratch, "greedy_output.txt"), os.path.join(folder, "minimum_output.txt"))
        shutil.rmtree(scratch)


def cluster(region, folder, logs, clustering, methods, populations, budget=False):
    """Runs the clustering program, the joiners and the coverage.
    `clustering`: ("ldcluster", its options), ("command", a shell command)
    or ("none", None); with populations, the chain's folders are theirs in
    the region's folder. With `budget` (a slot budget is to be shared out
    once every region is clustered), ldcluster keeps the pairs that tag and
    the coverage step their r², which the budget's job needs once the large
    tables are gone."""
    folders = [(os.path.join(folder, p), os.path.join(logs, p)) for p in populations] or [(folder, logs)]
    # The region's first jobs have finished: the scratch folders a killed
    # run of them may have left are of no use any more.
    for where, _ in folders:
        shutil.rmtree(os.path.join(where, ".partial"), ignore_errors=True)
        if os.path.exists(os.path.join(where, "coverage.tsv")):
            os.remove(os.path.join(where, "coverage.tsv"))
    if clustering[0] == "ldcluster":
        _write_needed(folders)
    _cluster(region, folder, logs, clustering, methods, populations, budget)
    for where, where_logs in folders:
        _join(region, where, where_logs, methods)
    for where, _ in folders:
        try:
            coverage.write(where, methods, TAGGING_PAIRS if budget else None)
        except (OSError, KeyError, ValueError, files.FormatError) as e:
            raise Failed("ldtag: region %s: the coverage failed: %s: %s" % (region, where, e))


# The slot budget's share of a region.


def budget(region, folder, logs, tags, time_limit, populations):
    """The best `tags` tags of the region by greedy and exact maximum
    coverage (ldcluster --max-tags), from the pairs that tag, which the
    clustering job kept: budget_greedy.tsv and budget_maximum.tsv in each
    folder of the chain, budget_summary.tsv in the region's."""
    command = ["ldcluster", "--method", "none", "--scores", TAGGING_PAIRS, "--needed", NEEDED]
    command += ["--max-tags", str(tags), "--time-limit", str(time_limit)]
    if populations:
        command += ["--populations", ",".join(populations)]
    _run(region, "ldcluster --max-tags", command, folder, os.path.join(logs, "budget.log"))
