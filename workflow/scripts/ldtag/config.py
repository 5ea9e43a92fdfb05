"""The config and the files it names, checked before any job starts.

The Snakefile calls prepare() while it is read. It validates the config
against the schema (filling in defaults), checks that every file the config
names exists and can be read, reads the genotypes (the filesets'
chromosomes, SNP names, samples, and whether each .bed has the size its
.bim and .fam give; or each VCF's samples and chromosomes), the thresholds
file and the populations' samples, and returns what the rules need. Every
problem found is reported at once, as a ConfigError with one line per
problem. The checks of the SNP lists against the genotypes are warnings;
for a VCF they wait for its conversion, which names the SNPs.

Reading every .bim or VCF takes time on a whole genome, and Snakemake reads
the Snakefile again in every cluster job, so what the genotypes gave is kept
in a cache file, used again while the files it was made from are unchanged.
"""
import json
import math
import os
import re
import shlex
import shutil
from dataclasses import asdict, dataclass, field, replace

import yaml

from . import files, genotypes, imputation, lists, paths, populations, target, vcf
from .files import FormatError

PROGRAMS = ("ldprep", "ldprune", "memberjoin1", "memberjoin2")
BUILTIN = "ldcluster"  # the clustering_command that runs this project's clustering program
CACHE_VERSION = 5
FEW_PEOPLE = 20  # fewer people get a warning that their r² is mostly chance
FILE_KEYS = lists.KEYS + ("population_panel",) + imputation.FILE_KEYS  # the keys that name a file


class ConfigError(Exception):
    """The config, or a file it names, cannot be used."""


class MissingPrograms(Exception):
    """Programs the workflow runs are not on PATH."""


@dataclass
class Setup:
    chromosomes: dict = field(default_factory=dict)  # label -> Chromosome, in genotype order
    min_threshold: float = 1.0  # lowest threshold of any SNP
    warnings: list = field(default_factory=list)
    populations: list = field(default_factory=list)  # names, in config order; none for all samples as one
    people: dict = field(default_factory=dict)  # population (or "all") -> number of people


# Schema violations in words.


def _types(sub):
    types = sub.get("type", [])
    types = types if isinstance(types, list) else [types]
    return types + [t for alternative in sub.get("oneOf", []) for t in _types(alternative)]


def _requirement(sub):
    """What the schema asks of a number-valued key, in words."""
    kind = "an integer" if "integer" in _types(sub) else "a number"
    if "exclusiveMinimum" in sub:
        return (
            "%s above %s" % (kind, sub["exclusiveMinimum"])
            + (" and at most %s" % sub["maximum"] if "maximum" in sub else "")
            + (" and below %s" % sub["exclusiveMaximum"] if "exclusiveMaximum" in sub else "")
        )
    if "maximum" in sub:
        return "%s from %s to %s" % (kind, sub["minimum"], sub["maximum"])
    if "minimum" in sub:
        return "%s of at least %s" % (kind, sub["minimum"])
    return kind


def _describe(error, schema):
    """One line for a schema violation."""
    path = list(error.absolute_path)
    key = str(path[0]) if path else None
    props = schema.get("properties", {})
    if error.validator == "additionalProperties":
        unknown = sorted(set(error.instance) - set(props))
        return "; ".join("unknown key '%s' (the keys are: %s)" % (k, ", ".join(props)) for k in unknown)
    if key == "bfile":
        return "bfile must be the path of a PLINK fileset (without .bed) or a list of them, not %r" % (error.instance,)
    if key == "vcf":
        return "vcf must be the path of a VCF file (.vcf or .vcf.gz) or a list of them, not %r" % (error.instance,)
    if key == "populations":
        return (
            "populations must map each population's name (a letter, then letters, digits, _ or -, at most 40 "
            "characters) to the file of its samples, not %r" % (error.instance,)
        )
    if key in props:
        sub = props[key]
        types = _types(sub)
        nullable = ", or null" if "null" in types else ""
        if "number" in types or "integer" in types:
            return "%s must be %s%s, not %r" % (key, _requirement(sub), nullable, error.instance)
        if "boolean" in types:
            return "%s must be true or false, not %r" % (key, error.instance)
        if "string" in types and key in FILE_KEYS:
            return "%s must be the path of a file%s, not %r" % (key, nullable, error.instance)
        if "string" in types:
            return "%s must be %s, not %r" % (key, "a text or null" if nullable else "a non-empty text", error.instance)
        if "array" in types:
            names = ", ".join(sub["items"]["enum"])
            return "%s must be a list of distinct names among %s%s, not %r" % (key, names, nullable, error.instance)
    return "%s: %s" % (key or "config", error.message)


