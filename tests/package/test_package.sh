#!/usr/bin/env bash
# The installation and the Debian package of a build:
#   test_package.sh BUILD_DIR SOURCE_DIR
# installs with `cmake --install` and checks where everything goes; builds
# the .deb with cpack, checks it with lintian and its control fields, unpacks
# it into a temporary root with dpkg-deb -x, and runs the installed programs,
# the three-program chain and the installed workflow demo from there.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/ldtag-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
programs=(ldprune ldcluster memberjoin1 memberjoin2 ldprep)

echo "== cmake --install"
cmake --install "$build" --prefix "$work/prefix" > /dev/null
for f in bin/ldprune bin/ldcluster bin/memberjoin1 bin/memberjoin2 bin/ldprep bin/ldtag-workflow \
    share/man/man1/ldprune.1.gz share/man/man1/ldcluster.1.gz share/man/man1/memberjoin1.1.gz \
    share/man/man1/memberjoin2.1.gz \
    share/man/man1/ldprep.1.gz share/man/man1/ldtag-workflow.1.gz \
    share/ldtag/workflow/Snakefile share/ldtag/workflow/schemas/config.schema.yaml \
    share/ldtag/config/config.yaml share/ldtag/config/demo.yaml share/ldtag/config/slurm/config.yaml \
    share/ldtag/examples/genotypes/chr10_part.bed share/doc/ldtag/README.md share/doc/ldtag/copyright; do
  [ -e "$work/prefix/$f" ] || fail "cmake --install did not put $f"
done
[ ! -e "$work/prefix/libexec" ] || fail "cmake --install put something into libexec"
[ "$("$work/prefix/bin/ldtag-workflow" --version)" = "ldtag-workflow $version" ] || fail "ldtag-workflow --version"

echo "== cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$work/pkg" > "$work/cpack.log") || { cat "$work/cpack.log"; fail cpack; }
deb=$(ls "$work"/pkg/ldtag_"$version"_*.deb)

echo "== lintian"
lintian --fail-on error --suppress-tags binary-has-unneeded-section "$deb" 2>&1 | grep -v "root privileges" || true
lintian --fail-on error "$deb" > /dev/null 2>&1 || fail "lintian reports errors"

echo "== control fields"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
[ "$(dpkg-deb -f "$deb" Recommends)" = "snakemake, plink1.9, python3-matplotlib" ] || fail "Recommends"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
  "python3, "*"libc6 (>= "*"libstdc++6 (>= "*) ;;
  *) fail "Depends: $depends" ;;
esac

echo "== the unpacked package"
dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin
for p in "${programs[@]}"; do
  [ "$("$bin/$p" --version)" = "$p $version" ] || fail "$p --version"
  "$bin/$p" --help | grep -q "^Usage: $p" || fail "$p --help"
done
mkdir "$work/chain"
cp "$source"/examples/{SNP_names.data,ld.txt,maf.txt,weight.txt,done.txt,undesirable.txt} "$work/chain"
(cd "$work/chain" && "$bin/ldprune" && "$bin/ldcluster" && "$bin/memberjoin1" > /dev/null &&
  "$bin/memberjoin2" > /dev/null) || fail "the installed chain"
[ "$(wc -l < "$work/chain/maf_processed.txt")" -eq 294 ] || fail "maf_processed.txt of the example region"
[ -s "$work/chain/greedy_output.txt" ] && [ -s "$work/chain/minimax_output.txt" ] || fail "joined tables"

echo "== the installed workflow demo"
mkdir "$work/demo"
(cd "$work/demo" && env PATH=/usr/bin:/bin "$bin/ldtag-workflow" --demo --cores 2 > demo.log 2>&1) ||
  { tail -n 30 "$work/demo/demo.log"; fail "ldtag-workflow --demo"; }
[ "$(wc -l < "$work/demo/results/summary.tsv")" -eq 5 ] || fail "the demo's summary has not 4 regions"
for method in greedy minimax minimum; do
  [ "$(wc -l < "$work/demo/results/${method}_tags.tsv")" -eq 7962 ] || fail "the demo's $method table has not every SNP"
