"""The workflow when things go wrong: runs killed at many moments, a disk
that fills up, broken genotypes and lists, and names and paths that a shell
would read as commands. Each ends with the same merged tables as a run that
met none of it, or stops before any region job with a message naming the
file and what is wrong."""
import os
import re
import signal
import subprocess
import sys
import time

import pytest

from conftest import SAMPLES, SNAKEFILE, environment, make_workdir, merged_results, read, snakemake, table, write_config

import yaml


def start(folder, *args):
    """Starts the workflow in its own process group, as a scheduler and its
    jobs are; its messages go to run.log in the folder."""
    cmd = ["snakemake", "-s", SNAKEFILE, "--configfile", "config.yaml", "--cores", "2"] + list(args)
    with open(os.path.join(folder, "run.log"), "w") as log:
        return subprocess.Popen(
            cmd, cwd=folder, env=environment(), stdout=subprocess.DEVNULL, stderr=log, start_new_session=True
        )


def started_jobs(folder):
    """How many jobs the run's log shows started."""
    with open(os.path.join(folder, "run.log")) as f:
        return sum(1 for line in f if re.match(r"^(local)?(rule|checkpoint) \w+:$", line))


def kill_at_job(process, folder, jobs):
    """SIGKILL to the scheduler and every job at once as soon as the run has
    started `jobs` jobs (at once for 0, while it reads the config): a moment
    defined by the run's progress, so that a busy machine moves it no
    further. Returns True when it was killed, False when it had finished."""
    while process.poll() is None:
        if started_jobs(folder) >= jobs:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return True
        time.sleep(0.002)
    return False


def running(folder):
    """The rules of the jobs a run's log shows started and not finished."""
    started = {}
    with open(os.path.join(folder, "run.log")) as f:
        rule = None
        for line in f:
            words = line.split()
            if len(words) == 2 and words[0] in ("rule", "localrule", "checkpoint", "localcheckpoint"):
                rule = words[1].rstrip(":")
            elif words[:1] == ["jobid:"] and rule:
                started[words[1]] = rule
                rule = None
            elif words[:2] == ["Finished", "job"]:
                started.pop(words[2].rstrip("."), None)
    return sorted(set(started.values()))


def recover(folder):
    """What the README says to do after a kill: unlock, then the same command
    with --rerun-incomplete."""
    snakemake(folder, "--unlock")
    snakemake(folder, "--rerun-incomplete")


