"""The workflow's own steps of the imputation evaluation, one per rule
(the entry scripts imputation_<step>.py read their options and call these):

    people  who is imputed in which fold (imputation.py): people.tsv (family
            id, sample id, id in the VCFs, population, fold), people.keep
            and holdout.remove for PLINK, folds/<fold>.txt (ids in the VCFs)
            and vcf_ids.txt (PLINK's --recode mode that gives those ids);
    panel   from the user's VCF, the people's genotypes (GT only) at the
            SNPs of the quality-controlled .bim, named as the workflow names
            them, as BGZF, and whether every genotype is phased;
    chunks  each chromosome's chunks;
    sets    each set judged, a table of them, and every tag of any of them;
    score   a fold's sums (dosage.py) for the SNPs of a chunk's core, from
            Beagle's dosages or, when it could not run, the tags as typed;
    tables  the sums pooled over the folds, and the pairwise coverage: the
            per-SNP table and the summary.
"""
import os

from . import bgzf, dosage, files, genotypes, imputation, lists, pairwise, paths, populations, vcf, vcf_sites

PEOPLE_COLUMNS = ("family", "sample", "id", "population", "fold")
SET_COLUMNS = ("set", "kind", "tags", "listed", "not_passed", "how_measured")


def share(text):
    return None if text == "none" else float(text)


def bim_snps(paths):
    """(label, name, position) of every SNP of the .bim files, in order, the
    label from the file name chr<label>.bim."""
    out = []
    for path in paths:
        label = os.path.basename(path)[3:-4]
        out += [(label, name, int(position)) for _, _, name, position in genotypes.bim(path)]
    return out


# people


def people(args):
    config = {"folds": args.folds, "holdout": share(args.holdout), "seed": args.seed}
    names = populations.names(args.populations)
    if names:
        rows = {r["population"]: r for r in populations.table(args.populations)}
        groups = {name: [tuple(line.split()) for line in open(rows[name]["keep"]) if line.strip()] for name in names}
    elif args.fam:
        groups = {imputation.ALL: genotypes.samples(args.fam)}
    else:
        groups = {imputation.ALL: [(s, s) for s in vcf.samples(args.vcf)]}
    everyone = [(person, name) for name, members in groups.items() for person in members]
    if args.vcf:
        ids, mode = [iid for (_, iid), _ in everyone], "vcf"
    else:
        ids, mode = imputation.sample_ids([person for person, _ in everyone])
    fold = imputation.draw(groups, config)
    rows = [(fid, iid, vid, name, fold[(fid, iid)]) for ((fid, iid), name), vid in zip(everyone, ids)]
    os.makedirs(os.path.join(args.out, "folds"), exist_ok=True)
    for name in imputation.fold_names(config):
        write_lines(os.path.join(args.out, "folds", name + ".txt"), [r[2] for r in rows if r[4] == name])
    write_lines(os.path.join(args.out, "people.keep"), ["%s %s" % r[:2] for r in rows])
    write_lines(os.path.join(args.out, "holdout.remove"), ["%s %s" % r[:2] for r in rows if r[4] == imputation.HOLDOUT])
    write_lines(os.path.join(args.out, "vcf_ids.txt"), [mode])
    files.write_table(os.path.join(args.out, "people.tsv"), PEOPLE_COLUMNS, rows)


def write_lines(path, lines):
    files.write_lines(path, lines)


def read_people(path):
    return files.read_table(path)[1]


# panel


def panel(args):
    """The user's VCF cut to the people and the SNPs, GT only."""
    wanted = [r["id"] for r in read_people(args.people)]
    sites = vcf_sites.bim_sites(args.bim)
    samples = vcf.samples(args.vcf)
    column = {s: 9 + k for k, s in enumerate(samples)}
    columns = [column[s] for s in wanted]
    label = os.path.basename(args.bim)[3:-4]
    contig = imputation.contig(label)
    phased, records = True, 0
    header = [
        "##fileformat=VCFv4.2",
        "##source=ldtag imputation_steps.py panel from %s" % args.vcf,
        "##contig=<ID=%s>" % contig,
        '##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">',
        "\t".join(vcf.HEADER + ("FORMAT",) + tuple(wanted)),
    ]
    with bgzf.written(args.out, level=1) as out:
        out.write("\n".join(header) + "\n")
        for snp, fields in vcf_sites.records(args.vcf, sites):
            calls = [fields[c] for c in columns]
            if fields[8] != "GT":
                calls = [c.split(":", 1)[0] for c in calls]
            calls = ["./." if "." in c else c for c in calls]
            text = "\t".join(calls)
            phased = phased and "/" not in text and "." not in text
            out.write("%s\t%s\t%s\t%s\t%s\t.\t.\t.\tGT\t%s\n" % (contig, fields[1], snp, fields[3], fields[4], text))
            records += 1
    write_lines(args.phasing, ["given" if phased and records else "beagle"])


