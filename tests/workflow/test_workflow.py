"""The workflow end to end on real genotypes: 1200 SNPs of chromosome 10 in
regions of at most 400, with ldcluster as the clustering program, and a
stand-in for another one where a test says so."""
import collections
import json
import os
import re
import shutil
import subprocess

import pytest

from conftest import (
    MAX_SNPS,
    ROOT,
    SNAKEFILE,
    environment,
    make_workdir,
    merged_results,
    read,
    snakemake,
    table,
    write_config,
)

# What a run with another clustering command has in common with one with
# ldcluster, when that command runs ldcluster: the Greedy and Minimax results.
TWO_METHODS = (
    "greedy_tags.tsv",
    "minimax_tags.tsv",
    "greedy_tag_snps.txt",
    "minimax_tag_snps.txt",
    "regions.tsv",
    "cut_pairs.tsv",
)

import yaml


def qc_passing(folder, chromosomes=("10", "11")):
    names = []
    for chrom in chromosomes:
        with open(os.path.join(folder, "results", "qc", "chr%s.bim" % chrom)) as f:
            names += [line.split()[1] for line in f]
    return names


def regions(folder):
    return table(os.path.join(folder, "results", "regions.tsv"))


def test_every_snp_that_passed_quality_control_is_in_each_table_once(clean_run):
    passing = qc_passing(clean_run)
    assert len(regions(clean_run)) >= 4 and "rs_tiny" in passing
    for method in ("greedy", "minimax", "minimum"):
        rows = table(os.path.join(clean_run, "results", method + "_tags.tsv"))
        assert sorted(r["snp"] for r in rows) == sorted(passing)
        # Cluster ids are unique genome-wide: no id spans two regions.
        region_of = {}
        for r in rows:
            if r["cluster"] != "NA":
                assert region_of.setdefault(r["cluster"], r["region"]) == r["region"]
        tags = read(os.path.join(clean_run, "results", method + "_tag_snps.txt")).decode().split()
        assert tags == [r["snp"] for r in rows if r["tag"] == "1"]


def test_broken_names_are_left_out_and_reported(clean_run):
    report = table(os.path.join(clean_run, "results", "qc", "excluded_names.tsv"))
    assert [r["name"] for r in report] == ["rs7093061", ".", "rs7093061", "x" * 30]
    assert [r["reason"] for r in report] == [
        "name given to 2 SNPs",
        "missing name",
        "name given to 2 SNPs",
        "name longer than 29 characters",
    ]
    assert not set(qc_passing(clean_run)) & {".", "rs7093061", "x" * 30}
    warnings = read(os.path.join(clean_run, "results", "warnings.txt")).decode()
    assert "genome: 4 SNPs are left out for their names" in warnings
    assert "genome: done_file data/done.txt: 1 name is not in the genotypes and is ignored: rs_nowhere" in warnings
    assert "genome: thresholds_file data/thresholds.txt: 1 name is not in the genotypes" in warnings


def test_regions_are_consecutive_and_small_enough(clean_run):
    for chrom in ("10", "11"):
        passing = qc_passing(clean_run, [chrom])
        rows = [r for r in regions(clean_run) if r["chromosome"] == chrom]
        start = 0
        for row in rows:
            n = int(row["snps"])
            assert 1 <= n <= MAX_SNPS
            assert row["first_snp"] == passing[start] and row["last_snp"] == passing[start + n - 1]
            start += n
        assert start == len(passing)
    assert [r["region"] for r in regions(clean_run)][-1] == "chr11_001"  # the code chr11 is chromosome 11


def test_ldprune_outputs_equal_a_direct_run(clean_run, tmp_path):
    inputs = ["SNP_names.data", "ld.txt", "maf.txt", "weight.txt", "done.txt", "undesirable.txt"]
    for row in regions(clean_run):
        folder = os.path.join(clean_run, "results", "regions", row["region"])
        direct = tmp_path / row["region"]
        direct.mkdir()
        for name in inputs:
            shutil.copy(os.path.join(folder, name), direct / name)
        subprocess.run(["ldprune"], cwd=direct, env=environment(), check=True)
        for name in ("ld_processed.txt", "maf_processed.txt", "ld_processed_temp.txt"):
            assert read(direct / name) == read(os.path.join(folder, name)), (row["region"], name)


