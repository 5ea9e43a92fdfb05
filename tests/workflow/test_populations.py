"""Several populations and VCF input, end to end.

Two populations simulated with scrm's island model (-I): chromosome 1, and
chromosome 2, whose SNPs are made to vary in population A only. Every SNP is
checked against PLINK's r² on its population's own samples, and the joint
Minimum set against runs of each population alone. The bundled VCF (sample
ids with underscores, records that cannot be tagged put in) runs too, and
bad population files stop the run before any job.
"""
import gzip
import os
import shutil
import subprocess
import sys

import numpy as np
import yaml
import pytest

from conftest import MERGED, ROOT, merged_results, read, snakemake, table, write_config

sys.path.insert(0, os.path.join(ROOT, "bench"))
sys.path.insert(0, os.path.join(ROOT, "examples", "vcf"))
import make_vcf  # noqa: E402
import simulate  # noqa: E402
import test_faults  # noqa: E402
from ldtag import populations  # noqa: E402

PEOPLE = 200  # per population
METHODS = ("greedy", "minimax", "minimum")


def write_populations(folder):
    """Two filesets (chromosomes 1 and 2) of 2 x PEOPLE people, the
    populations' sample files, and lists: a done SNP on each chromosome,
    undesirable SNPs and a few thresholds on chromosome 1."""
    data = os.path.join(folder, "data")
    os.makedirs(data)
    loci = simulate.haplotypes(4 * PEOPLE, seed=5, loci=2, theta=300, rho=40, populations=(2 * PEOPLE,) * 2)
    loci[1][1][2 * PEOPLE :] = 0  # chromosome 2 does not vary in population B
    people = ["a%d" % i for i in range(PEOPLE)] + ["b%d" % i for i in range(PEOPLE)]
    _, names = simulate.write_fileset(data, "sim", loci, people, 250, seed=5)
    for chrom in ("1", "2"):
        simulate.run_plink(data, "--bfile", "sim", "--chr", chrom, "--make-bed", "--out", "chr" + chrom)
    for population in ("A", "B"):
        with open(os.path.join(data, population + ".txt"), "w") as f:
            # Family and sample id for one, the single id for the other.
            for person in people:
                if person[0] == population.lower():
                    f.write("%s %s\n" % (person, person) if population == "A" else person + "\n")
    one, two = names
    with open(os.path.join(data, "done.txt"), "w") as f:
        f.write("%s\n%s\n" % (one[10], two[20]))
    with open(os.path.join(data, "undesirable.txt"), "w") as f:
        f.writelines(one[k] + "\n" for k in range(30, 250, 40))
    with open(os.path.join(data, "thresholds.txt"), "w") as f:
        f.writelines("%s %s\n" % (one[k], "0.5" if k % 2 else "0.9") for k in range(5, 250, 25))
    return one, two


def config(populations, bfile=("data/chr1", "data/chr2")):
    return {
        "bfile": list(bfile),
        "populations": {p: "data/%s.txt" % p for p in populations},
        "done_file": "data/done.txt",
        "undesirable_file": "data/undesirable.txt",
        "thresholds_file": "data/thresholds.txt",
        "plots": True,
    }


@pytest.fixture(scope="module")
def joint(tmp_path_factory):
    folder = str(tmp_path_factory.mktemp("joint"))
    one, two = write_populations(folder)
    write_config(folder, config(["A", "B"]))
    snakemake(folder)
    return folder, one, two


def threshold_of(folder):
    thresholds = {}
    with open(os.path.join(folder, "data", "thresholds.txt")) as f:
        for line in f:
            name, value = line.split()
            thresholds[name] = float(value)
    return lambda name: thresholds.get(name, 0.8)


def population_people(folder, population):
    with open(os.path.join(folder, "data", population + ".txt")) as f:
        return [line.split()[-1] for line in f if line.strip()]


def plink_in_population(folder, chrom, population, tmp, *args):
    """PLINK on a chromosome's genotypes of the population's samples alone,
    in the folder tmp, writing check.*."""
    with open(os.path.join(tmp, "keep.txt"), "w") as f:
        f.writelines("%s %s\n" % (p, p) for p in population_people(folder, population))
    bfile = os.path.join(folder, "data", "chr" + chrom)
    simulate.run_plink(tmp, "--bfile", bfile, "--keep", "keep.txt", *args, "--out", "check")


