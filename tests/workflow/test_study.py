"""The workflow in a study's hands: the config a user gives is the config
used, numbers as YAML and PLINK users write them, the tables a study takes
away (each SNP's tag and its r² to it, checked against PLINK), the totals the
run ends with, and region folders an earlier config left."""
import os
import shutil
import subprocess

import pytest

from conftest import ROOT, environment, make_workdir, snakemake, table, write_genotypes
from ldtag import config as settings

BUNDLED = ("config", "demo", "populations", "vcf", "target")


def copy_clone(destination):
    """What a clone holds that the workflow and its bundled configs need."""
    for part in ("workflow", "config", "examples"):
        shutil.copytree(
            os.path.join(ROOT, part), os.path.join(destination, part), ignore=shutil.ignore_patterns("__pycache__")
        )
    return destination


def run(folder, *args, check=True):
    """snakemake in a clone, as the README runs it: no -s, the clone's own
    Snakefile."""
    p = subprocess.run(["snakemake", *args], cwd=folder, env=environment(), capture_output=True, text=True)
    if check and p.returncode != 0:
        pytest.fail("snakemake %s failed:\n%s" % (" ".join(args), p.stderr[-4000:]))
    return p


def region_lists(folder):
    """Per region folder (and population folder in it), the lists ldprep cut
    for it and the thresholds it gave."""
    out = {}
    for d, _, names in os.walk(os.path.join(folder, "results", "regions")):
        if "weight.txt" in names:
            with open(os.path.join(d, "done.txt")) as f:
                done = f.read().split()
            with open(os.path.join(d, "undesirable.txt")) as f:
                undesirable = f.read().split()
            with open(os.path.join(d, "weight.txt")) as f:
                thresholds = set(f.read().split()[1::2])
            out[d] = (done, undesirable, thresholds)
    return out


def test_a_study_config_that_names_no_lists_runs_with_none_in_a_clone(tmp_path):
    """The clone's config/config.yaml names the demo's lists; a study's own
    config that names none must not inherit them."""
    clone = copy_clone(str(tmp_path / "clone"))
    prefix, _ = write_genotypes(os.path.join(clone, "study"))
    with open(os.path.join(clone, "study.yaml"), "w") as f:
        f.write("bfile: study/geno\nmax_snps: 600\nplots: false\n")
    p = run(clone, "--cores", "2", "--configfile", "study.yaml")
    lists = region_lists(clone)
    assert lists and all(v == ([], [], {"0.8"}) for v in lists.values()), lists
    assert "examples/genotypes" not in p.stderr
    # Without --configfile the clone's own config/config.yaml is the config.
    p = run(clone, "--cores", "1", "--dry-run", "--printshellcmds", "--forceall")
    assert "examples/genotypes/thresholds.txt" in p.stdout


@pytest.mark.parametrize("name", BUNDLED)
def test_each_bundled_config_runs_from_a_clone(tmp_path, name):
    """Each bundled config as the README runs it; the VCF's (which once failed
    for the bfile it inherited) to the end, the others as a dry run that
    checks every file they name."""
    clone = copy_clone(str(tmp_path / "clone"))
    args = ["--configfile", "config/%s.yaml" % name]
    if name != "vcf":
        p = run(clone, "--cores", "1", "--dry-run", *args)
        assert "cut_chromosome" in p.stdout and "vcf_import" not in p.stdout
        return
    run(clone, "--cores", "2", *args, "--config", "plots=false")
    rows = table(os.path.join(clone, "results", "minimum_tags.tsv"))
    assert {r["population"] for r in rows} == {"ceu", "jpt"}


NUMBERS = [
    ("1e-6", ["number", "null"], 1e-6),
    ("1E-6", ["number", "null"], 1e-6),
    (".5", ["number"], 0.5),
    ("5.", ["number"], 5.0),
    ("+2.5e+1", ["number"], 25.0),
    ("2e3", ["integer"], 2000),
    ("2.5e0", ["integer"], None),
    ("1e", ["number"], None),
    ("e5", ["number"], None),
    ("0x10", ["number"], None),
    ("null", ["number"], None),
]


@pytest.mark.parametrize("text,types,value", NUMBERS)
def test_numbers_as_yaml_and_plink_users_write_them(text, types, value):
    assert settings._number(text, types) == value


def test_numbers_in_a_yaml_config_reach_plink(tmp_path):
    """YAML 1.1 reads 1e-6 (without a dot) as text; the config takes it, and
    .5 too, as the number they stand for."""
    folder = make_workdir(str(tmp_path))
    with open(os.path.join(folder, "config.yaml"), "a") as f:
        f.write("hwe_p: 1e-6\nmin_maf: 1E-2\nthreshold: .5\n")
    p = snakemake(folder, "--dry-run", "--printshellcmds")
    assert "--hwe 1e-06" in p.stdout and "--maf 0.01" in p.stdout and "--threshold 0.5" in p.stdout
    assert "cannot be used" not in p.stderr


