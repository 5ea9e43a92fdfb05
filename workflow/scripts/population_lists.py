"""The lists of samples and SNPs that quality control with populations makes.

    population_lists.py samples --folder DIR --all FILE NAME=PATH...
        each population's samples as DIR/NAME.keep, and all of them as FILE,
        a family id and a sample id per line, as PLINK's --keep reads them
        (a record of one id stands for both);
    population_lists.py filters --bim BIM --code CODE --exclude NAMES --chromosome LABEL
        --populations NAME... --folder DIR --snps PREFIX --kept FILE --dropped FILE
        from PLINK's lists of the SNPs of chromosome CODE that pass each filter
        in each population (DIR/chr<LABEL>.<population>.{missing_ok,hwe_ok,varies}.snplist):
        the SNPs kept (passing missingness and HWE in every population and
        varying in at least one), per population those of them that vary there
        (PREFIX.<population>.snps), and a row per SNP left out and reason, with
        the populations where it failed.
"""
import argparse
import sys

import formats
import inputs

DROPPED_COLUMNS = ("chromosome", "snp", "reason", "populations")
# Reasons, in the order the table gives them.
MISSING, HWE, RARE = "missingness above max_missing", "HWE p-value below hwe_p", "MAF below min_maf everywhere"


def write_samples(folder, all_path, populations):
    """populations: (name, path) pairs."""
    everyone = []
    for name, path in populations:
        samples = [sample for _, sample in inputs.read_population(name, path)]
        everyone += samples
        with formats.written("%s/%s.keep" % (folder, name)) as partial, open(partial, "w") as f:
            f.writelines("%s %s\n" % sample for sample in samples)
    with formats.written(all_path) as partial, open(partial, "w") as f:
        f.writelines("%s %s\n" % sample for sample in everyone)


def read_list(path):
    with open(path) as f:
        return set(f.read().split())


def filters(candidates, lists, populations):
    """The SNPs kept, in order; per population those that vary there; and
    the rows of the SNPs left out. `lists[p]` holds population p's sets
    "missing_ok", "hwe_ok" and "varies"."""
    kept, varying, dropped = [], {p: [] for p in populations}, []
    for snp in candidates:
        failed = {
            reason: [p for p in populations if snp not in lists[p][kind]]
            for reason, kind in ((MISSING, "missing_ok"), (HWE, "hwe_ok"))
        }
        varies = [p for p in populations if snp in lists[p]["varies"]]
        reasons = [(reason, ",".join(where)) for reason, where in failed.items() if where]
        if not varies:
            reasons.append((RARE, ",".join(populations)))
        if reasons:
            dropped += [(snp, reason, where) for reason, where in reasons]
            continue
        kept.append(snp)
        for p in varies:
            varying[p].append(snp)
    return kept, varying, dropped


def write_filters(args):
    excluded = read_list(args.exclude)
    candidates = [name for _, code, name, _ in formats.bim(args.bim) if code == args.code and name not in excluded]
    lists = {
        p: {
            kind: read_list("%s/chr%s.%s.%s.snplist" % (args.folder, args.chromosome, p, kind))
            for kind in ("missing_ok", "hwe_ok", "varies")
        }
        for p in args.populations
    }
    kept, varying, dropped = filters(candidates, lists, args.populations)
    for p in args.populations:
        with formats.written("%s.%s.snps" % (args.snps, p)) as partial, open(partial, "w") as f:
            f.writelines(snp + "\n" for snp in varying[p])
    formats.write_table(args.dropped, DROPPED_COLUMNS, [(args.chromosome,) + row for row in dropped])
    with formats.written(args.kept) as partial, open(partial, "w") as f:
        f.writelines(snp + "\n" for snp in kept)


def main():
    parser = argparse.ArgumentParser(prog="population_lists.py", description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    samples = commands.add_parser("samples")
    samples.add_argument("--folder", required=True)
    samples.add_argument("--all", required=True)
    samples.add_argument("populations", nargs="+", metavar="NAME=PATH")
    lists = commands.add_parser("filters")
    for option in ("--bim", "--code", "--exclude", "--chromosome", "--folder", "--snps", "--kept", "--dropped"):
        lists.add_argument(option, required=True)
    lists.add_argument("--populations", nargs="+", required=True)
    args = parser.parse_args()
    try:
        if args.command == "samples":
            write_samples(args.folder, args.all, [item.split("=", 1) for item in args.populations])
        else:
            write_filters(args)
    except (OSError, formats.FormatError, inputs.ConfigError) as e:
        sys.exit("population_lists.py: %s" % e)


if __name__ == "__main__":
    main()