def test_each_clusters_tag_tags_every_member(clean_run):
    for row in regions(clean_run):
        folder = os.path.join(clean_run, "results", "regions", row["region"])
        score = {}
        with open(os.path.join(folder, "ld_processed.txt")) as f:
            for line in f:
                a, b, s = line.split()
                score[a, b] = float(s)
        for method in ("greedy", "minimax", "minimum"):
            rows = table(os.path.join(folder, method + "_output.txt"))
            tag_of = {r["ORVANTE"]: r["NAME"] for r in rows if r["Tag"] == "1"}
            for r in rows:
                assert score[tag_of[r["ORVANTE"]], r["NAME"]] >= 1.0


def test_summary_counts_each_region(clean_run):
    summary = table(os.path.join(clean_run, "results", "summary.tsv"))
    assert [s["region"] for s in summary] == [r["region"] for r in regions(clean_run)]
    for s, r in zip(summary, regions(clean_run)):
        folder = os.path.join(clean_run, "results", "regions", r["region"])
        assert s["snps"] == r["snps"]
        assert int(s["undesirable"]) == len(read(os.path.join(folder, "undesirable.txt")).split())
        assert int(s["done"]) == len(read(os.path.join(folder, "done.txt")).split())
        assert int(s["needed"]) >= int(s["done"])
        greedy = table(os.path.join(folder, "greedy_output.txt"))
        assert int(s["greedy_tags"]) == sum(g["Tag"] == "1" for g in greedy)
        dropped = int(s["undesirable_dropped"])
        assert len(greedy) + dropped == int(r["snps"])
    assert sum(int(s["done"]) for s in summary) == 2  # rs_nowhere is in no region
    for s in summary:
        assert int(s["minimum_tags"]) <= min(int(s["greedy_tags"]), int(s["minimax_tags"]))


def test_coverage_counts_every_snp_its_tag_captures(clean_run):
    """ldcluster's tags tag every member, so every SNP in a cluster is
    captured in PLINK's r² too: all but the dropped undesirable SNPs."""
    summary = table(os.path.join(clean_run, "results", "summary.tsv"))
    coverage = table(os.path.join(clean_run, "results", "coverage.tsv"))
    snps = sum(int(s["snps"]) for s in summary)
    dropped = sum(int(s["undesirable_dropped"]) for s in summary)
    for method in ("greedy", "minimax", "minimum"):
        rows = {r["maf_class"]: r for r in coverage if r["region"] == "genome" and r["method"] == method}
        assert int(rows["all"]["snps"]) == snps
        assert int(rows["all"]["captured"]) == snps - dropped
        assert sum(int(rows[c]["snps"]) for c in ("<0.05", "0.05-0.2", ">=0.2")) == snps
        assert 0.8 <= float(rows["all"]["mean_r2"]) <= 1 and float(rows["all"]["min_r2"]) >= 0.5
        for s in summary:
            assert int(s[method + "_captured"]) == int(s["snps"]) - int(s["undesirable_dropped"])


def test_a_second_run_does_nothing(clean_run):
    p = snakemake(clean_run)
    assert "Nothing to be done" in p.stderr


def test_large_files_are_deleted_and_a_rerun_does_nothing(tmp_path):
    folder = make_workdir(str(tmp_path))
    snakemake(folder)
    left = [os.path.join(d, f) for d, _, files in os.walk(os.path.join(folder, "results")) for f in files]
    for big in ("plink.ld.bin", "ld.txt", "ld_processed.txt", "ld_processed_temp.txt", ".window.ld"):
        assert not [f for f in left if f.endswith(big)], big
    assert "Nothing to be done" in snakemake(folder).stderr