# chunks


def chunks(args):
    rows = []
    for path in args.bim:
        snps = bim_snps([path])
        label = os.path.basename(path)[3:-4]
        found = imputation.chunks(label, [p for _, _, p in snps], int(args.chunk_mb * 1e6), int(args.flank_mb * 1e6))
        rows += [c.row() for c in found]
    files.write_table(args.out, imputation.Chunk.COLUMNS, rows)


# sets


def sets(args):
    snps = bim_snps(args.bim)
    passed = {name for _, name, _ in snps}
    by_chromosome = {}
    for label, name, _ in snps:
        by_chromosome.setdefault(label, []).append(name)
    methods = {}
    for name, path in args.methods:
        methods[name] = files.tokens(path)
    given, listed = None, {}
    if args.given:
        names = list(dict.fromkeys(files.tokens(args.given)))
        given = [n for n in names if n in passed]
        listed = {imputation.GIVEN: (len(names), len(names) - len(given))}
    judged = imputation.judged_sets(methods, given, list(by_chromosome.values()))
    config = {"folds": args.folds, "holdout": share(args.holdout)}
    os.makedirs(args.folder, exist_ok=True)
    rows = []
    for name, kind, tags in judged:
        write_lines(os.path.join(args.folder, name + ".txt"), tags)
        total, dropped = listed.get(name, (len(tags), 0))
        rows.append((name, kind, len(tags), total, dropped, imputation.how_measured(config, kind)))
    write_lines(args.all_tags, list(dict.fromkeys(t for _, _, tags in judged for t in tags)))
    files.write_table(args.table, SET_COLUMNS, rows)


def read_sets(path):
    """(name, kind, tags) of each set of sets.tsv, its tags from the file beside
    it, and its row."""
    folder = os.path.join(os.path.dirname(path), "sets")
    out = []
    for row in files.read_table(path)[1]:
        with open(os.path.join(folder, row["set"] + ".txt")) as f:
            out.append((row["set"], row["kind"], f.read().split(), row))
    return out


# score


def score(args):
    population_of = {r["id"]: r["population"] for r in read_people(args.people)}
    truth = dosage.read_truth(args.truth)
    dosages = None if args.typed_only else dosage.read_dosages(args.imputed)
    typed = files.tokens(args.tags) if args.typed_only else ()
    rows = dosage.fold_sums(truth, dosages, population_of, (args.core[0], args.core[1]), typed)
    dosage.write_sums(args.out, rows)


# tables


def thresholds(args):
    """A SNP's own threshold: from the thresholds file, else the default."""
    return lists.threshold_of(args.thresholds, args.threshold)


def tables(args):
    """Chromosome by chromosome, population by population and set by set, so
    that memory holds the sums of one set in one population on one
    chromosome."""
    judged = read_sets(args.sets)
    threshold = thresholds(args)
    chunk_rows = files.read_table(args.chunks)[1]
    summary = dosage.Summary()
    by_chromosome = {}
    for label, name, position in bim_snps(args.bim):
        by_chromosome.setdefault(label, []).append((label, name, position))
    with files.written(args.snps) as partial, open(partial, "w") as f:
        f.write("\t".join(dosage.SNP_COLUMNS) + "\n")
        for label, snps in by_chromosome.items():
            sums = [
                (fold, os.path.join(args.sums, row["chunk"], fold))
                for row in chunk_rows
                if row["chromosome"] == label
                for fold in args.folds
            ]
            for group in args.groups:
                mine = snps
                if group != imputation.ALL:
                    with open(paths.VARYING.format(chrom=label, population=group)) as g:
                        varies = set(g.read().split())
                    mine = [s for s in snps if s[1] in varies]
                ld = os.path.join(args.pairs, "chr" + label, group + ".pairs.ld")
                caught = pairwise.captured(ld, [(name, tags) for name, _, tags, _ in judged], threshold)
                for (name, _, tags, _), captured in zip(judged, caught):
                    pool = dosage.Pool()
                    for fold, folder in sums:
                        pool.add(name, fold, os.path.join(folder, name + ".tsv"), group)
                    for row in dosage.snp_rows(pool, name, tags, group, mine, captured):
                        f.write("\t".join(map(str, row)) + "\n")
                        summary.add(row)
    sets_rows = [(name, kind, len(tags), row["how_measured"]) for name, kind, tags, row in judged]
    files.write_table(args.table, dosage.TABLE_COLUMNS, summary.rows(sets_rows, args.groups))