done

echo "== the installed bundled configs"
mkdir "$work/vcf"
(cd "$work/vcf" && env PATH=/usr/bin:/bin "$bin/ldtag-workflow" --demo vcf --cores 2 --config plots=false > vcf.log 2>&1) ||
  { tail -n 30 "$work/vcf/vcf.log"; fail "ldtag-workflow --demo vcf"; }
[ "$(cut -f3 "$work/vcf/results/minimum_tags.tsv" | sort -u | tr '\n' ' ')" = "ceu jpt population " ] ||
  fail "the bundled VCF's tables are not of its two populations"
for name in config populations; do
  mkdir "$work/$name"
  (cd "$work/$name" && env PATH=/usr/bin:/bin "$bin/ldtag-workflow" --demo "$name" --cores 1 --dry-run > dry.log 2>&1) ||
    { tail -n 30 "$work/$name/dry.log"; fail "ldtag-workflow --demo $name --dry-run"; }
done

echo "== config files that are no config"
printf '' > "$work/empty.yaml"
printf -- '- bfile: x\n' > "$work/list.yaml"
printf 'bfile: x\n\tthreshold: 0.5\n' > "$work/tab.yaml"
for name in empty list tab missing; do
  if out=$(cd "$work" && env PATH=/usr/bin:/bin "$bin/ldtag-workflow" --cores 1 --configfile "$name.yaml" 2>&1); then
    fail "ldtag-workflow ran with $name.yaml"
  fi
  case $out in
    "ldtag-workflow: config file $name.yaml cannot be used: "*) ;;
    *) echo "$out" >&2; fail "ldtag-workflow did not name $name.yaml" ;;
  esac
done
# JSON indented with tabs is no YAML, but Snakemake reads it, and so must the check.
printf '{\n\t"bfile": "%s"\n}\n' "$work/root/usr/share/ldtag/examples/genotypes/chr10_part" > "$work/tabs.json"
(cd "$work" && env PATH=/usr/bin:/bin "$bin/ldtag-workflow" --cores 1 --configfile tabs.json --dry-run > json.log 2>&1) ||
  { tail -n 20 "$work/json.log"; fail "ldtag-workflow refused a JSON config"; }

echo "== the installed workflow demo, killed and run again"
mkdir "$work/killed"
(cd "$work/killed" && exec setsid env PATH=/usr/bin:/bin "$bin/ldtag-workflow" --demo --cores 2 > first.log 2>&1) &
leader=$!
# Killed once the regions are known, while their jobs run: a moment the run's
# progress defines, however busy the machine.
until [ -e "$work/killed/results/regions.tsv" ] || ! kill -0 "$leader" 2> /dev/null; do sleep 0.05; done
kill -KILL -- "-$leader" 2> /dev/null || fail "the demo ended before it could be killed"
wait "$leader" 2> /dev/null || true
(cd "$work/killed" && env PATH=/usr/bin:/bin "$bin/ldtag-workflow" --demo --cores 2 > again.log 2>&1) ||
  { tail -n 30 "$work/killed/again.log"; fail "ldtag-workflow --demo after a kill"; }
grep -q "removing the lock a run that was killed left" "$work/killed/again.log" || fail "the lock was not removed"
for table in greedy_tags.tsv minimax_tags.tsv minimum_tags.tsv summary.tsv coverage.tsv; do
  cmp -s "$work/demo/results/$table" "$work/killed/results/$table" || fail "$table differs after the kill"
done

echo "== manual pages"
for page in "$work"/root/usr/share/man/man1/*.1.gz; do
  mandoc -Tlint -W warning "$page" || fail "mandoc -Tlint $page"
  [ "$(MANWIDTH=80 man -l "$page" 2>/dev/null | wc -l)" -gt 20 ] || fail "man -l $page"
done
echo "package test passed"
