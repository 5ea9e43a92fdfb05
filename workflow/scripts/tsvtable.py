"""Tab-separated tables with a header line, as the workflow writes them."""


def read(path):
    """The header's columns and a dict per row."""
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        return header, [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]


def write(path, columns, rows):
    """The header, then each row (a sequence of values) on its own line."""
    with open(path, "w") as f:
        f.write("\t".join(columns) + "\n")
        for row in rows:
            f.write("\t".join(map(str, row)) + "\n")