def plink_r2(folder, chrom, population, snps, tmp):
    """PLINK's r² of the SNPs, in the population's samples alone."""
    with open(os.path.join(tmp, "snps.txt"), "w") as f:
        f.writelines(s + "\n" for s in snps)
    plink_in_population(folder, chrom, population, tmp, "--extract", "snps.txt", "--r2", "square", "--write-snplist")
    with open(os.path.join(tmp, "check.snplist")) as f:
        order = f.read().split()
    matrix = np.nan_to_num(np.loadtxt(os.path.join(tmp, "check.ld"), ndmin=2))
    index = {name: k for k, name in enumerate(order)}
    return lambda a, b: matrix[index[a], index[b]]


def allele_counts(folder, chrom, population, tmp):
    """name -> minor allele frequency in the population, from PLINK's counts."""
    plink_in_population(folder, chrom, population, tmp, "--freq", "counts")
    out = {}
    with open(os.path.join(tmp, "check.frq.counts")) as f:
        next(f)
        for line in f:
            fields = line.split()
            c1, c2 = int(fields[4]), int(fields[5])
            out[fields[1]] = min(c1, c2) / (c1 + c2)
    return out


def test_every_snp_that_varies_in_a_population_is_tagged_there_by_its_tag(joint, tmp_path):
    folder, _, _ = joint
    threshold = threshold_of(folder)
    with open(os.path.join(folder, "data", "undesirable.txt")) as f:
        undesirable = set(f.read().split())
    for method in METHODS:
        rows = table(os.path.join(folder, "results", "%s_tags.tsv" % method))
        for chrom in ("1", "2"):
            for population in ("A", "B"):
                mine = [r for r in rows if r["chromosome"] == chrom and r["population"] == population]
                maf = allele_counts(folder, chrom, population, str(tmp_path))
                varies = {name for name, m in maf.items() if m >= 0.01}
                assert [r["snp"] for r in mine] == sorted({r["snp"] for r in mine}, key=[r["snp"] for r in mine].index)
                assert {r["snp"] for r in mine} == varies, (method, chrom, population)
                if not varies:
                    continue
                r2 = plink_r2(folder, chrom, population, sorted(varies), str(tmp_path))
                tag_of = {(r["region"], r["cluster"]): r["snp"] for r in mine if r["tag"] == "1"}
                for r in mine:
                    if r["cluster"] == "NA":
                        assert r["snp"] in undesirable
                        continue
                    tag = tag_of[(r["region"], r["cluster"])]
                    assert tag not in undesirable
                    if tag != r["snp"]:
                        assert r2(tag, r["snp"]) >= threshold(r["snp"]) - 1e-6, (method, population, r, tag)


def test_a_snp_varying_in_one_population_and_an_empty_region(joint):
    folder, _, two = joint
    results = os.path.join(folder, "results")
    rows = table(os.path.join(results, "greedy_tags.tsv"))
    assert {r["population"] for r in rows if r["chromosome"] == "2"} == {"A"}
    # The region of chromosome 2 has no SNP in population B: empty tables
    # (the joined ones too), a run log that says so, and no row anywhere.
    region = [r["region"] for r in table(os.path.join(results, "regions.tsv")) if r["chromosome"] == "2"]
    assert region == ["chr2_001"]
    b = os.path.join(results, "regions", "chr2_001", "B")
    with open(os.path.join(b, "run_log.txt")) as f:
        assert f.read() == "No SNP of region chr2_001 varies in population B.\n"
    assert os.path.getsize(os.path.join(b, "greedy_output.txt")) == 0
    summary = [r for r in table(os.path.join(results, "summary.tsv")) if r["region"] == "chr2_001"]
    assert [(r["population"], r["snps"], r["greedy_tags"]) for r in summary] == [
        ("A", summary[0]["snps"], summary[0]["greedy_tags"]),
        ("B", "0", "0"),
    ]
    assert summary[0]["greedy_joint_tags"] == summary[1]["greedy_joint_tags"] == summary[0]["greedy_tags"]
    # The done SNP of chromosome 2 is a tag in A, and in the joint set.
    done = two[20]
    assert any(r["snp"] == done and r["tag"] == "1" and r["population"] == "A" for r in rows)
    with open(os.path.join(results, "minimum_tag_snps.txt")) as f:
        assert done in f.read().split()
    # The plot of that region shows population A.
    with open(os.path.join(folder, "logs", "ld_plot", "chr2_001.log")) as f:
        assert f.read() == ""
    assert os.path.getsize(os.path.join(results, "regions", "chr2_001", "ld_plot.png")) > 0


