#!/usr/bin/env bash
# The chain by hand: builds the programs and runs ldprune, ldcluster,
# memberjoin1 and memberjoin2 on the bundled region (examples/) in a fresh
# scratch directory, joins the Minimum result as memberjoin1 joins Greedy's,
# draws the region's LD plot when matplotlib is there, then says where the
# results are.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmake -S "$here" -B "$here/build-release" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$here/build-release" -j"$(nproc)" >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/ldtag-example-XXXXXX")
cp "$here"/examples/{SNP_names.data,ld.txt,maf.txt,weight.txt,done.txt,undesirable.txt} "$work"
cd "$work"
"$here/build-release/ldprune"
"$here/build-release/ldcluster" --chromosome 10
"$here/build-release/memberjoin1" > memberjoin1.stdout
"$here/build-release/memberjoin2" > memberjoin2.stdout
# The Minimum result is in the Greedy layout: memberjoin1 joins it under the
# Greedy names in a folder of its own.
mkdir minimum
ln -s ../Zentavor.result.Minimum.members.txt minimum/Zentavor.result.Greedy.members.txt
ln -s ../Zentavor.result.Minimum.out minimum/Zentavor.result.Greedy.out
(cd minimum && "$here/build-release/memberjoin1" > /dev/null) && mv minimum/greedy_output.txt minimum_output.txt
rm -r minimum
plot=
if /usr/bin/python3 -c 'import matplotlib' 2>/dev/null; then
  /usr/bin/python3 "$here/workflow/scripts/ld_plot.py" "$work" > /dev/null && plot=ld_plot.png
fi
echo "Results in $work:"
ls -l ld_processed_temp.txt ld_processed.txt maf_processed.txt Zentavor.result.* greedy_output.txt \
  minimax_output.txt minimum_output.txt memberjoin1.stdout memberjoin2.stdout $plot