def test_each_snps_tag_and_r2_agree_with_plink(clean_run, tmp_path):
    """The tables' tag_snp and r2 columns, checked against PLINK's own r² of
    each pair, printed as ldprep prints it."""
    for method in ("greedy", "minimax", "minimum"):
        rows = table(os.path.join(clean_run, "results", method + "_tags.tsv"))
        cluster_tag = {r["cluster"]: r["snp"] for r in rows if r["tag"] == "1"}
        for r in rows:
            assert r["tag_snp"] == cluster_tag.get(r["cluster"], "NA"), r
            assert (r["r2"] == "NA") == (r["cluster"] == "NA")
        pairs = [(r["tag_snp"], r["snp"], r["r2"]) for r in rows if r["tag"] == "0" and r["cluster"] != "NA"]
        for chrom in ("10",):
            names = {a for a, b, _ in pairs} | {b for a, b, _ in pairs}
            with open(tmp_path / "snps.txt", "w") as f:
                f.write("\n".join(names) + "\n")
            subprocess.run(
                ["plink1.9", "--bfile", os.path.join(clean_run, "results", "qc", "chr" + chrom), "--extract"]
                + [str(tmp_path / "snps.txt"), "--r2", "square", "--write-snplist", "--out", str(tmp_path / "r2")],
                check=True,
                capture_output=True,
            )
            with open(tmp_path / "r2.snplist") as f:
                order = {name: k for k, name in enumerate(f.read().split())}
            with open(tmp_path / "r2.ld") as f:
                matrix = [line.split() for line in f]
            for tag, snp, r2 in pairs:
                assert r2 == "%f" % float(matrix[order[tag]][order[snp]]), (method, tag, snp)
        assert all(r["r2"] == "1.000000" for r in rows if r["tag"] == "1")


def test_the_run_ends_with_its_totals(clean_run):
    p = snakemake(clean_run, "--forcerun", "merge_results")
    end = p.stderr[p.stderr.index("Results of 4 regions") :]
    summary = table(os.path.join(clean_run, "results", "summary.tsv"))
    assert "1,194 SNPs passed quality control; LD from 1,000 people." in end
    for method in ("Greedy", "Minimax", "Minimum"):
        tags = sum(int(s[method.lower() + "_tags"]) for s in summary)
        line = next(line for line in end.splitlines() if line.strip().startswith(method))
        assert line.split()[1] == format(tags, ",")
        assert "of 1,194 (" in line
    assert "The report: results/report.html" in end


def test_region_folders_an_earlier_config_left_are_removed_with_a_warning(tmp_path):
    folder = make_workdir(str(tmp_path), plots=False)
    snakemake(folder)
    before = sorted(os.listdir(os.path.join(folder, "results", "regions")))
    with open(os.path.join(folder, "config.yaml"), "a") as f:
        f.write("max_snps: 1200\n")
    snakemake(folder)
    after = sorted(os.listdir(os.path.join(folder, "results", "regions")))
    regions = [r["region"] for r in table(os.path.join(folder, "results", "regions.tsv"))]
    assert after == sorted(regions) and len(before) > len(after)
    stale = sorted(set(before) - set(after))
    with open(os.path.join(folder, "results", "warnings.txt")) as f:
        warnings = f.read()
    assert (
        "genome: %d region folders of an earlier run that this config does not make were removed: %s"
        % (
            len(stale),
            ", ".join(stale),
        )
        in warnings
    )
    assert not any(os.path.exists(os.path.join(folder, "logs", "regions", r)) for r in stale)
    assert "Nothing to be done" in snakemake(folder).stderr


def test_a_relative_path_is_reported_with_the_folder_it_is_taken_from(tmp_path):
    folder = make_workdir(str(tmp_path), done_file="lists/done.txt")
    p = snakemake(folder, check=False)
    assert (
        "done_file: lists/done.txt does not exist (a relative path is taken from the folder snakemake runs in, %s)"
        % folder
        in p.stderr
    )


def test_source_manual_pages_are_templates_and_built_ones_have_the_version():
    pages = os.listdir(os.path.join(ROOT, "man"))
    assert not [p for p in pages if p.endswith(".1")], "a manual page in man/ is read by man as it is"
    build = os.environ["LDTAG_BIN"]  # the build's folder
    for page in [p[: -len(".in")] for p in pages if p.endswith(".1.in")]:
        with open(os.path.join(build, "man", page)) as f:
            assert "@PROJECT_VERSION@" not in f.read(), page