def test_runs_killed_at_moments_spread_over_the_run_end_with_the_same_tables(clean_run, tmp_path):
    """Fresh runs, each killed as a later job starts (about eight moments
    spread over every job of a whole run, from reading the config to the
    report), each then recovered."""
    timing = make_workdir(str(tmp_path / "timing"))
    process = start(timing)
    assert process.wait() == 0
    jobs = started_jobs(timing)
    moments = []
    for k, at in enumerate(sorted(set(range(0, jobs, max(1, jobs // 8))) | {jobs - 1})):
        folder = make_workdir(str(tmp_path / ("kill%d" % k)))
        process = start(folder)
        assert kill_at_job(process, folder, at), "the run ended before its job %d started" % at
        moments.append("job %d of %d (%s)" % (at, jobs, ", ".join(running(folder)) or "reading the config"))
        recover(folder)
        assert merged_results(folder) == merged_results(clean_run), moments[-1]
    print("killed at " + "; ".join(moments), file=sys.stderr)
    assert len(moments) >= 8


SHIM = """#!/bin/bash
# Announces that the program starts, then runs it.
case " $* " in *"{only}"*) [ -n "${{KILL_MARKER:-}}" ] && touch "$KILL_MARKER" ;; esac
exec {real} "$@"
"""


@pytest.mark.parametrize(
    "program,only", [("plink1.9", "square"), ("ldprep", ""), ("ldprune", "")], ids=["PLINK's r²", "ldprep", "ldprune"]
)
def test_runs_killed_while_a_program_writes_a_region_end_with_the_same_tables(clean_run, tmp_path, program, only):
    """Runs killed just after a program of a region's chain has started, and
    a few milliseconds into it, while it writes its files."""
    shims = tmp_path / "shims"
    shims.mkdir()
    real = next(
        os.path.join(d, program)
        for d in environment()["PATH"].split(os.pathsep)
        if os.access(os.path.join(d, program), os.X_OK)
    )
    (shims / program).write_text(SHIM.format(only=only, real=real))
    (shims / program).chmod(0o755)
    path = str(shims) + os.pathsep + environment()["PATH"]
    for delay in (0.0, 0.01):
        folder = make_workdir(str(tmp_path / ("kill%g" % delay)))
        marker = os.path.join(folder, "started")
        cmd = ["snakemake", "-s", SNAKEFILE, "--configfile", "config.yaml", "--cores", "2"]
        with open(os.path.join(folder, "run.log"), "w") as log:
            process = subprocess.Popen(
                cmd,
                cwd=folder,
                env=dict(environment(), PATH=path, KILL_MARKER=marker),
                stdout=subprocess.DEVNULL,
                stderr=log,
                start_new_session=True,
            )
        while not os.path.exists(marker) and process.poll() is None:
            time.sleep(0.0005)
        time.sleep(delay)
        assert process.poll() is None, "the run ended before %s started" % program
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        recover(folder)
        assert merged_results(folder) == merged_results(clean_run), delay


def test_runs_killed_again_and_again_end_with_the_same_tables(clean_run, tmp_path):
    """A chain of runs that keep their intermediate files, the k-th killed as
    it starts its k-th job, each recovering what the one before left, until
    one runs to its end."""
    folder = make_workdir(str(tmp_path), keep_intermediate=True)
    kills = []
    for k in range(1, 200):
        if k > 1:
            snakemake(folder, "--unlock")
        process = start(folder, "--rerun-incomplete")
        if not kill_at_job(process, folder, k):
            assert process.returncode == 0, read(os.path.join(folder, "run.log")).decode()[-3000:]
            break
        kills.append("job %d (%s)" % (k, ", ".join(running(folder)) or "reading the config"))
    print("killed at %s; then ran to the end" % "; ".join(kills), file=sys.stderr)
    assert len(kills) >= 4
    assert merged_results(folder) == merged_results(clean_run)
    assert "Nothing to be done" in snakemake(folder).stderr
    left = [os.path.join(d, f) for d, dirs, files in os.walk(os.path.join(folder, "results")) for f in files + dirs]
    assert not [f for f in left if ".partial" in f or f.endswith((".minimum", ".cluster"))], left


@pytest.fixture
def small_disk(tmp_path):
    """A file system of 12 MB; None where one cannot be mounted."""
    mount = tmp_path / "disk"
    mount.mkdir()
    p = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=12m", "tmpfs", str(mount)], capture_output=True, text=True)
    if p.returncode != 0:
        pytest.skip(
            "cannot mount a small file system here (%s); the programs' own tests write to a full disk "
            "through /dev/full" % p.stderr.strip()
        )
    yield mount
    subprocess.run(["umount", "-l", str(mount)])


def test_a_full_disk_fails_naming_region_step_and_file_and_a_rerun_after_freeing_space_ends_well(clean_run, small_disk):
    folder = make_workdir(str(small_disk / "study"))
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert "No space left on device" in p.stderr, p.stderr[-3000:]
    lines = [line for line in p.stderr.splitlines() if "No space left on device" in line or "ldtag: region" in line]
    print("\n".join(lines), file=sys.stderr)
    assert any(line.startswith("ldtag: region chr") and "failed" in line for line in lines), lines
    subprocess.run(["mount", "-o", "remount,size=400m", str(small_disk)], check=True)
    snakemake(folder)
    assert merged_results(folder) == merged_results(clean_run)


def break_file(folder, name, how):
    path = os.path.join(folder, "data", name)
    if how == "truncate":
        with open(path, "r+b") as f:
            f.truncate(os.path.getsize(path) - 250)  # one SNP's genotypes short
    elif how == "bad line":
        with open(path) as f:
            lines = f.readlines()
        lines[7] = "10 rs_half 0\n"
        with open(path, "w") as f:
            f.writelines(lines)
    elif how == "no cM":
        with open(path) as f:
            lines = f.readlines()
        fields = lines[6].split()
        lines[6] = "\t".join(fields[:2] + ["NA"] + fields[3:]) + "\n"
        with open(path, "w") as f:
            f.writelines(lines)
    elif how == "remove":
        os.remove(path)
    elif how == "directory":
        os.remove(path)
        os.mkdir(path)
    elif how == "bom":
        data = read(path)
        with open(path, "wb") as f:
            f.write(b"\xef\xbb\xbf" + data)


BROKEN = [
    (
        "geno.bed",
        "truncate",
        "data/geno.bed holds 299753 bytes, but data/geno.bim lists 1200 SNPs and data/geno.fam "
        "%d people, which take 300003 bytes: the three files do not belong together" % SAMPLES,
    ),
    (
        "geno.bim",
        "bad line",
        "data/geno.bim: line 8: expected 6 fields (chromosome, SNP, cM, position, allele 1, " "allele 2), found 3",
    ),
    ("geno.bim", "no cM", "data/geno.bim: line 7: genetic position 'NA' of SNP "),
    ("geno.fam", "remove", "bfile data/geno: data/geno.fam does not exist"),
    ("done.txt", "directory", "done_file: data/done.txt is not a file"),
    (
        "undesirable.txt",
        "bom",
        "undesirable_file: data/undesirable.txt starts with a byte-order mark (EF BB BF), "
        "which would become part of its first name: save it as plain text without one",
    ),
    ("thresholds.txt", "bom", "thresholds_file data/thresholds.txt starts with a byte-order mark"),
]


@pytest.mark.parametrize("name,how,message", BROKEN, ids=["%s-%s" % (n, h) for n, h, _ in BROKEN])
def test_broken_genotypes_and_lists_stop_before_any_job(tmp_path, name, how, message):
    folder = make_workdir(str(tmp_path))
    break_file(folder, name, how)
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert "The config cannot be used:" in p.stderr and message in p.stderr, p.stderr[-2000:]
    assert not os.path.exists(os.path.join(folder, "results"))


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads every file, so a list it cannot read cannot be made")
def test_an_unreadable_list_stops_before_any_job(tmp_path):
    folder = make_workdir(str(tmp_path))
    os.chmod(os.path.join(folder, "data", "done.txt"), 0)
    p = snakemake(folder, check=False)
    assert "done_file: data/done.txt cannot be read: Permission denied" in p.stderr


def test_lists_with_windows_line_ends_give_the_same_tables(clean_run, tmp_path):
    """PLINK and the programs read a carriage return as white space."""
    folder = make_workdir(str(tmp_path))
    for name in ("thresholds.txt", "done.txt", "undesirable.txt"):
        path = os.path.join(folder, "data", name)
        data = read(path)
        with open(path, "wb") as f:
            f.write(data.replace(b"\n", b"\r\n"))
    snakemake(folder)
    assert merged_results(folder) == merged_results(clean_run)


def test_parents_named_but_not_genotyped_leave_the_tables_as_they_were(clean_run, tmp_path):
    """PLINK takes LD and frequencies from founders alone: a person whose
    parents are named but not among the genotypes counts as one."""
    folder = make_workdir(str(tmp_path))
    fam = os.path.join(folder, "data", "geno.fam")
    with open(fam) as f:
        people = [line.split() for line in f]
    with open(fam, "w") as f:
        f.writelines(" ".join(p[:2] + ["dad%d" % k, "mum%d" % k] + p[4:]) + "\n" for k, p in enumerate(people))
    p = snakemake(folder)
    assert "both parents" not in p.stderr
    assert merged_results(folder) == merged_results(clean_run)


HOSTILE = "x;touch PWNED;$(touch PWNED2);`touch PWNED3`'\"&"


def test_names_and_paths_a_shell_would_run_are_never_run(tmp_path):
    """A study folder and files whose names hold shell syntax, SNP names and
    sample ids that do too: every one reaches the programs as it is, and no
    command in them runs."""
    study = os.path.join(str(tmp_path), "my study " + HOSTILE[:-1])
    folder = make_workdir(study)
    data = os.path.join(folder, "data")
    hostile_data = os.path.join(folder, "data " + HOSTILE)
    os.rename(data, hostile_data)
    # SNP names and sample ids with shell syntax, each short enough for ldprune.
    bim = os.path.join(hostile_data, "geno.bim")
    with open(bim) as f:
        lines = [line.split("\t") for line in f]
    names = {}
    # Without blanks, as names are: ${IFS} stands for one.
    for k, new in ((100, "rs$(touch${IFS}PWNED4)"), (500, "rs;touch${IFS}PWNED5"), (900, "rs'\"`touch${IFS}PWNED8`")):
        names[lines[k][1]] = new
        lines[k][1] = new
    with open(bim, "w") as f:
        f.writelines("\t".join(fields) for fields in lines)
    fam = os.path.join(hostile_data, "geno.fam")
    with open(fam) as f:
        people = f.readlines()
    people[0] = "$(touch${IFS}PWNED6) ;touch${IFS}PWNED7 " + " ".join(people[0].split()[2:]) + "\n"
    with open(fam, "w") as f:
        f.writelines(people)
    with open(os.path.join(hostile_data, "done.txt"), "a") as f:
        f.write("rs$(touch${IFS}PWNED4)\n")
    config = yaml.safe_load(open(os.path.join(folder, "config.yaml")))
    for key in ("thresholds_file", "done_file", "undesirable_file"):
        config[key] = config[key].replace("data/", "data %s/" % HOSTILE)
    config["bfile"] = [b.replace("data/", "data %s/" % HOSTILE) for b in config["bfile"]]
    write_config(folder, config)
    snakemake(folder)
    stray = [os.path.join(d, f) for d, _, files in os.walk(str(tmp_path)) for f in files if "PWNED" in f]
    assert stray == [] and not any("PWNED" in f for f in os.listdir(os.getcwd()))
    rows = table(os.path.join(folder, "results", "minimum_tags.tsv"))
    snps = {r["snp"] for r in rows}
    assert set(names.values()) <= snps
    done = [r for r in rows if r["snp"] == "rs$(touch${IFS}PWNED4)"]
    assert done[0]["tag"] == "1"  # a done SNP is a tag
