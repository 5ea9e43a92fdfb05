"""The workflow's scripts on small hand-made inputs."""
import itertools
import os
import random
import re
import subprocess

import pytest
import yaml

import conftest  # noqa: F401  (puts the scripts on the path)
from ldtag import chain, coverage, cuts, files, genotypes, limits, merge, paths, plink, qc, report
from ldtag import lists, totals, vcf, vcf_sites
from ldtag import config as settings


def brute_force(n, max_snps, counts):
    """Every cutting, ranked as place_cuts() ranks them."""
    best = None
    for k in range(n):
        for chosen in itertools.combinations(range(1, n), k):
            bounds = (0,) + chosen + (n,)
            if any(b - a > max_snps for a, b in zip(bounds, bounds[1:])):
                continue
            key = (sum(counts[c] for c in chosen), len(chosen) + 1, [-c for c in reversed(chosen)])
            if best is None or key < best[0]:
                best = (key, list(bounds[:-1]))
    return best[1]


@pytest.mark.parametrize(
    "key,types,value,expected",
    [
        ("max_snps", "integer", 200.0, 200),  # YAML reads a float; the schema takes it for an integer
        ("max_tags", ["integer", "null"], 100.0, 100),
        ("max_tags", ["integer", "null"], 100.5, 100.5),  # left for the schema to refuse
        ("threshold", "number", 1.0, 1.0),
        ("max_snps", "integer", "200", 200),  # from --config key=value
        ("seed", "integer", "abc", "abc"),
    ],
)
def test_normalize_makes_whole_numbers_integers_for_integer_keys_only(key, types, value, expected):
    config = {key: value}
    settings.normalize(config, {"properties": {key: {"type": types}}})
    assert config[key] == expected and type(config[key]) is type(expected)


def test_a_clustering_command_with_blanks_around_it_is_the_same_command():
    """'ldcluster ' once ran as another program, without the Minimum."""
    config = {"bfile": "data/x", "clustering_command": " ldcluster "}
    settings.check_config(config, os.path.join(conftest.ROOT, "workflow", "schemas", "config.schema.yaml"))
    assert config["clustering_command"] == settings.BUILTIN


def test_the_set_up_cache_is_made_again_when_judged_methods_change():
    """Every key the imputation's check reads is in the cache's key."""
    config = {"bfile": None, "vcf": None, "judged_methods": ["greedy"]}
    assert settings._cache_key(config) != settings._cache_key(dict(config, judged_methods=None))


IMPUTATION_OFF = "%s is used only with imputation: true; it is ignored"
NOT_TARGET = "%s is used only with target: imputation; it is ignored"
TIME_LIMIT = "minimum_time_limit is used only with clustering_command ldcluster; it is ignored"
ELSEWHERE = (
    "clustering_command '%s' is run as another clustering program, which makes greedy and minimax tags only; "
    "for ldcluster's Minimum, budgets and populations give clustering_command: ldcluster, with the programs on "
    "PATH (and minimum_time_limit for its time limit)"
)
FOLDS_WITH_HOLDOUT = (
    "folds is not used with holdout, which imputes the held-out people from all the others; it is ignored"
)


@pytest.mark.parametrize(
    "given,warnings",
    [
        ({}, []),
        (
            {"folds": 3, "seed": 7, "beagle_threads": 2},
            [IMPUTATION_OFF % k for k in ("folds", "seed", "beagle_threads")],
        ),
        ({"holdout": None, "genetic_map": None}, []),  # null is as good as not given
        ({"holdout": 0.2, "judged_methods": []}, [IMPUTATION_OFF % k for k in ("holdout", "judged_methods")]),
        ({"imputation": True, "folds": 3, "seed": 7}, []),
        ({"imputation": True, "holdout": 0.2, "folds": 3}, [FOLDS_WITH_HOLDOUT]),
        ({"imputation": True, "holdout": 0.2}, []),  # folds' default is not the user's
        (
            {"imputation": True, "imputed_share": 0.9, "imputed_r2": 0.5},
            [NOT_TARGET % k for k in ("imputed_r2", "imputed_share")],
        ),
        ({"imputation": True, "holdout": 0.2, "target": "imputation", "imputed_share": 0.9}, []),
        ({"target": "pairwise", "imputed_r2": 0.5, "folds": 3}, [IMPUTATION_OFF % "folds", NOT_TARGET % "imputed_r2"]),
        ({"sample_column": "id"}, ["sample_column is used only with population_panel; it is ignored"]),
        ({"population_panel": "panel.txt", "sample_column": "id", "population_column": "pop"}, []),
        ({"clustering_command": "other", "minimum_time_limit": 5}, [TIME_LIMIT]),
        ({"clustering_command": None, "minimum_time_limit": 5}, [TIME_LIMIT]),
        ({"minimum_time_limit": 5, "clustering_threads": 2}, []),  # the config to start from sets both
        ({"clustering_command": "/opt/bin/ldcluster"}, [ELSEWHERE % "/opt/bin/ldcluster"]),
        ({"clustering_command": "ldcluster --time-limit 60"}, [ELSEWHERE % "ldcluster --time-limit 60"]),
        ({"clustering_command": "ldcluster2"}, []),
    ],
)
def test_keys_given_that_the_rest_of_the_config_leaves_unused_get_a_warning(given, warnings):
    """A run must never seem to follow a setting it ignores."""
    config = dict({"bfile": "data/x"}, **given)
    assert (
        settings.check_config(config, os.path.join(conftest.ROOT, "workflow", "schemas", "config.schema.yaml"))
        == warnings
    )


def test_a_program_stopped_by_a_signal_is_not_said_to_have_failed(tmp_path):
    """Ctrl-C once read "PLINK failed with exit status 1" and an empty log."""
    fake = tmp_path / "plink"
    fake.write_text("#!/bin/sh\nkill -INT $$\n")
    fake.chmod(0o755)
    with pytest.raises(plink.Failed) as e:
        plink.run(str(fake), str(tmp_path / "out"), ["bed"], [], str(tmp_path / "log"))
    assert str(e.value) == "ldtag: PLINK was stopped by signal 2 writing %s (an interrupt, or a kill)" % (
        tmp_path / "out"
    )
    assert not os.path.exists(str(tmp_path / "out.bed"))
    with pytest.raises(chain.Failed) as e:
        chain._run("r1", "ldprune", [str(fake)], str(tmp_path), str(tmp_path / "ldprune.log"))
    assert str(e.value) == "ldtag: region r1: ldprune was stopped by signal 2 (an interrupt, or a kill)"


