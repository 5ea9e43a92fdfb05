"""Genome-wide tables from the regions' joined tables.

Reads one region at a time, so memory does not grow with the number of
regions. For each method it writes every SNP that passed quality control
once: chromosome, region, SNP, a cluster id unique genome-wide, tag mark,
position, MAF, the tag of its cluster and its r² to that tag (coverage's
tag_r2.tsv). The undesirable SNPs that ldprune left out, because no
desirable SNP tags them, are in no cluster: their cluster id, tag and r² are
NA and their tag mark 0. A joined table that does not hold each of the region's kept SNPs
exactly once stops the merge with a message naming the region and the SNP.

The coverage of each region (coverage.py) is summed into the summary and
into a coverage table: per method and MAF class, the SNPs, those captured
by their cluster's tag at their own threshold, and the mean and lowest r² of
the SNPs that are not tags to their tag, genome-wide first, then per region.

With populations, each region has a folder per population, whose tags were
chosen together. The tables, the summary and the coverage gain a population
column after the region: a SNP appears once per population where it varies,
with its cluster and tag there, and cluster ids are unique per population
and region. A tag list holds the one set chosen for all populations, each
region's tags in position order; the summary gives, beside each population's
own tags, the size of that set.

Region folders an earlier run left that the current regions table does not
name are removed, with a warning that names them.
"""
import os
import shutil

from . import files, paths, region
from .tagging import MAF_CLASSES

TABLE_COLUMNS = ("chromosome", "region", "snp", "cluster", "tag", "position", "maf", "tag_snp", "r2")
BASE_COLUMNS = ("chromosome", "region", "snps", "undesirable", "undesirable_dropped", "done", "needed")
METHOD_COLUMNS = ("clusters", "tags", "captured", "mean_r2", "min_r2")
COVERAGE_COLUMNS = ("region", "method", "maf_class", "snps", "captured", "captured_percent", "mean_r2", "min_r2")
# Program logs in a region's log folder, in the order the programs run.
LOGS = (
    "plink.log",
    "ldprep.log",
    "ldprune.log",
    "ldcluster.log",
    "memberjoin1.log",
    "memberjoin2.log",
    "memberjoin1_minimum.log",
)


class MergeError(Exception):
    pass


def joined_rows(region, method, kept):
    """(name, cluster, tag) of a joined table, checked against the kept SNPs,
    a list in table order."""
    path = region.path(method + "_output.txt")
    kept_set = set(kept)
    try:
        rows = region.joined(method)
    except files.FormatError as e:
        raise MergeError(str(e))
    seen = {}
    for number, (name, _, _) in enumerate(rows, 2):
        if name not in kept_set:
            raise MergeError(
                "%s: line %d: SNP %s is not among the region's SNPs in maf_processed.txt" % (path, number, name)
            )
        if name in seen:
            raise MergeError(
                "%s: SNP %s is on lines %d and %d: the clustering result puts it in more than "
                "one place" % (path, name, seen[name], number)
            )
        seen[name] = number
    missing = [n for n in kept if n not in seen]
    if missing:
        raise MergeError(
            "%s: %d SNPs of maf_processed.txt are missing, such as %s: the clustering result does "
            "not place them" % (path, len(missing), ", ".join(missing[:5]))
        )
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
        return [
            snps,
            captured,
            "%.2f" % (100.0 * captured / snps) if snps else "NA",
            "%.4f" % (total / members) if members else "NA",
            "NA" if low is None else "%.4f" % low,
        ]


def with_population(columns, populations):
    """Columns with the population after the region, when there are any."""
    if not populations:
        return list(columns)
    at = list(columns).index("region") + 1
    return list(columns[:at]) + ["population"] + list(columns[at:])


def merge(regions_tsv, qc_warnings, out, methods=("greedy", "minimax"), populations=()):
    """Writes the outputs named in `out`, a mapping as the rule's: per method
    its table and tag list, the summary, the coverage table and the
    warnings."""
    partial = {key: path + ".partial" for key, path in out.items() if key != "coverage"}
    tables = {key: open(path, "w") for key, path in partial.items()}
    shown = list(populations) or [None]
    genome = {p: Coverage() for p in shown}
    regional = []
    method_columns = METHOD_COLUMNS[:2] + ("joint_tags",) + METHOD_COLUMNS[2:] if populations else METHOD_COLUMNS
    try:
        for method in methods:
            tables[method].write("\t".join(with_population(TABLE_COLUMNS, populations)) + "\n")
        tables["summary"].write(
            "\t".join(
                with_population(BASE_COLUMNS, populations) + ["%s_%s" % (m, c) for m in methods for c in method_columns]
            )
            + "\n"
        )
        with open(qc_warnings) as f:
            for line in f:
                tables["warnings"].write("genome: " + line)
        stale = remove_stale_regions(regions_tsv)
        if stale:
            tables["warnings"].write("genome: %s\n" % stale)
        offset = dict.fromkeys(methods, 0)
        for row in files.read_table(regions_tsv)[1]:
            region_rows = merge_region(row, populations, methods, tables, offset)
            for population, summary, coverage in region_rows:
                genome[population].add(coverage)
                folder_coverage = Coverage()
                folder_coverage.add(coverage)
                lead = [row["region"]] + ([population] if populations else [])
                regional += [lead + [m, c] + folder_coverage.row(m, c) for m in methods for c in MAF_CLASSES]
                tables["summary"].write("\t".join(map(str, summary)) + "\n")
    except BaseException:
        for key, f in tables.items():
            f.close()
            os.remove(partial[key])
        raise
    # Each table takes its name only when all are whole.
    for f in tables.values():
        f.close()
    files.write_table(
        out["coverage"],
        with_population(COVERAGE_COLUMNS, populations),
        [
            ["genome"] + ([p] if populations else []) + [m, c] + genome[p].row(m, c)
            for p in shown
            for m in methods
            for c in MAF_CLASSES
        ]
        + regional,
    )
    for key, path in partial.items():
        os.replace(path, out[key])


