"""The config and the files it names, checked before any job starts.

The Snakefile calls prepare() while it is read. It validates the config
against the schema (filling in defaults), checks that every file the config
names exists and can be read, reads the genotypes (the filesets' chromosomes,
SNP names, samples, and whether each .bed has the size its .bim and .fam
give; or each VCF's samples and chromosomes), the thresholds file and the
populations' sample files, and returns what the rules need. Every problem
found is reported at once, as a ConfigError with one line per problem. The
checks of the SNP lists against the genotypes are warnings; for a VCF they
wait for its conversion, which names the SNPs (qc_report.py).

Reading every .bim or VCF takes time on a whole genome, and Snakemake reads
the Snakefile again in every cluster job, so what the genotypes gave is kept
in a cache file, used again while the files it was made from are unchanged.
"""
import collections
import json
import os
import re
import shlex
import shutil
from dataclasses import asdict, dataclass, field

import yaml

import formats
import imputation
import vcf

SHOWN_NAMES = 5  # names quoted in a warning about many names
PROGRAMS = ("ldprep", "ldprune", "memberjoin1", "memberjoin2")
BUILTIN = "ldcluster"  # the clustering_command that runs this project's clustering program
LIST_KEYS = ("thresholds_file", "done_file", "undesirable_file")
CACHE_VERSION = 2
VCF_FOLDER = "results/vcf"  # where a VCF's PLINK fileset is written


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
    populations: list = field(default_factory=list)  # names, in config order; none for all samples as one


def _types(sub):
    types = sub.get("type", [])
    return types if isinstance(types, list) else [types]


def _requirement(sub):
    """What the schema asks of a number-valued key, in words."""
    kind = "an integer" if sub.get("type") == "integer" else "a number"
    if "exclusiveMinimum" in sub:
        return "%s above %s" % (kind, sub["exclusiveMinimum"]) + (
            " and at most %s" % sub["maximum"] if "maximum" in sub else ""
        )
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
        if "string" in types:
            return "%s must be %s, not %r" % (key, "a text or null" if nullable else "a non-empty text", error.instance)
    return "%s: %s" % (key or "config", error.message)


def normalize(config, schema):
    """Values given on the command line (snakemake --config key=value) come as
    text: true and false (in any case) become booleans for boolean keys, and
    null (in any case) becomes null for keys that may be null."""
    for key, value in list(config.items()):
        sub = schema.get("properties", {}).get(key)
        if sub is None or not isinstance(value, str):
            continue
        types = _types(sub)
        if "boolean" in types and value.lower() in ("true", "false"):
            config[key] = value.lower() == "true"
        elif "null" in types and value.lower() == "null":
            config[key] = None


def check_config(config, schema_path):
    """Validates config against the schema and fills in its defaults."""
    import jsonschema

    with open(schema_path) as f:
        schema = yaml.safe_load(f)
    if not isinstance(config, dict):
        raise ConfigError("the config must be a mapping of keys to values")
    normalize(config, schema)
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
    given = [key for key in ("bfile", "vcf") if config.get(key) is not None]
    if not given:
        raise ConfigError("no genotypes: give bfile (PLINK filesets) or vcf (VCF files)")
    if len(given) == 2:
        raise ConfigError("bfile and vcf are both given: give the genotypes one way, not both")
    if config["populations"] is not None and config["clustering_command"] != BUILTIN:
        raise ConfigError(
            "populations need clustering_command %s, which chooses one set of tags for all of them, not %r"
            % (BUILTIN, config["clustering_command"])
        )


def _paths(value):
    return [] if value is None else [value] if isinstance(value, str) else list(value)


def vcf_imports(config):
    """Name -> VCF path of each VCF, in config order; the name, made from
    the file's name, is that of its PLINK fileset in VCF_FOLDER."""
    names = {}
    for path in _paths(config.get("vcf")):
        stem = os.path.basename(path)
        for suffix in (".gz", ".bgz", ".vcf"):
            if stem.endswith(suffix) and len(stem) > len(suffix):
                stem = stem[: -len(suffix)]
        stem = re.sub(r"[^A-Za-z0-9_.-]", "_", stem)
        name, number = stem, 1
        while name in names:
            number += 1
            name = "%s_%d" % (stem, number)
        names[name] = path
    return names


def filesets(config):
    """The PLINK filesets the workflow reads: bfile's, or those the VCFs
    are converted into."""
    if config.get("vcf") is not None:
        return ["%s/%s" % (VCF_FOLDER, name) for name in vcf_imports(config)]
    return _paths(config["bfile"])


def chromosome_label(code):
    return code[3:] if code.lower().startswith("chr") and len(code) > 3 else code


