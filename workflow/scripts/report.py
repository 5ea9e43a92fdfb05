#!/usr/bin/python3
"""Rule report: the report of the run, HTML pages that open from disk
(ldtag.report).

    report.py --inputs KEY=FILE... --config JSON --engine VERSION
        --report FILE --pages CHROMOSOME=FILE... --log FILE

--inputs names the rule's inputs (summary, coverage, regions, qc, warnings,
overview, populations, and those the run has: held_out, curve, curve_plot,
budget_summary, budget_coverage); --config is the run's config as JSON.
"""
import argparse
import json

from ldtag import files, report


class Inputs(dict):
    """The rule's inputs by name, read as attributes too."""

    def __getattr__(self, name):
        try:
            return self[name]
        except KeyError:
            raise AttributeError(name) from None


def main():
    parser = argparse.ArgumentParser(prog="report.py", description=__doc__.split("\n\n")[0])
    for option in ("--config", "--engine", "--report", "--log"):
        parser.add_argument(option, required=True)
    parser.add_argument("--inputs", nargs="+", required=True, help="each input as KEY=FILE")
    parser.add_argument("--pages", nargs="+", required=True, help="each chromosome's page as CHROMOSOME=FILE")
    args = parser.parse_args()
    files.log_to(args.log)
    config = json.loads(args.config)
    inputs = Inputs(files.key_files(args.inputs))
    versions = {
        "PLINK": report.version([config["plink"], "--version"]),
        "Snakemake": args.engine,
        "ldtag": report.version(["ldprune", "--version"]),
    }
    report.write(args.report, inputs, config["plots"], config, versions, files.key_files(args.pages))


if __name__ == "__main__":
    main()
