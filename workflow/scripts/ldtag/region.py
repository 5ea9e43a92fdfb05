"""A region's folder, as ldprep, ldprune, ldcluster and the joiners leave it.

One reader per file: the SNP list (SNP_names.data, in the order of PLINK's
matrix), positions and MAFs (maf.txt), thresholds (weight.txt), the done
and undesirable lists, the SNPs ldprune kept (maf_processed.txt), its run
log (run_log.txt: its counts and the needed SNPs it lists) and the joined
tables (<method>_output.txt).
"""
import os
import re

from .files import FormatError, tokens

# Lines of ldprune's run log.
RUN_LOG_COUNTS = {
    "done": re.compile(r"^total done SNP number is (-?\d+)$"),
    "undesirable": re.compile(r"^undesirable SNPs total number is (-?\d+)$"),
    "undesirable_dropped": re.compile(r"^Undesirable and untagged SNPs number: (-?\d+)$"),
}
NEEDED = re.compile(r"^the \d+th needed SNP \(counting from 0\) is: (\S+)")
# The header of a joined table, as the joiners write it.
JOINED_HEADER = ("NAME", "ORVANTE", "Tag", "Position", "MAF")


class Region:
    def __init__(self, folder):
        self.folder = folder

    def path(self, name):
        return os.path.join(self.folder, name)

    def has(self, name):
        return os.path.exists(self.path(name))

    def snps(self):
        """The SNP list (SNP_names.data), in the order of PLINK's matrix."""
        return tokens(self.path("SNP_names.data"))[3::2]

    def snp_table(self):
        """(name, position text, MAF text) of each SNP, from maf.txt."""
        words = tokens(self.path("maf.txt"))
        return [tuple(words[k : k + 3]) for k in range(0, len(words) - 2, 3)]

    def thresholds(self):
        """name -> threshold, from weight.txt."""
        words = tokens(self.path("weight.txt"))
        return {words[k]: float(words[k + 1]) for k in range(0, len(words) - 1, 2)}

    def names(self, name):
        """A list of names (done.txt, undesirable.txt); empty when absent."""
        return tokens(self.path(name)) if self.has(name) else []

    def kept(self):
        """The SNPs ldprune kept (maf_processed.txt), in order."""
        return tokens(self.path("maf_processed.txt"))[0::3]

    def run_log_counts(self):
        """The counts of the run log: done, undesirable and undesirable_dropped
        SNPs as ldprune logged them, and the needed SNPs it listed."""
        counts = dict.fromkeys(RUN_LOG_COUNTS, 0)
        counts["needed"] = 0
        for line in self.run_log():
            for key, pattern in RUN_LOG_COUNTS.items():
                m = pattern.match(line)
                if m:
                    counts[key] = int(m.group(1))
            counts["needed"] += bool(NEEDED.match(line))
        return counts

    def needed(self):
        """The needed SNPs the run log lists."""
        return {m.group(1) for m in map(NEEDED.match, self.run_log()) if m}

    def run_log(self):
        """The run log's lines before its matrix dumps: run_log.txt, or the
        start of ld_processed_temp.txt."""
        for name in ("run_log.txt", "ld_processed_temp.txt"):
            if self.has(name):
                lines = []
                with open(self.path(name)) as f:
                    for line in f:
                        if not line.strip():
                            break  # the matrix dumps follow
                        lines.append(line.rstrip("\n"))
                return lines
        return []

    def joined(self, method):
        """(name, cluster, tag flag) of each line of <method>_output.txt."""
        path = self.path(method + "_output.txt")
        rows = []
        with open(path) as f:
            next(f, None)
            for number, line in enumerate(f, 2):
                fields = line.rstrip("\n").split("\t")
                if len(fields) != 5 or not re.fullmatch(r"-?\d+", fields[1]):
                    raise FormatError("%s: line %d is not a joined record: %r" % (path, number, line.rstrip("\n")))
                rows.append((fields[0], int(fields[1]), fields[2]))
        return rows