def test_cuts_are_the_best_of_every_cutting():
    rng = random.Random(7)
    for _ in range(400):
        n = rng.randint(1, 11)
        max_snps = rng.randint(2, 5)
        pairs = [(i, j) for i in range(n) for j in range(i + 1, min(n, i + max_snps)) if rng.random() < 0.3]
        counts = cuts.crossing_counts(n, [i for i, _ in pairs], [j for _, j in pairs])
        assert cuts.place_cuts(n, max_snps, counts) == brute_force(n, max_snps, counts), (n, max_snps, pairs)


def test_crossing_counts_count_pairs_on_both_sides_of_a_cut():
    # Pairs (0, 2) and (1, 2): a cut before SNP 1 separates one, before SNP 2 both.
    assert cuts.crossing_counts(4, [0, 1], [2, 2]) == [0, 1, 2, 0, 0]


def write(path, text):
    with open(path, "w") as f:
        f.write(text)
    return str(path)


def test_regions_and_crossing_pairs_of_a_chromosome(tmp_path):
    bim = write(tmp_path / "c.bim", "".join("5\ts%d\t0\t%d\tA\tG\n" % (k, 100 * k) for k in range(6)))
    # s1-s2 tags at 0.8; s3-s4 reaches s4's own 0.6 only; s0-s5 is too weak.
    ld = write(
        tmp_path / "c.ld",
        " CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2\n"
        "5 0 s0 5 500 s5 0.65\n5 100 s1 5 200 s2 0.85\n5 300 s3 5 400 s4 0.7\n",
    )
    thresholds = write(tmp_path / "t.txt", "s4 0.6\n")
    regions, crossing = cuts.cut(cuts.read_snps(bim), [ld], thresholds, 0.8, 3, "5")
    assert regions == [
        ("5", "chr5_001", "s0", "0", "s2", "200", 3, 0),
        ("5", "chr5_002", "s3", "300", "s5", "500", 3, 0),
    ]
    assert crossing == []
    regions, crossing = cuts.cut(cuts.read_snps(bim), [ld], thresholds, 0.8, 2, "5")
    assert [r[1:3] + r[6:] for r in regions] == [
        ("chr5_001", "s0", 1, 0),
        ("chr5_002", "s1", 2, 0),
        ("chr5_003", "s3", 2, 0),
        ("chr5_004", "s5", 1, 0),
    ]
    regions, crossing = cuts.cut(cuts.read_snps(bim), [ld], None, 0.5, 2, "5")  # s0-s5 tags too, across every cut
    assert [r[7] for r in regions] == [1, 1, 1, 0]
    assert crossing == [
        ("chr5_001", "s0", "s5", "0.65"),
        ("chr5_002", "s0", "s5", "0.65"),
        ("chr5_003", "s0", "s5", "0.65"),
    ]

    # A second population's scan: s0-s5 tags there at 0.9 and counts once,
    # with its higher r²; s2-s3 tags there only.
    other = write(
        tmp_path / "d.ld",
        " CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2\n5 0 s0 5 500 s5 0.9\n5 200 s2 5 300 s3 0.95\n",
    )
    regions, crossing = cuts.cut(cuts.read_snps(bim), [ld, other], thresholds, 0.8, 3, "5")
    assert [r[1:3] + r[6:] for r in regions] == [("chr5_001", "s0", 3, 2), ("chr5_002", "s3", 3, 0)]
    assert crossing == [("chr5_001", "s0", "s5", "0.9"), ("chr5_001", "s2", "s3", "0.95")]
    # The scans' order does not matter; a line short of a column, or a SNP
    # the chromosome lacks, is no scan of it.
    shuffled = write(
        tmp_path / "e.ld", " CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2\n5 200 s3 5 300 s2 0.95\n5 0 s0 5 500 s5 0.9\n"
    )
    assert cuts.cut(cuts.read_snps(bim), [shuffled, ld], thresholds, 0.8, 3, "5") == (regions, crossing)
    short = write(tmp_path / "f.ld", " CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2\n5 0 s0 5 500 s5 0.9\n5 0 s0 5 500\n")
    with pytest.raises(files.FormatError, match="f.ld: not a table of PLINK's r²"):
        cuts.cut(cuts.read_snps(bim), [short], thresholds, 0.8, 3, "5")
    stranger = write(tmp_path / "g.ld", " CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2\n5 0 s0 5 500 s55 0.9\n")
    with pytest.raises(files.FormatError, match="g.ld: SNP s55 is not in the chromosome's .bim"):
        cuts.cut(cuts.read_snps(bim), [stranger], thresholds, 0.8, 3, "5")


def test_scans_read_in_blocks_give_the_pairs_of_a_whole_read(tmp_path, monkeypatch):
    # Names may hold '#'; blocks of a few bytes end inside lines and names.
    rng = random.Random(3)
    names = ["s%d" % k if k % 3 else "s#%d" % k for k in range(40)]
    bim = write(tmp_path / "c.bim", "".join("5\t%s\t0\t%d\tA\tG\n" % (n, 10 * k) for k, n in enumerate(names)))
    lines = [
        "5 %d %s 5 %d %s %.6g" % (10 * i, names[i], 10 * j, names[j], rng.uniform(0.5, 1))
        for i in range(40)
        for j in range(i + 1, min(40, i + 6))
    ]
    ld = write(tmp_path / "c.ld", " CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2\n" + "\n".join(lines) + "\n")
    whole = cuts.cut(cuts.read_snps(bim), [ld], None, 0.7, 6, "5")
    assert whole[1], "some pairs cross the cuts"
    for chunk in (7, 64, 1000):
        monkeypatch.setattr(cuts, "CHUNK", chunk)
        assert cuts.cut(cuts.read_snps(bim), [ld], None, 0.7, 6, "5") == whole, chunk