# A number as YAML or PLINK users write it: YAML 1.1, which Snakemake reads
# config files with, takes 1e-6 and 1E-6 (no dot) for text.
NUMBER = re.compile(r"^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$")


def _number(text, types):
    """The number a text stands for where the key takes one, or None."""
    if not NUMBER.match(text.strip()):
        return None
    value = float(text)
    if "number" in types:
        return value
    if "integer" in types and value.is_integer():
        return int(value)
    return None


def normalize(config, schema):
    """Values given on the command line (snakemake --config key=value) come as
    text, and YAML takes numbers such as 1e-6 for text: true and false (in
    any case) become booleans for boolean keys, null (in any case) becomes
    null for keys that may be null, and numbers become numbers for keys that
    take one. A whole number written with a point (200.0), which the schema
    takes for an integer, becomes an integer for integer keys, as the
    programs the value is passed to read it so."""
    for key, value in list(config.items()):
        sub = schema.get("properties", {}).get(key)
        if sub is None:
            continue
        types = _types(sub)
        if isinstance(value, float) and "integer" in types and "number" not in types and value.is_integer():
            config[key] = int(value)
        if not isinstance(value, str):
            continue
        if "boolean" in types and value.lower() in ("true", "false"):
            config[key] = value.lower() == "true"
        elif "null" in types and value.lower() == "null":
            config[key] = None
        elif _number(value, types) is not None:
            config[key] = _number(value, types)


# Keys read only with imputation, only with target imputation, and only with
# a population panel.
IMPUTATION_ONLY = (
    "folds",
    "holdout",
    "seed",
    "evaluate_tags",
    "judged_methods",
    "genetic_map",
    "beagle",
    "beagle_threads",
    "beagle_mem_mb",
    "chunk_mb",
    "flank_mb",
)
TARGET_ONLY = ("imputed_r2", "imputed_share")
PANEL_ONLY = ("sample_column", "population_column")


def ignored(config, given):
    """Warnings for the keys of `given` (those the user's config names) that
    the rest of `config` leaves unused, so that a run never seems to follow
    a setting it does not."""
    out = []
    if not config["imputation"]:
        unused = [k for k in IMPUTATION_ONLY if k in given and config[k] is not None]
        out += ["%s is used only with imputation: true; it is ignored" % k for k in unused]
    elif config["holdout"] is not None and "folds" in given:
        out.append(
            "folds is not used with holdout, which imputes the held-out people from all the others; it is ignored"
        )
    if config["target"] != "imputation":
        out += ["%s is used only with target: imputation; it is ignored" % k for k in TARGET_ONLY if k in given]
    if config["population_panel"] is None:
        out += ["%s is used only with population_panel; it is ignored" % k for k in PANEL_ONLY if k in given]
    if config["clustering_command"] != BUILTIN and "minimum_time_limit" in given:
        out.append("minimum_time_limit is used only with clustering_command %s; it is ignored" % BUILTIN)
    return out


def _misread(config):
    """Problems with a population name YAML reads as true, false or a
    number, not as it is written."""
    given = config.get("populations")
    names = [name for name in given if not isinstance(name, str)] if isinstance(given, dict) else []
    return [
        "populations: YAML reads a name as %r, not as text (as it reads NO, yes, off or 1): quote the name, as 'NO'"
        % (name,)
        for name in names
    ]


