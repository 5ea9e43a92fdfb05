"""Genome-wide tables from the regions' joined tables.

Reads one region at a time, so memory does not grow with the number of
regions. For each method it writes every SNP that passed quality control
once: chromosome, region, SNP, a cluster id unique genome-wide, tag mark,
position and MAF. The undesirable SNPs that ldprune left out, because no
desirable SNP tags them, are in no cluster: their cluster id is NA and their
tag mark 0. A joined table that does not hold each of the region's kept SNPs
exactly once stops the merge with a message naming the region and the SNP.

The coverage of each region (coverage.py) is summed into the summary and
into a coverage table: per method and MAF class, the SNPs, those captured
by their cluster's tag at their own threshold, and the mean and lowest r² of
the SNPs that are not tags to their tag, genome-wide first, then per region.
"""
import os
import re

import tsvtable
from coverage import MAF_CLASSES

TABLE_COLUMNS = ("chromosome", "region", "snp", "cluster", "tag", "position", "maf")
BASE_COLUMNS = ("chromosome", "region", "snps", "undesirable", "undesirable_dropped", "done", "needed")
METHOD_COLUMNS = ("clusters", "tags", "captured", "mean_r2", "min_r2")
COVERAGE_COLUMNS = ("region", "method", "maf_class", "snps", "captured", "captured_percent", "mean_r2", "min_r2")
# Program logs in a region's folder, in the order the programs run.
LOGS = ("plink.log", "ldprep.log", "ldprune.log", "ldcluster.log", "memberjoin1.log", "memberjoin2.log",
        "memberjoin1_minimum.log")
RUN_LOG_COUNTS = {
    "done": re.compile(r"^total done SNP number is (-?\d+)$"),
    "undesirable": re.compile(r"^undesirable SNPs total number is (-?\d+)$"),
    "undesirable_dropped": re.compile(r"^Undesirable and untagged SNPs number: (-?\d+)$"),
}
NEEDED = re.compile(r"^the \d+th needed SNP \(counting from 0\) is: ")


class MergeError(Exception):
    pass


def read_snps(folder):
    """(name, position, MAF) of every SNP of the region, from maf.txt."""
    with open(os.path.join(folder, "maf.txt")) as f:
        return [tuple(line.split()) for line in f if line.strip()]


def read_kept(folder):
    with open(os.path.join(folder, "maf_processed.txt")) as f:
        return [line.split()[0] for line in f if line.strip()]


def run_log_counts(folder):
    counts = dict.fromkeys(RUN_LOG_COUNTS, 0)
    counts["needed"] = 0
    with open(os.path.join(folder, "run_log.txt")) as f:
        for line in f:
            line = line.rstrip("\n")
            for key, pattern in RUN_LOG_COUNTS.items():
                m = pattern.match(line)
                if m:
                    counts[key] = int(m.group(1))
            counts["needed"] += bool(NEEDED.match(line))
    return counts


def joined_rows(folder, method, kept):
    """(name, cluster, tag) of a joined table, checked against the kept SNPs."""
    path = os.path.join(folder, method + "_output.txt")
    rows, seen = [], {}
    with open(path) as f:
        next(f, None)
        for number, line in enumerate(f, 2):
            fields = line.rstrip("\n").split("\t")
            if len(fields) != 5 or not re.fullmatch(r"-?\d+", fields[1]):
                raise MergeError("%s: line %d is not a joined record: %r" % (path, number, line.rstrip("\n")))
            name = fields[0]
            if name not in kept:
                raise MergeError("%s: line %d: SNP %s is not among the region's SNPs in maf_processed.txt"
                                 % (path, number, name))
            if name in seen:
                raise MergeError("%s: SNP %s is on lines %d and %d: the clustering result puts it in more than "
                                 "one place" % (path, name, seen[name], number))
            seen[name] = number
            rows.append((name, int(fields[1]), fields[2]))
    missing = [n for n in kept if n not in seen]
    if missing:
        raise MergeError("%s: %d SNPs of maf_processed.txt are missing, such as %s: the clustering result does "
                         "not place them" % (path, len(missing), ", ".join(missing[:5])))
    return rows


