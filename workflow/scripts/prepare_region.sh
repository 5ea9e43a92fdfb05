#!/usr/bin/env bash
# A region's chain up to ldprune, in its folder results/regions/<region>/:
#   1. PLINK: the r² of every pair of the region's SNPs (plink.ld.bin), their
#      allele frequencies (plink.frq) and .bim lines (plink.bim);
#   2. ldprep: ldprune's six inputs;
#   3. ldprune: ld_processed.txt, maf_processed.txt and the run log, whose
#      lines before the matrix dumps are kept as run_log.txt.
# The steps run in a scratch folder beside the region's files (.partial) and
# what they leave is moved into place only when every step has succeeded: a
# run that is killed leaves no half-written file in the region's folder, and
# no run_log.txt while the move is not finished, so that the region counts as
# not prepared; the next run starts the scratch folder afresh. Unless --keep is
# given, ld.txt and the run log ld_processed_temp.txt are removed. A failed
# step is named with its region, its exit status and the end of its messages;
# its log is kept in the region's folder.
#
#   prepare_region.sh --region NAME --folder DIR --bfile PREFIX --from SNP --to SNP
#       --plink COMMAND --threads N --memory MB --threshold T
#       [--thresholds FILE] [--done FILE] [--undesirable FILE] [--keep]
set -uo pipefail

lists=() keep=
while [ $# -gt 0 ]; do
  case $1 in
    --region) region=$2 ;;
    --folder) folder=$2 ;;
    --bfile) bfile=$2 ;;
    --from) first=$2 ;;
    --to) last=$2 ;;
    --plink) plink=$2 ;;
    --threads) threads=$2 ;;
    --memory) memory=$2 ;;
    --threshold) threshold=$2 ;;
    --thresholds | --done | --undesirable) lists+=("$1" "$2") ;;
    --keep) keep=1; shift; continue ;;
    *) echo "prepare_region.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
  shift 2
done

work=$folder/.partial
rm -rf "$work" && mkdir -p "$work" || exit 1

# fail STEP STATUS LOG: names the failed step and shows the end of its log,
# which is kept in the region's folder.
fail() {
  mv -f "$work/$3" "$folder/$3" 2> /dev/null
  echo "ldtag: region $region: $1 failed with exit status $2; the end of $folder/$3:" >&2
  tail -n 12 "$folder/$3" 2> /dev/null | sed 's/^/  /' >&2
  exit 1
}

"$plink" --bfile "$bfile" --from "$first" --to "$last" --r2 square bin --freq --make-just-bim --allow-no-sex \
  --threads "$threads" --memory "$memory" --out "$work/plink" > /dev/null 2>&1 ||
  fail "PLINK's r² (writing plink.ld.bin, plink.frq and plink.bim)" $? plink.log
rm -f "$work/plink.nosex"

(cd "$work" && exec ldprep --bim plink.bim --freq plink.frq --ld plink.ld.bin --threshold "$threshold" \
  "${lists[@]}") 2> "$work/ldprep.log" || fail ldprep $? ldprep.log

(cd "$work" && exec ldprune) 2> "$work/ldprune.log" || fail ldprune $? ldprune.log
sed -n '/^$/q;p' "$work/ld_processed_temp.txt" > "$work/run_log.txt" ||
  fail "the copy of ldprune's run log (run_log.txt)" $? ldprune.log

if [ -z "$keep" ]; then
  rm -f "$work/ld.txt" "$work/ld_processed_temp.txt"
fi
# run_log.txt goes last, and the earlier one first: while it is missing the
# region counts as not prepared, whatever else is there.
rm -f "$folder/run_log.txt"
for file in "$work"/*; do
  [ "$file" = "$work/run_log.txt" ] || mv -f "$file" "$folder/" || exit 1
done
mv -f "$work/run_log.txt" "$folder/" && rmdir "$work"
