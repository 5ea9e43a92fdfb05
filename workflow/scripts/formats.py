"""The readers and writers of the files the workflow's scripts share.

One reader per format: PLINK's .bim, the user's thresholds file and name
lists, the workflow's tab-separated tables, and the files of a region's
folder (the SNP list, positions and MAFs, thresholds, the done and
undesirable lists, ldprune's kept SNPs and run log, the joined tables).
Writers put a file in place only when it is whole: written() hands out a
partial name and renames it at the end.
"""
import contextlib
import os
import re
import sys

MAX_NAME = 29  # longest SNP name ldprune stores
# A threshold as the programs read it: a plain decimal number.
NUMBER = re.compile(r"^(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$")
BOM = b"\xef\xbb\xbf"
# Lines of ldprune's run log.
RUN_LOG_COUNTS = {
    "done": re.compile(r"^total done SNP number is (-?\d+)$"),
    "undesirable": re.compile(r"^undesirable SNPs total number is (-?\d+)$"),
    "undesirable_dropped": re.compile(r"^Undesirable and untagged SNPs number: (-?\d+)$"),
}
NEEDED = re.compile(r"^the \d+th needed SNP \(counting from 0\) is: (\S+)")


class FormatError(Exception):
    """A file that cannot be read as its format says; the message names the
    file and, where there is one, the line or record."""


# Files put in place when whole.


@contextlib.contextmanager
def written(path):
    """Yields the name to write `path` under; renames it to `path` when the
    block ends normally, removes it when it raises."""
    partial = path + ".partial"
    try:
        yield partial
    except BaseException:
        with contextlib.suppress(OSError):
            os.remove(partial)
        raise
    os.replace(partial, path)


class _Both:
    """Writes to a log file and to the screen."""

    def __init__(self, log, screen):
        self.log, self.screen = log, screen

    def write(self, text):
        self.log.write(text)
        self.log.flush()
        return self.screen.write(text)

    def flush(self):
        self.screen.flush()


def log_to(path):
    """A script run by Snakemake keeps its messages in its rule's log and
    shows them too."""
    sys.stderr = _Both(open(path, "w"), sys.__stderr__)


# Tab-separated tables with a header line.


def read_table(path):
    """The header's columns and a dict per row."""
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        return header, [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]


def write_table(path, columns, rows):
    """The header, then each row (a sequence of values) on its own line;
    put in place when whole."""
    with written(path) as partial, open(partial, "w") as f:
        f.write("\t".join(columns) + "\n")
        for row in rows:
            f.write("\t".join(map(str, row)) + "\n")


# The user's files.


def tokens(path):
    """The white-space separated tokens of a file. A byte-order mark, which
    PLINK and the programs would read as part of the first name, is an
    error; Windows line ends are white space to them and are accepted."""
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(BOM):
        raise FormatError(
            "%s starts with a byte-order mark (EF BB BF), which would become part of its first name: "
            "save it as plain text without one" % path
        )
    return data.decode("utf-8", errors="surrogateescape").split()


def bim(path):
    """(line number, chromosome code, name, position) of each SNP of a PLINK
    .bim file, in file order."""
    with open(path, "rb") as f:
        for number, raw in enumerate(f, 1):
            line = raw.decode("utf-8", errors="surrogateescape")
            fields = line.split()
            if not fields:
                continue
            if len(fields) != 6:
                raise FormatError(
                    "%s: line %d: expected 6 fields (chromosome, SNP, cM, position, allele 1, "
                    "allele 2), found %d" % (path, number, len(fields))
                )
            if not re.fullmatch(r"-?\d+", fields[3]):
                raise FormatError(
                    "%s: line %d: position %r of SNP %s is not a whole number" % (path, number, fields[3], fields[1])
                )
            yield number, fields[0], fields[1], fields[3]


def thresholds(path):
    """name -> threshold text of a thresholds file: records of a SNP name and
    its own r² threshold, above 0 and at most 1, each name once."""
    words = tokens(path)
    out, first_record = {}, {}
    for k in range(0, len(words), 2):
        record = k // 2 + 1
        name = words[k]
        where = "%s: record %d: " % (path, record)
        if k + 1 == len(words):
            raise FormatError(where + "SNP %s has no threshold" % name)
        text = words[k + 1]
        if not NUMBER.match(text) or not 0.0 < float(text) <= 1.0:
            raise FormatError(where + 'threshold "%s" of SNP %s is not a number above 0 and at most 1' % (text, name))
        if name in out:
            raise FormatError(where + "SNP %s is listed twice (records %d and %d)" % (name, first_record[name], record))
        out[name] = text
        first_record[name] = record
    return out


# A region's folder, as ldprep, ldprune and the joiners leave it.


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