def test_a_regions_fileset_is_its_snps_lines_and_bytes(tmp_path):
    # Five people: two bytes a SNP. Names that are also a chromosome code,
    # a cM value or an allele elsewhere must be found as names only; SNPs
    # that share a position are told apart by name; the last line has no
    # end of line.
    names = ["1", "0", "A", "x", "x2", "7"]
    positions = [100, 200, 200, 300, 400, 400]
    bim = "\n".join("1\t%s\t0\t%d\tA\tG" % snp for snp in zip(names, positions))
    write(tmp_path / "c.bim", bim)
    write(tmp_path / "c.fam", "".join("f%d p%d 0 0 0 -9\n" % (k, k) for k in range(5)))
    rows = [bytes([k, 100 + k]) for k in range(len(names))]
    with open(tmp_path / "c.bed", "wb") as f:
        f.write(genotypes.BED_MAGIC + b"".join(rows))
    bfile, prefix = str(tmp_path / "c"), str(tmp_path / "r")
    for a, b in itertools.combinations_with_replacement(range(len(names)), 2):
        lines = genotypes.region_fileset(bfile, names[a], names[b], prefix)
        assert lines == bim.splitlines()[a : b + 1], (a, b)
        assert open(prefix + ".bim").read().splitlines() == lines
        assert open(prefix + ".bed", "rb").read() == genotypes.BED_MAGIC + b"".join(rows[a : b + 1]), (a, b)
        assert os.readlink(prefix + ".fam") == bfile + ".fam"
    for first, last in (("x", "1"), ("y", "7"), ("1", "G")):
        with pytest.raises(files.FormatError, match="c.bim: no SNP runs from %s to %s" % (first, last)):
            genotypes.region_fileset(bfile, first, last, prefix)
    with open(tmp_path / "c.bed", "ab") as f:
        f.truncate(3 + 2 * len(names) - 1)
    with pytest.raises(files.FormatError, match="c.bed is shorter than its .bim and .fam need"):
        genotypes.region_fileset(bfile, "x2", "7", prefix)
    write(tmp_path / "c.bed", "not a bed")
    with pytest.raises(files.FormatError, match="c.bed is not a PLINK 1 binary genotype file"):
        genotypes.region_fileset(bfile, "1", "7", prefix)


def test_a_region_whose_snps_cannot_be_copied_fails_with_a_message(tmp_path):
    write(tmp_path / "c.bim", "1\ts1\t0\t100\tA\tG\n")
    folder = tmp_path / "region"
    folder.mkdir()
    outputs = [str(folder / "run_log.txt")]
    with pytest.raises(chain.Failed, match="region r1: copying its SNPs out of .*c failed: .*c.fam"):
        chain.prepare("r1", outputs, str(folder), str(tmp_path / "c"), "s1", "s1", "plink1.9", 1, 64, "0.8", [], None)
    write(tmp_path / "c.fam", "f p 0 0 0 -9\n")
    with pytest.raises(
        chain.Failed, match="region r1: copying its SNPs out of .*c failed: .*c.bim: no SNP runs from s2 to s1"
    ):
        chain.prepare("r1", outputs, str(folder), str(tmp_path / "c"), "s2", "s1", "plink1.9", 1, 64, "0.8", [], None)
    assert not os.path.exists(outputs[0])


def test_excluded_names(tmp_path):
    a = write(tmp_path / "a.bim", "1 rs1 0 10 A G\n1 . 0 20 A G\n1 rs2 0 30 A G\n1 . 0 40 A G\n")
    b = write(tmp_path / "b.bim", "2 rs2 0 50 A G\n2 %s 0 60 A G\n2 rs3 0 70 A G\n" % ("y" * 30))
    assert qc.excluded([a, b]) == [
        ("1", "20", ".", "missing name"),
        ("1", "30", "rs2", "name given to 2 SNPs"),
        ("1", "40", ".", "missing name"),
        ("2", "50", "rs2", "name given to 2 SNPs"),
        ("2", "60", "y" * 30, "name longer than 29 characters"),
    ]


@pytest.mark.parametrize(
    "names, message",
    [
        ([], None),
        (["rs2"], "1 SNP is left out for its name %s: rs2"),
        ([".", "rs2"], "2 SNPs are left out for their names %s: ., rs2"),
        (["rs2", ".", "rs2"], "3 SNPs are left out for their names %s: rs2, ."),
    ],
)
def test_the_warning_on_names_counts_them(tmp_path, names, message):
    path = write(tmp_path / "excluded.tsv", "name\n" + "".join(n + "\n" for n in names))
    why = "(missing, given to several SNPs, or longer than 29 characters)"
    assert qc.name_warnings(path) == ([] if message is None else ["%s; see %s" % (message % why, path)])


def region_files(root, joined):
    folder = root / "results" / "regions" / "chr1_001"
    folder.mkdir(parents=True)
    write(root / "results" / "regions.tsv", "chromosome\tregion\n1\tchr1_001\n")
    write(folder / "maf.txt", "a 1 0.1\nb 2 0.2\nc 3 0.3\n")
    write(folder / "maf_processed.txt", "a 1 0.100000\nb 2 0.200000\n")
    write(
        folder / "run_log.txt",
        "total done SNP number is 0\nundesirable SNPs total number is 1\n" "Undesirable and untagged SNPs number: 1\n",
    )
    for method in ("greedy", "minimax"):
        write(folder / (method + "_output.txt"), "NAME\tORVANTE\tTag\tPosition\tMAF\n" + joined)
    write(
        folder / "tag_r2.tsv",
        "method\tsnp\ttag\tr2\n"
        + "".join("%s\tb\tb\t1.000000\n%s\ta\tb\t0.850000\n" % (m, m) for m in ("greedy", "minimax")),
    )
    write(
        folder / "coverage.tsv",
        "method\tmaf_class\tsnps\tcaptured\tmembers\tr2_sum\tr2_min\n"
        + "".join(
            "%s\tall\t3\t2\t1\t0.850000\t0.850000\n%s\t<0.05\t1\t1\t1\t0.850000\t0.850000\n"
            "%s\t0.05-0.2\t1\t1\t0\t0.000000\tNA\n%s\t>=0.2\t1\t0\t0\t0.000000\tNA\n" % ((m,) * 4)
            for m in ("greedy", "minimax")
        ),
    )
    write(root / "results" / "qc.txt", "")
    return root


def outputs(root):
    names = ("greedy", "minimax", "greedy_tags", "minimax_tags", "summary", "coverage", "warnings")
    return {n: str(root / (n + ".out")) for n in names}