@pytest.mark.parametrize(
    "target, pairs",
    [("pairwise", "results/imputation/chr2/B.pairs.ld"), ("imputation", "results/imputation/target/chr2/B.pairs.ld")],
    ids=["pairs of the tags", "pairs for the target"],
)
def test_pairs_of_a_chromosome_where_no_snp_varies_in_a_population_are_none(tmp_path, target, pairs):
    """PLINK stops when no SNP is left to scan; the scan is skipped."""
    folder = str(tmp_path)
    write_populations(folder)
    settings = dict(config(["A", "B"]), plots=False, imputation=True, holdout=0.2, keep_intermediate=True)
    write_config(folder, dict(settings, target=target))
    snakemake(folder, pairs)
    assert os.path.getsize(os.path.join(folder, pairs)) == 0
    with open(os.path.join(folder, "results", "qc", "chr2.B.snps")) as f:
        assert f.read() == ""


def test_the_populations_and_their_people_are_written_once_and_reported(joint):
    folder, _, _ = joint
    results = os.path.join(folder, "results")
    assert table(os.path.join(results, "populations.tsv")) == [
        {"population": p, "people": str(PEOPLE), "keep": "results/qc/populations/%s.keep" % p} for p in ("A", "B")
    ]
    with open(os.path.join(results, "report.html")) as f:
        report = f.read()
    assert "was estimated in each population's own people, 400 in all: A 200, B 200." in report


def test_a_panel_file_gives_the_populations_as_their_files_do(joint, tmp_path):
    """The populations as a reference panel ships them: one file, a header
    line naming its columns, the population in a column of its own."""
    folder, _, _ = joint
    panel = str(tmp_path / "panel")
    shutil.copytree(os.path.join(folder, "data"), os.path.join(panel, "data"))
    with open(os.path.join(panel, "data", "panel.txt"), "w") as f:
        f.write("sample\tgroup\tsuper_pop\tgender\n")
        for population in ("B", "A"):  # the populations in the order they first appear
            for line in open(os.path.join(folder, "data", population + ".txt")):
                f.write("%s\t%s\tEUR\tmale\n" % (line.split()[-1], population))
    settings = config(["A", "B"])
    del settings["populations"]
    settings.update(population_panel="data/panel.txt", population_column="group", plots=False)
    write_config(panel, settings)
    snakemake(panel)
    assert [r["population"] for r in table(os.path.join(panel, "results", "populations.tsv"))] == ["B", "A"]
    for name in ("minimum_tag_snps.txt", "greedy_tag_snps.txt", "minimax_tag_snps.txt"):
        assert read(os.path.join(panel, "results", name)) == read(os.path.join(folder, "results", name)), name
    own = {
        (r["population"], r["snp"], r["tag_snp"]) for r in table(os.path.join(folder, "results", "minimum_tags.tsv"))
    }
    from_panel = {
        (r["population"], r["snp"], r["tag_snp"]) for r in table(os.path.join(panel, "results", "minimum_tags.tsv"))
    }
    assert own == from_panel


def test_tag_lists_hold_the_joint_set_and_the_summary_counts_it(joint):
    folder, _, _ = joint
    results = os.path.join(folder, "results")
    summary = table(os.path.join(results, "summary.tsv"))
    for method in METHODS:
        rows = table(os.path.join(results, "%s_tags.tsv" % method))
        tags = {r["snp"] for r in rows if r["tag"] == "1"}
        with open(os.path.join(results, "%s_tag_snps.txt" % method)) as f:
            listed = f.read().split()
        assert len(listed) == len(set(listed)) and set(listed) == tags, method
        joint = {r["region"]: int(r[method + "_joint_tags"]) for r in summary}
        assert sum(joint.values()) == len(listed)
        for r in summary:
            here = {
                x["snp"]
                for x in rows
                if x["tag"] == "1" and (x["region"], x["population"]) == (r["region"], r["population"])
            }
            assert int(r[method + "_tags"]) == len(here)
    minimum = {r["region"]: int(r["minimum_joint_tags"]) for r in summary}
    for method in ("greedy", "minimax"):
        for r in summary:
            assert int(r[method + "_joint_tags"]) >= minimum[r["region"]], (method, r["region"])
    coverage = table(os.path.join(results, "coverage.tsv"))
    assert {(r["region"], r["population"]) for r in coverage if r["region"] == "genome"} == {
        ("genome", "A"),
        ("genome", "B"),
    }


