#!/usr/bin/env bash
# One of PLINK's SNP filters, as the list of the SNPs that pass it:
#   snp_filter.sh PREFIX PLINK ARGUMENT...
# runs PLINK with --write-snplist and writes PREFIX.snplist, whole, and its
# log as PREFIX.log. When the filter removes every SNP, which PLINK reports
# as an error, the list is empty; any other failure shows PLINK's error
# lines and leaves no list.
set -uo pipefail
prefix=$1 plink=$2
shift 2
partial=$prefix.partial
"$plink" "$@" --write-snplist --out "$partial" > /dev/null 2>&1
status=$?
mv -f "$partial.log" "$prefix.log" 2> /dev/null
if [ "$status" -ne 0 ]; then
  rm -f "$partial".*
  if grep -qE '^Error: (All variants removed|No variants remaining)' "$prefix.log"; then
    : > "$prefix.snplist"
    exit
  fi
  echo "ldtag: PLINK failed with exit status $status writing $prefix.snplist; from $prefix.log:" >&2
  { grep -h -A3 '^Error' "$prefix.log" || tail -n 5 "$prefix.log"; } 2> /dev/null | sed 's/^/  /' >&2
  exit 1
fi
mv -f "$partial.snplist" "$prefix.snplist" && rm -f "$partial".*
