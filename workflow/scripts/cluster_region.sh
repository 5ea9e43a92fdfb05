#!/usr/bin/env bash
# A region's chain from its processed tables on, in its folder
# results/regions/<region>/:
#   1. the clustering program: ldcluster (--clustering ldcluster), another
#      program's command (--clustering command --command CMD), which must
#      write the four Zentavor.result.{Greedy,Minimax}.* files, or none, when
#      result files were put in the folder by hand (--clustering none);
#   2. the joiners: memberjoin1 and memberjoin2, and memberjoin1 again, in a
#      folder of its own, for the Minimum result, which is in the Greedy
#      layout;
#   3. the coverage of each method's tags in PLINK's r² (coverage.py).
# The programs run in the region's folder, as the clustering command always
# has, and each writes its files whole under their names. With --populations,
# ldcluster chooses one set of tags for the populations' folders in the
# region's folder, and steps 2 and 3 run in each of them; a population
# without SNPs in the region gets joined tables of no SNP. coverage.tsv, the
# last output, is removed first and written last, so that a region counts as
# not clustered until every step has succeeded. A failed step is named with
# its region, its exit status and the end of its messages.
#
#   cluster_region.sh --region NAME --folder DIR --clustering ldcluster|command|none
#       [--command CMD] [--time-limit S] [--chromosome LABEL] [--populations "A B ..."]
#       --methods "greedy minimax [minimum]" --python PYTHON --coverage SCRIPT
set -uo pipefail

command= time_limit=10 chromosome=NA populations=()
while [ $# -gt 0 ]; do
  case $1 in
    --region) region=$2 ;;
    --folder) folder=$2 ;;
    --clustering) clustering=$2 ;;
    --command) command=$2 ;;
    --time-limit) time_limit=$2 ;;
    --chromosome) chromosome=$2 ;;
    --methods) read -ra methods <<< "$2" ;;
    --populations) read -ra populations <<< "$2" ;;
    --python) python=$2 ;;
    --coverage) coverage=$2 ;;
    *) echo "cluster_region.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
  shift 2
done

# fail STEP STATUS LOG: names the failed step and shows the end of its log.
fail() {
  echo "ldtag: region $region: $1 failed with exit status $2; the end of $folder/$3:" >&2
  tail -n 12 "$folder/$3" 2> /dev/null | sed 's/^/  /' >&2
  exit 1
}

# The folders of the chain: the region's, or each population's in it.
folders=("$folder")
if [ ${#populations[@]} -gt 0 ]; then
  folders=("${populations[@]/#/$folder/}")
fi

# The region's first jobs have finished: the scratch folders a killed run of
# them may have left are of no use any more.
for dir in "${folders[@]}"; do
  rm -rf "$dir/.partial" "$dir/coverage.tsv" || exit 1
done
case $clustering in
  ldcluster)
    joint=()
    if [ ${#populations[@]} -gt 0 ]; then
      joint=(--populations "$(IFS=,; echo "${populations[*]}")")
    fi
    (cd "$folder" && exec ldcluster --time-limit "$time_limit" --chromosome "$chromosome" "${joint[@]}") \
      2> "$folder/ldcluster.log" || fail ldcluster $? ldcluster.log ;;
  command)
    (cd "$folder" && exec bash -c "$command") > "$folder/clustering.log" 2>&1 ||
      fail "the clustering command" $? clustering.log
    for method in "${methods[@]}"; do
      for kind in members.txt out; do
        file=Zentavor.result.${method^}.$kind
        if [ ! -f "$folder/$file" ]; then
          echo "ldtag: region $region: the clustering command did not write $file in $folder" >&2
          exit 1
        fi
      done
    done ;;
esac

# join DIR: the joiners' tables in one folder of the chain.
join() {
  local dir=$1 where=${1#"$folder"}
  where=${where#/}${where:+/}
  if [ ! -s "$dir/maf_processed.txt" ]; then
    # No SNP here: the joiners need a cluster, and the tables hold none.
    for method in "${methods[@]}"; do
      printf 'NAME\tORVANTE\tTag\tPosition\tMAF\n' > "$dir/$method"_output.txt || exit 1
    done
    for log in memberjoin1.log memberjoin2.log memberjoin1_minimum.log; do
      : > "$dir/$log" || exit 1
    done
    return
  fi
  (cd "$dir" && exec memberjoin1 > /dev/null) 2> "$dir/memberjoin1.log" || fail memberjoin1 $? "${where}memberjoin1.log"
  (cd "$dir" && exec memberjoin2 > /dev/null) 2> "$dir/memberjoin2.log" || fail memberjoin2 $? "${where}memberjoin2.log"
  if [[ " ${methods[*]} " = *" minimum "* ]]; then
    local minimum=$dir/.minimum
    rm -rf "$minimum" && mkdir "$minimum" &&
      ln -s ../Zentavor.result.Minimum.members.txt "$minimum/Zentavor.result.Greedy.members.txt" &&
      ln -s ../Zentavor.result.Minimum.out "$minimum/Zentavor.result.Greedy.out" || exit 1
    (cd "$minimum" && exec memberjoin1 > /dev/null) 2> "$dir/memberjoin1_minimum.log" ||
      fail "memberjoin1 on the Minimum result" $? "${where}memberjoin1_minimum.log"
    mv -f "$minimum/greedy_output.txt" "$dir/minimum_output.txt" && rm -r "$minimum" || exit 1
  fi
}

for dir in "${folders[@]}"; do
  join "$dir"
done
for dir in "${folders[@]}"; do
  "$python" "$coverage" "$dir" "$dir/coverage.tsv" "${methods[@]}" 2> "$folder/coverage.log" ||
    fail "the coverage" $? coverage.log
done
rm -f "$folder/coverage.log"