def test_the_joint_minimum_is_no_larger_than_the_union_of_each_populations_own(joint, tmp_path):
    folder, _, _ = joint
    joint_tags = {
        r["snp"]
        for r in table(os.path.join(folder, "results", "minimum_tags.tsv"))
        if r["tag"] == "1" and r["chromosome"] == "1"
    }
    union = set()
    for population in ("A", "B"):
        alone = str(tmp_path / population)
        shutil.copytree(os.path.join(folder, "data"), os.path.join(alone, "data"))
        write_config(alone, config([population], bfile=["data/chr1"]))
        snakemake(alone)
        rows = table(os.path.join(alone, "results", "minimum_tags.tsv"))
        union |= {r["snp"] for r in rows if r["tag"] == "1"}
    assert len(joint_tags) <= len(union)


def vcf_workdir(folder, populations=True):
    """A folder with the bundled VCF, its population files and a config."""
    shutil.copytree(os.path.join(ROOT, "examples", "vcf"), os.path.join(folder, "data"))
    settings = {"vcf": "data/chr10_small.vcf.gz", "plots": False, "max_snps": 500}
    if populations:
        settings["populations"] = {"ceu": "data/ceu.txt", "jpt": "data/jpt.txt"}
    write_config(folder, settings)
    return folder


@pytest.fixture(scope="module")
def vcf_run(tmp_path_factory):
    folder = vcf_workdir(str(tmp_path_factory.mktemp("vcf")))
    snakemake(folder)
    return folder


def test_the_bundled_vcf_runs_and_its_warnings_count_the_records_put_in(vcf_run):
    results = os.path.join(vcf_run, "results")
    with open(os.path.join(results, "warnings.txt")) as f:
        warnings = f.read()
    kinds = list(make_vcf.RECORDS.values())
    assert "%d multiallelic records left out" % kinds.count("multiallelic") in warnings
    assert "%d records that are not SNPs left out" % (kinds.count("indel") + kinds.count("symbolic")) in warnings
    assert "%d records without an ID named" % kinds.count("no id") in warnings
    # The record given an existing record's ID: both are left out by name.
    assert "2 SNPs are left out for their names" in warnings
    with open(os.path.join(results, "vcf", "chr10_small.fam")) as f:
        assert f.readline().split()[:2] == ["jpt_869", "jpt_869"]
    with open(os.path.join(results, "vcf", "chr10_small.bim")) as f:
        names = [line.split()[1] for line in f]
    records = make_vcf.SNPS - kinds.count("multiallelic") - kinds.count("indel") - kinds.count("symbolic")
    assert len(names) == records
    assert "chr10:1386155:C:T" in names and all(len(n) <= 29 for n in names)
    rows = table(os.path.join(results, "minimum_tags.tsv"))
    assert {r["population"] for r in rows} == {"ceu", "jpt"}
    failed = int(table(os.path.join(results, "qc", "report.tsv"))[0]["failed_filters"])
    assert len({r["snp"] for r in rows}) == records - 2 - failed


def test_a_vcf_without_populations_gives_the_plain_tables(tmp_path):
    folder = vcf_workdir(str(tmp_path), populations=False)
    snakemake(folder)
    rows = table(os.path.join(folder, "results", "greedy_tags.tsv"))
    assert "population" not in rows[0] and {r["chromosome"] for r in rows} == {"10"}
    with open(os.path.join(folder, "results", "vcf", "chr10_small.bim")) as f:
        names = {line.split()[1] for line in f}
    assert {r["snp"] for r in rows} <= names and len(rows) > 1000