def check_config(config, schema_path):
    """Validates config against the schema and fills in its defaults;
    returns the warnings of keys given but ignored (ignored)."""
    import jsonschema

    with open(schema_path) as f:
        schema = yaml.safe_load(f)
    if not isinstance(config, dict):
        raise ConfigError("the config must be a mapping of keys to values")
    normalize(config, schema)
    errors = sorted(jsonschema.Draft7Validator(schema).iter_errors(config), key=lambda e: list(e.absolute_path))
    problems = []
    for key, value in config.items():
        sub = schema.get("properties", {}).get(key, {})
        if isinstance(value, float) and not math.isfinite(value) and {"number", "integer"} & set(_types(sub)):
            nullable = ", or null" if "null" in _types(sub) else ""
            problems.append("%s must be %s%s, not %r" % (key, _requirement(sub), nullable, value))
    for e in errors:
        line = _describe(e, schema)
        if line not in problems:
            problems.append(line)
    problems += _misread(config)
    if problems:
        raise ConfigError("\n".join(problems))
    named = set(config)  # the keys the user gave, before the defaults
    for key, sub in schema["properties"].items():
        if key not in config and "default" in sub:
            config[key] = sub["default"]
    if config["clustering_command"] is not None:
        config["clustering_command"] = config["clustering_command"].strip() or None
    given = [key for key in ("bfile", "vcf") if config.get(key) is not None]
    if not given:
        raise ConfigError("no genotypes: give bfile (PLINK filesets) or vcf (VCF files)")
    if len(given) == 2:
        raise ConfigError("bfile and vcf are both given: give the genotypes one way, not both")
    if config["populations"] is not None and config["population_panel"] is not None:
        raise ConfigError("populations and population_panel are both given: give the populations one way, not both")
    if config["max_tags"] is not None and config["clustering_command"] != BUILTIN:
        raise ConfigError(
            "max_tags needs clustering_command %s, whose maximum coverage chooses the budget's tags, not %r"
            % (BUILTIN, config["clustering_command"])
        )
    if has_populations(config) and config["clustering_command"] != BUILTIN:
        raise ConfigError(
            "populations need clustering_command %s, which chooses one set of tags for all of them, not %r"
            % (BUILTIN, config["clustering_command"])
        )
    _check_judged(config)
    return ignored(config, named) + _builtin_elsewhere(config)


def _builtin_elsewhere(config):
    """A warning when clustering_command runs this project's ldcluster by a
    path or with options: that is run as another program, without the
    Minimum, the budgets and populations."""
    command = config["clustering_command"]
    words = (command or "").split()
    if command == BUILTIN or not words or os.path.basename(words[0]) != BUILTIN:
        return []
    return [
        "clustering_command %r is run as another clustering program, which makes greedy and minimax tags only; "
        "for %s's Minimum, budgets and populations give clustering_command: %s, with the programs on PATH "
        "(and minimum_time_limit for its time limit)" % (command, BUILTIN, BUILTIN)
    ]


def pairwise_methods(config):
    """The pairwise methods of the run: ldcluster adds the Minimum."""
    return ("greedy", "minimax", "minimum") if config["clustering_command"] == BUILTIN else ("greedy", "minimax")


def tag_methods(config):
    """Every method that writes a tag list (results/<method>_tag_snps.txt)
    and its VCF: the pairwise ones, the budget's with max_tags, and the
    tags chosen for imputation with target imputation."""
    budget = ["budget_greedy", "budget_maximum"] if config["max_tags"] is not None else []
    chosen = [target.METHOD] if config["imputation"] and config["target"] == "imputation" else []
    return list(pairwise_methods(config)) + budget + chosen


def judged_methods(config):
    """The methods whose tags imputation judges: judged_methods, in the run's
    order, and always the tags chosen for imputation; null for all."""
    listed = config.get("judged_methods")
    if listed is None:
        return tag_methods(config)
    return [m for m in tag_methods(config) if m in listed or m == target.METHOD]


def _check_judged(config):
    listed = config["judged_methods"]
    if listed is None or not config["imputation"]:
        return
    absent = [m for m in listed if m not in tag_methods(config)]
    if absent:
        raise ConfigError(
            "judged_methods lists %s, which this run does not make: minimum needs clustering_command %s, "
            "budget_greedy and budget_maximum need max_tags" % (", ".join(absent), BUILTIN)
        )
    if not judged_methods(config) and config["evaluate_tags"] is None:
        raise ConfigError(
            "judged_methods is empty and there is neither target imputation nor evaluate_tags: imputation would "
            "judge no set of tags"
        )


def has_populations(config):
    return config.get("populations") is not None or config.get("population_panel") is not None


# The files the config names.


def path_list(value):
    return [] if value is None else [value] if isinstance(value, str) else list(value)


