#!/usr/bin/python3
"""Rule cluster_region: a region's clustering, joiners and coverage, in its
folder (ldtag.chain.cluster).

    cluster_region.py --region NAME --folder DIR --logs DIR --methods METHOD...
        --clustering ldcluster --time-limit S --chromosome LABEL --populations TABLE
        [--budget]
    cluster_region.py ... --clustering command --command CMD
    cluster_region.py ... --clustering none

ldcluster is this project's clustering program; a command runs another one
in the region's folder; none joins results put in place by hand. With
populations (the populations table names them), the chain's folders are
theirs in the region's folder.
"""
import argparse
import sys

from ldtag import chain, populations


def main():
    parser = argparse.ArgumentParser(prog="cluster_region.py", description=__doc__.split("\n\n")[0])
    for option in ("--region", "--folder", "--logs"):
        parser.add_argument(option, required=True)
    parser.add_argument("--methods", nargs="+", required=True)
    parser.add_argument("--clustering", choices=("ldcluster", "command", "none"), required=True)
    parser.add_argument("--time-limit")
    parser.add_argument("--chromosome")
    parser.add_argument("--command")
    parser.add_argument("--populations", required=True, help="the populations table")
    parser.add_argument("--budget", action="store_true", help="keep what a slot budget's job needs")
    args = parser.parse_args()
    argument = {
        "ldcluster": ["--time-limit", args.time_limit, "--chromosome", args.chromosome],
        "command": args.command,
        "none": None,
    }[args.clustering]
    try:
        names = populations.names(args.populations)
        clustering = (args.clustering, argument)
        chain.cluster(args.region, args.folder, args.logs, clustering, args.methods, names, args.budget)
    except chain.Failed as e:
        sys.exit(str(e))


if __name__ == "__main__":
    main()