@pytest.mark.parametrize("code", ["chrX", "MT"])
def test_a_vcf_of_a_sex_chromosome_or_mt_gives_its_tags_as_vcf(tmp_path, code):
    """PLINK writes X as 23 and MT as 26 in the quality-controlled .bim; the
    tags must still be found among the VCF's records (they once failed the
    last step, after every region had run)."""
    folder = vcf_workdir(str(tmp_path), populations=False)
    source = os.path.join(folder, "data", "chr10_small.vcf.gz")
    with gzip.open(source, "rt") as f, open(os.path.join(folder, "data", "other.vcf"), "w") as out:
        for line in f:
            out.write(line.replace("chr10", code, 1) if line.startswith(("chr10", "##contig")) else line)
    write_config(folder, {"vcf": "data/other.vcf", "plots": False, "max_snps": 500})
    p = snakemake(folder)
    label = code[3:] if code.startswith("chr") else code
    assert ("vcf: chromosome X: a VCF gives no one's sex" in p.stderr) == (label == "X"), p.stderr
    rows = table(os.path.join(folder, "results", "greedy_tags.tsv"))
    assert {r["chromosome"] for r in rows} == {label}
    tags = {r["snp"] for r in rows if r["tag"] == "1"}
    with gzip.open(os.path.join(folder, "results", "greedy_tags.vcf.gz"), "rt") as f:
        records = [line.split("\t") for line in f if not line.startswith("#")]
    assert {r[2] for r in records} == tags and {r[0] for r in records} == {code}


def _swap_two_records(records):
    records[10], records[11] = records[11], records[10]
    return records, "line %d: chr10:%s follows chr10:%s"


def _split_chromosome(records):
    for k in range(5, 8):
        records[k] = records[k].replace("chr10", "chr11", 1)
    return records, "line %d: chromosome chr10 comes back after chr11"


@pytest.mark.parametrize("mix", [_swap_two_records, _split_chromosome])
def test_an_unsorted_vcf_stops_before_any_job_and_says_how_to_sort_it(tmp_path, mix):
    """PLINK's conversion stops on it in its job, advising --make-bed, which
    the user does not run."""
    folder = vcf_workdir(str(tmp_path), populations=False)
    with gzip.open(os.path.join(folder, "data", "chr10_small.vcf.gz"), "rt") as f:
        lines = f.readlines()
    header = [line for line in lines if line.startswith("#")]
    records, message = mix([line for line in lines if not line.startswith("#")])
    with open(os.path.join(folder, "data", "mixed.vcf"), "w") as out:
        out.writelines(header + records)
    write_config(folder, {"vcf": "data/mixed.vcf", "plots": False, "max_snps": 500})
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    if "follows" in message:
        message = message % (len(header) + 12, records[11].split("\t")[1], records[10].split("\t")[1])
    else:
        message = message % (len(header) + 9)
    assert "data/mixed.vcf: " + message + ": the VCF is not sorted by chromosome and position" in p.stderr, p.stderr
    assert "(bcftools sort -Oz -o sorted.vcf.gz data/mixed.vcf)" in p.stderr
    assert not os.path.exists(os.path.join(folder, "results", "vcf"))


def test_a_bcf_stops_before_any_job_and_says_how_to_convert_it(tmp_path):
    folder = vcf_workdir(str(tmp_path), populations=False)
    source = os.path.join(folder, "data", "chr10_small.vcf.gz")
    subprocess.run(["bcftools", "view", "-Ob", "-o", os.path.join(folder, "data", "small.bcf"), source], check=True)
    write_config(folder, {"vcf": "data/small.bcf", "plots": False})
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert "data/small.bcf is a BCF file: convert it to a VCF (bcftools view -Oz -o file.vcf.gz data/small.bcf)" in (
        p.stderr
    ), p.stderr


def test_runs_with_populations_killed_again_and_again_end_with_the_same_tables(vcf_run, tmp_path):
    """A chain of runs, the k-th killed as it starts its k-th job, each
    recovering what the one before left: the kills fall in the VCF's
    conversion, the populations' filters and the regions' chains."""
    folder = vcf_workdir(str(tmp_path))
    kills = []
    for k in range(1, 200):
        if k > 1:
            snakemake(folder, "--unlock")
        process = test_faults.start(folder, "--rerun-incomplete")
        if not test_faults.kill_at_job(process, folder, k):
            assert process.returncode == 0, read(os.path.join(folder, "run.log")).decode()[-3000:]
            break
        kills.append("job %d (%s)" % (k, ", ".join(test_faults.running(folder)) or "reading the config"))
    print("killed after %s; then ran to the end" % "; ".join(kills), file=sys.stderr)
    assert len(kills) >= 3
    names = MERGED + ("qc/dropped.tsv",)
    assert merged_results(folder, names) == merged_results(vcf_run, names)
    left = [os.path.join(d, f) for d, dirs, files in os.walk(os.path.join(folder, "results")) for f in files + dirs]
    assert not [f for f in left if ".partial" in f or f.endswith(".minimum")], left


