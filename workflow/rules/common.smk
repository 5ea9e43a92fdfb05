# Config checks and the helpers the rules share.
import os
import re
import shlex
import sys

from snakemake.common import Mode
from snakemake.exceptions import WorkflowError
from snakemake.logging import logger

sys.path.insert(0, os.path.join(workflow.basedir, "scripts"))
import inputs  # noqa: E402
import tsvtable  # noqa: E402

try:
    SETUP = inputs.prepare(
        config,
        os.path.join(workflow.basedir, "schemas", "config.schema.yaml"),
        main_process=workflow.mode == Mode.default,
    )
except inputs.ConfigError as e:
    raise WorkflowError("The config cannot be used:\n" + str(e))
except inputs.MissingPrograms as e:
    raise WorkflowError(str(e))
except OSError as e:
    raise WorkflowError("The config cannot be used: %s" % e)
for line in SETUP.warnings:
    logger.warning("Warning: " + line)

CHROMOSOMES = list(SETUP.chromosomes)
CLUSTERING = config["clustering_command"] is not None
# ldcluster, this project's clustering program, also gives the Minimum result.
BUILTIN = config["clustering_command"] == inputs.BUILTIN
METHODS = ("greedy", "minimax", "minimum") if BUILTIN else ("greedy", "minimax")
RESULT_KINDS = tuple(
    "%s.%s" % (method.capitalize(), kind) for method in METHODS for kind in ("members.txt", "out")
)


wildcard_constraints:
    chrom="|".join(re.escape(c) for c in CHROMOSOMES) if CHROMOSOMES else "none",
    region=r"chr[^/]+_\d+",


def intermediate(path):
    """A large file that is deleted once no job needs it, unless kept."""
    return path if config["keep_intermediate"] else temp(path)


def processed_table(path):
    """ld_processed.txt is large, but it is the clustering program's input,
    and PLINK's r² matrix is what coverage and plots of its results read:
    they are kept when the user runs that program by hand."""
    return intermediate(path) if CLUSTERING else path


def abspath_or_none(key):
    """The absolute path a key names, quoted for the shell; None when unset."""
    return None if config[key] is None else shlex.quote(os.path.abspath(config[key]))


def plink_memory(mem_mb):
    """PLINK's workspace: half the job's memory, the rest for PLINK itself."""
    return max(64, mem_mb // 2)


def plink_shell(out, extra=""):
    """Runs PLINK on params.args and `extra` with its screen output dropped;
    on failure shows its errors."""
    return (
        "{config[plink]} {params.args} " + extra + " --allow-no-sex --threads {threads} "
        "--memory {params.memory} --out " + out + " > /dev/null "
        "|| {{ grep -h -A3 '^Error' " + out + ".log >&2; exit 1; }}"
    )


def region_dir(region):
    return "results/regions/" + region


def chromosome_of(region):
    """The chromosome label in a region's name, chr<label>_<number>."""
    return region[3:].rsplit("_", 1)[0]


def regions_of(chrom):
    """The rows of a chromosome's regions table; known once it is cut."""
    return tsvtable.read(checkpoints.cut_regions.get(chrom=chrom).output.regions)[1]


def region_row(region):
    for row in regions_of(chromosome_of(region)):
        if row["region"] == region:
            return row
    raise WorkflowError("no region %s in the regions table of chromosome %s" % (region, chromosome_of(region)))


def all_regions():
    return [row["region"] for chrom in CHROMOSOMES for row in regions_of(chrom)]


def result_files(region):
    return ["%s/Zentavor.result.%s" % (region_dir(region), kind) for kind in RESULT_KINDS]


def joined_tables(region):
    """The joiners' tables of a region, one per method."""
    return ["%s/%s_output.txt" % (region_dir(region), method) for method in METHODS]


def has_results(region):
    """True when the region's results come from the clustering command or
    have been put in place by hand."""
    return CLUSTERING or all(os.path.exists(f) for f in result_files(region))
