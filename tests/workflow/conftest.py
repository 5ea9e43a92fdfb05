"""Shared pieces of the workflow's tests.

The programs come from the build named by LDTAG_BIN (CTest sets it), with
clustering-standin, a stand-in for another clustering program; the genotypes
are the first SNPs of the bundled chromosome 10 part, copied byte for byte,
with a few names broken so that quality control must leave them out.
"""
import os
import shutil
import subprocess
import sys

import pytest
import yaml

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SNAKEFILE = os.path.join(ROOT, "workflow", "Snakefile")
EXAMPLE = os.path.join(ROOT, "examples", "genotypes", "chr10_part")
SAMPLES = 1000  # people in the bundled .fam: a SNP takes 250 bytes of .bed
SNPS = 1200
MAX_SNPS = 400
# Names broken in the test genotypes: line (from 0) -> new name.
BROKEN = {5: ".", 17: "rs7093061", 30: "x" * 30}  # rs7093061 is line 1's name too

sys.path.insert(0, os.path.join(ROOT, "workflow", "scripts"))


def environment(**more):
    env = dict(os.environ, **more)
    env["PATH"] = os.environ["LDTAG_BIN"] + os.pathsep + env["PATH"]
    return env


def write_genotypes(folder, snps=SNPS):
    """The first `snps` SNPs of the bundled part, with BROKEN names; returns
    the fileset's path and its lines."""
    os.makedirs(folder, exist_ok=True)
    prefix = os.path.join(folder, "geno")
    per_snp = (SAMPLES + 3) // 4
    with open(EXAMPLE + ".bed", "rb") as f:
        bed = f.read(3 + snps * per_snp)
    with open(prefix + ".bed", "wb") as f:
        f.write(bed)
    with open(EXAMPLE + ".bim") as f:
        lines = [f.readline().split("\t") for _ in range(snps)]
    for k, name in BROKEN.items():
        lines[k][1] = name
    with open(prefix + ".bim", "w") as f:
        f.writelines("\t".join(fields) for fields in lines)
    shutil.copy(EXAMPLE + ".fam", prefix + ".fam")
    return prefix, lines


def write_tiny_chromosome(folder):
    """A second fileset: chromosome "chr11" with one SNP, the bundled part's
    SNP 1500 renamed rs_tiny."""
    per_snp = (SAMPLES + 3) // 4
    with open(EXAMPLE + ".bed", "rb") as f:
        bed = f.read()
    prefix = os.path.join(folder, "tiny")
    with open(prefix + ".bed", "wb") as f:
        f.write(bed[:3] + bed[3 + 1500 * per_snp : 3 + 1501 * per_snp])
    with open(EXAMPLE + ".bim") as f:
        fields = f.readlines()[1500].split("\t")
    fields[:2] = ["chr11", "rs_tiny"]
    with open(prefix + ".bim", "w") as f:
        f.write("\t".join(fields))
    shutil.copy(EXAMPLE + ".fam", prefix + ".fam")


def write_lists(folder, lines):
    """Thresholds, done and undesirable lists over the test genotypes, each
    with one name that is not in them."""
    names = [fields[1] for fields in lines]
    with open(os.path.join(folder, "thresholds.txt"), "w") as f:
        f.writelines("%s %s\n" % (names[k], "0.5" if k % 2 else "0.9") for k in range(40, len(names), 37))
        f.write("rs_not_here 0.7\n")
    with open(os.path.join(folder, "done.txt"), "w") as f:
        f.write("%s\nrs_nowhere\n%s\n" % (names[100], names[min(700, len(names) - 1)]))
    with open(os.path.join(folder, "undesirable.txt"), "w") as f:
        f.writelines(names[k] + "\n" for k in range(60, len(names), 53))
        f.write("rs_gone\n")


def make_workdir(folder, snps=SNPS, **overrides):
    """A folder with the test genotypes (the first `snps` SNPs of chromosome
    10 and a one-SNP chromosome 11), lists and a config; returns it."""
    prefix, lines = write_genotypes(os.path.join(folder, "data"), snps)
    write_tiny_chromosome(os.path.join(folder, "data"))
    write_lists(os.path.join(folder, "data"), lines)
    config = {
        "bfile": ["data/geno", "data/tiny"],
        "thresholds_file": "data/thresholds.txt",
        "done_file": "data/done.txt",
        "undesirable_file": "data/undesirable.txt",
        "max_snps": MAX_SNPS,
    }
    config.update(overrides)
    write_config(folder, config)
    return folder


def write_config(folder, config):
    with open(os.path.join(folder, "config.yaml"), "w") as f:
        yaml.safe_dump(config, f)


def snakemake(folder, *args, check=True, env=None):
    """Runs the workflow in `folder`, with `env` added to the environment;
    returns the finished process."""
    cmd = ["snakemake", "-s", SNAKEFILE, "--configfile", "config.yaml", "--cores", "2"] + list(args)
    p = subprocess.run(cmd, cwd=folder, env=environment(**(env or {})), capture_output=True, text=True)
    if check and p.returncode != 0:
        pytest.fail("snakemake %s failed:\n%s" % (" ".join(args), p.stderr[-4000:]))
    return p


def read(path):
    with open(path, "rb") as f:
        return f.read()


def table(path):
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        return [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]


MERGED = (
    "greedy_tags.tsv",
    "minimax_tags.tsv",
    "minimum_tags.tsv",
    "greedy_tag_snps.txt",
    "minimax_tag_snps.txt",
    "minimum_tag_snps.txt",
    "summary.tsv",
    "coverage.tsv",
    "warnings.txt",
    "regions.tsv",
    "cut_pairs.tsv",
)


def merged_results(folder, names=MERGED):
    return {name: read(os.path.join(folder, "results", name)) for name in names}


@pytest.fixture(scope="session")
def clean_run(tmp_path_factory):
    """One complete run that keeps its intermediate files; tests only read it."""
    folder = make_workdir(str(tmp_path_factory.mktemp("clean")), keep_intermediate=True)
    snakemake(folder)
    return folder