def _unreadable(path):
    """Why a file cannot be read, or None."""
    try:
        with open(path, "rb") as f:
            f.read(1)
    except OSError as e:
        return e.strerror
    return None


def _file_problem(path):
    """What keeps a file the config names from being read, or None."""
    if not os.path.exists(path):
        return "%s does not exist" % path
    if not os.path.isfile(path):
        return "%s is not a file" % path
    reason = _unreadable(path)
    return "%s cannot be read: %s" % (path, reason) if reason else None


def check_files(config):
    problems = []
    for prefix in _paths(config.get("bfile")):
        for ext in (".bed", ".bim", ".fam"):
            problem = _file_problem(prefix + ext)
            if problem:
                problems.append("bfile %s: %s" % (prefix, problem))
    for path in _paths(config.get("vcf")):
        problem = _file_problem(path)
        if problem:
            problems.append("vcf: %s" % problem)
    for key in LIST_KEYS:
        problem = config.get(key) is not None and _file_problem(config[key])
        if problem:
            problems.append("%s: %s" % (key, problem))
    for name, path in (config.get("populations") or {}).items():
        problem = _file_problem(path)
        if problem:
            problems.append("population %s: %s" % (name, problem))
    for key in imputation.FILE_KEYS:
        problem = config.get(key) is not None and _file_problem(config[key])
        if problem:
            problems.append("%s: %s" % (key, problem))
    if problems:
        raise ConfigError("\n".join(problems))


def read_samples(fam):
    """(family id, sample id) of each person of a .fam file; each line needs
    its six fields."""
    samples = []
    with open(fam, "rb") as f:
        for number, line in enumerate(f, 1):
            fields = line.decode("utf-8", errors="surrogateescape").split()
            if not fields:
                continue
            if len(fields) != 6:
                raise ConfigError(
                    "%s: line %d: expected 6 fields (family, person, father, mother, sex, phenotype), "
                    "found %d" % (fam, number, len(fields))
                )
            samples.append((fields[0], fields[1]))
    return samples


