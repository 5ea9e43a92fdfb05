#!/usr/bin/env bash
# Runs PLINK so that its outputs appear only when they are whole:
#   plink_whole.sh PREFIX EXTENSIONS PLINK ARGUMENT...
# PLINK writes to PREFIX.partial.*; when it succeeds, each of the
# comma-separated EXTENSIONS is renamed to PREFIX.<extension> and its log to
# PREFIX.log, and the .nosex file it may write is removed. An extension ending
# in "?" is one PLINK may leave out: a table of LD pairs when there are none,
# or a list of the SNPs that pass a filter when the filters remove every SNP
# (which PLINK reports as an error); it is then an empty file. When it fails
# otherwise, its log is kept as PREFIX.log, its error lines are shown, and the
# partial files go.
set -uo pipefail
prefix=$1 extensions=$2 plink=$3
shift 3
partial=$prefix.partial
"$plink" "$@" --out "$partial" > /dev/null 2>&1
status=$?
mv -f "$partial.log" "$prefix.log" 2> /dev/null
IFS=, read -ra exts <<< "$extensions"
if [ "$status" -ne 0 ] && [ "$extensions" != "${extensions//\?/}" ] &&
  grep -qE '^Error: (All variants removed|No variants remaining)' "$prefix.log" 2> /dev/null; then
  rm -f "$partial".*
  status=0
fi
if [ "$status" -ne 0 ]; then
  echo "ldtag: PLINK failed with exit status $status writing $prefix.{${extensions//\?/}}; from $prefix.log:" >&2
  { grep -h -A3 '^Error' "$prefix.log" || tail -n 5 "$prefix.log"; } 2> /dev/null | sed 's/^/  /' >&2
  rm -f "$partial".*
  exit 1
fi
for ext in "${exts[@]}"; do
  if [ "${ext%\?}" != "$ext" ]; then
    ext=${ext%\?}
    [ -e "$partial.$ext" ] || : > "$partial.$ext" || exit 1
  fi
  mv -f "$partial.$ext" "$prefix.$ext" || exit 1
done
rm -f "$partial".*
