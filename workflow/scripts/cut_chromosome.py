#!/usr/bin/python3
"""Rule cut_chromosome: a chromosome's regions, where the fewest tagging pairs
cross (ldtag.cuts).

    cut_chromosome.py --fileset PREFIX --chromosome LABEL --max-snps N --window-r2 R
        --threshold T [--thresholds FILE] --populations TABLE --regions FILE --pairs FILE
        --plink COMMAND --threads N --memory MB --log FILE [--keep]

PLINK's windowed scan gives the pairs that could share a region (at most
max_snps - 1 SNPs apart) and may tag (r² at least the lowest threshold);
with populations, a scan in each, on its samples and the SNPs that vary
there. The scans' tables are removed at the end unless --keep is given.
"""
import argparse

from ldtag import cuts, files, plink


def main():
    parser = argparse.ArgumentParser(prog="cut_chromosome.py", description=__doc__.split("\n\n")[0])
    for option in ("--fileset", "--chromosome", "--window-r2", "--regions", "--pairs", "--plink", "--log"):
        parser.add_argument(option, required=True)
    parser.add_argument("--max-snps", type=int, required=True)
    parser.add_argument("--threshold", type=float, required=True)
    parser.add_argument("--threads", required=True)
    parser.add_argument("--memory", required=True)
    parser.add_argument("--thresholds", nargs="?")
    parser.add_argument("--populations", required=True)
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    open(args.log, "w").close()
    settings = ((args.plink, args.threads, args.memory), args.max_snps, args.window_r2, args.threshold, args.thresholds)
    out = (args.regions, args.pairs)
    try:
        cuts.cut_chromosome(args.fileset, args.chromosome, settings, args.populations, out, args.log, args.keep)
    except plink.Failed as e:
        parser.exit(1, "%s\n" % e)
    except (OSError, files.FormatError) as e:
        parser.exit(1, "cut_chromosome.py: %s\n" % e)


if __name__ == "__main__":
    main()