def vcf_imports(config):
    """Name -> path of each VCF the config names, in config order."""
    return vcf.imports(path_list(config.get("vcf")))


def filesets(config):
    """The PLINK filesets the workflow reads: bfile's, or those the VCFs
    are converted into."""
    if config.get("vcf") is not None:
        return [paths.VCF_FILESET.format(vcf=name) for name in vcf_imports(config)]
    return path_list(config["bfile"])


def _unreadable(path):
    """Why a file cannot be read, or None."""
    try:
        with open(path, "rb") as f:
            f.read(1)
    except OSError as e:
        return e.strerror
    return None


def file_problem(path):
    """What keeps a file the config names from being read, or None. A
    relative path is taken from the folder snakemake runs in, and the
    message says so."""
    problem = None
    if not os.path.exists(path):
        problem = "%s does not exist" % path
    elif not os.path.isfile(path):
        problem = "%s is not a file" % path
    else:
        reason = _unreadable(path)
        problem = "%s cannot be read: %s" % (path, reason) if reason else None
    if problem and not os.path.isabs(path):
        problem += " (a relative path is taken from the folder snakemake runs in, %s)" % os.getcwd()
    return problem


def _braced(config):
    """Problems with paths that hold a brace, which Snakemake would read as
    a wildcard."""
    named = [(key, path) for key in ("bfile", "vcf") + FILE_KEYS for path in path_list(config.get(key))]
    named += [("populations", path) for path in (config.get("populations") or {}).values()]
    return [
        "%s: %s has a brace, which Snakemake would read as a wildcard: rename or link it without" % (key, path)
        for key, path in named
        if "{" in path or "}" in path
    ]


def check_files(config):
    problems = _braced(config)
    for prefix in path_list(config.get("bfile")):
        if prefix.endswith((".bed", ".bim", ".fam")) and not os.path.exists(prefix + ".bed"):
            problems.append("bfile %s: give the fileset's path without .bed, .bim or .fam (%s)" % (prefix, prefix[:-4]))
            continue
        for ext in (".bed", ".bim", ".fam"):
            problem = file_problem(prefix + ext)
            if problem:
                problems.append("bfile %s: %s" % (prefix, problem))
    for path in path_list(config.get("vcf")):
        problem = file_problem(path)
        if problem:
            problems.append("vcf: %s" % problem)
    for key in FILE_KEYS:
        problem = config.get(key) is not None and file_problem(config[key])
        if problem:
            problems.append("%s: %s" % (key, problem))
    for name, path in (config.get("populations") or {}).items():
        problem = file_problem(path)
        if problem:
            problems.append("population %s: %s" % (name, problem))
    if problems:
        raise ConfigError("\n".join(problems))


def list_paths(config):
    """Key -> path of each list the config names (None when not set)."""
    return {key: config.get(key) for key in lists.KEYS}


def check_programs(config):
    """Raises MissingPrograms unless every program the run needs is on PATH."""
    builtin = (BUILTIN,) if config["clustering_command"] == BUILTIN else ()
    missing = [p for p in PROGRAMS + builtin if shutil.which(p) is None]
    if missing:
        raise MissingPrograms(
            "cannot find %s on PATH: build the project and put its programs on PATH "
            "(see the README), or install the package" % ", ".join(missing)
        )
    if shutil.which(config["plink"]) is None:
        raise MissingPrograms(
            "cannot find %s on PATH, which the config's plink names: give PLINK 1.9's command (Debian's "
            "plink1.9, the default)" % config["plink"]
        )
    if config.get("imputation"):
        missing = [p for p in (shlex.split(config["beagle"])[0], "bcftools") if shutil.which(p) is None]
        if missing:
            raise MissingPrograms(
                "imputation: true needs Beagle 5.4 and bcftools (Debian's beagle and bcftools): cannot find %s "
                "on PATH" % ", ".join(missing)
            )


# The cache of what the genotypes gave.