def test_a_failing_region_is_named_and_the_others_are_kept(clean_run, tmp_path):
    folder = make_workdir(str(tmp_path))
    marker = os.path.join(folder, "fail-now")
    open(marker, "w").close()
    config = yaml.safe_load(open(os.path.join(folder, "config.yaml")))
    config["clustering_command"] = (
        'if [ -e %s ] && [ "$(basename "$PWD")" = chr10_002 ]; then echo out of licences >&2; exit 3; fi; '
        "ldcluster --method greedy,minimax" % marker
    )
    write_config(folder, config)
    p = snakemake(folder, "--keep-going", check=False)
    assert p.returncode != 0
    assert "ldtag: region chr10_002: the clustering command failed with exit status 3" in p.stderr
    assert "out of licences" in p.stderr
    done = [r["region"] for r in regions(folder) if r["region"] != "chr10_002"]
    for region in done:
        assert os.path.exists(os.path.join(folder, "results", "regions", region, "greedy_output.txt"))
    assert not os.path.exists(os.path.join(folder, "results", "regions", "chr10_002", "Zentavor.result.Greedy.out"))
    assert not os.path.exists(os.path.join(folder, "results", "greedy_tags.tsv"))
    os.remove(marker)
    p = snakemake(folder)
    assert "region=chr10_002" in p.stderr and "region=chr10_001" not in p.stderr  # only the failed region reruns
    assert merged_results(folder, TWO_METHODS) == merged_results(clean_run, TWO_METHODS)


def test_another_clustering_program_gives_the_greedy_and_minimax_tables(tmp_path):
    folder = make_workdir(str(tmp_path), clustering_command="clustering-standin")
    snakemake(folder)
    assert not os.path.exists(os.path.join(folder, "results", "minimum_tags.tsv"))
    header = read(os.path.join(folder, "results", "summary.tsv")).decode().splitlines()[0].split("\t")
    assert "greedy_tags" in header and "minimax_captured" in header and "minimum_tags" not in header
    coverage = table(os.path.join(folder, "results", "coverage.tsv"))
    assert {r["method"] for r in coverage} == {"greedy", "minimax"}


def test_cluster_execution_gives_the_same_results_in_one_submission_per_region(clean_run, tmp_path):
    folder = make_workdir(str(tmp_path))
    submit = os.path.join(ROOT, "tests", "workflow", "local_submit.sh")
    submissions = os.path.join(str(tmp_path), "submissions.jsonl")
    # Snakemake looks at submitted jobs every 10 s, or every second when CI is set.
    snakemake(
        folder,
        "--cluster",
        submit,
        "--jobs",
        "4",
        "--latency-wait",
        "10",
        env={"CI": "true", "SUBMISSIONS": submissions},
    )
    assert merged_results(folder) == merged_results(clean_run)
    with open(submissions) as f:
        jobs = [json.loads(line) for line in f]
    singles = collections.Counter(j["rule"] for j in jobs if j["type"] == "single")
    groups = [j for j in jobs if j["type"] == "group"]
    # Per chromosome quality control and the cuts; per region one group: its
    # two jobs and its plot. Everything else runs on the submitting machine.
    assert singles == {"qc": 2, "cut_chromosome": 2}
    assert len(groups) == len(regions(folder))
    for group, region in zip(sorted(groups, key=lambda g: min(g["output"])), regions(folder)):
        outputs = {os.path.basename(path) for path in group["output"]}
        assert {"plink.bim", "coverage.tsv", "ld_plot.png"} <= outputs  # its two jobs and its plot
        assert {os.path.dirname(path) for path in group["output"]} == {"results/regions/" + region["region"]}


def job_stats(text):
    """Rule -> count from the job table a run or dry run prints."""
    lines = text.splitlines()
    start = lines.index(next(line for line in lines if line.startswith("job ") and "count" in line))
    stats = {}
    for line in lines[start + 2 :]:
        words = line.split()
        if not words or words[0] == "total":
            break
        stats[words[0]] = int(words[1])
    return stats


def test_the_slurm_profile_plans_the_run(tmp_path):
    """The profile's settings are ones this Snakemake takes, and with them the
    plan up to the regions (the checkpoint after which they are known) is
    the names' check, the populations, and per chromosome its quality
    control and its cuts."""
    folder = make_workdir(str(tmp_path))
    p = snakemake(folder, "--profile", os.path.join(ROOT, "config", "slurm"), "--dry-run")
    assert job_stats(p.stdout) == {
        "all": 1,
        "cut_chromosome": 2,
        "exclude_names": 1,
        "population_samples": 1,
        "qc": 2,
        "regions_table": 1,
    }, p.stdout


