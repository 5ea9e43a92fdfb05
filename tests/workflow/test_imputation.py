"""Coverage by imputation in held-out people, and the tags as VCF.

The protocol's pieces on hand-made inputs (the draw of the folds, evenly
spaced SNPs, the r² from pooled sums against a direct computation), then two
whole runs on chromosomes simulated with scrm under growth: PLINK input in
folds, whose panel Beagle phases; and a phased VCF of two populations with
people held out, used as given. Each reference VCF is checked against its
fold, the per-SNP r² against the kept dosages, and the selection of the
held-out run against a run on genotypes from which those people were
removed. Bad configs stop before any job.
"""
import gzip
import os
import re
import shutil
import subprocess
import sys

import numpy as np
import pytest

from conftest import ROOT, make_workdir, read, snakemake, table, write_config

from ldtag import bgzf, imputation, pairwise
from ldtag import dosage as dosage_r2

sys.path.insert(0, os.path.join(ROOT, "bench"))
import shifted_grids  # noqa: E402
import simulate  # noqa: E402

SELECTION = (
    "greedy_tags.tsv",
    "minimax_tags.tsv",
    "minimum_tags.tsv",
    "summary.tsv",
    "coverage.tsv",
    "regions.tsv",
    "minimum_tags.vcf.gz",
)


# The protocol's pieces.


def test_evenly_spaced_snps_by_hand():
    # The middle of each of k equal stretches: floor((2i + 1) n / 2k).
    assert imputation.evenly_spaced(4, 10) == [1, 3, 6, 8]
    assert imputation.evenly_spaced(2, 5) == [1, 3]
    assert imputation.evenly_spaced(3, 3) == [0, 1, 2]
    # Shared in proportion to the chromosomes' SNPs, largest remainders first,
    # ties to the earlier chromosome.
    assert imputation.shares(6, [10, 5]) == [4, 2]
    assert imputation.shares(5, [10, 5]) == [3, 2]  # 3.33 and 1.67
    assert imputation.shares(2, [3, 3, 3]) == [1, 1, 0]
    assert imputation.shares(15, [10, 5]) == [10, 5]
    one, two = list("abcdefghij"), list("klmno")
    assert imputation.even_set(5, [one, two]) == ["b", "f", "i", "l", "n"]  # 3 of 10, 2 of 5
    # The benchmark's shifted grids: 5 grids at 0.1, 0.3, ... 0.9 of each
    # stretch, 10/3 SNPs long on the first chromosome (3 of 10) and 2.5 on
    # the second (2 of 5): the SNP floor((i + f) * length); 0.5 is the
    # workflow's grid.
    made = [shifted_grids.grid(5, [one, two], j, 5) for j in range(5)]
    assert made == [
        ["a", "d", "h", "k", "m"],  # 0.33, 3.67, 7.0; 0.25, 2.75
        ["b", "e", "h", "k", "n"],  # 1.0, 4.33, 7.67; 0.75, 3.25
        ["b", "f", "i", "l", "n"],  # 1.67, 5.0, 8.33; 1.25, 3.75
        ["c", "f", "j", "l", "o"],  # 2.33, 5.67, 9.0; 1.75, 4.25
        ["d", "g", "j", "m", "o"],  # 3.0, 6.33, 9.67; 2.25, 4.75
    ]