def _cache_key(config):
    """What a cached Setup depends on: the files the config names, by size
    and modification time, and the keys that name them."""
    named = [prefix + ext for prefix in path_list(config.get("bfile")) for ext in (".bed", ".bim", ".fam")]
    named += path_list(config.get("vcf"))
    named += [config[key] for key in lists.KEYS + ("population_panel",) if config.get(key) is not None]
    named += [config[key] for key in imputation.FILE_KEYS if config.get(key) is not None]
    named += list((config.get("populations") or {}).values())
    stats = []
    for path in named:
        st = os.stat(path)
        stats.append([os.path.abspath(path), st.st_size, st.st_mtime_ns])
    keys = ["bfile", "vcf", "populations", "population_panel", "sample_column", "population_column", "threshold"]
    return [CACHE_VERSION, stats, [config.get(k) for k in keys + list(lists.KEYS) + list(imputation.KEYS)]]


def _load_cache(path, key):
    try:
        with open(path) as f:
            cached = json.load(f)
    except (OSError, ValueError):
        return None
    if cached.get("key") != key:
        return None
    setup = Setup(
        min_threshold=cached["min_threshold"],
        warnings=cached["warnings"],
        populations=cached["populations"],
        people=cached["people"],
    )
    setup.chromosomes = {c["label"]: genotypes.Chromosome(**c) for c in cached["chromosomes"]}
    return setup


def _save_cache(path, key, setup):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    data = {
        "key": key,
        "min_threshold": setup.min_threshold,
        "warnings": setup.warnings,
        "populations": setup.populations,
        "people": setup.people,
        "chromosomes": [asdict(c) for c in setup.chromosomes.values()],
    }
    partial = "%s.%d.partial" % (path, os.getpid())  # jobs of a cluster may write it at once
    with open(partial, "w") as f:
        json.dump(data, f)
    os.replace(partial, path)


def _read_genotypes(config, setup):
    """The chromosomes, the SNP names (None for VCFs, whose names wait for
    their conversion) and each fileset's samples."""
    if config.get("vcf") is not None:
        imports = vcf_imports(config)
        setup.chromosomes, people, problems = vcf.scan_all(imports, lambda n: paths.VCF_FILESET.format(vcf=n))
        names = None
        sexed = [label for label in setup.chromosomes if label in ("X", "Y")]
        if sexed:
            setup.warnings.append(
                "vcf: chromosome %s: a VCF gives no one's sex, so PLINK reads a haploid call as two alleles alike "
                "(on X a man's allele counts twice in the MAFs) and leaves every call on Y missing; for these "
                "chromosomes give a PLINK fileset as bfile, converted with each person's sex (plink --vcf FILE "
                "--update-sex SEXES --make-bed)" % " and ".join(sexed)
            )
    else:
        try:
            setup.chromosomes, names, people, problems = genotypes.scan(filesets(config))
        except FormatError as e:
            raise ConfigError(str(e))
        if not problems and not setup.chromosomes:
            problems = ["bfile: the genotypes hold no SNPs"]
    if len({frozenset(samples) for samples in people.values()}) > 1:
        setup.warnings.append(_different_people(people, vcf_imports(config) if names is None else None))
    if problems:
        raise ConfigError("\n".join(dict.fromkeys(problems)))
    return names, people


def _different_people(people, imports):
    """The warning when the filesets (converted from VCFs when `imports`,
    name -> path, is given) hold different people."""
    key, kind, where = "bfile", "fileset", {}
    if imports:
        key, kind = "vcf", "file"
        where = {paths.VCF_FILESET.format(vcf=name): path for name, path in imports.items()}
    counts = ", ".join("%s: %d" % (where.get(f, f), len(samples)) for f, samples in people.items())
    return (
        "%s's %ss hold different people (%s): each chromosome's LD is measured in its own %s's people, and the "
        "run's people counts are the first %s's" % (key, kind, counts, kind, kind)
    )


def _founders(groups, parents, warnings):
    """The problems of groups of people (population, or everyone -> their
    (family id, sample id)) with fewer than two to measure LD in, and a
    warning for those where PLINK leaves out people whose parents are both
    in the group. `parents`: as genotypes.parents() gives them."""
    problems = []
    for name, people in groups.items():
        children = genotypes.children(parents, people)
        founders = len(people) - len(children)
        where = "the genotypes" if name == populations.EVERYONE else "population %s" % name
        if founders < 2:
            left = ", once the %d with both parents among them are left out as PLINK does," % len(children)
            problems.append(
                "%s: %d %s to measure LD in%s and it needs at least 2"
                % (where, founders, files.plural(founders, "person", "people"), left if children else "")
            )
        elif children:
            warnings.append(
                "%s: %d of the %d people %s both parents among them (%s); PLINK measures LD and allele "
                "frequencies in the other %d alone"
                % (
                    where,
                    len(children),
                    len(people),
                    files.plural(len(children), "has", "have"),
                    files.some_names([" ".join(c) for c in children]),
                    founders,
                )
            )
    return problems


