#!/usr/bin/env bash
# Runs PLINK so that its outputs appear only when they are whole:
#   plink_whole.sh PREFIX EXTENSIONS PLINK ARGUMENT...
# PLINK writes to PREFIX.partial.*; when it succeeds, each of the
# comma-separated EXTENSIONS is renamed to PREFIX.<extension> and its log to
# PREFIX.log, and the .nosex file it may write is removed. An extension ending
# in "?" is one PLINK may leave out (a table of LD pairs when there are none):
# it is then an empty file. When it fails, its
# log is kept as PREFIX.log, its error lines are shown, and the partial files
# go.
set -uo pipefail
prefix=$1 extensions=$2 plink=$3
shift 3
partial=$prefix.partial
"$plink" "$@" --out "$partial" > /dev/null 2>&1
status=$?
mv -f "$partial.log" "$prefix.log" 2> /dev/null
if [ "$status" -ne 0 ]; then
  echo "ldtag: PLINK failed with exit status $status writing $prefix.{${extensions//\?/}}; from $prefix.log:" >&2
  { grep -h -A3 '^Error' "$prefix.log" || tail -n 5 "$prefix.log"; } 2> /dev/null | sed 's/^/  /' >&2
  rm -f "$partial".*
  exit 1
fi
IFS=, read -ra exts <<< "$extensions"
for ext in "${exts[@]}"; do
  if [ "${ext%\?}" != "$ext" ]; then
    ext=${ext%\?}
    [ -e "$partial.$ext" ] || : > "$partial.$ext" || exit 1
  fi
  mv -f "$partial.$ext" "$prefix.$ext" || exit 1
done
rm -f "$partial".*
