#!/usr/bin/env bash
# The genome-wide workflow on the bundled genotypes: 8,000 SNPs of chromosome
# 10 (examples/genotypes/), with ldcluster choosing the tags. Installs the
# Debian packages that are missing when run as root (otherwise prints the
# apt-get line), builds the programs, runs the workflow in this folder and
# prints the summary table. Extra arguments go to snakemake.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"
packages=(g++ cmake make pkg-config coinor-libcbc-dev snakemake plink1.9 python3-matplotlib python3-numpy)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages; install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q "${missing[@]}" >/dev/null
fi
echo "Building the programs"
cmake -S "$here" -B "$here/build-release" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$here/build-release" -j"$(nproc)" >/dev/null
echo "Running the workflow (log: results/example.log)"
mkdir -p results
PATH=$here/build-release:$PATH snakemake --cores "$(nproc)" --configfile config/demo.yaml "$@" \
  > results/example.log 2>&1 || { tail -n 30 results/example.log; exit 1; }
echo
# The summary's counts and the genome-wide coverage, with aligned columns.
aligned() {
  awk -F'\t' 'NR == FNR { for (i = 1; i <= NF; i++) if (length($i) > w[i]) w[i] = length($i); next }
    { for (i = 1; i < NF; i++) printf "%-*s  ", w[i], $i; print $NF }' "$1" "$1"
}
cut -f2-3,5,7-9,13-14,18-19 results/summary.tsv > results/.summary_shown && aligned results/.summary_shown
rm -f results/.summary_shown
echo
awk -F'\t' 'NR == 1 || $1 == "genome"' results/coverage.tsv > results/.coverage_shown && aligned results/.coverage_shown
rm -f results/.coverage_shown
# With max_tags or target: imputation, the run's own line on each (its last lines, in the log).
grep -E '^(Slot budget|Chosen for imputation): ' results/example.log | sed 's/^/\n/' || true
cat <<MSG

Results in $here/results (open report.html in a browser to see them all):
  report.html, overview.png       the report of the run, with an LD plot of each region
  {greedy,minimax,minimum}_tags.tsv      every SNP with its region, cluster, tag mark, position and MAF
  {greedy,minimax,minimum}_tag_snps.txt  the tag SNPs of each method
  summary.tsv, coverage.tsv       the tables above, in full
  regions.tsv, cut_pairs.tsv      where the chromosome was cut, and the tagging pairs that cross
  warnings.txt                    every warning, by region ($(wc -l < results/warnings.txt) lines)
  regions/<region>/               each region's files
MSG
if [ -e results/imputation.tsv ]; then
  cat <<MSG
  imputation.tsv, imputation.png  each set of tags judged by imputation (see the README)
MSG
fi
if [ -e results/imputation/target/selection.tsv ]; then
  cat <<MSG
  for_imputation_tag_snps.txt     the tags chosen for imputation
  imputation/target/              each round's sets, and selection.tsv: those imputed and the choice
MSG
fi
