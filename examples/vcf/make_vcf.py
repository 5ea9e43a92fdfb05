#!/usr/bin/python3
"""Makes the bundled VCF from the bundled genotypes.

    make_vcf.py [FOLDER]

chr10_small.vcf.gz: the first 1200 SNPs of examples/genotypes/chr10_part for
the first 200 CEU and the first 200 JPT samples, the sample ids written with
underscores (ceu_564 for ceu.564), chromosome "chr10", and records put in
that the workflow must handle (listed in RECORDS below): 3 multiallelic
records, 2 that are not SNPs, 2 without an ID, a second record named as an
existing one, and a few half-calls. ceu.txt and jpt.txt list each
population's samples, one id per line. Needs plink1.9; the gzip stream is
written without a time stamp, so the same input gives the same bytes.
"""
import gzip
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
GENOTYPES = os.path.join(HERE, "..", "genotypes", "chr10_part")
SNPS, PER_POPULATION = 1200, 200
# Record index (from 0, among the first SNPS) -> what becomes of it.
RECORDS = {
    40: "multiallelic",
    300: "multiallelic",
    900: "multiallelic",
    120: "indel",
    700: "symbolic",
    200: "no id",
    1000: "no id",
    500: "same id as 499",
    60: "half-calls",
}


def samples():
    with open(GENOTYPES + ".fam") as f:
        ids = [line.split()[1] for line in f]
    return [[s for s in ids if s.startswith(p)][:PER_POPULATION] for p in ("ceu.", "jpt.")]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    ceu, jpt = samples()
    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "keep.txt"), "w") as f:
            f.writelines("%s %s\n" % (s, s) for s in ceu + jpt)
        with open(GENOTYPES + ".bim") as f:
            names = [next(f).split()[1] for _ in range(SNPS)]
        with open(os.path.join(tmp, "snps.txt"), "w") as f:
            f.writelines(n + "\n" for n in names)
        subprocess.run(
            [
                "plink1.9",
                "--bfile",
                GENOTYPES,
                "--keep",
                "keep.txt",
                "--extract",
                "snps.txt",
                "--recode",
                "vcf-iid",
                "--allow-no-sex",
                "--out",
                "x",
            ],
            cwd=tmp,
            check=True,
            capture_output=True,
        )
        with open(os.path.join(tmp, "x.vcf")) as f:
            lines = f.read().splitlines()
    header = [line for line in lines if line.startswith("##") and not line.startswith(("##contig", "##fileDate"))]
    header.insert(1, "##contig=<ID=chr10>")
    columns = [line for line in lines if line.startswith("#CHROM")][0].split("\t")
    columns[9:] = [s.replace(".", "_") for s in columns[9:]]
    records = [line.split("\t") for line in lines if not line.startswith("#")]
    for k, fields in enumerate(records):
        fields[0] = "chr10"
        kind = RECORDS.get(k)
        if kind == "multiallelic":
            fields[4] += "," + next(b for b in "ACGT" if b not in (fields[3], fields[4]))
        elif kind == "indel":
            fields[3] += "T"
        elif kind == "symbolic":
            fields[4] = "<DEL>"
        elif kind == "no id":
            fields[2] = "."
        elif kind == "same id as 499":
            fields[2] = records[k - 1][2]
        elif kind == "half-calls":
            for s in range(9, len(fields), 50):
                fields[s] = "0/."
    text = "\n".join(header + ["\t".join(columns)] + ["\t".join(f) for f in records]) + "\n"
    with open(os.path.join(out, "chr10_small.vcf.gz"), "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as f:
            f.write(text.encode())
    for name, ids in (("ceu.txt", ceu), ("jpt.txt", jpt)):
        with open(os.path.join(out, name), "w") as f:
            f.writelines(s.replace(".", "_") + "\n" for s in ids)


if __name__ == "__main__":
    main()
