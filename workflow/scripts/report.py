"""Rule report: the report of the run, HTML pages that open from disk
(ldtag.report)."""
import snakemake as engine

from ldtag import files, report

files.log_to(snakemake.log[0])
config = dict(snakemake.config)
report.write(
    snakemake.output.report,
    snakemake.input,
    config["plots"],
    config,
    {
        "PLINK": report.version([config["plink"], "--version"]),
        "Snakemake": engine.__version__,
        "ldtag": report.version(["ldprune", "--version"]),
    },
    dict(zip(snakemake.params.chromosomes, snakemake.output.pages)),
)