def test_merge_places_dropped_snps_in_no_cluster(tmp_path, monkeypatch):
    root = region_files(tmp_path, "b\t0\t1\t2\t0.2\na\t0\t0\t1\t0.1\n")
    monkeypatch.chdir(root)
    out = outputs(root)
    merge.merge("results/regions.tsv", "results/qc.txt", out)
    with open(out["greedy"]) as f:
        assert f.read() == (
            "chromosome\tregion\tsnp\tcluster\ttag\tposition\tmaf\ttag_snp\tr2\n"
            "1\tchr1_001\tb\t0\t1\t2\t0.2\tb\t1.000000\n1\tchr1_001\ta\t0\t0\t1\t0.1\tb\t0.850000\n"
            "1\tchr1_001\tc\tNA\t0\t3\t0.3\tNA\tNA\n"
        )
    with open(out["summary"]) as f:
        assert f.read().splitlines()[1] == "1\tchr1_001\t3\t1\t1\t0\t0" + "\t1\t1\t2\t0.8500\t0.8500" * 2
    with open(out["coverage"]) as f:
        lines = f.read().splitlines()
    assert lines[0] == "region\tmethod\tmaf_class\tsnps\tcaptured\tcaptured_percent\tmean_r2\tmin_r2"
    assert lines[1:5] == [
        "genome\tgreedy\tall\t3\t2\t66.67\t0.8500\t0.8500",
        "genome\tgreedy\t<0.05\t1\t1\t100.00\t0.8500\t0.8500",
        "genome\tgreedy\t0.05-0.2\t1\t1\t100.00\tNA\tNA",
        "genome\tgreedy\t>=0.2\t1\t0\t0.00\tNA\tNA",
    ]
    assert lines[9] == "chr1_001\tgreedy\tall\t3\t2\t66.67\t0.8500\t0.8500"


def test_coverage_of_a_region_follows_the_tagging_rule(tmp_path):
    """Four SNPs; d was dropped. c's r² to its tag b prints as 0.800000 and
    reaches its threshold 0.8, as ldprune's rule takes it; a's prints as
    0.799999 and does not."""
    import array

    folder = tmp_path
    write(folder / "SNP_names.data", "SNP BP CHR1\na 1\nb 2\nc 3\nd 4\n")
    write(folder / "maf.txt", "a 1 0.01\nb 2 0.1\nc 3 0.3\nd 4 0.2\n")
    write(folder / "weight.txt", "a 0.8\nb 0.8\nc 0.8\nd 0.5\n")
    r2 = [
        [1, 0.7999994, 0, 0],
        [0.7999994, 1, 0.79999996, 0],
        [0, 0.79999996, 1, float("nan")],
        [0, 0, float("nan"), 1],
    ]
    with open(folder / "plink.ld.bin", "wb") as f:
        array.array("d", [x for row in r2 for x in row]).tofile(f)
    write(
        folder / "greedy_output.txt",
        "NAME\tORVANTE\tTag\tPosition\tMAF\nb\t0\t1\t2\t0.1\na\t0\t0\t1\t0.01\n" "c\t0\t0\t3\t0.3\n",
    )
    rows, tags = coverage.coverage(str(folder), ["greedy"])
    assert tags == [  # in SNP list order; d is in no cluster
        ("greedy", "a", "b", "0.799999"),
        ("greedy", "b", "b", "1.000000"),
        ("greedy", "c", "b", "0.800000"),
    ]
    assert rows == [
        ("greedy", "all", 4, 2, 2, "1.599999", "0.799999"),
        ("greedy", "<0.05", 1, 0, 1, "0.799999", "0.799999"),
        ("greedy", "0.05-0.2", 1, 1, 0, "0.000000", "NA"),
        ("greedy", ">=0.2", 2, 1, 1, "0.800000", "0.800000"),
    ]


@pytest.mark.parametrize(
    "joined,message",
    [
        ("b\t0\t1\t2\t0.2\n", "1 SNPs of maf_processed.txt are missing, such as a"),
        ("b\t0\t1\t2\t0.2\na\t0\t0\t1\t0.1\nb\t1\t0\t2\t0.2\n", "SNP b is on lines 2 and 4"),
        ("b\t0\t1\t2\t0.2\nz\t0\t0\t1\t0.1\n", "line 3: SNP z is not among the region's SNPs"),
    ],
)
def test_merge_stops_on_a_joined_table_that_misplaces_snps(tmp_path, monkeypatch, joined, message):
    root = region_files(tmp_path, joined)
    monkeypatch.chdir(root)
    with pytest.raises(merge.MergeError, match=message) as e:
        merge.merge("results/regions.tsv", "results/qc.txt", outputs(root))
    assert os.path.join("chr1_001", "greedy_output.txt") in str(e.value)


# Where the programs and the scripts must agree, one table each.

# Thresholds and r² values at the edge of tagging: r² a little below, at and
# above each threshold, as PLINK's doubles that ldprep prints with six
# decimals, and values whose single-precision rounding decides.
EDGE = [
    (t, r2)
    for t in (0.8, 0.5, 0.3, 0.9, 0.1, 1.0, 0.123456)
    for r2 in (t - 1e-6, t - 5e-7, t - 4e-7, t, t + 4e-7, t + 5e-7, t + 1e-6, min(1.0, t + 1e-3))
] + [(0.8, 0.7999994), (0.8, 0.79999996), (0.8, 0.7999995), (0.5, 0.4999995), (0.3, 0.2999996)]


def test_the_scripts_tagging_rule_is_ldprunes(tmp_path):
    """SNP 0 and, for each case, one SNP with the case's threshold whose r²
    to SNP 0 is the case's r²: ldprune's score of the pair says whether SNP 0
    tags it, and tagging.reaches_threshold must say the same."""
    from ldtag import tagging

    names = ["s0"] + ["s%d" % (k + 1) for k in range(len(EDGE))]
    write(tmp_path / "SNP_names.data", "SNP BP CHR1\n" + "".join("%s %d\n" % (n, k) for k, n in enumerate(names)))
    write(tmp_path / "maf.txt", "".join("%s %d 0.3\n" % (n, k) for k, n in enumerate(names)))
    write(tmp_path / "weight.txt", "s0 0.8\n" + "".join("s%d %s\n" % (k + 1, t) for k, (t, _) in enumerate(EDGE)))
    pairs = {("s0", "s%d" % (k + 1)): "%f" % r2 for k, (_, r2) in enumerate(EDGE)}
    write(
        tmp_path / "ld.txt",
        "".join(
            "%s %s %s\n" % (a, b, pairs.get((a, b), "0.000000")) for i, a in enumerate(names) for b in names[i + 1 :]
        ),
    )
    write(tmp_path / "done.txt", "")
    write(tmp_path / "undesirable.txt", "")
    subprocess.run(["ldprune"], cwd=tmp_path, env=conftest.environment(), check=True, capture_output=True)
    with open(tmp_path / "ld_processed.txt") as f:
        score = {(a, b): float(s) for a, b, s in (line.split() for line in f)}
    decided = [score["s0", "s%d" % (k + 1)] >= 1.0 for k in range(len(EDGE))]
    assert any(decided) and not all(decided)
    for (t, r2), tags in zip(EDGE, decided):
        assert tagging.reaches_threshold(r2, t) == tags, (t, r2, "%f" % r2)