BAD_POPULATIONS = [
    (
        "unknown",
        {"A": "a0\nnobody\n"},
        "population A: data/A.txt: 1 sample is not in the genotypes (data/chr1.fam): nobody",
    ),
    (
        "twice in one",
        {"A": "a0\na1\na0\n"},
        "sample a0 is listed twice: population A (data/A.txt, line 1) and population A (data/A.txt, line 3)",
    ),
    (
        "twice in two",
        {"A": "a0\n", "B": "b0\na0 a0\n"},
        "sample a0 is listed twice: population A (data/A.txt, line 1) and population B (data/B.txt, line 2)",
    ),
    ("empty", {"A": "\n\n"}, "population A: data/A.txt lists no sample"),
    ("one person", {"A": "a0\n", "B": "b0\nb1\n"}, "population A: data/A.txt lists 1 sample, and LD needs at least 2"),
    (
        "named all",
        {"All": "a0\na1\n", "B": "b0\nb1\n"},
        "population All (data/All.txt): the tables name everyone all: give the population another name",
    ),
    (
        "three fields",
        {"A": "a0 a0 x\n"},
        "population A: data/A.txt: line 1: expected a sample id, or a family id and a sample id, found 3 fields",
    ),
]


def stops_before_any_job(folder, files, message, **settings):
    """A study of four people with the populations' files as given and the
    config's settings: the run must stop with the message before any job."""
    data = os.path.join(folder, "data")
    os.makedirs(data, exist_ok=True)
    loci = simulate.haplotypes(8, seed=3, theta=20, rho=10)
    simulate.write_fileset(data, "chr1", loci, ["a0", "a1", "b0", "b1"], 20, seed=3)
    for population, text in files.items():
        with open(os.path.join(data, population + ".txt"), "w") as f:
            f.write(text)
    config = {"bfile": "data/chr1", "populations": {p: "data/%s.txt" % p for p in files}}
    config.update(settings)
    write_config(folder, {k: v for k, v in config.items() if v is not None})
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert "The config cannot be used:" in p.stderr and message in p.stderr, p.stderr
    assert not os.path.exists(os.path.join(folder, "results"))


@pytest.mark.parametrize("name,files,message", BAD_POPULATIONS, ids=[c[0] for c in BAD_POPULATIONS])
def test_bad_population_files_stop_before_any_job(tmp_path, name, files, message):
    stops_before_any_job(str(tmp_path), files, message)


BAD_CONFIGS = [
    ({"vcf": "data/x.vcf"}, "bfile and vcf are both given: give the genotypes one way, not both"),
    ({"bfile": None}, "no genotypes: give bfile (PLINK filesets) or vcf (VCF files)"),
    ({"populations": {"1st": "data/A.txt"}}, "populations must map each population's name"),
    ({"clustering_command": "true"}, "populations need clustering_command ldcluster, which chooses one set of tags"),
]


@pytest.mark.parametrize("override,message", BAD_CONFIGS)
def test_bad_genotype_and_population_keys_stop_before_any_job(tmp_path, override, message):
    folder = str(tmp_path)
    os.makedirs(os.path.join(folder, "data"))
    open(os.path.join(folder, "data", "x.vcf"), "w").close()
    stops_before_any_job(folder, {"A": "a0\na1\n"}, message, **override)


BAD_PANELS = [
    ("sample\tgroup\na0\tA\n", {}, "the header line names no column 'pop' (it names: sample, group)"),
    ("id\tpop\na0\tA\n", {}, "the header line names no column 'sample' (it names: id, pop)"),
    ("sample\tpop\na0\t1st\n", {}, "line 2: population '1st' cannot name a population"),
    ("sample\tpop\tsex\na0\tA\n", {}, "line 2: expected 3 fields, as the header names, found 2"),
    ("sample\tpop\nnobody\tA\n", {}, "population A: data/panel.txt (pop A): 1 sample is not in the genotypes"),
    ("sample\tpop\n", {}, "population_panel: data/panel.txt lists no sample"),
    ("sample\tpop\na0\tA\n", {"populations": {"A": "data/panel.txt"}}, "populations and population_panel are both"),
]