def test_without_clustering_command_it_stops_after_ldprune_and_joins_results_put_in_place(clean_run, tmp_path):
    folder = make_workdir(str(tmp_path), clustering_command=None)
    p = snakemake(folder)
    assert "4 of 4 regions are ready for the clustering program" in p.stderr
    assert not os.path.exists(os.path.join(folder, "results", "greedy_tags.tsv"))
    for row in regions(folder):
        region = os.path.join(folder, "results", "regions", row["region"])
        assert os.path.exists(os.path.join(region, "ld_processed.txt"))  # the clustering program's input is kept
        subprocess.run(["ldcluster"], cwd=region, env=environment(), check=True)
    snakemake(folder)
    assert merged_results(folder, TWO_METHODS) == merged_results(clean_run, TWO_METHODS)


def test_list_names_not_in_the_genotypes_get_one_warning_each(tmp_path):
    folder = make_workdir(str(tmp_path))
    p = snakemake(folder, "--dry-run")
    for line in (
        "done_file data/done.txt: 1 name is not in the genotypes and is ignored: rs_nowhere",
        "undesirable_file data/undesirable.txt: 1 name is not in the genotypes and is ignored: rs_gone",
        "thresholds_file data/thresholds.txt: 1 name is not in the genotypes and is ignored: rs_not_here",
    ):
        assert (p.stdout + p.stderr).count(line) == 1, line


def test_a_snp_both_done_and_undesirable_gets_a_warning(tmp_path):
    folder = make_workdir(str(tmp_path))
    with open(os.path.join(folder, "data", "done.txt")) as f:
        done = f.read().split()
    with open(os.path.join(folder, "data", "undesirable.txt"), "a") as f:
        f.write("\n%s\n" % done[0])
    p = snakemake(folder, "--dry-run")
    line = "1 SNP is listed both in done_file and in undesirable_file (%s): check the two lists" % done[0]
    assert (p.stdout + p.stderr).count(line) == 1, p.stdout + p.stderr


def test_filesets_of_different_people_get_a_warning(tmp_path):
    folder = make_workdir(str(tmp_path))
    _edit(os.path.join(folder, "data", "tiny.fam"), lambda lines: ["new.1 new.1 0 0 0 -9\n"] + lines[1:])
    p = snakemake(folder, "--dry-run")
    line = "bfile's filesets hold different people (data/geno: 1000, data/tiny: 1000)"
    assert (p.stdout + p.stderr).count(line) == 1, p.stdout + p.stderr


def test_a_key_the_config_leaves_unused_gets_a_warning_on_every_run(tmp_path):
    """Once, and again when the set-up comes from its cache."""
    folder = make_workdir(str(tmp_path), imputation=True, holdout=0.2, folds=3)
    line = "folds is not used with holdout, which imputes the held-out people from all the others; it is ignored"
    for _ in range(2):
        p = snakemake(folder, "--dry-run")
        assert (p.stdout + p.stderr).count(line) == 1, p.stdout + p.stderr
    assert os.path.exists(os.path.join(folder, ".snakemake", "ldtag", "setup.json"))


def copy_clone(destination):
    """What a clone holds that the workflow and its demo need."""
    for part in ("workflow", "config", os.path.join("examples", "genotypes")):
        shutil.copytree(
            os.path.join(ROOT, part), os.path.join(destination, part), ignore=shutil.ignore_patterns("__pycache__")
        )


def test_a_clone_under_a_path_with_a_space_runs_the_demo(tmp_path):
    clone = os.path.join(str(tmp_path), "my projects", "ldtag clone")
    copy_clone(clone)
    p = subprocess.run(
        ["snakemake", "--cores", "2", "--configfile", "config/demo.yaml"],
        cwd=clone,
        env=environment(),
        capture_output=True,
        text=True,
    )
    assert p.returncode == 0, p.stderr[-3000:]
    assert len(table(os.path.join(clone, "results", "minimum_tags.tsv"))) == 7961