def _read_populations(config, setup, people, parents):
    try:
        found, where = populations.read(config, people)
    except FormatError as e:
        raise ConfigError(str(e))
    if found:
        imports = vcf_imports(config)
        name_of = (lambda fileset: imports[os.path.basename(fileset)]) if imports else (lambda f: f + ".fam")
        problems = populations.check(found, where, people, name_of)
        if problems:
            raise ConfigError("\n".join(problems))
        setup.populations = list(found)
        groups = {name: [sample for _, sample in records] for name, records in found.items()}
    else:
        groups = {populations.EVERYONE: next(iter(people.values()))}
    problems = _founders(groups, parents, setup.warnings)
    if problems:
        raise ConfigError("\n".join(problems))
    setup.people = {name: len(group) for name, group in groups.items()}
    few = {name: n for name, n in setup.people.items() if n < FEW_PEOPLE}
    if few:
        setup.warnings.append(
            "LD from fewer than %d people is mostly chance, and its tags with it: %s"
            % (FEW_PEOPLE, ", ".join("%s %d" % (name, n) for name, n in few.items()))
        )


def _check_imputation(config, setup, people, names):
    """The imputation keys against the people and the SNPs (imputation.py)."""

    def known():
        if names is not None:
            return names
        from . import vcf_sites

        return {n for path in vcf_imports(config).values() for n in vcf_sites.names(path)}

    same = len({tuple(samples) for samples in people.values()}) <= 1
    problems = imputation.check_config(config, setup.people, known, list(setup.chromosomes), same)
    if problems:
        raise ConfigError("\n".join(problems))


def _relatives(parents):
    """The warning, with imputation, when people have a parent among the
    genotypes: imputed from a parent or a child, a held-out person does
    better than a stranger would."""
    related = [" ".join(p) for p, (father, mother) in parents.items() if father in parents or mother in parents]
    if not related:
        return []
    return [
        "imputation: %d %s a parent among the genotypes (%s): a held-out person imputed from a parent or child "
        "does better than a stranger would, which flatters the figures; for honest ones leave the children out "
        "(plink --filter-founders)"
        % (len(related), files.plural(len(related), "person has", "people have"), files.some_names(related))
    ]


def prepare(config, schema_path, cache_path=None):
    """Checks everything; returns the Setup. What the genotypes and lists
    give is taken from the cache file at `cache_path` while the files are
    unchanged, and saved there otherwise."""
    unused = check_config(config, schema_path)
    check_files(config)
    key = _cache_key(config)
    setup = _load_cache(cache_path, key) if cache_path else None
    if setup is None:
        setup = _setup(config, cache_path, key)
    return replace(setup, warnings=unused + setup.warnings)


def _setup(config, cache_path, key):
    """What the genotypes and lists give, saved at `cache_path` with `key`."""
    setup = Setup()
    names, people = _read_genotypes(config, setup)
    setup.min_threshold = config["threshold"]
    if config["thresholds_file"] is not None:
        try:
            values = [float(v) for v in lists.thresholds(config["thresholds_file"]).values()]
        except FormatError as e:
            raise ConfigError("thresholds_file %s" % e)
        setup.min_threshold = min([setup.min_threshold] + values)
    if names is not None:
        try:
            setup.warnings += lists.warnings(list_paths(config), names, "in the genotypes")
        except FormatError as e:
            raise ConfigError(str(e))
    try:
        setup.warnings += lists.both(list_paths(config))
    except FormatError as e:
        raise ConfigError(str(e))
    # The first fileset's parents (a VCF names none): the run's people
    # counts are the first fileset's.
    parents = genotypes.parents(next(iter(people)) + ".fam") if names is not None else {}
    _read_populations(config, setup, people, parents)
    _check_imputation(config, setup, people, names)
    if config["imputation"]:
        setup.warnings += _relatives(parents)
    if cache_path:
        _save_cache(cache_path, key, setup)
    return setup