def test_rule_files_keep_the_line_length_of_the_python():
    """No formatter for Snakemake's files is packaged for Debian: their lines
    are held to black's length for the project's Python (pyproject.toml)."""
    workflow = os.path.join(conftest.ROOT, "workflow")
    files = [os.path.join(workflow, "Snakefile")]
    files += [os.path.join(workflow, "rules", f) for f in sorted(os.listdir(os.path.join(workflow, "rules")))]
    long = []
    for path in files:
        with open(path) as f:
            long += ["%s:%d" % (path, n) for n, line in enumerate(f, 1) if len(line.rstrip("\n")) > 120]
    assert not long, long


def test_the_workflows_limits_are_the_programs_own():
    """One limit, three readers: the programs' header, the workflow's module
    and the config schema's bound on max_snps."""
    with open(os.path.join(conftest.ROOT, "common", "limits.h")) as f:
        header = f.read()
    assert "kMaxSnps = %d;" % limits.MAX_SNPS in header
    assert "kMaxSnpName = %d;" % limits.MAX_NAME in header
    with open(os.path.join(conftest.ROOT, "workflow", "schemas", "config.schema.yaml")) as f:
        max_snps = yaml.safe_load(f)["properties"]["max_snps"]
    assert (max_snps["maximum"], max_snps["default"]) == (limits.MAX_SNPS, limits.MAX_SNPS)


def rule_bodies():
    """Each rule's and checkpoint's file in workflow/rules/ and its body."""
    header = r"^\s*(?:rule|checkpoint) (\w+):"
    rules = {}
    for name in sorted(os.listdir(os.path.join(conftest.ROOT, "workflow", "rules"))):
        with open(os.path.join(conftest.ROOT, "workflow", "rules", name)) as f:
            text = f.read()
        for match in re.finditer(header + r"(.*?)(?=" + header + r"|^\S|\Z)", text, re.S | re.M):
            rules[match.group(1)] = (name, match.group(2))
    assert len(rules) > 20 and {"imputation_chunks", "target_rung"} <= set(rules)
    return rules


def test_every_rule_that_runs_something_writes_its_own_log_under_logs():
    """A rule (or checkpoint) with a shell command, a script or run code
    declares a log, and the log is one of the paths module's log paths (all
    under logs/)."""
    for rule, (_, body) in rule_bodies().items():
        if any(key in body for key in ("shell:", "script:", "run:")):
            log = re.search(r"\blog:\s*\n(.*?)\n\s*\w+:", body, re.S)
            assert log, rule
            # paths.log(), a paths.*LOGS folder, or a helper of common.smk built on them
            assert re.search(r"paths\.log\(|LOGS\}|_logs?\(", log.group(1)), (rule, log.group(1))


def test_every_rule_that_runs_something_declares_its_threads_and_memory():
    """A scheduler is told what each job takes: a rule (or checkpoint) with
    a shell command or run code declares its threads and its memory
    (mem_mb); the default run's jobs (all but the imputation's) ask for at
    most 1 GB."""
    running = {rule: (name, body) for rule, (name, body) in rule_bodies().items() if "shell:" in body or "run:" in body}
    assert len(running) > 20
    for rule, (name, body) in running.items():
        assert re.search(r"\n\s*threads:", body), rule
        memory = re.search(r"\n\s*resources:\s*\n\s*mem_mb=([^,\n]+),", body)
        assert memory, rule
        value = memory.group(1).strip()
        if not name.startswith(("imputation", "target")):
            assert value.isdigit() and int(value) <= 1024 or "clustering_mem_mb" in value, (rule, value)


@pytest.mark.parametrize(
    "tags,needed,max_tags,points",
    [
        (20, 3, 7, [2, 3, 5, 7, 10, 15, 18, 20]),  # a tenth is 2, a quarter 5, ... nine tenths 18
        (20, 0, None, [2, 5, 10, 15, 18, 20]),
        (20, 0, 50, [2, 5, 10, 15, 18, 20]),  # a budget over the full cover is the full cover
        (3, 3, None, [1, 2, 3]),
        (1, 0, None, [1]),
        (0, 0, 5, []),
    ],
)
def test_the_reports_curve_points_are_the_rows_at_its_marks(tmp_path, tags, needed, max_tags, points):
    path = str(tmp_path / "curve.tsv")
    rows = [(k, "1" if k <= needed else "0", "%.4f" % (k / max(tags, 1))) for k in range(1, tags + 1)]
    files.write_table(path, ("tags", "needed", "share"), rows)
    header, found = report.curve_points(path, max_tags)
    assert header == ["tags", "needed", "share"]
    assert [int(r["tags"]) for r in found] == points
    assert all(r["share"] == "%.4f" % (int(r["tags"]) / tags) for r in found)


@pytest.mark.parametrize(
    "marks, labels",
    [
        # Apart: a label each; at one count: one label naming both.
        ([("needed SNPs", 37), ("Greedy", 4731)], [(37, "needed SNPs 37"), (4731, "Greedy 4,731")]),
        ([("Greedy", 4731), ("Minimax", 4731)], [(4731, "Greedy, Minimax 4,731")]),
        # Within 2% of the span (100 of 5000): one label at the first.
        (
            [("needed SNPs", 37), ("Minimum", 4727), ("Minimax", 4730), ("Greedy", 4731), ("budget", 4000)],
            [(37, "needed SNPs 37"), (4000, "budget 4,000"), (4727, "Minimum 4,727; Minimax 4,730; Greedy 4,731")],
        ),
        (
            [("Minimum", 4700), ("budget", 4799), ("Greedy", 4898)],
            [(4700, "Minimum 4,700; budget 4,799; Greedy 4,898")],
        ),
        ([("Minimum", 4700), ("Greedy", 4800)], [(4700, "Minimum 4,700"), (4800, "Greedy 4,800")]),
    ],
)
def test_marks_of_the_curve_close_together_share_a_label(marks, labels):
    import curve_plot

    assert curve_plot.mark_labels(marks, 5000) == labels


@pytest.mark.parametrize(
    "regions, first",
    [
        ([("chr1_001", "1")], "Results of 1 region on 1 chromosome: 3 SNPs passed quality control; LD from 50 people."),
        (
            [("chr1_001", "1"), ("chr2_001", "2")],
            "Results of 2 regions on 2 chromosomes: 6 SNPs passed quality control; LD from 50 people.",
        ),
    ],
)
def test_the_totals_count_regions_and_chromosomes(tmp_path, monkeypatch, regions, first):
    monkeypatch.chdir(tmp_path)
    os.mkdir("results")
    with open("results/summary.tsv", "w") as f:
        f.write("region\tchromosome\tsnps\tgreedy_tags\n")
        f.writelines("%s\t%s\t3\t1\n" % row for row in regions)
    with open("results/coverage.tsv", "w") as f:
        f.write("region\tmethod\tmaf_class\tsnps\tcaptured\tcaptured_percent\tmean_r2\n")
        f.write("genome\tgreedy\tall\t%d\t%d\t100.00\t1.000\n" % (3 * len(regions), 3 * len(regions)))
    with open("results/populations.tsv", "w") as f:
        f.write("population\tpeople\tkeep\nall\t50\t1\n")
    open("results/warnings.txt", "w").close()
    assert totals.text(["greedy"]).split("\n")[0] == first