def test_the_middle_shifted_grid_is_the_evenly_spaced_set():
    """Brute force: on random chromosomes, the middle of an odd number of
    shifted grids is the workflow's evenly spaced set."""
    rng = np.random.default_rng(5)
    for _ in range(300):
        chromosomes = [["c%d_%d" % (c, k) for k in range(rng.integers(1, 200))] for c in range(rng.integers(1, 4))]
        count = int(rng.integers(1, sum(map(len, chromosomes)) + 1))
        grids = int(rng.choice([1, 3, 5, 7]))
        assert shifted_grids.grid(count, chromosomes, grids // 2, grids) == imputation.even_set(count, chromosomes)


def test_the_sets_judged_have_one_evenly_spaced_set_per_number_of_tags():
    chromosomes = [["s%d" % k for k in range(20)]]
    sets = imputation.judged_sets(
        {"greedy": ["s1", "s2"], "minimax": ["s3", "s4"], "minimum": ["s5"]}, ["s7"], chromosomes
    )
    assert [(name, kind, len(tags)) for name, kind, tags in sets] == [
        ("greedy", "method", 2),
        ("minimax", "method", 2),
        ("minimum", "method", 1),
        ("given", "given", 1),
        ("even_1", "evenly spaced", 1),
        ("even_2", "evenly spaced", 2),
    ]
    assert dict((n, t) for n, _, t in sets)["even_2"] == ["s5", "s15"]


def test_folds_are_drawn_within_each_population():
    groups = {"A": ["a%d" % k for k in range(53)], "B": ["b%d" % k for k in range(41)]}
    config = {"folds": 5, "holdout": None, "seed": 3}
    fold = imputation.draw(groups, config)
    assert fold == imputation.draw(groups, config)  # the same seed, the same folds
    assert fold != imputation.draw(groups, dict(config, seed=4))
    for people in groups.values():
        sizes = sorted(sum(fold[p] == f for p in people) for f in imputation.fold_names(config))
        assert sizes[-1] - sizes[0] <= 1 and sum(sizes) == len(people)
    held = imputation.draw(groups, {"folds": 5, "holdout": 0.25, "seed": 3})
    assert sum(held[p] == "holdout" for p in groups["A"]) == 13  # 13.25 rounds to 13
    assert sum(held[p] == "holdout" for p in groups["B"]) == 10  # 10.25
    assert set(held.values()) == {"holdout", "reference"}


@pytest.mark.parametrize(
    "groups,settings,message",
    [
        (
            {"all": 60},
            {"folds": 4},
            "folds 4: the 60 people give folds of 15 people; each fold needs at least 20: use at most 3 folds",
        ),
        ({"all": 30}, {"folds": 2}, "there are too few people for 2 folds"),
        (
            {"A": 100, "B": 60},
            {"holdout": 0.2},
            "holdout 0.2 sets aside 12 of the 60 people of population B; at least 20 are needed: raise holdout to "
            "0.33 or more",
        ),
        (
            {"all": 30},
            {"holdout": 0.5},
            "sets aside 15 of the 30 people of the study; at least 20 are needed: a share of at most 0.5 cannot",
        ),
        ({"A": 100, "B": 15}, {}, "population B has 15 people; the imputation evaluation needs at least 20"),
    ],
)
def test_too_few_people_are_named(groups, settings, message):
    config = {"imputation": True, "folds": 5, "holdout": None, "seed": 1, **settings}
    problems = imputation.check_people(groups, config)
    assert len(problems) == 1 and message in problems[0], problems


def test_chunks_have_cores_that_tile_the_snps_and_flanks():
    positions = [100, 150, 1100, 2900, 3000, 7000]
    found = imputation.chunks("7", positions, 1000, 200)
    assert [c.row() for c in found] == [
        ("chr7_001", "7", "7", 1, 1299, 100, 1099, 2),
        ("chr7_002", "7", "7", 900, 2299, 1100, 2099, 1),
        ("chr7_003", "7", "7", 1900, 3299, 2100, 3099, 2),
        ("chr7_004", "7", "7", 5900, 7299, 6100, 7099, 1),  # 7000 lies in the seventh kb from 100
    ]
    assert imputation.contig("chrX") == "X" and imputation.contig("23") == "X" and imputation.contig("10") == "10"


def fold_data(rng, snps, people):
    """True ALT counts (with missing genotypes) and dosages to 0.01."""
    x = rng.integers(0, 3, size=(snps, people))
    x[rng.random((snps, people)) < 0.05] = -1
    y = np.clip(np.where(x >= 0, x, 1) + rng.normal(0, 0.6, size=(snps, people)), 0, 2).round(2)
    x[0] = 1  # does not vary: not measured
    x[0, 0] = -1
    y[1] = 0.37  # dosage does not vary: r² 0
    return x, y


def test_r2_pooled_over_folds_equals_a_direct_computation_on_all_people(tmp_path):
    rng = np.random.default_rng(5)
    snps, people = 30, 90
    x, y = fold_data(rng, snps, people)
    ids = ["s%d" % k for k in range(snps)]
    samples = ["p%d" % k for k in range(people)]
    population = {s: ("A" if k % 3 else "B") for k, s in enumerate(samples)}
    positions = np.arange(snps) * 10
    pool = dosage_r2.Pool()
    for fold, columns in enumerate(np.array_split(rng.permutation(people), 3)):
        mine = [samples[c] for c in columns]
        truth = (ids, positions, mine, x[:, columns])
        # The dosages in another order of SNPs and people, as read from Beagle.
        order = rng.permutation(len(mine))
        dosages = (ids[::-1], [mine[k] for k in order], (y[::-1][:, columns][:, order] * 1000).round().astype(np.int64))
        rows = dosage_r2.fold_sums(truth, dosages, population, (0, positions[-1]))
        path = str(tmp_path / ("fold%d.tsv" % fold))
        dosage_r2.write_sums(path, rows)
        pool.add("set", str(fold), path)
    for name in ("A", "B"):
        columns = [k for k, s in enumerate(samples) if population[s] == name]
        for k in range(snps):
            typed = [c for c in columns if x[k, c] >= 0]
            value = dosage_r2.r2(*pool.get("set", name, ids[k]))
            if k == 0:
                assert value is None
            elif k == 1:
                assert value == 0.0
            else:
                direct = np.corrcoef(x[k, typed], y[k, typed])[0, 1] ** 2
                assert value == pytest.approx(direct, abs=1e-12), (name, k)


class Sums:
    """One set's sums per SNP, as dosage.Pool.get gives them."""

    def __init__(self, sums):
        self.sums = sums

    def get(self, name, population, snp):
        return self.sums[snp]


@pytest.mark.parametrize(
    "sums, maf, r2, maf_class, counted",
    [
        # vx 4·6 - 4² = 8, vy 4·260000 - 800² = 400000, cov 4·1200 - 4·800 =
        # 1600: r² 1600² / (8 · 400000) = 0.8 exactly, counted.
        ((4, 4, 800, 6, 260000, 1200), "0.5000", "0.8000", ">=0.2", True),
        # vx 14, vy 6887746, cov 8783: r² 0.79998, cut to 0.7999 and not
        # counted at 0.8 (rounded it would read 0.8000).
        ((5, 4, 3548, 6, 3895210, 4595), "0.4000", "0.7999", ">=0.2", False),
        # 1000 alleles of 20002: MAF 0.049995, cut to 0.0499 and in the
        # class below 0.05; the dosage is the genotype, r² 1.
        ((10001, 1000, 1000000, 1000, 1000000000, 1000000), "0.0499", "1.0000", "<0.05", True),
    ],
)
def test_maf_and_r2_are_cut_to_four_decimals_and_counted_as_written(sums, maf, r2, maf_class, counted):
    rows = list(dosage_r2.snp_rows(Sums({"s": sums}), "set", [], "A", [("1", "s", 10)], set()))
    assert rows == [("set", "A", "1", "s", 10, 0, 0, sums[0], maf, r2)]
    summary = dosage_r2.Summary()
    summary.add(rows[0])
    table = {row[4]: row for row in summary.rows([("set", "method", 0, "held out")], ["A"])}
    assert table["all"][9] == ("100.00" if counted else "0.00")
    assert table[maf_class][5] == 1 and table[maf_class][9] == table["all"][9]


def test_pairwise_capture_follows_each_snps_own_threshold(tmp_path):
    ld = tmp_path / "pairs.ld"
    ld.write_text(
        " CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2\n"
        "1 10 t1 1 10 t1 1\n"
        "1 10 t1 1 20 s1 0.85\n"
        "1 30 t2 1 20 s1 0.5\n"
        "1 30 t2 1 40 s2 0.79\n"
        "1 10 t1 1 50 s3 0.7999996\n"  # 0.800000 to six decimals, as ldprune reads it
        "1 10 t1 1 60 s4 0.7999994\n"
    )
    own = {"s2": 0.7}
    a, b = pairwise.captured(str(ld), [("a", ["t1"]), ("b", ["t2"])], lambda name: own.get(name, 0.8))
    assert a == {"t1", "s1", "s3"} and b == {"t2", "s2"}


def test_without_beagle_the_tags_count_as_typed_and_the_other_snps_as_not_imputed():
    x = np.array([[0, 1, 2, -1], [1, 1, 0, 2], [1, 1, 1, 1]])
    truth = (["t", "s", "u"], np.array([5, 6, 7]), ["p1", "p2", "p3", "p4"], x)
    rows = dosage_r2.fold_sums(truth, None, dict.fromkeys(truth[2], "A"), (0, 10), typed=["t"])
    # n, Σx, Σy, Σx², Σy², Σxy, y in thousandths; p4 has no genotype at t.
    assert rows == [
        ("t", "A", 3, 3, 3000, 5, 5000000, 5000),
        ("s", "A", 4, 4, 0, 6, 0, 0),
        ("u", "A", 4, 4, 0, 4, 0, 0),
    ]
    assert [dosage_r2.r2(*r[2:]) for r in rows] == [1.0, 0.0, None]


def test_genotypes_as_bcftools_prints_them():
    text = b"0/1 1|1 ./. 0|0 \n1/0 0/0 1|. 1/1 \n"
    assert dosage_r2.allele_counts(text, 2, 4).tolist() == [[1, 2, -1, 0], [1, 0, -1, 2]]
    # Haploid calls take the slow road.
    assert dosage_r2.allele_counts(b"1 0/1 \n", 1, 2).tolist() == [[1, 1]]


def write_vcf(path, people, rows, sep):
    """A VCF of `people` at SNPs s0, s1, ...: `rows` of ALT alleles, two per
    person, joined by `sep`."""
    lines = ["##fileformat=VCFv4.2", "##contig=<ID=1>", '##FORMAT=<ID=GT,Number=1,Type=String,Description="GT">']
    lines += ["\t".join(["#CHROM", "POS", "ID", "REF", "ALT", "QUAL", "FILTER", "INFO", "FORMAT"] + people)]
    for k, alleles in enumerate(rows):
        calls = ["%d%s%d" % (alleles[2 * j], sep, alleles[2 * j + 1]) for j in range(len(people))]
        lines.append("\t".join(["1", str(1000 * (k + 1)), "s%d" % k, "A", "G", ".", "PASS", ".", "GT"] + calls))
    with bgzf.written(path) as out:
        out.write("\n".join(lines) + "\n")


def test_when_every_snp_is_typed_beagle_writes_no_dosage_and_the_genotypes_count(tmp_path):
    # Four haplotypes at four SNPs; 20 reference people phased, 5 typed at
    # every SNP. Beagle then imputes nothing and writes GT without DS.
    haplotypes = [(0, 0, 1, 1), (1, 0, 0, 1), (0, 1, 1, 0), (1, 1, 0, 0)]
    pick = [(k % 4, (k * 3 + 1) % 4) for k in range(25)]
    rows = [[haplotypes[h][snp] for pair in pick for h in pair] for snp in range(4)]
    ref, target, out = (str(tmp_path / name) for name in ("ref.vcf.gz", "gt.vcf.gz", "out"))
    write_vcf(ref, ["r%d" % k for k in range(20)], [row[:40] for row in rows], "|")
    write_vcf(target, ["t%d" % k for k in range(5)], [row[40:] for row in rows], "/")
    subprocess.run(["beagle", "ref=" + ref, "gt=" + target, "out=" + out], capture_output=True, check=True)
    ids, samples, ds = dosage_r2.read_dosages(out + ".vcf.gz")
    truth = dosage_r2.read_truth(target)
    assert (ids, samples) == (truth[0], truth[2])
    assert ds.tolist() == (truth[3] * 1000).tolist()


def test_a_bgzf_file_is_gzip_and_tabix_indexes_it(tmp_path):
    path = str(tmp_path / "t.vcf.gz")
    lines = ["##fileformat=VCFv4.2", "##contig=<ID=1>", "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO"]
    lines += ["1\t%d\ts%d\tA\tG\t.\t.\t." % (k + 1, k) for k in range(30000)]  # several blocks
    with bgzf.written(path) as out:
        out.write("\n".join(lines) + "\n")
    with gzip.open(path, "rt") as f:
        assert f.read() == "\n".join(lines) + "\n"
    subprocess.run(["tabix", "-p", "vcf", path], check=True)
    found = subprocess.run(["tabix", path, "1:20000-20001"], capture_output=True, text=True, check=True).stdout
    assert found == "1\t20000\ts19999\tA\tG\t.\t.\t.\n1\t20001\ts20000\tA\tG\t.\t.\t.\n"


# Whole runs.


def samples_of(path):
    out = subprocess.run(["bcftools", "query", "-l", path], capture_output=True, text=True, check=True).stdout
    return out.split()


def fold_people(folder):
    rows = table(os.path.join(folder, "results", "imputation", "people.tsv"))
    return rows, {f: {r["id"] for r in rows if r["fold"] == f} for f in {r["fold"] for r in rows}}


def check_references_against_their_folds(folder, folds):
    """Every reference VCF holds exactly the people not in its fold; every
    truth VCF exactly the fold's."""
    rows, members = fold_people(folder)
    everyone = {r["id"] for r in rows}
    chunks = table(os.path.join(folder, "results", "imputation", "chunks.tsv"))
    checked = 0
    for chunk in chunks:
        for fold in folds:
            base = os.path.join(folder, "results", "imputation", "chunks", chunk["chunk"], fold)
            reference = set(samples_of(os.path.join(base, "reference.vcf.gz")))
            truth = samples_of(os.path.join(base, "truth.vcf.gz"))
            assert not reference & members[fold]
            assert reference == everyone - members[fold]
            assert set(truth) == members[fold] and len(truth) == len(members[fold])
            checked += 1
    assert checked == len(chunks) * len(folds) > 0


def direct_r2(folder, name):
    """(population, SNP) -> r² of set `name` from the dosages Beagle wrote
    (kept with keep_intermediate) and the genotypes of the panel, every fold
    at once."""
    rows, members = fold_people(folder)
    population = {r["id"]: r["population"] for r in rows}
    truth, dosage = {}, {}
    imputation_folder = os.path.join(folder, "results", "imputation")
    for chunk in table(os.path.join(imputation_folder, "chunks.tsv")):
        core = (int(chunk["core_start"]), int(chunk["core_end"]))
        panel = os.path.join(imputation_folder, "chr" + chunk["chromosome"], "panel.vcf.gz")
        for line in query(panel, "%ID\t%POS[\t%SAMPLE=%GT]\n"):
            snp, position, *calls = line.split("\t")
            if core[0] <= int(position) <= core[1]:
                for call in calls:
                    person, gt = call.split("=")
                    if "." not in gt:
                        truth[(snp, person)] = gt.count("1")
        for fold in members:
            if fold == "reference":
                continue
            path = os.path.join(imputation_folder, "chunks", chunk["chunk"], fold, name + ".work.imputed.vcf.gz")
            if not os.path.exists(path):
                continue  # no tag of the set in the chunk
            for line in query(path, "%ID\t%POS[\t%SAMPLE=%DS]\n"):
                snp, position, *calls = line.split("\t")
                if core[0] <= int(position) <= core[1]:
                    for call in calls:
                        person, ds = call.split("=")
                        dosage[(snp, person)] = float(ds)
    pairs = {}
    for (snp, person), ds in dosage.items():
        if (snp, person) in truth:
            pairs.setdefault((population[person], snp), []).append((truth[(snp, person)], ds))
    out = {}
    for key, values in pairs.items():
        x, y = np.array(values).T
        out[key] = None if x.std() == 0 else 0.0 if y.std() == 0 else np.corrcoef(x, y)[0, 1] ** 2
    return out


def query(path, fmt):
    done = subprocess.run(["bcftools", "query", "-f", fmt, path], capture_output=True, text=True, check=True)
    return done.stdout.splitlines()


def check_outputs(folder, methods=("greedy", "minimax", "minimum")):
    """Every output is there and sane; returns imputation.tsv's rows."""
    results = os.path.join(folder, "results")
    rows = table(os.path.join(results, "imputation.tsv"))
    sets = table(os.path.join(results, "imputation", "sets.tsv"))
    assert [s["set"] for s in sets if s["kind"] == "method"] == list(methods)
    counts = sorted({int(s["tags"]) for s in sets if s["kind"] != "evenly spaced"})
    assert sorted(int(s["tags"]) for s in sets if s["kind"] == "evenly spaced") == counts
    for s in sets:
        with open(os.path.join(results, "imputation", "sets", s["set"] + ".txt")) as f:
            assert len(f.read().split()) == int(s["tags"])
    for r in rows:
        assert int(r["measured"]) + int(r["not_measured"]) == int(r["snps"])
        for key in ("r2_08_percent", "r2_05_percent", "pairwise_percent"):
            assert r[key] == "NA" or 0 <= float(r[key]) <= 100
        if r["r2_08_percent"] != "NA":
            assert float(r["r2_08_percent"]) <= float(r["r2_05_percent"])
    for (name, population), group in split(rows):
        by_class = {r["maf_class"]: r for r in group}
        assert int(by_class["all"]["snps"]) == sum(int(by_class[c]["snps"]) for c in ("<0.05", "0.05-0.2", ">=0.2"))
    with open(os.path.join(results, "imputation.png"), "rb") as f:
        assert f.read(8) == b"\x89PNG\r\n\x1a\n"
    report = read(os.path.join(results, "report.html")).decode()
    assert '<h2 id="imputation">Imputation</h2>' in report and 'id="imputation-plot"' in report
    for method in methods:
        check_tags_vcf(folder, method)
    return rows


def split(rows):
    groups = {}
    for r in rows:
        groups.setdefault((r["set"], r["population"]), []).append(r)
    return groups.items()


def check_tags_vcf(folder, method, vcf_alleles=None):
    """The method's tags as VCF: indexed by tabix, one record per tag, at the
    tag's position with its two alleles."""
    results = os.path.join(folder, "results")
    path = os.path.join(results, method + "_tags.vcf.gz")
    shutil.copy(path, path + ".copy.vcf.gz")
    subprocess.run(["tabix", "-f", "-p", "vcf", path + ".copy.vcf.gz"], check=True)
    records = query(path, "%CHROM\t%POS\t%ID\t%REF\t%ALT\n")
    with open(os.path.join(results, method + "_tag_snps.txt")) as f:
        tags = f.read().split()
    assert sorted(r.split("\t")[2] for r in records) == sorted(tags)
    bim = {}
    for name in os.listdir(os.path.join(results, "qc")):
        if name.endswith(".bim") and name.startswith("chr"):
            with open(os.path.join(results, "qc", name)) as f:
                for line in f:
                    c, snp, _, bp, a1, a2 = line.split()
                    bim[snp] = (bp, {a1, a2})
    for record in records:
        chrom, position, snp, ref, alt = record.split("\t")
        assert bim[snp] == (position, {ref, alt})
    return records


@pytest.fixture(scope="module")
def folds_run(tmp_path_factory):
    """PLINK input, two folds, Beagle phasing, a user's list with one SNP
    that fails quality control; the intermediates kept."""
    folder = str(tmp_path_factory.mktemp("folds"))
    sim = simulate.chromosome(os.path.join(folder, "data"), length_mb=0.5, people=120, seed=21, code="3")
    with open(sim.fileset + ".bim") as f:
        bim = [line.split() for line in f]
    freq = dict(zip([b[1] for b in bim], maf_of(sim.fileset)))
    rare = next(name for name, m in freq.items() if m < 0.04)
    given = [name for name, m in freq.items() if m > 0.06][5::30] + [rare]
    with open(os.path.join(folder, "data", "array.txt"), "w") as f:
        f.write("\n".join(given) + "\n")
    write_config(
        folder,
        {
            "bfile": "data/sim",
            "min_maf": 0.05,
            "plots": False,
            "keep_intermediate": True,
            "imputation": True,
            "folds": 2,
            "evaluate_tags": "data/array.txt",
            "beagle_threads": 1,
            "beagle_mem_mb": 1024,
        },
    )
    snakemake(folder)
    return folder, given, rare


def maf_of(fileset):
    """Each SNP's MAF over all people, from PLINK's counts."""
    folder, name = os.path.split(fileset)
    simulate.run_plink(folder, "--bfile", name, "--freq", "--out", name + ".maf")
    with open(fileset + ".maf.frq") as f:
        next(f)
        return [float(line.split()[4]) for line in f]


def test_each_fold_is_imputed_from_a_reference_without_its_people(folds_run):
    folder, _, _ = folds_run
    check_references_against_their_folds(folder, ["1", "2"])
    rows, members = fold_people(folder)
    assert len(rows) == 120 and sorted(len(members[f]) for f in ("1", "2")) == [60, 60]


def test_per_snp_r2_equals_a_direct_computation_on_the_dosages(folds_run):
    folder, _, _ = folds_run
    per_snp = table(os.path.join(folder, "results", "imputation_snps.tsv"))
    for name in ("minimum", "given"):
        direct = direct_r2(folder, name)
        mine = [r for r in per_snp if r["set"] == name]
        assert len(mine) == len(direct) > 100
        for r in mine:
            expected = direct[(r["population"], r["snp"])]
            if expected is None:
                assert r["r2"] == "NA"
            else:
                assert expected - 1e-4 < float(r["r2"]) <= expected + 1e-12, r  # cut to four decimals


def test_folds_run_outputs_and_their_labels(folds_run):
    folder, given, rare = folds_run
    rows = check_outputs(folder)
    how = {r["set"]: r["how_measured"] for r in rows}
    assert how["minimum"] == "tags chosen with these people, 2 folds"
    assert how["given"] == "held-out, 2 folds"
    assert all(how[s] == "held-out, 2 folds" for s in how if s.startswith("even_"))
    sets = {s["set"]: s for s in table(os.path.join(folder, "results", "imputation", "sets.tsv"))}
    assert (sets["given"]["listed"], sets["given"]["not_passed"]) == (str(len(given)), "1")
    with open(os.path.join(folder, "results", "imputation", "sets", "given.txt")) as f:
        assert rare not in f.read().split()
    with open(os.path.join(folder, "results", "imputation", "chr3", "phasing.txt")) as f:
        assert f.read() == "beagle\n"
    report = read(os.path.join(folder, "results", "report.html")).decode()
    assert "tags chosen with these people" in report and "Beagle 5.4 phased the genotypes" in report
    assert "Beagle used its default of 1 cM per Mb" in report
    assert "1 of the %d SNPs of evaluate_tags did not pass quality control" % len(given) in report
    # The evenly spaced set of the user's number of SNPs, by hand.
    with open(os.path.join(folder, "results", "qc", "chr3.bim")) as f:
        names = [line.split()[1] for line in f]
    count = int(sets["given"]["tags"])
    with open(os.path.join(folder, "results", "imputation", "sets", "even_%d.txt" % count)) as f:
        assert f.read().split() == [names[(2 * i + 1) * len(names) // (2 * count)] for i in range(count)]
    # Tags of evaluate_tags are typed: they impute exactly.
    per_snp = [r for r in table(os.path.join(folder, "results", "imputation_snps.tsv")) if r["set"] == "given"]
    assert all(r["r2"] in ("1.0000", "NA") for r in per_snp if r["tag"] == "1")


@pytest.fixture(scope="module")
def holdout_run(tmp_path_factory):
    """A phased VCF of two populations (80 people each), a quarter of each
    held out; chunks of 0.25 Mb."""
    folder = str(tmp_path_factory.mktemp("holdout"))
    data = os.path.join(folder, "data")
    sim = simulate.chromosome(data, length_mb=0.5, people={"A": 80, "B": 80}, seed=9, vcf=True, migration=4, code="5")
    for name, people in sim.populations.items():
        with open(os.path.join(data, name + ".txt"), "w") as f:
            f.write("\n".join(people) + "\n")
    # Two SNPs at the start and one at the end: the last chunk holds one tag.
    with open(os.path.join(data, "array.txt"), "w") as f:
        f.write("\n".join(sim.snps[:2] + sim.snps[-1:]) + "\n")
    settings = {
        "vcf": "data/sim.vcf.gz",
        "evaluate_tags": "data/array.txt",
        "populations": {"A": "data/A.txt", "B": "data/B.txt"},
        "plots": False,
        "imputation": True,
        "holdout": 0.25,
        "seed": 4,
        "chunk_mb": 0.25,
        "flank_mb": 0.05,
        "beagle_threads": 1,
        "beagle_mem_mb": 1024,
        "keep_intermediate": True,
        "judged_methods": ["minimum"],
    }
    write_config(folder, settings)
    snakemake(folder)
    return folder, sim, settings


def test_held_out_people_never_reach_the_selection(holdout_run, tmp_path):
    """The selection of the held-out run equals a run without imputation on
    the VCF from which the held-out people were removed."""
    folder, sim, settings = holdout_run
    rows, members = fold_people(folder)
    held = members["holdout"]
    assert {p: sum(r["id"] in held for r in rows if r["population"] == p) for p in "AB"} == {"A": 20, "B": 20}
    for root, _, files in os.walk(os.path.join(folder, "results")):
        for name in files:
            if name.endswith(".fam") and "imputation" not in root and "vcf" not in root:
                with open(os.path.join(root, name)) as f:
                    assert not {line.split()[1] for line in f} & held, os.path.join(root, name)
    alone = str(tmp_path / "without")
    os.makedirs(os.path.join(alone, "data"))
    keep = [p for p in sim.people if p not in held]
    with open(os.path.join(alone, "data", "keep.txt"), "w") as f:
        f.write("\n".join(keep) + "\n")
    subprocess.run(
        [
            "bcftools",
            "view",
            "-S",
            "data/keep.txt",
            os.path.join(folder, "data", "sim.vcf.gz"),
            "-Oz",
            "-o",
            "data/sim.vcf.gz",
        ],
        cwd=alone,
        check=True,
    )
    for p in "AB":
        with open(os.path.join(alone, "data", p + ".txt"), "w") as f:
            f.write("\n".join(x for x in sim.populations[p] if x not in held) + "\n")
    write_config(alone, {"vcf": "data/sim.vcf.gz", "populations": settings["populations"], "plots": False})
    snakemake(alone)
    check_tags_vcf(alone, "minimum")  # made without imputation too
    for name in SELECTION:
        assert read(os.path.join(alone, "results", name)) == read(os.path.join(folder, "results", name)), name


def test_folds_changed_with_holdout_runs_no_job_again(holdout_run):
    """folds is unused with holdout, and the run says so: changing it must
    not make Snakemake judge every set again. The report, which shows the
    config, is made again."""
    folder, _, _ = holdout_run
    p = snakemake(folder, "--dry-run", "--config", "folds=3")
    said = p.stdout + p.stderr
    jobs = {line.split()[-1].rstrip(":") for line in said.splitlines() if line.startswith(("rule ", "localrule "))}
    assert jobs == {"report", "all"}, said
    assert "folds is not used with holdout" in said


def test_holdout_run_outputs_are_all_held_out(holdout_run):
    folder, _, _ = holdout_run
    check_references_against_their_folds(folder, ["holdout"])
    rows = check_outputs(folder, ("minimum",))
    assert {r["population"] for r in rows} == {"A", "B"}
    assert {r["how_measured"] for r in rows} == {"held-out, 25% set aside before quality control"}
    chunks = table(os.path.join(folder, "results", "imputation", "chunks.tsv"))
    assert len(chunks) >= 2
    with open(os.path.join(folder, "results", "imputation", "chr5", "phasing.txt")) as f:
        assert f.read() == "given\n"
    report = read(os.path.join(folder, "results", "report.html")).decode()
    assert "The VCF's genotypes are phased: they were used as given, and no phasing ran." in report
    assert "every figure below is held-out" in report and "tags chosen with these people" not in report
    # judged_methods: only the Minimum's tags are judged, every method's are written.
    assert "The tags of Greedy and Minimax were not judged by imputation (judged_methods)." in report
    for method in ("greedy", "minimax"):
        check_tags_vcf(folder, method)
        assert '<a href="%s_tags.vcf.gz">' % method in report
    for chunk in chunks:
        assert b"beagle" not in read(os.path.join(folder, "logs", "imputation", chunk["chunk"], "phase.log"))
    # Each SNP is scored once, in the chunk whose core holds it.
    per_snp = table(os.path.join(folder, "results", "imputation_snps.tsv"))
    minimum = [(r["population"], r["snp"]) for r in per_snp if r["set"] == "minimum"]
    assert len(minimum) == len(set(minimum))
    # Beagle needs two markers: in the last chunk, the one tag of evaluate_tags
    # counts as typed and the other SNPs as not imputed.
    last = chunks[-1]["chunk"]
    assert (
        "fewer than 2 tags of given in chunk %s" % last
        in read(os.path.join(folder, "logs", "imputation", last, "holdout", "given.log")).decode()
    )
    core = (int(chunks[-1]["core_start"]), int(chunks[-1]["core_end"]))
    given = [r for r in per_snp if r["set"] == "given" and core[0] <= int(r["position"]) <= core[1]]
    assert {r["r2"] for r in given if r["tag"] == "1"} == {"1.0000"}
    assert {r["r2"] for r in given if r["tag"] == "0"} <= {"0.0000", "NA"} and len(given) > 10
    # The tags as VCF keep the VCF's own chromosome name and alleles.
    records = check_tags_vcf(folder, "minimum")
    assert all(r.split("\t")[0] == "5" and r.split("\t")[3:] == ["A", "G"] for r in records)


def test_the_bundled_genotypes_with_a_budget_and_held_out_imputation(tmp_path):
    """The test genotypes (from the bundled chromosome 10; their first 400
    SNPs, one region, as Beagle takes most of the run) with a budget of 100
    tags and a fifth held out: every output is there, the budget's sets are
    judged beside the methods', and the LD is said to come from the people
    the selection saw."""
    folder = make_workdir(
        str(tmp_path), snps=400, max_tags=100, imputation=True, holdout=0.2, beagle_threads=1, keep_intermediate=True
    )
    run = snakemake(folder)
    methods = ("greedy", "minimax", "minimum", "budget_greedy", "budget_maximum")
    rows = check_outputs(folder, methods)
    assert {r["how_measured"] for r in rows} == {"held-out, 20% set aside before quality control"}
    budget = [r for r in rows if r["set"] == "budget_greedy" and r["maf_class"] == "all"]
    assert [r["tags"] for r in budget] == ["100"]
    even = [r for r in rows if r["set"] == "even_100" and r["maf_class"] == "all"]
    assert len(even) == 1
    results = os.path.join(folder, "results")
    for name in ("coverage_curve.tsv", "coverage_curve.png", "budget.tsv", "budget_coverage.tsv"):
        assert os.path.getsize(os.path.join(results, name)) > 0, name
    people = table(os.path.join(results, "imputation", "people.tsv"))
    held = sum(r["fold"] == "holdout" for r in people)
    assert held == 200 and len(people) == 1000
    # Beagle phased the reference without the held-out people.
    held_ids = {r["id"] for r in people if r["fold"] == "holdout"}
    for chunk in table(os.path.join(results, "imputation", "chunks.tsv")):
        phased = samples_of(os.path.join(results, "imputation", "chunks", chunk["chunk"], "phased.vcf.gz"))
        assert len(phased) == 800 and not set(phased) & held_ids
    check_references_against_their_folds(folder, ["holdout"])
    assert "LD from 800 people." in run.stderr
    report = read(os.path.join(results, "report.html")).decode()
    assert "estimated in 800 people of the genotypes" in report
    assert "The 200 other people of the genotypes were held out" in report
    assert "Budget, greedy" in report and '<h2 id="curve">' in report
    assert "Beagle 5.4 phased the genotypes of all the people but the held-out ones once per chunk" in report


# Bad configs stop before any job.


def small_study(folder, people=40, populations=None):
    """A simulated fileset of `people` (or population -> count), with
    population files."""
    data = os.path.join(folder, "data")
    sim = simulate.chromosome(data, length_mb=0.05, people=populations or people, history="constant", seed=2)
    for name, members in sim.populations.items():
        with open(os.path.join(data, name + ".txt"), "w") as f:
            f.write("\n".join(members) + "\n")
    return sim


AMONG = (
    "judged_methods must be a list of distinct names among greedy, minimax, minimum, budget_greedy, budget_maximum, "
    "or null, not "
)
BAD = [
    (
        {"folds": 3},
        40,
        "folds 3: the 40 people give folds of 13 people; each fold needs at least 20: use at most 2 folds",
    ),
    ({"holdout": 0.3}, 40, "holdout 0.3 sets aside 12 of the 40 people of the study; at least 20 are needed"),
    ({"folds": 1}, 40, "folds must be an integer of at least 2, not 1"),
    ({"holdout": 0.6}, 40, "holdout must be a number above 0 and at most 0.5, or null, not 0.6"),
    ({"genetic_map": "data/map.txt"}, 40, "genetic_map data/map.txt has no positions on chromosome 1"),
    (
        {"genetic_map": "data/hapmap.txt"},
        40,
        "genetic_map data/hapmap.txt line 1: cM 'Rate(cM/Mb)' and bp 'Map(cM)' must be numbers (a PLINK map has no "
        "header line)",
    ),
    ({"evaluate_tags": "data/nothere.txt"}, 40, "evaluate_tags: data/nothere.txt does not exist"),
    (
        {"judged_methods": ["minimum", "budget_greedy"]},
        40,
        "judged_methods lists budget_greedy, which this run does not make: minimum needs clustering_command "
        "ldcluster, budget_greedy and budget_maximum need max_tags",
    ),
    (
        {"judged_methods": []},
        40,
        "judged_methods is empty and there is neither target imputation nor evaluate_tags: imputation would judge "
        "no set of tags",
    ),
    ({"judged_methods": ["best"]}, 40, AMONG + "'best'"),
    ({"judged_methods": ["greedy", "greedy"]}, 40, AMONG + "['greedy', 'greedy']"),
    ({"judged_methods": "minimum"}, 40, AMONG + "'minimum'"),
]


@pytest.mark.parametrize("settings,people,message", BAD, ids=[m[:30] for _, _, m in BAD])
def test_a_bad_imputation_config_stops_before_any_job(tmp_path, settings, people, message):
    folder = str(tmp_path)
    small_study(folder, people)
    with open(os.path.join(folder, "data", "map.txt"), "w") as f:
        f.write("chr1 . 0 1\n2 . 1 1000000\n")
    with open(os.path.join(folder, "data", "hapmap.txt"), "w") as f:
        f.write("Chromosome Position(bp) Rate(cM/Mb) Map(cM)\n1 . 0 1\n")
    write_config(folder, {"bfile": "data/sim", "imputation": True, **settings})
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert "The config cannot be used:" in p.stderr and message in p.stderr, p.stderr
    assert not os.path.exists(os.path.join(folder, "results"))


@pytest.mark.parametrize(
    "content, message",
    [
        (b"1 . 0 1\n1 . 0.5 1000\n\n2 . 0 5\n", None),
        (gzip.compress(b"1 . 0 1\n"), "genetic_map M is compressed; give it as plain text (gunzip it)"),
        (b"\xff\xfe1 . 0 1\n", "genetic_map M is not a text file"),
        (b"1 0 1\n", "genetic_map M line 1 has 3 columns; a PLINK map has 4: chromosome, name, cM, bp"),
        (b"1 . 0 1\n1 . x 2\n", "genetic_map M line 2: cM 'x' and bp '2' must be numbers"),
        (b"1 . 0 1000\n2 . 0 1\n1 . 0.1 999\n", "genetic_map M line 3: chromosome 1's positions fall; they"),
        (b"1 . 0.2 1000\n1 . 0.1 2000\n", "genetic_map M line 2: chromosome 1's positions fall; they must rise"),
    ],
    ids=["good", "gzip", "binary", "three columns", "not a number", "bp falls", "cM falls"],
)
def test_a_genetic_map_is_read_as_beagle_reads_it(tmp_path, content, message):
    path = str(tmp_path / "M")
    with open(path, "wb") as f:
        f.write(content)
    if message is None:
        assert imputation.map_chromosomes(path) == {"1", "2"}
    else:
        with pytest.raises(ValueError, match=re.escape(message.replace("M", path, 1))):
            imputation.map_chromosomes(path)


def test_a_population_too_small_to_hold_out_stops_before_any_job(tmp_path):
    folder = str(tmp_path)
    small_study(folder, populations={"A": 90, "B": 50})
    write_config(
        folder,
        {
            "bfile": "data/sim",
            "populations": {"A": "data/A.txt", "B": "data/B.txt"},
            "imputation": True,
            "holdout": 0.3,
        },
    )
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert "holdout 0.3 sets aside 15 of the 50 people of population B; at least 20 are needed" in p.stderr, p.stderr
    assert "population A" not in p.stderr
    assert not os.path.exists(os.path.join(folder, "results"))


def test_unknown_snps_in_evaluate_tags_are_counted_and_named(tmp_path):
    folder = make_workdir(str(tmp_path), imputation=True, evaluate_tags="data/array.txt")
    with open(os.path.join(folder, "data", "array.txt"), "w") as f:
        f.write("rs7909677\nrs_x1\nrs_x2\nrs_x3\nrs_x4\nrs_x5\nrs_x6\n")
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert (
        "evaluate_tags data/array.txt: 6 of its 7 SNPs are not in the genotypes: rs_x1, rs_x2, rs_x3, rs_x4, rs_x5, ..."
        in p.stderr
    )
    assert not os.path.exists(os.path.join(folder, "results"))


def test_without_beagle_on_path_imputation_stops_before_any_job(tmp_path):
    """The beagle command is looked for on PATH (here one that is nowhere)
    when jobs are about to run; a dry run needs none."""
    folder = str(tmp_path)
    small_study(folder)
    write_config(folder, {"bfile": "data/sim", "imputation": True, "folds": 2, "beagle": "beagle-nowhere"})
    p = snakemake(folder, check=False)
    assert p.returncode != 0
    assert (
        "imputation: true needs Beagle 5.4 and bcftools (Debian's beagle and bcftools): cannot find beagle-nowhere "
        "on PATH" in p.stderr
    ), p.stderr
    assert not os.path.exists(os.path.join(folder, "results"))
    assert snakemake(folder, "-n", check=False).returncode == 0
