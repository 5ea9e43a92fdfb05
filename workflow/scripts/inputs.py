"""The config and the files it names, checked before any job starts.

The Snakefile calls prepare() while it is read. It validates the config
against the schema (filling in defaults), checks that every file the config
names exists, reads the chromosomes of the genotype filesets and the
thresholds file, and returns what the rules need. Every problem found is
reported at once, as a ConfigError with one line per problem. The checks of
the SNP lists against the genotypes are warnings: list_warnings() gives them.
"""
import os
import re
import shutil
from dataclasses import dataclass, field

import yaml

MAX_NAME = 29  # longest SNP name ldprune stores
SHOWN_NAMES = 5  # names quoted in a warning about many names
PROGRAMS = ("ldprep", "ldprune", "memberjoin1", "memberjoin2")
BUILTIN = "ldcluster"  # the clustering_command that runs this project's clustering program
LIST_KEYS = ("thresholds_file", "done_file", "undesirable_file")
# A threshold as the programs read it: a plain decimal number.
NUMBER = re.compile(r"^(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$")


class ConfigError(Exception):
    """The config, or a file it names, cannot be used."""


class MissingPrograms(Exception):
    """Programs the workflow runs are not on PATH."""


@dataclass
class Chromosome:
    label: str  # the code without a leading "chr", as file and region names use it
    code: str  # the code as the .bim file writes it, for PLINK's --chr
    fileset: str  # path of the .bed/.bim/.fam without extension


@dataclass
class Setup:
    chromosomes: dict = field(default_factory=dict)  # label -> Chromosome, in genotype order
    min_threshold: float = 1.0  # lowest threshold of any SNP
    warnings: list = field(default_factory=list)


def _requirement(sub):
    """What the schema asks of a number-valued key, in words."""
    kind = "an integer" if sub.get("type") == "integer" else "a number"
    if "exclusiveMinimum" in sub:
        return "%s above %s" % (kind, sub["exclusiveMinimum"]) + (
            " and at most %s" % sub["maximum"] if "maximum" in sub else "")
    if "maximum" in sub:
        return "%s from %s to %s" % (kind, sub["minimum"], sub["maximum"])
    return "%s of at least %s" % (kind, sub["minimum"])


def _describe(error, schema):
    """One line for a schema violation."""
    path = list(error.absolute_path)
    key = str(path[0]) if path else None
    props = schema.get("properties", {})
    if error.validator == "additionalProperties":
        unknown = sorted(set(error.instance) - set(props))
        return "; ".join("unknown key '%s' (the keys are: %s)" % (k, ", ".join(props)) for k in unknown)
    if error.validator == "required":
        return "the key 'bfile' is missing: it names the PLINK fileset of the genotypes"
    if key == "bfile":
        return "bfile must be the path of a PLINK fileset (without .bed) or a list of them, not %r" % (
            error.instance,)
    if key in props:
        sub = props[key]
        types = sub.get("type")
        types = types if isinstance(types, list) else [types]
        if "number" in types or "integer" in types:
            allowed = _requirement(sub)
            if "null" in types:
                allowed += ", or null"
            return "%s must be %s, not %r" % (key, allowed, error.instance)
        if "boolean" in types:
            return "%s must be true or false, not %r" % (key, error.instance)
        if "string" in types:
            return "%s must be %s, not %r" % (
                key, "a text or null" if "null" in types else "a non-empty text", error.instance)
    return "%s: %s" % (key or "config", error.message)


def check_config(config, schema_path):
    """Validates config against the schema and fills in its defaults."""
    import jsonschema

    with open(schema_path) as f:
        schema = yaml.safe_load(f)
    if not isinstance(config, dict):
        raise ConfigError("the config must be a mapping of keys to values")
    errors = sorted(jsonschema.Draft7Validator(schema).iter_errors(config), key=lambda e: list(e.absolute_path))
    problems = []
    for e in errors:
        line = _describe(e, schema)
        if line not in problems:
            problems.append(line)
    if problems:
        raise ConfigError("\n".join(problems))
    for key, sub in schema["properties"].items():
        if key not in config and "default" in sub:
            config[key] = sub["default"]
    if config["clustering_command"] is not None and not config["clustering_command"].strip():
        config["clustering_command"] = None


def filesets(config):
    bfile = config["bfile"]
    return [bfile] if isinstance(bfile, str) else list(bfile)


def chromosome_label(code):
    return code[3:] if code.lower().startswith("chr") and len(code) > 3 else code


def check_files(config):
    problems = []
    for prefix in filesets(config):
        for ext in (".bed", ".bim", ".fam"):
            if not os.path.isfile(prefix + ext):
                problems.append("bfile %s: %s does not exist" % (prefix, prefix + ext))
    for key in LIST_KEYS:
        path = config.get(key)
        if path is not None and not os.path.isfile(path):
            problems.append("%s: %s does not exist" % (key, path))
    if problems:
        raise ConfigError("\n".join(problems))


