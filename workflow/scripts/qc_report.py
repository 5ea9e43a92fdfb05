"""Rule qc_report: what quality control did per chromosome, and the warnings
about names and records it left out (ldtag.qc.write_report)."""
from ldtag import config, files, populations, qc

files.log_to(snakemake.log[0])
qc.write_report(
    snakemake.input.raw,
    snakemake.params.chromosomes,
    populations.names(snakemake.input.populations),
    config.list_paths(snakemake.config),
    dict(zip(snakemake.params.vcfs, snakemake.input.vcf)),
    snakemake.output.report,
    snakemake.output.warnings,
)