def check_bed(prefix, snps, samples):
    """A .bed must be PLINK 1's SNP-major file of `snps` x `samples`."""
    path = prefix + ".bed"
    size = os.path.getsize(path)
    with open(path, "rb") as f:
        magic = f.read(3)
    if magic != b"\x6c\x1b\x01":
        return "%s is not a PLINK 1 binary genotype file in SNP-major order (its first bytes are %s)" % (
            path,
            magic.hex(" ") or "missing",
        )
    expected = 3 + snps * ((samples + 3) // 4)
    if size != expected:
        return (
            "%s holds %d bytes, but %s.bim lists %d SNPs and %s.fam %d people, which take %d bytes: the three "
            "files do not belong together" % (path, size, prefix, snps, prefix, samples, expected)
        )
    return None


def plink_code(code):
    """A VCF's chromosome code as PLINK writes it in the converted .bim
    (--output-chr MT): without "chr", X, Y, XY and MT in capitals."""
    code = code[3:] if code.lower().startswith("chr") else code
    code = code.upper()
    return "MT" if code == "M" else code


def scan_vcfs(config):
    """The chromosomes of the VCFs, in file order, and each converted
    fileset's samples, as PLINK keeps them whole: (id, id)."""
    chromosomes, samples, problems = {}, {}, []
    for name, path in vcf_imports(config).items():
        fileset = "%s/%s" % (VCF_FOLDER, name)
        try:
            found = vcf.scan(path)
        except formats.FormatError as e:
            problems.append("vcf: %s" % e)
            continue
        unknown = [c for c in found.chromosomes if not vcf.HUMAN.match(c)]
        if unknown:
            problems.append(
                "vcf %s: chromosome code%s %s %s not one PLINK reads (1-26, X, Y, XY, MT, with or without "
                '"chr"): leave %s records out of the VCF'
                % (
                    path,
                    "s" if len(unknown) > 1 else "",
                    some_names(unknown),
                    "are" if len(unknown) > 1 else "is",
                    "their" if len(unknown) > 1 else "its",
                )
            )
        if found.records == found.kinds["multiallelic"].records + found.kinds["not_snp"].records:
            problems.append("vcf %s holds no record that is a SNP with two alleles" % path)
        spaced = [s for s in found.samples if not s or re.search(r"\s", s)]
        if spaced:
            problems.append("vcf %s: sample ids with white space cannot pass to PLINK: %r" % (path, spaced[0]))
        twice = [s for s, n in collections.Counter(found.samples).items() if n > 1]
        if twice:
            problems.append("vcf %s: sample %s is in the header more than once" % (path, twice[0]))
        for code in found.chromosomes:
            if vcf.HUMAN.match(code):
                plink = plink_code(code)
                known = chromosomes.get(plink)
                if known is None:
                    chromosomes[plink] = Chromosome(plink, plink, fileset)
                elif known.fileset != fileset:
                    problems.append(
                        "chromosome %s is in %s and in %s: give each chromosome once"
                        % (plink, vcf_imports(config)[os.path.basename(known.fileset)], path)
                    )
        samples[fileset] = [(s, s) for s in found.samples]
    if problems:
        raise ConfigError("\n".join(dict.fromkeys(problems)))
    return chromosomes, samples


def scan_genotypes(prefixes):
    """The chromosomes of the filesets, in file order, every SNP name, each
    fileset's samples, and the problems found in them."""
    chromosomes, names, problems, samples = {}, set(), [], {}
    for prefix in prefixes:
        path = prefix + ".bim"
        snps = 0
        try:
            for number, code, name, _ in formats.bim(path):
                snps += 1
                names.add(name)
                label = chromosome_label(code)
                known = chromosomes.get(label)
                if known is None:
                    if not re.match(r"^[A-Za-z0-9_.-]+$", label):
                        problems.append("%s: line %d: chromosome code %r cannot name files" % (path, number, code))
                        continue
                    chromosomes[label] = Chromosome(label, code, prefix)
                elif known.fileset != prefix or known.code != code:
                    problems.append(
                        "chromosome %s is in %s.bim as %r and in %s as %r: give each chromosome once"
                        % (label, known.fileset, known.code, path, code)
                    )
                    chromosomes[label] = Chromosome(label, code, prefix)
        except formats.FormatError as e:
            raise ConfigError(str(e))
        samples[prefix] = read_samples(prefix + ".fam")
        bed = check_bed(prefix, snps, len(samples[prefix]))
        if bed:
            problems.append(bed)
    if problems:
        raise ConfigError("\n".join(dict.fromkeys(problems)))
    if not chromosomes:
        raise ConfigError("bfile: the genotypes hold no SNPs")
    return chromosomes, names, samples


def read_thresholds(path):
    """name -> threshold text from the thresholds file; raises ConfigError."""
    try:
        return formats.thresholds(path)
    except formats.FormatError as e:
        raise ConfigError("thresholds_file %s" % e)


def list_names(config, key):
    """The names a list file gives, in order; none when the key is not set."""
    path = config.get(key)
    if path is None:
        return []
    try:
        words = formats.tokens(path)
    except formats.FormatError as e:
        raise ConfigError("%s: %s" % (key, e))
    return words[0::2] if key == "thresholds_file" else words


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
            warnings.append(
                "%s %s: %d names are not %s and are ignored: %s"
                % (key, config[key], len(missing), where, some_names(missing))
            )
    return warnings


def read_population(name, path):
    """(line number, (family id, sample id)) of each record of a population's
    sample file: a family id and a sample id, or one id that is both."""
    samples = []
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise ConfigError("population %s: %s cannot be read: %s" % (name, path, e.strerror))
    if data.startswith(formats.BOM):
        raise ConfigError("population %s: %s starts with a byte-order mark: save it as plain text" % (name, path))
    for number, line in enumerate(data.decode("utf-8", errors="surrogateescape").splitlines(), 1):
        fields = line.split()
        if not fields:
            continue
        if len(fields) > 2:
            raise ConfigError(
                "population %s: %s: line %d: expected a sample id, or a family id and a sample id, found %d "
                "fields" % (name, path, number, len(fields))
            )
        samples.append((number, (fields[0], fields[-1])))
    return samples


def _sample_text(sample):
    return sample[1] if sample[0] == sample[1] else "%s %s" % sample


def check_populations(populations, samples, vcfs=None):
    """Every population lists samples, each sample once over all of them,
    and each is in every fileset's samples (`samples`: fileset -> list of
    (family id, sample id)); raises ConfigError naming every problem."""
    problems, first = [], {}
    known = {fileset: set(people) for fileset, people in samples.items()}
    for name, path in populations.items():
        records = read_population(name, path)
        if not records:
            problems.append("population %s: %s lists no sample" % (name, path))
        for number, sample in records:
            if sample in first:
                other, other_path, other_number = first[sample]
                problems.append(
                    "sample %s is listed twice: population %s (%s, line %d) and population %s (%s, line %d)"
                    % (_sample_text(sample), other, other_path, other_number, name, path, number)
                )
            else:
                first[sample] = (name, path, number)
        for fileset, people in known.items():
            missing = [_sample_text(s) for _, s in records if s not in people]
            if missing:
                where = vcfs[os.path.basename(fileset)] if vcfs else fileset + ".fam"
                problems.append(
                    "population %s: %s: %d sample%s not in the genotypes (%s): %s"
                    % (name, path, len(missing), " is" if len(missing) == 1 else "s are", where, some_names(missing))
                )
    if problems:
        raise ConfigError("\n".join(problems))


def check_programs(config):
    """Raises MissingPrograms unless every program the run needs is on PATH."""
    builtin = (BUILTIN,) if config["clustering_command"] == BUILTIN else ()
    missing = [p for p in PROGRAMS + builtin + (config["plink"],) if shutil.which(p) is None]
    if missing:
        raise MissingPrograms(
            "cannot find %s on PATH: build the project and put its programs on PATH "
            "(see the README), or install the package; PLINK 1.9 is Debian's plink1.9" % ", ".join(missing)
        )
    if config.get("imputation"):
        missing = [p for p in (shlex.split(config["beagle"])[0], "bcftools") if shutil.which(p) is None]
        if missing:
            raise MissingPrograms(
                "imputation: true needs Beagle 5.4 and bcftools (Debian's beagle and bcftools): cannot find %s "
                "on PATH" % ", ".join(missing)
            )


def _cache_key(config):
    """What a cached Setup depends on: the files the config names, by size
    and modification time, and the keys that name them."""
    files = [prefix + ext for prefix in _paths(config.get("bfile")) for ext in (".bed", ".bim", ".fam")]
    files += _paths(config.get("vcf"))
    files += [config[key] for key in LIST_KEYS if config[key] is not None]
    files += list((config.get("populations") or {}).values())
    files += [config[key] for key in imputation.FILE_KEYS if config.get(key) is not None]
    stats = []
    for path in files:
        st = os.stat(path)
        stats.append([os.path.abspath(path), st.st_size, st.st_mtime_ns])
    keys = [config.get("bfile"), config.get("vcf"), config.get("populations"), config["threshold"]]
    keys += [config.get(k) for k in imputation.KEYS]
    return [CACHE_VERSION, stats, keys + [config[k] for k in LIST_KEYS]]


def _load_cache(path, key):
    try:
        with open(path) as f:
            cached = json.load(f)
    except (OSError, ValueError):
        return None
    if cached.get("key") != key:
        return None
    setup = Setup(min_threshold=cached["min_threshold"], warnings=cached["warnings"], populations=cached["populations"])
    setup.chromosomes = {c["label"]: Chromosome(**c) for c in cached["chromosomes"]}
    return setup


def _save_cache(path, key, setup):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    data = {
        "key": key,
        "min_threshold": setup.min_threshold,
        "warnings": setup.warnings,
        "populations": setup.populations,
        "chromosomes": [asdict(c) for c in setup.chromosomes.values()],
    }
    partial = "%s.%d.partial" % (path, os.getpid())  # jobs of a cluster may write it at once
    with open(partial, "w") as f:
        json.dump(data, f)
    os.replace(partial, path)


def check_imputation(config, samples, names, setup):
    """(problems, warnings) of the imputation keys (imputation.py)."""
    if config["populations"] is not None:
        groups = {name: len(read_population(name, path)) for name, path in config["populations"].items()}
    else:
        groups = {imputation.ALL: len(next(iter(samples.values()), []))}

    def known():
        if names is not None:
            return names
        import vcf_sites

        return {n for path in vcf_imports(config).values() for n in vcf_sites.names(path)}

    same = len({tuple(people) for people in samples.values()}) <= 1
    return imputation.check_config(config, groups, known, list(setup.chromosomes), same)


def prepare(config, schema_path, cache_path=None):
    """Checks everything; returns the Setup. What the genotypes and lists
    give is taken from the cache file at `cache_path` while the files are
    unchanged, and saved there otherwise."""
    check_config(config, schema_path)
    check_files(config)
    key = _cache_key(config)
    setup = _load_cache(cache_path, key) if cache_path else None
    if setup is not None:
        return setup
    setup = Setup()
    names = None
    if config.get("vcf") is not None:
        setup.chromosomes, samples = scan_vcfs(config)
    else:
        setup.chromosomes, names, samples = scan_genotypes(filesets(config))
    setup.min_threshold = config["threshold"]
    if config["thresholds_file"] is not None:
        values = [float(v) for v in read_thresholds(config["thresholds_file"]).values()]
        setup.min_threshold = min([setup.min_threshold] + values)
    if names is not None:
        setup.warnings = list_warnings(config, names, "in the genotypes")
    if config["populations"] is not None:
        check_populations(config["populations"], samples, vcf_imports(config) if config.get("vcf") else None)
        setup.populations = list(config["populations"])
    problems, warnings = check_imputation(config, samples, names, setup)
    if problems:
        raise ConfigError("\n".join(problems))
    setup.warnings += warnings
    if cache_path:
        _save_cache(cache_path, key, setup)
    return setup
