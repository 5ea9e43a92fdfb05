#!/usr/bin/env bash
# Runs the clustering command in a region's folder and checks that it wrote
# the four result files:
#   run_clustering.sh REGION FOLDER COMMAND
# Its output goes to FOLDER/clustering.log. A failure names the region and
# shows the end of that log.
set -uo pipefail
region=$1 folder=$2 command=$3
cd "$folder" || exit 1
bash -c "$command" > clustering.log 2>&1
status=$?
if [ "$status" -ne 0 ]; then
  echo "ldtag: the clustering command failed in region $region with exit status $status; the end of $folder/clustering.log:" >&2
  tail -n 10 clustering.log | sed 's/^/  /' >&2
  exit 1
fi
for kind in Greedy.members.txt Greedy.out Minimax.members.txt Minimax.out; do
  if [ ! -f "Zentavor.result.$kind" ]; then
    echo "ldtag: the clustering command did not write Zentavor.result.$kind in region $region ($folder)" >&2
    exit 1
  fi
done
