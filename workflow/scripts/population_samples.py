#!/usr/bin/python3
"""Rule population_samples: the populations and their people, written once
(results/populations.tsv), with each population's samples as PLINK's --keep
reads them (ldtag.populations).

    population_samples.py --fams FAM... --config JSON --table FILE [--keep-all FILE] --log FILE

--config holds the config's populations, population_panel, sample_column
and population_column, as JSON.
"""
import argparse
import json

from ldtag import files, genotypes, populations


def main():
    parser = argparse.ArgumentParser(prog="population_samples.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--fams", nargs="+", required=True)
    for option in ("--config", "--table", "--log"):
        parser.add_argument(option, required=True)
    parser.add_argument("--keep-all")
    args = parser.parse_args()
    files.log_to(args.log)
    people = {fam: genotypes.samples(fam) for fam in args.fams}
    found, _ = populations.read(json.loads(args.config), people)
    populations.write(found, len(next(iter(people.values()))), args.table, args.keep_all)


if __name__ == "__main__":
    main()
