"""Rule population_samples: the populations and their people, written once
(results/populations.tsv), with each population's samples as PLINK's --keep
reads them (ldtag.populations)."""
from ldtag import files, genotypes, populations

files.log_to(snakemake.log[0])
people = {fam: genotypes.samples(fam) for fam in snakemake.input.fam}
found, _ = populations.read(snakemake.config, people)
populations.write(found, len(next(iter(people.values()))), snakemake.output.table, snakemake.output.keep_all)
