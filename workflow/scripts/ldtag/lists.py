"""The user's lists: thresholds, done and undesirable SNPs.

Each is a file of white-space separated records, as the programs read them:
the thresholds file a SNP name and its own r² threshold per record, the
others a name per record.
"""
import re

from . import files
from .files import FormatError

KEYS = ("thresholds_file", "done_file", "undesirable_file")  # the config keys that name them
# A threshold as the programs read it: a plain decimal number.
NUMBER = re.compile(r"^(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$")


def thresholds(path):
    """name -> threshold text of a thresholds file: records of a SNP name and
    its own r² threshold, above 0 and at most 1, each name once."""
    words = files.tokens(path)
    out, first_record = {}, {}
    for k in range(0, len(words), 2):
        record = k // 2 + 1
        name = words[k]
        where = "%s: record %d: " % (path, record)
        if k + 1 == len(words):
            raise FormatError(where + "SNP %s has no threshold" % name)
        text = words[k + 1]
        if not NUMBER.match(text) or not 0.0 < float(text) <= 1.0:
            raise FormatError(
                where + 'threshold "%s" of SNP %s is not a number above 0 and at most 1%s' % (text, name, _odd(path))
            )
        if name in out:
            raise FormatError(where + "SNP %s is listed twice (records %d and %d)" % (name, first_record[name], record))
        out[name] = text
        first_record[name] = record
    return out


def _odd(path):
    """A hint naming the first line of a thresholds file with an odd
    number of words, which puts the pairs after it out of step, for a
    message on a record that went wrong."""
    with open(path, "rb") as f:
        for number, line in enumerate(f, 1):
            words = len(line.split())
            if words % 2:
                return " (the records are read in pairs of words, and line %d holds %d)" % (number, words)
    return ""


def threshold_of(path, default):
    """name -> threshold as a number, the default for every SNP the
    thresholds file (none when path is None) does not name."""
    values = {} if path is None else {name: float(v) for name, v in thresholds(path).items()}
    return lambda name: values.get(name, default)


def names(lists, key):
    """The names a list gives, in order; none when the key is not set.
    `lists`: key -> path or None."""
    path = lists.get(key)
    if path is None:
        return []
    try:
        words = files.tokens(path)
    except FormatError as e:
        raise FormatError("%s: %s" % (key, e))
    return words[0::2] if key == "thresholds_file" else words


def warnings(lists, known, where):
    """A warning per list whose names are not all in `known`; `where` says
    where they are missing, as in "in the genotypes"."""
    out = []
    for key in KEYS:
        missing = [n for n in dict.fromkeys(names(lists, key)) if n not in known]
        if len(missing) == 1:
            out.append("%s %s: 1 name is not %s and is ignored: %s" % (key, lists[key], where, missing[0]))
        elif missing:
            out.append(
                "%s %s: %d names are not %s and are ignored: %s"
                % (key, lists[key], len(missing), where, files.some_names(missing))
            )
    return out


def both(lists):
    """A warning when SNPs are listed both as done and as undesirable, else
    none: a contradiction the programs settle quietly."""
    undesirable = set(names(lists, "undesirable_file"))
    twice = [n for n in dict.fromkeys(names(lists, "done_file")) if n in undesirable]
    if not twice:
        return []
    return [
        "%d SNP%s listed both in done_file and in undesirable_file (%s): check the two lists"
        % (len(twice), " is" if len(twice) == 1 else "s are", files.some_names(twice))
    ]