STATUS = os.path.join(conftest.ROOT, "config", "slurm", "status.sh")
SCONTROL_LINE = "JobId=812 JobName=ldtag-GROUP-region=chr10_003 UserId=u(1) JobState=%s Reason=%s Dependency=(null)"


@pytest.mark.parametrize(
    "sacct, scontrol, printed, message",
    [
        ("COMPLETED|ldtag-GROUP-region=chr10_003", None, "success", ""),
        ("RUNNING|ldtag-GROUP-region=chr10_003", None, "running", ""),
        ("PENDING|ldtag-qc-chrom=10", None, "running", ""),
        (
            "TIMEOUT|ldtag-GROUP-region=chr10_003",
            None,
            "failed",
            "ldtag: SLURM job 812 (ldtag-GROUP-region=chr10_003) ended TIMEOUT\n",
        ),
        (
            "CANCELLED by 1000|ldtag-qc-chrom=10",
            None,
            "failed",
            "ldtag: SLURM job 812 (ldtag-qc-chrom=10) ended CANCELLED\n",
        ),
        # No accounts: sacct answers nothing, and scontrol is asked.
        ("", (0, SCONTROL_LINE % ("COMPLETED", "None")), "success", ""),
        (
            "",
            (0, SCONTROL_LINE % ("OUT_OF_MEMORY", "OutOfMemory")),
            "failed",
            "ldtag: SLURM job 812 (ldtag-GROUP-region=chr10_003) ended OUT_OF_MEMORY (OutOfMemory)\n",
        ),
        (
            None,
            (0, SCONTROL_LINE % ("TIMEOUT", "TimeLimit")),
            "failed",
            "ldtag: SLURM job 812 (ldtag-GROUP-region=chr10_003) ended TIMEOUT (TimeLimit)\n",
        ),
        (
            None,
            (1, "slurm_load_jobs error: Invalid job id specified"),
            "failed",
            "ldtag: SLURM job 812 ended UNKNOWN (SLURM does not know the job)\n",
        ),
        (None, (1, "slurm_load_jobs error: Unable to contact slurm controller"), "running", ""),
    ],
)
def test_the_cluster_status_names_the_job_that_failed(tmp_path, sacct, scontrol, printed, message):
    """config/slurm/status.sh with stand-ins for SLURM's sacct (None: not
    installed) and scontrol, which answer only about job 812, as sbatch
    --parsable gave it with its cluster."""
    tools = tmp_path / "bin"
    tools.mkdir()
    for tool in ("head", "sed"):
        os.symlink("/usr/bin/" + tool, tools / tool)
    stand_ins = {"sacct": sacct is not None and (0, sacct), "scontrol": scontrol or (1, "not asked")}
    for tool, answer in stand_ins.items():
        if answer:
            status, text = answer
            script = '#!/bin/bash\n[[ " $* " == *" 812 "* ]] || exit 2\nprintf "%%s\\n" %s\nexit %d\n'
            (tools / tool).write_text(script % (repr(text) if text else "", status))
            (tools / tool).chmod(0o755)
    p = subprocess.run(["/bin/bash", STATUS, "812;cluster"], capture_output=True, text=True, env={"PATH": str(tools)})
    assert (p.returncode, p.stdout, p.stderr) == (0, printed + "\n", message)


def write_fileset(prefix, codes):
    """A fileset of one person and a SNP per chromosome code."""
    with open(prefix + ".bim", "w") as f:
        f.writelines("%s\trs%d\t0\t%d\tA\tG\n" % (code, k, 100 + k) for k, code in enumerate(codes))
    with open(prefix + ".fam", "w") as f:
        f.write("f1 p1 0 0 0 -9\n")
    with open(prefix + ".bed", "wb") as f:
        f.write(genotypes.BED_MAGIC + bytes(len(codes)))


@pytest.mark.parametrize(
    "codes, problem",
    [
        (["1", "1", "2", "X", "MT"], None),
        (["chr1", "chr1", "chr2"], None),
        (["1", "chr1"], "chromosome 1 is in PREFIX.bim as '1' and in PREFIX.bim as 'chr1'"),
        (["1", "01"], "chromosome 1 is in PREFIX.bim as '1' and in PREFIX.bim as '01'"),
        (["X", "23"], "chromosome X is in PREFIX.bim as 'X' and in PREFIX.bim as '23'"),
        (["X", "x"], "chromosome X is in PREFIX.bim as 'X' and in PREFIX.bim as 'x'"),
        (["MT", "chrM"], "chromosome MT is in PREFIX.bim as 'MT' and in PREFIX.bim as 'chrM'"),
        (["26", "MT"], "chromosome MT is in PREFIX.bim as '26' and in PREFIX.bim as 'MT'"),
    ],
)
def test_a_chromosome_spelled_two_ways_in_a_bim_is_refused(tmp_path, codes, problem):
    """PLINK reads each spelling as the same chromosome, so the workflow
    would take its SNPs twice."""
    prefix = str(tmp_path / "g")
    write_fileset(prefix, codes)
    problems = genotypes.scan([prefix])[3]
    expected = [] if problem is None else [problem.replace("PREFIX", prefix) + ": give each chromosome once"]
    assert problems == expected


@pytest.mark.parametrize(
    "codes, labels, problem",
    [
        (["chr10", "chrX", "chrM"], ["10", "X", "MT"], None),
        (["10", "23", "26"], ["10", "X", "MT"], None),
        (["10", "X", "23"], ["10", "X"], "chromosome X is in it as 'X' and as '23'"),
        (["chrM", "MT"], ["MT"], "chromosome MT is in it as 'chrM' and as 'MT'"),
    ],
)
def test_a_vcfs_chromosomes_are_named_as_plink_writes_them(tmp_path, codes, labels, problem):
    """A VCF's 23 to 26 become X, Y, XY and MT in the converted fileset, so
    the workflow names them so; two spellings of one are refused."""
    path = str(tmp_path / "g.vcf")
    with open(path, "w") as f:
        f.write("##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ts1\n")
        f.writelines("%s\t%d\trs%d\tA\tG\t.\t.\t.\tGT\t0|1\n" % (code, 100 + k, k) for k, code in enumerate(codes))
    chromosomes, _, problems = vcf.scan_all({"g": path}, lambda name: name)
    assert list(chromosomes) == labels
    assert problems == ([] if problem is None else ["vcf %s: %s: give each chromosome once" % (path, problem)])


