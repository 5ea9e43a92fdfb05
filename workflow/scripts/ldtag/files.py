"""Reading and writing files: whole or not at all.

Every file a script writes appears under its name only when it is whole:
written() hands out a partial name and renames it at the end, so a killed
job never leaves a truncated file behind. The workflow's tables are
tab-separated with a header line; the user's lists are white-space
separated tokens, as PLINK and the programs read them.
"""
import contextlib
import math
import os
import sys

BOM = b"\xef\xbb\xbf"


class FormatError(Exception):
    """A file that cannot be read as its format says; the message names the
    file and, where there is one, the line or record."""


def four_places(x):
    """x to four decimals, cut rather than rounded: a value is written at or
    above a bound of four decimals (r² 0.8, MAF 0.05, a share of 0.95)
    exactly when it is so, and the tables counted from the written values
    agree with it (rounded, r² 0.79996 would be written 0.8000)."""
    return "%.4f" % (math.floor(x * 10000 + 1e-9) / 10000)


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


def write_lines(path, lines):
    """Each line with a line end; put in place when whole."""
    with written(path) as partial, open(partial, "w") as f:
        f.writelines(line + "\n" for line in lines)


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


def key_files(items):
    """Key -> file of options given as KEY=FILE (the rules write them with
    key_files() of common.smk); a key holds no "=", a file may."""
    return dict(item.split("=", 1) for item in items)


def log_to(path):
    """A script keeps its messages in its rule's log and shows them too."""
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    sys.stderr = _Both(open(path, "w"), sys.__stderr__)


def read_table(path):
    """The header's columns and a dict per row of a tab-separated table."""
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


def names(path):
    """A list of names, one per white-space separated record; none when the
    file does not exist."""
    return tokens(path) if os.path.exists(path) else []


def some_names(names, shown=5):
    """The first few names, for a message about many."""
    return ", ".join(names[:shown]) + (", ..." if len(names) > shown else "")


def plural(count, one="", many="s"):
    """`one` for a count of 1, else `many`: "SNP" + plural(n) for a message."""
    return one if count == 1 else many