@pytest.mark.parametrize("text,settings,message", BAD_PANELS)
def test_a_bad_panel_stops_before_any_job(tmp_path, text, settings, message):
    panel = {"populations": None, "population_panel": "data/panel.txt"}
    panel.update(settings)
    stops_before_any_job(str(tmp_path), {"panel": text}, message, **panel)


@pytest.mark.parametrize(
    "record, people, sample",
    [
        ("s1", [("F1", "s1"), ("F1", "s2")], ("F1", "s1")),  # one id: the one person with that sample id
        ("s1 s1", [("F1", "s1")], ("F1", "s1")),  # family id and sample id alike: as one id
        ("F2 s1", [("F1", "s1")], ("F2", "s1")),  # a family id given stands
        ("s1", [("F1", "s1"), ("F2", "s1")], ("s1", "s1")),  # two people with that sample id: neither
        ("s1", [("s1", "s1"), ("F2", "s1")], ("s1", "s1")),
    ],
)
def test_a_sample_file_may_name_people_by_sample_id_alone(tmp_path, record, people, sample):
    """As a panel does: PLINK's family ids are often not the sample's."""
    path = tmp_path / "A.txt"
    path.write_text(record + "\n")
    found, _ = populations.read({"populations": {"A": str(path)}}, {"data/g": people})
    assert found == {"A": [(1, sample)]}


def test_a_compressed_panel_is_named_as_such(tmp_path):
    path = tmp_path / "panel.txt.gz"
    path.write_bytes(gzip.compress(b"sample\tpop\na0\tA\n"))
    with pytest.raises(populations.FormatError, match="panel.txt.gz is compressed: give it uncompressed"):
        populations.read_panel(str(path), "sample", "pop")


def test_ld_from_a_few_people_gets_a_warning(tmp_path):
    folder = str(tmp_path)
    data = os.path.join(folder, "data")
    os.makedirs(data)
    loci = simulate.haplotypes(46, seed=3, theta=20, rho=10)
    simulate.write_fileset(data, "chr1", loci, ["a%d" % k for k in range(20)] + ["b0", "b1", "b2"], 20, seed=3)
    for population, samples in (("A", ["a%d" % k for k in range(20)]), ("B", ["b0", "b1", "b2"])):
        with open(os.path.join(data, population + ".txt"), "w") as f:
            f.writelines(s + "\n" for s in samples)
    write_config(folder, {"bfile": "data/chr1", "populations": {"A": "data/A.txt", "B": "data/B.txt"}})
    p = snakemake(folder, "-n")  # a dry run prints to standard output
    assert "LD from fewer than 20 people is mostly chance, and its tags with it: B 3\n" in p.stdout, p.stdout


def trio_study(folder, parents_named):
    """The test genotypes with their first 60 people as 20 trios (the first
    40 the parents of the next 20, a family id each), as two populations: the
    parents, and their children. Without parents_named the .fam names no
    parent, as if they were 60 strangers."""
    folder = test_faults.make_workdir(folder)
    data = os.path.join(folder, "data")
    with open(os.path.join(data, "geno.fam")) as f:
        everyone = [line.split() for line in f]
    people = everyone[:60]
    for k, person in enumerate(people):
        person[0] = "fam%d" % (k % 20)
        if k >= 40 and parents_named:
            person[2:4] = [people[k - 40][1], people[k - 20][1]]
    for name in ("geno", "tiny"):
        with open(os.path.join(data, name + ".fam"), "w") as f:
            f.writelines(" ".join(p) + "\n" for p in everyone)
    for name, group in (("parents", people[:40]), ("children", people[40:])):
        with open(os.path.join(data, name + ".txt"), "w") as f:
            f.writelines("%s %s\n" % tuple(p[:2]) for p in group)
    with open(os.path.join(folder, "config.yaml")) as f:
        config = yaml.safe_load(f)
    config.update(populations={p: "data/%s.txt" % p for p in ("parents", "children")}, plots=False)
    write_config(folder, config)
    return folder


def test_children_apart_from_their_parents_give_ld_as_strangers_do(tmp_path):
    """PLINK measures LD in founders alone; children whose parents are in
    another population are founders in theirs, as strangers would be, in
    every step that measures LD or frequencies."""
    named = trio_study(str(tmp_path / "named"), parents_named=True)
    strangers = trio_study(str(tmp_path / "strangers"), parents_named=False)
    p = snakemake(named)
    assert "both parents" not in p.stderr
    snakemake(strangers)
    assert merged_results(named) == merged_results(strangers)