def read_tag_r2(folder, method):
    """SNP -> (its tag, its r² to it) of a method, from tag_r2.tsv."""
    rows = files.read_table(folder.path("tag_r2.tsv"))[1]
    return {r["snp"]: (r["tag"], r["r2"]) for r in rows if r["method"] == method}


def merge_region(row, populations, methods, tables, offset):
    """Writes a region's rows of the tables, its tags and its warnings; returns
    per folder its population (None without populations), its summary row
    and its coverage rows."""
    region_name, chrom = row["region"], row["chromosome"]
    folders = [(p, paths.region_folder(region_name, p)) for p in populations] or [
        (None, paths.region_folder(region_name))
    ]
    tags = {m: {} for m in methods}  # tag -> position, over the folders
    out = []
    for population, path in folders:
        lead = [chrom, region_name] + ([population] if populations else [])
        folder = region.Region(path)
        snps = folder.snp_table()
        where = {name: (position, maf) for name, position, maf in snps}
        kept = folder.kept()
        kept_set = set(kept)
        dropped = [name for name, _, _ in snps if name not in kept_set]
        counts = folder.run_log_counts()
        summary = lead + [len(snps)] + [counts[k] for k in BASE_COLUMNS[3:]]
        coverage_rows = files.read_table(folder.path("coverage.tsv"))[1]
        coverage = Coverage()
        coverage.add(coverage_rows)
        text = "\t".join(lead)
        for method in methods:
            rows = joined_rows(folder, method, kept)
            proxy = read_tag_r2(folder, method)
            table = tables[method]
            for name, cluster, tag in rows:
                table.write(
                    "%s\t%s\t%d\t%s\t%s\t%s\t%s\t%s\n"
                    % (text, name, offset[method] + cluster, tag, *where[name], *proxy[name])
                )
                if tag == "1":
                    tags[method][name] = int(where[name][0])
            for name in dropped:
                table.write("%s\t%s\tNA\t0\t%s\t%s\tNA\tNA\n" % (text, name, *where[name]))
            offset[method] += max((c for _, c, _ in rows), default=-1) + 1
            summary += [len({c for _, c, _ in rows}), sum(tag == "1" for _, _, tag in rows)]
            if populations:
                summary.append(None)  # the joint tags, known once every folder is read
            summary += [coverage.row(method, "all")[k] for k in (1, 3, 4)]
        write_warnings(
            tables["warnings"],
            paths.region_logs(region_name, population),
            region_name + ("/" + population if populations else ""),
        )
        out.append((population, summary, coverage_rows))
    if populations:
        write_warnings(tables["warnings"], paths.region_logs(region_name), region_name)
    for method in methods:
        # The region's tags: in table order, or with populations, the set of
        # all of them in position order (of equal positions, by name).
        names = list(tags[method])
        if populations:
            names.sort(key=lambda n: (tags[method][n], n))
        for name in names:
            tables[method + "_tags"].write(name + "\n")
        for _, summary, _ in out:
            if None in summary:
                summary[summary.index(None)] = len(tags[method])
    return out


def plink_warnings(lines):
    """PLINK's warnings in its log's lines, each on one line: PLINK wraps a
    long one, and its next lines then go on in lower case."""
    warnings, going_on = [], False
    for line in lines:
        if line.startswith("Warning"):
            warnings.append(line.strip())
            going_on = True
        elif going_on and line[:1].islower():
            warnings[-1] += " " + line.strip()
        else:
            going_on = False
    return warnings


def write_warnings(f, logs, where):
    """The warnings of the programs' logs in a log folder, each line
    prefixed with where it comes from."""
    for log in LOGS:
        path = os.path.join(logs, log)
        if not os.path.exists(path):
            continue
        with open(path) as log_file:
            lines = ["plink: %s\n" % w for w in plink_warnings(log_file)] if log == "plink.log" else log_file
            for line in lines:
                if line.strip():
                    f.write("%s: %s" % (where, line))


def stale_regions(regions_tsv):
    """The region folders an earlier run left that the regions table does
    not name."""
    base = os.path.dirname(paths.REGION)
    if not os.path.isdir(base):
        return []
    current = {row["region"] for row in files.read_table(regions_tsv)[1]}
    return sorted(name for name in os.listdir(base) if name not in current and os.path.isdir(os.path.join(base, name)))


def remove_stale_regions(regions_tsv):
    """Removes the region folders (and their logs) that the current config
    does not make; returns a warning that names them, or None."""
    stale = stale_regions(regions_tsv)
    for name in stale:
        shutil.rmtree(paths.region_folder(name))
        shutil.rmtree(paths.region_logs(name), ignore_errors=True)
    if not stale:
        return None
    return "%d region folder%s of an earlier run that this config does not make %s removed: %s" % (
        len(stale),
        files.plural(len(stale)),
        files.plural(len(stale), "was", "were"),
        files.some_names(stale),
    )