def test_booleans_and_null_on_the_command_line(tmp_path):
    folder = make_workdir(str(tmp_path), max_snps=2000)
    p = snakemake(
        folder, "--config", "keep_intermediate=TRUE", "plots=false", "done_file=null", "clustering_command=Null"
    )
    assert "ready for the clustering program" in p.stderr  # clustering_command is null
    region = os.path.join(folder, "results", "regions", "chr10_001")
    assert os.path.exists(os.path.join(region, "ld.txt"))  # kept
    assert read(os.path.join(region, "done.txt")) == b""  # no done file
    assert not os.path.exists(os.path.join(region, "ld_plot.png"))
    p = snakemake(folder, "--config", "plots=maybe", check=False)
    assert "plots must be true or false, not 'maybe'" in p.stderr


def test_without_the_programs_a_dry_run_lint_and_dag_work_and_a_run_names_them(tmp_path):
    folder = make_workdir(str(tmp_path))
    path = os.pathsep.join(
        d for d in os.environ["PATH"].split(os.pathsep) if not os.path.exists(os.path.join(d, "ldprune"))
    )
    cmd = ["snakemake", "-s", SNAKEFILE, "--configfile", "config.yaml", "--cores", "2"]
    env = dict(os.environ, PATH=path)
    for extra in (["-n"], ["--dag"], ["--summary"]):
        p = subprocess.run(cmd + extra, cwd=folder, env=env, capture_output=True, text=True)
        assert p.returncode == 0, (extra, p.stderr[-2000:])
    p = subprocess.run(cmd + ["--lint"], cwd=folder, env=env, capture_output=True, text=True)
    assert "Lints for rule" in p.stderr and "cannot find" not in p.stderr  # it fails for its lints only
    p = subprocess.run(cmd, cwd=folder, env=env, capture_output=True, text=True)
    assert p.returncode != 0
    assert "cannot find ldprep, ldprune, memberjoin1, memberjoin2, ldcluster on PATH" in p.stderr
    assert not os.path.exists(os.path.join(folder, "results"))
    p = snakemake(folder, "--config", "plink=plink", check=False)  # the programs are there, PLINK is not
    assert p.returncode != 0
    assert "cannot find plink on PATH, which the config's plink names: give PLINK 1.9's command" in p.stderr
    assert not os.path.exists(os.path.join(folder, "results"))


def test_lint_finds_nothing_but_the_missing_conda_environments(tmp_path):
    """The rules run Debian's PLINK 1.9 and Python and this project's
    programs, installed on the machine; no conda channel or container image
    carries them, so the lint that asks each rule for one is the only one
    left."""
    folder = make_workdir(str(tmp_path))
    p = snakemake(folder, "--lint", check=False)
    lints = [line.strip() for line in p.stderr.splitlines() if line.startswith("    * ")]
    assert lints and set(lints) == {"* Specify a conda environment or container for each rule.:"}, p.stderr


BAD_CONFIGS = [
    ({"max_snps": 2001}, "max_snps must be an integer from 2 to 2000, not 2001"),
    ({"max_snps": 1}, "max_snps must be an integer from 2 to 2000, not 1"),
    ({"threshold": 0}, "threshold must be a number above 0 and at most 1, not 0"),
    ({"threshold": 1.5}, "threshold must be a number above 0 and at most 1, not 1.5"),
    ({"thersholds_file": "x"}, "unknown key 'thersholds_file'"),
    ({"done_file": "data/nothere.txt"}, "done_file: data/nothere.txt does not exist"),
    ({"bfile": "data/nothere"}, "bfile data/nothere: data/nothere.bed does not exist"),
    ({"bfile": "data/geno.bed"}, "bfile data/geno.bed: give the fileset's path without .bed, .bim or .fam (data/geno)"),
    ({"keep_intermediate": "yes"}, "keep_intermediate must be true or false, not 'yes'"),
    ({"max_tags": 0}, "max_tags must be an integer of at least 1, or null, not 0"),
    ({"max_tags": 100.5}, "max_tags must be an integer of at least 1, or null, not 100.5"),
    ({"seed": "abc"}, "seed must be an integer, not 'abc'"),
    ({"done_file": ["rs1", "rs2"]}, "done_file must be the path of a file, or null, not ['rs1', 'rs2']"),
    ({"seed": 1.5}, "seed must be an integer, not 1.5"),
    ({"threshold": float("nan")}, "threshold must be a number above 0 and at most 1, not nan"),
    ({"minimum_time_limit": float("inf")}, "minimum_time_limit must be a number"),
    ({"hwe_p": float("nan")}, "hwe_p must be a number above 0 and below 1, or null, not nan"),
    ({"hwe_p": 1}, "hwe_p must be a number above 0 and below 1, or null, not 1"),  # PLINK refuses 1
    (
        {"populations": {False: "data/done.txt"}},
        "populations: YAML reads a name as False, not as text (as it reads NO, yes, off or 1): quote the name",
    ),
    (
        {"done_file": "data/done{1}.txt"},
        "done_file: data/done{1}.txt has a brace, which Snakemake would read as a wildcard",
    ),
    ({"bfile": ["data/geno", "data/{tiny}"]}, "bfile: data/{tiny} has a brace"),
]


