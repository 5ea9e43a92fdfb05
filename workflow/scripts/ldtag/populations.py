"""The populations of a study and their people.

A study gives its populations as a file of samples per population (config
populations), or as one panel file with a header line naming the sample and
population columns, as reference panels ship them (population_panel). Either
way, read() gives each population's samples, and the run writes them once:
results/populations.tsv (population, people, keep file) and a keep file per
population for PLINK. Everything after that reads the table. A run without
populations has one row, "all", for every sample of the genotypes.
"""
import collections
import os
import re

from . import files, paths
from .files import FormatError

NAME = re.compile(r"^[A-Za-z][A-Za-z0-9_-]{0,39}$")
COLUMNS = ("population", "people", "keep")
EVERYONE = "all"  # the one row of a run without populations


def read_file(name, path):
    """(line number, (family id, sample id)) of each record of a population's
    sample file: a family id and a sample id, or one id that is both."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise FormatError("population %s: %s cannot be read: %s" % (name, path, e.strerror))
    if data.startswith(files.BOM):
        raise FormatError("population %s: %s starts with a byte-order mark: save it as plain text" % (name, path))
    samples = []
    for number, line in enumerate(data.decode("utf-8", errors="surrogateescape").splitlines(), 1):
        fields = line.split()
        if not fields:
            continue
        if len(fields) > 2:
            raise FormatError(
                "population %s: %s: line %d: expected a sample id, or a family id and a sample id, found %d "
                "fields" % (name, path, number, len(fields))
            )
        samples.append((number, (fields[0], fields[-1])))
    return samples


def read_panel(path, sample_column, population_column):
    """Population -> [(line number, (id, id))] of a panel file, populations in
    the order they first appear; a sample id stands for family and sample."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise FormatError("population_panel: %s cannot be read: %s" % (path, e.strerror))
    if data.startswith(files.BOM):
        raise FormatError("population_panel: %s starts with a byte-order mark: save it as plain text" % path)
    if data.startswith(b"\x1f\x8b"):
        raise FormatError("population_panel: %s is compressed: give it uncompressed (gunzip it)" % path)
    lines = data.decode("utf-8", errors="surrogateescape").splitlines()
    header = lines[0].split() if lines else []
    missing = [c for c in (sample_column, population_column) if c not in header]
    if missing:
        raise FormatError(
            "population_panel: %s: the header line names no column %s (it names: %s); set sample_column and "
            "population_column to the columns that hold the sample ids and the populations"
            % (path, " or ".join(repr(c) for c in missing), ", ".join(header) or "nothing")
        )
    at_sample, at_population = header.index(sample_column), header.index(population_column)
    populations = {}
    for number, line in enumerate(lines[1:], 2):
        fields = line.split()
        if not fields:
            continue
        if len(fields) < len(header):
            raise FormatError(
                "population_panel: %s: line %d: expected %d fields, as the header names, found %d"
                % (path, number, len(header), len(fields))
            )
        name = fields[at_population]
        if not NAME.match(name):
            raise FormatError(
                "population_panel: %s: line %d: population %r cannot name a population (a letter, then letters, "
                "digits, _ or -, at most 40 characters)" % (path, number, name)
            )
        populations.setdefault(name, []).append((number, (fields[at_sample], fields[at_sample])))
    if not populations:
        raise FormatError("population_panel: %s lists no sample" % path)
    return populations


def by_sample_id(found, people):
    """A panel, or a sample file's record of one id, names a sample by its id
    alone: where a fileset's person has that sample id under another family
    id, and only one does, the record is that person."""
    family = {}
    for samples in people.values():
        for fid, iid in samples:
            family.setdefault(iid, set()).add(fid)

    def person(sample):
        fid, iid = sample
        return (next(iter(family[iid])), iid) if fid == iid and len(family.get(iid, ())) == 1 else sample

    return {name: [(n, person(s)) for n, s in records] for name, records in found.items()}


