#!/usr/bin/env bash
# A region's chain up to ldprune, in its folder results/regions/<region>/
# (with --population, in that population's folder in it, on its samples and
# the SNPs that vary there):
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
# its log is kept in the region's folder. A population in which no SNP of the
# region varies gets empty tables, and a run log that says so.
#
#   prepare_region.sh --region NAME --folder DIR --bfile PREFIX --from SNP --to SNP
#       --plink COMMAND --threads N --memory MB --threshold T
#       [--thresholds FILE] [--done FILE] [--undesirable FILE] [--keep]
#       [--population NAME --samples KEEP_FILE --snps SNP_LIST]
set -uo pipefail

lists=() keep= population= samples= snps=
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
    --population) population=$2 ;;
    --samples) samples=$2 ;;
    --snps) snps=$2 ;;
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

# move_into_place: the scratch folder's files into the region's folder,
# run_log.txt last, and the earlier one first: while it is missing the region
# counts as not prepared, whatever else is there.
move_into_place() {
  rm -f "$folder/run_log.txt"
  for file in "$work"/*; do
    [ "$file" = "$work/run_log.txt" ] || mv -f "$file" "$folder/" || exit 1
  done
  mv -f "$work/run_log.txt" "$folder/" && rmdir "$work"
  exit
}

subset=()
if [ -n "$population" ]; then
  # The region's SNPs, from --from to --to, that vary in the population.
  awk -v first="$first" -v last="$last" 'NR == FNR { varies[$1]; next }
    $2 == first { on = 1 } on && ($2 in varies) { print $2 } $2 == last { exit }' "$snps" "$bfile.bim" \
    > "$work/snps.txt" || exit 1
  if [ ! -s "$work/snps.txt" ]; then
    rm -f "$work/snps.txt"
    for file in plink.ld.bin plink.bim plink.frq SNP_names.data maf.txt weight.txt done.txt undesirable.txt \
      ld_processed.txt maf_processed.txt plink.log ldprep.log ldprune.log; do
      : > "$work/$file" || exit 1
    done
    if [ -n "$keep" ]; then
      : > "$work/ld.txt" && : > "$work/ld_processed_temp.txt" || exit 1
    fi
    echo "No SNP of region $region varies in population $population." > "$work/run_log.txt" || exit 1
    move_into_place
  fi
  subset=(--keep "$samples" --extract "$work/snps.txt")
fi

"$plink" --bfile "$bfile" --from "$first" --to "$last" "${subset[@]}" --r2 square bin --freq --make-just-bim \
  --allow-no-sex --threads "$threads" --memory "$memory" --out "$work/plink" > /dev/null 2>&1 ||
  fail "PLINK's r² (writing plink.ld.bin, plink.frq and plink.bim)" $? plink.log
rm -f "$work/plink.nosex" "$work/snps.txt"

(cd "$work" && exec ldprep --bim plink.bim --freq plink.frq --ld plink.ld.bin --threshold "$threshold" \
  "${lists[@]}") 2> "$work/ldprep.log" || fail ldprep $? ldprep.log

(cd "$work" && exec ldprune) 2> "$work/ldprune.log" || fail ldprune $? ldprune.log
sed -n '/^$/q;p' "$work/ld_processed_temp.txt" > "$work/run_log.txt" ||
  fail "the copy of ldprune's run log (run_log.txt)" $? ldprune.log

if [ -z "$keep" ]; then
  rm -f "$work/ld.txt" "$work/ld_processed_temp.txt"
fi
move_into_place