FAMILY = "f a 0 0 1 -9\nf b 0 0 2 -9\nf c a b 1 -9\nf d a b 2 -9\nf e a x 1 -9\ng h a b 1 -9\n"
LEFT = "PLINK measures LD and allele frequencies in the other %d alone"


@pytest.mark.parametrize(
    "groups, problems, warnings",
    [
        # e's mother and h's parents (in family g) are not genotyped
        (
            {"all": "abcdeh"},
            [],
            ["the genotypes: 2 of the 6 people have both parents among them (f c, f d); " + LEFT % 4],
        ),
        ({"P": "ab", "K": "cdh"}, [], []),  # children kept apart from their parents are founders there
        (
            {"P": "abc", "K": "deh"},
            [],
            ["population P: 1 of the 3 people has both parents among them (f c); " + LEFT % 2],
        ),
        ({"P": "abcd"}, [], ["population P: 2 of the 4 people have both parents among them (f c, f d); " + LEFT % 2]),
        ({"all": "bcd"}, [], []),  # c's and d's father is not kept
        ({"P": "abe", "Q": "c"}, ["population Q: 1 person to measure LD in and it needs at least 2"], []),
        ({"all": "h"}, ["the genotypes: 1 person to measure LD in and it needs at least 2"], []),
    ],
)
def test_people_with_both_parents_among_those_kept_are_counted_out(tmp_path, groups, problems, warnings):
    """PLINK measures LD in founders alone, and the workflow makes founders
    of all whose parents are not among the people a step keeps."""
    path = tmp_path / "g.fam"
    path.write_text(FAMILY)
    parents = genotypes.parents(str(path))
    person = {fields.split()[1]: tuple(fields.split()[:2]) for fields in FAMILY.splitlines()}
    people = {name: [person[p] for p in group] for name, group in groups.items()}
    said = []
    assert settings._founders(people, parents, said) == problems
    assert said == warnings


@pytest.mark.parametrize(
    "log, warnings",
    [
        ("Calculating allele frequencies... done.\nTotal genotyping rate is 0.98.\n", []),
        (
            "Warning: 1197 variant records had no GT field.\nTotal genotyping rate is 0.98.\n",
            ["Warning: 1197 variant records had no GT field."],
        ),
        (
            "done.\nWarning: 419338 het. haploid genotypes present (see plink.hh ); many commands\n"
            "treat these as missing.\nTotal genotyping rate is 0.989992.\n",
            ["Warning: 419338 het. haploid genotypes present (see plink.hh ); many commands treat these as missing."],
        ),
        (
            "Warning: Ignoring phenotypes of missing-sex samples.  If you don't want those\n"
            "phenotypes to be ignored, use the --allow-no-sex flag.\n"
            "Warning: 2 variants with 3+ alleles present.\n"
            "1428 variants loaded from .bim file.\nmore lower-case text that is not a warning\n",
            [
                "Warning: Ignoring phenotypes of missing-sex samples.  If you don't want those phenotypes to be "
                "ignored, use the --allow-no-sex flag.",
                "Warning: 2 variants with 3+ alleles present.",
            ],
        ),
    ],
)
def test_plinks_warnings_wrapped_over_lines_are_given_whole(log, warnings):
    assert merge.plink_warnings(log.splitlines(keepends=True)) == warnings


@pytest.mark.parametrize(
    "cm, read", [("0", True), ("-1.5", True), (".5e2", True), ("nan", True), ("NA", False), ("x", False)]
)
def test_a_genetic_position_plink_cannot_read_is_refused(tmp_path, cm, read):
    """PLINK reads a .bim's third field as far as it is a number, and stops
    at one that does not start as one."""
    path = write(tmp_path / "g.bim", "1\trs1\t%s\t100\tA\tG\n" % cm)
    if read:
        assert list(genotypes.bim(path)) == [(1, "1", "rs1", "100")]
    else:
        with pytest.raises(files.FormatError, match="line 1: genetic position '%s' of SNP rs1 is not a number" % cm):
            list(genotypes.bim(path))


@pytest.mark.parametrize(
    "records, problem",
    [
        ([("10", "A", "G", "GT"), ("11", "A", "G", "GT:DS")], None),
        ([("10", "A", "G", "GT"), ("11", "A", "GT", "GT"), ("11", "A", "C,G", "GT")], "11 holds no a SNP"),
        ([("10", "A", "G", "GT"), ("chr11", "A", "G", "DS"), ("chr11", "A", "C", "DS:GP")], "chr11 holds no geno"),
        ([("10", "A", "G", "GT"), ("11", "A", "G", "DS"), ("11", "A", "C", "GT")], None),  # one SNP with GT
        ([("10", "AT", "G", "GT")], "no record that is a SNP"),
    ],
)
def test_a_vcf_chromosome_that_quality_control_would_empty_is_refused_at_once(tmp_path, records, problem):
    """A chromosome of indels or multiallelic records alone, or whose SNPs
    carry dosages but no genotypes, would fail only in quality control."""
    path = str(tmp_path / "g.vcf")
    with open(path, "w") as f:
        f.write("##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ts1\ts2\n")
        for k, (chrom, ref, alt, form) in enumerate(records):
            f.write("%s\t%d\trs%d\t%s\t%s\t.\t.\t.\t%s\t%s\t%s\n" % (chrom, 100 + k, k, ref, alt, form, "0|1", "1|1"))
    problems = vcf.scan_all({"g": path}, lambda name: name)[2]
    if problem is None:
        assert problems == []
    elif problem == "no record that is a SNP":
        assert problems == ["vcf %s holds no record that is a SNP with two alleles" % path]
    else:
        chrom, why = problem.split(" holds no ")
        text = {"a SNP": "SNP with two alleles", "geno": "genotypes (GT in FORMAT) for its SNPs"}[why]
        assert problems == [
            "vcf %s: chromosome %s holds no %s, and the workflow needs at least one SNP on each chromosome: leave "
            "it out (bcftools view -t ^%s -Oz -o new.vcf.gz %s)" % (path, chrom, text, chrom, path)
        ]