def read(config, people=None):
    """Population -> [(line number, sample)] and population -> where its
    samples are listed (for messages), from the config's populations or
    population_panel; empty without either. Samples named by one id are
    matched to the people of the filesets (fileset -> their (family id,
    sample id)), when given."""
    if config.get("population_panel") is not None:
        path = config["population_panel"]
        found = read_panel(path, config["sample_column"], config["population_column"])
        if people:
            found = by_sample_id(found, people)
        return found, {name: "%s (%s %s)" % (path, config["population_column"], name) for name in found}
    given = config.get("populations") or {}
    found = {name: read_file(name, path) for name, path in given.items()}
    return (by_sample_id(found, people) if people else found), dict(given)


def _sample_text(sample):
    return sample[1] if sample[0] == sample[1] else "%s %s" % sample


def check(found, where, people, fileset_name):
    """Problems: a population named as everyone is, one that lists fewer
    than two samples, a sample listed twice, samples not in a fileset's
    people (fileset -> list of (family id, sample id)); fileset_name(fileset)
    names it in a message."""
    problems, first = [], {}
    known = {fileset: set(samples) for fileset, samples in people.items()}
    for name, records in found.items():
        if name.lower() == EVERYONE:
            problems.append(
                "population %s (%s): the tables name everyone %s: give the population another name"
                % (name, where[name], EVERYONE)
            )
        if not records:
            problems.append("population %s: %s lists no sample" % (name, where[name]))
        elif len(records) == 1:
            problems.append("population %s: %s lists 1 sample, and LD needs at least 2" % (name, where[name]))
        for number, sample in records:
            if sample in first:
                other, other_number = first[sample]
                problems.append(
                    "sample %s is listed twice: population %s (%s, line %d) and population %s (%s, line %d)"
                    % (_sample_text(sample), other, where[other], other_number, name, where[name], number)
                )
            else:
                first[sample] = (name, number)
        for fileset, samples in known.items():
            missing = [_sample_text(s) for _, s in records if s not in samples]
            if missing:
                problems.append(
                    "population %s: %s: %d sample%s not in the genotypes (%s): %s"
                    % (
                        name,
                        where[name],
                        len(missing),
                        files.plural(len(missing), " is", "s are"),
                        fileset_name(fileset),
                        files.some_names(missing),
                    )
                )
    return problems


def write(found, people_count, table_path, keep_all):
    """The keep file of each population, all of them in keep_all, and the
    populations table; without populations, its one row for the
    `people_count` samples of the genotypes."""
    if not found:
        files.write_table(table_path, COLUMNS, [(EVERYONE, people_count, "")])
        return
    everyone, rows = [], []
    for name, records in found.items():
        samples = [sample for _, sample in records]
        everyone += samples
        keep = paths.POPULATION_KEEP.format(population=name)
        os.makedirs(os.path.dirname(keep), exist_ok=True)
        files.write_lines(keep, ("%s %s" % sample for sample in samples))
        rows.append((name, len(samples), keep))
    files.write_lines(keep_all, ("%s %s" % sample for sample in everyone))
    files.write_table(table_path, COLUMNS, rows)


def table(path=paths.POPULATIONS_TABLE):
    """The rows of the populations table: dicts of population, people, keep."""
    return files.read_table(path)[1]


def estimated_in(path=paths.POPULATIONS_TABLE, holdout=None):
    """The rows of the populations table with `people` the number the LD
    was estimated in: with held-out people (the imputation's people table,
    `holdout`), those of each population are not counted."""
    rows = table(path)
    if holdout:
        _, people = files.read_table(holdout)
        held = collections.Counter(p["population"] for p in people if p["fold"] == "holdout")
        rows = [dict(r, people=str(int(r["people"]) - held[r["population"]])) for r in rows]
    return rows


def names(path=paths.POPULATIONS_TABLE):
    """The populations' names, none for a run without populations."""
    return [row["population"] for row in table(path) if row["keep"]]
