"""Rule merge_results: the genome-wide tables, read a region at a time
(ldtag.merge)."""
import sys

from ldtag import files, merge, populations

files.log_to(snakemake.log[0])
try:
    merge.merge(
        snakemake.input.regions,
        snakemake.input.qc_warnings,
        dict(snakemake.output.items()),
        snakemake.params.methods,
        populations.names(snakemake.input.populations),
    )
except (merge.MergeError, files.FormatError) as e:
    sys.exit("ldtag: %s" % e)
