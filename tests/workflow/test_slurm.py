"""The workflow on a real SLURM cluster: one node on this machine, started for
these tests by tests/slurm/cluster.sh, run through the profile in
config/slurm. Where SLURM cannot start (no root, say) every test here is
skipped with the reason, and the suite reports itself skipped."""
import collections
import os
import re
import signal
import subprocess
import time

import pytest

from conftest import ROOT, SNAKEFILE, environment, make_workdir, merged_results, read, snakemake

PROFILE = os.path.join(ROOT, "config", "slurm")
CLUSTER = os.path.join(ROOT, "tests", "slurm", "cluster.sh")
# What each rule asks the scheduler for: threads and memory (MB); GROUP is a
# region's jobs, submitted as one.
REQUESTS = {"qc": (1, 256), "cut_chromosome": (2, 512), "GROUP": (1, 256)}


@pytest.fixture(scope="module")
def slurm(tmp_path_factory):
    """The SLURM_CONF of a running one-node cluster."""
    folder = str(tmp_path_factory.mktemp("slurm"))
    p = subprocess.run([CLUSTER, "start", folder], capture_output=True, text=True)
    if p.returncode == 77:
        pytest.exit("SLURM tests skipped: " + p.stderr.strip(), returncode=77)
    assert p.returncode == 0, p.stderr
    yield p.stdout.strip()
    subprocess.run([CLUSTER, "stop", folder])


def slurm_env(conf):
    # Snakemake 7 asks about cluster jobs every 10 s, or every second when
    # CI is true, as ldtag-workflow sets it for cluster runs.
    return {"SLURM_CONF": conf, "CI": "true"}


def jobs_of(conf, first_id):
    """name, threads and memory of each job SLURM ran from `first_id` on."""
    p = subprocess.run(
        ["scontrol", "-o", "show", "job"],
        env=dict(os.environ, SLURM_CONF=conf),
        capture_output=True,
        text=True,
        check=True,
    )
    jobs = []
    for line in p.stdout.splitlines():
        fields = dict(re.findall(r"(\w+)=(\S*)", line))
        if int(fields["JobId"]) >= first_id:
            memory = re.search(r"mem=(\d+)M", fields.get("TRES", ""))
            jobs.append(
                (
                    fields["JobName"],
                    int(fields["NumCPUs"]),
                    int(memory.group(1)) if memory else None,
                    fields["JobState"],
                )
            )
    return jobs


def next_job_id(conf):
    p = subprocess.run(
        ["scontrol", "-o", "show", "job"], env=dict(os.environ, SLURM_CONF=conf), capture_output=True, text=True
    )
    ids = [int(m) for m in re.findall(r"JobId=(\d+)", p.stdout)]
    return max(ids, default=0) + 1


def test_the_demo_through_the_profile_equals_a_local_run(slurm, clean_run, tmp_path):
    folder = make_workdir(str(tmp_path))
    first = next_job_id(slurm)
    start = time.monotonic()
    snakemake(folder, "--profile", PROFILE, env=slurm_env(slurm))
    wall = time.monotonic() - start
    assert merged_results(folder) == merged_results(clean_run)
    jobs = jobs_of(slurm, first)
    kinds = collections.Counter(name.split("-")[1] for name, _, _, _ in jobs)
    regions = len(read(os.path.join(folder, "results", "regions.tsv")).splitlines()) - 1
    # A submission per chromosome for quality control and for the cuts, one
    # per region for its jobs; nothing else.
    assert kinds == {"qc": 2, "cut_chromosome": 2, "GROUP": regions}, jobs
    for name, cpus, memory, state in jobs:
        assert (cpus, memory) == REQUESTS[name.split("-")[1]], name
        assert state == "COMPLETED", name
    print("through SLURM: %.1f s for %d submissions" % (wall, len(jobs)))


def test_a_job_the_scheduler_kills_is_named_soon_and_a_rerun_recovers(slurm, clean_run, tmp_path):
    folder = make_workdir(str(tmp_path))
    cmd = ["snakemake", "-s", SNAKEFILE, "--configfile", "config.yaml", "--profile", PROFILE]
    env = environment(**slurm_env(slurm))
    with open(os.path.join(folder, "run.log"), "w") as log:
        process = subprocess.Popen(
            cmd, cwd=folder, env=env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True
        )
    # A region's job, killed while it runs, as a time limit or a lost node
    # would end it.
    victim = None
    deadline = time.monotonic() + 120
    while victim is None and time.monotonic() < deadline and process.poll() is None:
        p = subprocess.run(
            ["squeue", "-h", "-t", "R", "-o", "%i %j"],
            env=dict(os.environ, SLURM_CONF=slurm),
            capture_output=True,
            text=True,
        )
        for line in p.stdout.splitlines():
            job, name = line.split()
            if name.startswith("ldtag-GROUP"):
                victim = (job, name)
                break
        time.sleep(0.05)
    assert victim, "no region's job was seen running"
    subprocess.run(["scancel", "--signal=KILL", victim[0]], env=dict(os.environ, SLURM_CONF=slurm), check=True)
    killed = time.monotonic()
    message = "ldtag: SLURM job %s (%s) ended" % victim
    while message not in read(os.path.join(folder, "run.log")).decode() and time.monotonic() - killed < 60:
        time.sleep(0.2)
    found = time.monotonic() - killed
    try:
        process.wait(timeout=300)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        pytest.fail("the run did not end after its job was killed")
    output = read(os.path.join(folder, "run.log")).decode()
    assert found < 60, "the kill was not found within a minute:\n" + output[-3000:]
    assert process.returncode != 0
    region = victim[1].split("region=")[1]
    assert "region=" + region in output  # Snakemake names the group's jobs and their region
    print("a killed job was found after %.1f s" % found)
    snakemake(folder, "--profile", PROFILE, env=slurm_env(slurm))
    assert merged_results(folder) == merged_results(clean_run)
