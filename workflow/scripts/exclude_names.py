"""Rule exclude_names: the SNPs whose names cannot pass through the programs
(ldtag.qc.excluded), as a report and as a list for PLINK's --exclude."""
from ldtag import files, qc

files.log_to(snakemake.log[0])
qc.write_excluded(snakemake.input.bims, snakemake.output.report, snakemake.output.names)