class Coverage:
    """Sums of coverage.py's rows, by (method, MAF class)."""

    def __init__(self):
        self.sums = {}

    def add(self, rows):
        for row in rows:
            s = self.sums.setdefault((row["method"], row["maf_class"]), [0, 0, 0, 0.0, None])
            s[0] += int(row["snps"])
            s[1] += int(row["captured"])
            s[2] += int(row["members"])
            s[3] += float(row["r2_sum"])
            if row["r2_min"] != "NA":
                s[4] = float(row["r2_min"]) if s[4] is None else min(s[4], float(row["r2_min"]))

    def row(self, method, maf_class):
        """snps, captured, captured_percent, mean_r2, min_r2 as text."""
        snps, captured, members, total, low = self.sums.get((method, maf_class), [0, 0, 0, 0.0, None])
        return [snps, captured, "%.2f" % (100.0 * captured / snps) if snps else "NA",
                "%.4f" % (total / members) if members else "NA", "NA" if low is None else "%.4f" % low]


def read_coverage(folder):
    path = os.path.join(folder, "coverage.tsv")
    return tsvtable.read(path)[1]


def merge(regions_tsv, qc_warnings, out, methods=("greedy", "minimax")):
    """Writes the outputs named in `out`, a mapping as the rule's: per method
    its table and tag list, the summary, the coverage table and the
    warnings."""
    files = {key: open(path, "w") for key, path in out.items() if key != "coverage"}
    genome = Coverage()
    regional = []
    try:
        for method in methods:
            files[method].write("\t".join(TABLE_COLUMNS) + "\n")
        files["summary"].write("\t".join(list(BASE_COLUMNS) + ["%s_%s" % (m, c) for m in methods
                                                                  for c in METHOD_COLUMNS]) + "\n")
        with open(qc_warnings) as f:
            for line in f:
                files["warnings"].write("genome: " + line)
        offset = dict.fromkeys(methods, 0)
        for row in tsvtable.read(regions_tsv)[1]:
            region, chrom = row["region"], row["chromosome"]
            folder = os.path.join(os.path.dirname(regions_tsv), "regions", region)
            snps = read_snps(folder)
            where = {name: (position, maf) for name, position, maf in snps}
            kept = read_kept(folder)
            kept_set = set(kept)
            dropped = [name for name, _, _ in snps if name not in kept_set]
            counts = run_log_counts(folder)
            summary = [chrom, region, len(snps), counts["undesirable"], counts["undesirable_dropped"],
                       counts["done"], counts["needed"]]
            coverage_rows = read_coverage(folder)
            coverage = Coverage()
            coverage.add(coverage_rows)
            genome.add(coverage_rows)
            regional += [[region, m, c] + coverage.row(m, c) for m in methods for c in MAF_CLASSES]
            for method in methods:
                rows = joined_rows(folder, method, kept_set)
                table = files[method]
                for name, cluster, tag in rows:
                    table.write("%s\t%s\t%s\t%d\t%s\t%s\t%s\n" % (chrom, region, name, offset[method] + cluster, tag,
                                                                  *where[name]))
                    if tag == "1":
                        files[method + "_tags"].write(name + "\n")
                for name in dropped:
                    table.write("%s\t%s\t%s\tNA\t0\t%s\t%s\n" % (chrom, region, name, *where[name]))
                clusters = max((c for _, c, _ in rows), default=-1) + 1
                offset[method] += clusters
                summary += [len({c for _, c, _ in rows}), sum(tag == "1" for _, _, tag in rows)]
                summary += [coverage.row(method, "all")[k] for k in (1, 3, 4)]
            files["summary"].write("\t".join(map(str, summary)) + "\n")
            for log in LOGS:
                path = os.path.join(folder, log)
                if not os.path.exists(path):
                    continue
                with open(path) as f:
                    for line in f:
                        if log == "plink.log":
                            if not line.startswith("Warning"):
                                continue
                            line = "plink: " + line
                        if line.strip():
                            files["warnings"].write("%s: %s" % (region, line))
    finally:
        for f in files.values():
            f.close()
    tsvtable.write(out["coverage"], COVERAGE_COLUMNS,
                   [["genome", m, c] + genome.row(m, c) for m in methods for c in MAF_CLASSES] + regional)


if "snakemake" in globals():
    try:
        merge(snakemake.input.regions, snakemake.input.qc_warnings, dict(snakemake.output.items()),
              snakemake.params.methods)
    except MergeError as e:
        raise SystemExit("ldtag: %s" % e)