@pytest.mark.parametrize("override,message", BAD_CONFIGS)
def test_a_bad_config_stops_before_any_job(tmp_path, override, message):
    folder = make_workdir(str(tmp_path), **override)
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert "The config cannot be used:" in p.stderr and message in p.stderr, p.stderr
    assert not os.path.exists(os.path.join(folder, "results"))


def _edit(path, edit):
    with open(path) as f:
        lines = f.readlines()
    with open(path, "w") as f:
        f.writelines(edit(lines))


BAD_GENOTYPES = [
    (
        lambda d: _edit(d + "/tiny.bim", lambda lines: [line.replace("chr11", "scaffold1", 1) for line in lines]),
        {},
        'data/tiny.bim: chromosome code that PLINK does not read (0-26, X, Y, XY, MT, with or without "chr"): '
        "scaffold1; keep only the chromosomes it reads (plink --bfile data/tiny --allow-extra-chr --chr "
        "0-26,X,Y,XY,MT --make-bed --out NEW)",
    ),
    (
        lambda d: _edit(d + "/geno.fam", lambda lines: [lines[0], lines[0]] + lines[2:]),
        {},
        "data/geno.fam: 1 person is listed more than once (jpt.869 jpt.869): give each family and person ID once, "
        "as PLINK's --keep and the imputation need",
    ),
    (lambda d: None, {"bfile": ["data/geno", "data/tiny", "./data/geno"]}, "bfile lists ./data/geno twice"),
]


@pytest.mark.parametrize("edit,override,message", BAD_GENOTYPES)
def test_bad_genotypes_stop_before_any_job(tmp_path, edit, override, message):
    """PLINK would stop on each of these in a job, in words that do not say
    which file to mend, or (people listed twice) only once imputation
    runs."""
    folder = make_workdir(str(tmp_path), **override)
    edit(os.path.join(folder, "data"))
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert "The config cannot be used:" in p.stderr and message in p.stderr, p.stderr
    assert not os.path.exists(os.path.join(folder, "results"))


def test_a_chromosome_that_loses_every_snp_at_quality_control_is_named_with_a_remedy(tmp_path):
    """With min_maf 0.5 no SNP passes; PLINK's own words name no remedy."""
    folder = make_workdir(str(tmp_path), min_maf=0.5)
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert re.search(r"ldtag: no SNP of chromosome (10|11) passes quality control", p.stderr), p.stderr
    assert "leave the chromosome out of the genotypes (plink --not-chr 1" in p.stderr


def test_a_bad_threshold_in_the_thresholds_file_stops_before_any_job(tmp_path):
    folder = make_workdir(str(tmp_path))
    with open(os.path.join(folder, "data", "thresholds.txt"), "a") as f:
        f.write("rs7909677 1.2\n")
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert 'record 34: threshold "1.2" of SNP rs7909677 is not a number above 0 and at most 1' in p.stderr, p.stderr
    assert not os.path.exists(os.path.join(folder, "results"))
