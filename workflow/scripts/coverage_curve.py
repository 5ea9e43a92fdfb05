"""Rule coverage_curve: the genome-wide greedy order of tags and the SNPs
they capture as the tags grow (results/coverage_curve.tsv), and with a slot
budget, its share per region (ldtag.budget)."""
import sys

from ldtag import budget, files, populations

files.log_to(snakemake.log[0])
regions = files.read_table(snakemake.input.regions)[1]
orders = budget.write_curve(regions, populations.names(snakemake.input.populations), snakemake.output.curve)
if snakemake.params.max_tags is not None:
    try:
        note = budget.write_allocation(regions, orders, snakemake.params.max_tags, snakemake.output.allocation)
    except budget.BudgetError as e:
        sys.exit("ldtag: %s" % e)
    if note:
        print("ldtag: %s" % note, file=sys.stderr)