@pytest.mark.parametrize(
    "imports, warning",
    [
        (
            None,
            "bfile's filesets hold different people (data/a: 2, data/b: 1): each chromosome's LD is measured "
            "in its own fileset's people, and the run's people counts are the first fileset's",
        ),
        (
            {"a": "in/a.vcf.gz", "b": "in/b.vcf"},
            "vcf's files hold different people (in/a.vcf.gz: 2, in/b.vcf: 1): "
            "each chromosome's LD is measured in its own file's people, and the run's people counts are the first file's",
        ),
    ],
)
def test_genotype_files_of_different_people_are_named_in_a_warning(imports, warning):
    people = [[("s1", "s1"), ("s2", "s2")], [("s1", "s1")]]
    filesets = ["data/a", "data/b"] if imports is None else [paths.VCF_FILESET.format(vcf=n) for n in imports]
    assert settings._different_people(dict(zip(filesets, people)), imports) == warning


@pytest.mark.parametrize(
    "record, snp",
    [
        ("chr10 626509 rs1 A C", "rs1"),
        ("chr10 626509 . A C", "chr10:626509:A:C"),  # not rs1, which shares the site and alleles
        ("chr10 626509 . C G", None),
        ("chr10 626509 rs9 A C", None),
        ("chrX 500 rsX G T", "rsX"),  # a .bim's 23 is X
        ("chrX 500 . G T", None),  # never the SNP of another record at its site, rsX
        ("chr10 700 . A G", "chr10:700:A:G"),
        ("chr10 700 . A T", "chr10:700:A:G"),  # a SNP that does not vary has allele 0 (and a name of its own)
    ],
)
def test_a_vcf_record_is_the_snp_of_its_site_alleles_and_name(tmp_path, record, snp):
    bim = write(
        tmp_path / "qc.bim",
        "10\trs1\t0\t626509\tC\tA\n10\tchr10:626509:A:C\t0\t626509\tC\tA\n23\trsX\t0\t500\tT\tG\n"
        "10\tchr10:700:A:G\t0\t700\t0\tA\n",
    )
    assert vcf_sites.match(vcf_sites.bim_sites(bim), record.split()) == snp


@pytest.mark.parametrize(
    "given, kept",
    [
        ({"bfile": "null", "vcf": "in.vcf.gz"}, "vcf"),  # --config bfile=null over a config file's bfile
        ({"bfile": None, "vcf": ["a.vcf", "b.vcf"]}, "vcf"),
        ({"vcf": "NULL", "bfile": "data/g"}, "bfile"),
        ({"bfile": "null"}, "no genotypes: give bfile (PLINK filesets) or vcf (VCF files)"),
        ({"bfile": "data/g", "vcf": "in.vcf"}, "bfile and vcf are both given"),
    ],
)
def test_the_genotypes_may_be_switched_with_null(given, kept):
    config = dict(given)
    schema = os.path.join(conftest.ROOT, "workflow", "schemas", "config.schema.yaml")
    if kept in ("bfile", "vcf"):
        settings.check_config(config, schema)
        assert [k for k in ("bfile", "vcf") if config[k] is not None] == [kept]
    else:
        with pytest.raises(settings.ConfigError, match=re.escape(kept)):
            settings.check_config(config, schema)


@pytest.mark.parametrize(
    "text, message",
    [
        ("rs1 0.5\nrs2 0.6\n", None),
        ("rs1 0.5 rs2 0.6\n", None),  # as the programs read it: pairs of words
        ("rs1 1.5\nrs2 0.6\n", 'record 1: threshold "1.5" of SNP rs1 is not a number above 0 and at most 1'),
        ("rs1 0.5 rs2 0.6\nrs3 1.5\n", 'record 3: threshold "1.5" of SNP rs3 is not a number above 0 and at most 1'),
        (
            "rs1 0.5\nrs2 0.6 note\nrs3 0.7\n",
            'record 3: threshold "rs3" of SNP note is not a number above 0 and at most 1 (the records are read in '
            "pairs of words, and line 2 holds 3)",
        ),
    ],
)
def test_a_thresholds_file_out_of_step_names_the_line(tmp_path, text, message):
    path = write(tmp_path / "t.txt", text)
    if message is None:
        assert len(lists.thresholds(path)) == 2
    else:
        with pytest.raises(files.FormatError) as e:
            lists.thresholds(path)
        assert str(e.value) == "%s: %s" % (path, message)


@pytest.mark.parametrize(
    "fam, related",
    [
        ("f a 0 0 1 -9\nf b 0 0 2 -9\n", None),
        ("f a dad mum 1 -9\nf b 0 0 2 -9\n", None),  # parents not genotyped
        ("f a 0 0 1 -9\nf b 0 0 2 -9\nf c a x 1 -9\n", "1 person has a parent among the genotypes (f c)"),
        (
            "f a 0 0 1 -9\nf b 0 0 2 -9\nf c a b 1 -9\ng d a b 1 -9\nf e 0 b 2 -9\n",
            "2 people have a parent among " "the genotypes (f c, f e)",
        ),
    ],
)
def test_imputation_from_relatives_gets_a_warning(tmp_path, fam, related):
    path = write(tmp_path / "g.fam", fam)
    warnings = settings._relatives(genotypes.parents(path))
    if related is None:
        assert warnings == []
    else:
        assert len(warnings) == 1 and warnings[0].startswith("imputation: " + related + ": a held-out person")


def test_the_totals_of_populations_give_the_one_set_of_tags_for_all(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    os.mkdir("results")
    with open("results/summary.tsv", "w") as f:
        f.write("region\tchromosome\tpopulation\tsnps\tgreedy_tags\tgreedy_joint_tags\n")
        f.write("chr1_001\t1\tA\t3\t1\t2\nchr1_001\t1\tB\t2\t2\t2\n")
    with open("results/coverage.tsv", "w") as f:
        f.write("region\tmethod\tpopulation\tmaf_class\tsnps\tcaptured\tcaptured_percent\tmean_r2\n")
        f.write("genome\tgreedy\tA\tall\t3\t3\t100.00\t1.000\ngenome\tgreedy\tB\tall\t2\t2\t100.00\t0.900\n")
    with open("results/populations.tsv", "w") as f:
        f.write("population\tpeople\tkeep\nA\t30\ta.txt\nB\t20\tb.txt\n")
    open("results/warnings.txt", "w").close()
    assert totals.text(["greedy"]).split("\n")[2:5] == [
        "  method  population  tags for all  SNPs captured     mean r² to the tag",
        "  Greedy  A           2             3 of 3 (100.00%)  1.000",
        "  Greedy  B           2             2 of 2 (100.00%)  0.900",
    ]
