#!/usr/bin/env bash
# A chromosome's regions: PLINK's windowed scan of the pairs that could share
# a region (at most max_snps - 1 SNPs apart) and may tag (r² at least the
# lowest threshold), then cut_regions.py, which places the cuts. With
# --population, one scan per population, on its samples and the SNPs that
# vary there; a pair then tags when it tags in any of them. The scans'
# tables are large and are removed at the end unless --keep is given.
#
#   cut_chromosome.sh --fileset PREFIX --out PREFIX --plink COMMAND --max-snps N --window-r2 R
#       --threads N --memory MB --python PYTHON --cut SCRIPT --threshold T [--thresholds FILE]
#       --chromosome LABEL --regions FILE --pairs FILE --log FILE [--keep]
#       [--population NAME KEEP_FILE SNP_LIST]...
# PLINK's logs are OUT.log, or OUT.<population>.log; cut_regions.py's
# messages are added to the --log file (which may be PLINK's).
set -uo pipefail

names=() samples=() snps=() thresholds=() keep=false
while [ $# -gt 0 ]; do
  case $1 in
    --population) names+=("$2") samples+=("$3") snps+=("$4"); shift 4; continue ;;
    --keep) keep=true; shift; continue ;;
    --fileset) fileset=$2 ;;
    --out) out=$2 ;;
    --plink) plink=$2 ;;
    --max-snps) max_snps=$2 ;;
    --window-r2) window_r2=$2 ;;
    --threads) threads=$2 ;;
    --memory) memory=$2 ;;
    --python) python=$2 ;;
    --cut) cut=$2 ;;
    --threshold) threshold=$2 ;;
    --thresholds) thresholds=(--thresholds "$2") ;;
    --chromosome) chromosome=$2 ;;
    --regions) regions=$2 ;;
    --pairs) pairs=$2 ;;
    --log) log=$2 ;;
    *) echo "cut_chromosome.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
  shift 2
done

here=$(dirname "$0")
scans=()
# scan PREFIX [PLINK OPTION...]: one windowed scan; PLINK writes no table
# when there is no pair, which counts as an empty one.
scan() {
  local prefix=$1
  shift
  scans+=("$prefix.ld")
  "$here/plink_whole.sh" "$prefix" 'ld?' "$plink" --bfile "$fileset" "$@" --r2 --ld-window "$max_snps" \
    --ld-window-kb 1000000 --ld-window-r2 "$window_r2" --allow-no-sex --threads "$threads" --memory "$memory"
}

status=0
if [ ${#names[@]} -eq 0 ]; then
  scan "$out" || status=1
else
  for k in "${!names[@]}"; do
    # A population with a single varying SNP has no pair to scan.
    if [ "$(wc -l < "${snps[k]}")" -lt 2 ]; then
      scans+=("$out.${names[k]}.ld")
      : > "$out.${names[k]}.ld" || status=1
      continue
    fi
    scan "$out.${names[k]}" --keep "${samples[k]}" --extract "${snps[k]}" || { status=1; break; }
  done
fi
if [ $status -eq 0 ]; then
  "$python" "$cut" --bim "$fileset.bim" --ld "${scans[@]}" --threshold "$threshold" "${thresholds[@]}" \
    --max-snps "$max_snps" --chromosome "$chromosome" --regions "$regions" --pairs "$pairs" >> "$log" 2>&1 ||
    status=1
fi
$keep || rm -f "${scans[@]}"
exit $status