def scan_genotypes(prefixes):
    """The chromosomes of the filesets, in file order, and every SNP name."""
    chromosomes, names, problems = {}, set(), []
    for prefix in prefixes:
        path = prefix + ".bim"
        with open(path) as f:
            for number, line in enumerate(f, 1):
                fields = line.split()
                if not fields:
                    continue
                if len(fields) != 6:
                    raise ConfigError("%s: line %d: expected 6 fields (chromosome, SNP, cM, position, "
                                      "allele 1, allele 2), found %d" % (path, number, len(fields)))
                code, name = fields[0], fields[1]
                names.add(name)
                label = chromosome_label(code)
                known = chromosomes.get(label)
                if known is None:
                    if not re.match(r"^[A-Za-z0-9_.-]+$", label):
                        problems.append("%s: line %d: chromosome code %r cannot name files" % (path, number, code))
                        continue
                    chromosomes[label] = Chromosome(label, code, prefix)
                elif known.fileset != prefix or known.code != code:
                    problems.append("chromosome %s is in %s.bim as %r and in %s as %r: give each chromosome once"
                                    % (label, known.fileset, known.code, path, code))
                    chromosomes[label] = Chromosome(label, code, prefix)
    if problems:
        raise ConfigError("\n".join(dict.fromkeys(problems)))
    if not chromosomes:
        raise ConfigError("bfile: the genotypes hold no SNPs")
    return chromosomes, names


def read_tokens(path):
    with open(path, errors="surrogateescape") as f:
        return f.read().split()


def read_thresholds(path):
    """name -> threshold text from the thresholds file; raises ConfigError."""
    tokens = read_tokens(path)
    thresholds, first_record = {}, {}
    for k in range(0, len(tokens), 2):
        record = k // 2 + 1
        name = tokens[k]
        where = "thresholds_file %s: record %d: " % (path, record)
        if k + 1 == len(tokens):
            raise ConfigError(where + "SNP %s has no threshold" % name)
        text = tokens[k + 1]
        if not NUMBER.match(text) or not 0.0 < float(text) <= 1.0:
            raise ConfigError(where + 'threshold "%s" of SNP %s is not a number above 0 and at most 1' % (text, name))
        if name in thresholds:
            raise ConfigError(where + "SNP %s is listed twice (records %d and %d)" % (name, first_record[name], record))
        thresholds[name] = text
        first_record[name] = record
    return thresholds


def list_names(config, key):
    """The names a list file gives, in order; none when the key is not set."""
    path = config.get(key)
    if path is None:
        return []
    tokens = read_tokens(path)
    return tokens[0::2] if key == "thresholds_file" else tokens


def some_names(names):
    shown = ", ".join(names[:SHOWN_NAMES])
    return shown + (", ..." if len(names) > SHOWN_NAMES else "")


def list_warnings(config, known, where):
    """A warning per list whose names are not all in `known`; `where` says
    where they are missing, as in "in the genotypes"."""
    warnings = []
    for key in LIST_KEYS:
        missing = [n for n in dict.fromkeys(list_names(config, key)) if n not in known]
        if len(missing) == 1:
            warnings.append("%s %s: 1 name is not %s and is ignored: %s" % (key, config[key], where, missing[0]))
        elif missing:
            warnings.append("%s %s: %d names are not %s and are ignored: %s" % (
                key, config[key], len(missing), where, some_names(missing)))
    return warnings


def check_programs(config):
    builtin = (BUILTIN,) if config["clustering_command"] == BUILTIN else ()
    missing = [p for p in PROGRAMS + builtin + (config["plink"],) if shutil.which(p) is None]
    if missing:
        raise MissingPrograms("cannot find %s on PATH: build the project and put its programs on PATH "
                          "(see the README), or install the package; PLINK 1.9 is Debian's plink1.9"
                          % ", ".join(missing))


def prepare(config, schema_path, main_process=True):
    """Checks everything; returns the Setup. The list checks and the search
    for programs are made in the main process only, not in cluster jobs."""
    check_config(config, schema_path)
    check_files(config)
    setup = Setup()
    setup.chromosomes, names = scan_genotypes(filesets(config))
    setup.min_threshold = config["threshold"]
    if config["thresholds_file"] is not None:
        values = [float(v) for v in read_thresholds(config["thresholds_file"]).values()]
        setup.min_threshold = min([setup.min_threshold] + values)
    if main_process:
        check_programs(config)
        setup.warnings = list_warnings(config, names, "in the genotypes")
    return setup
