"""Rule merge_budget: the slot budget's genome-wide tables from every
region's share (ldtag.budget.write_tables)."""
from ldtag import budget, files, populations

files.log_to(snakemake.log[0])
regions = files.read_table(snakemake.input.regions)[1]
names = populations.names(snakemake.input.populations)
budget.write_tables(regions, names, snakemake.input.allocation, dict(snakemake.output.items()))
