#!/usr/bin/env bash
# A release package as a user meets it: the Debian package unpacked into a
# scratch root (dpkg -x), or the Windows zip unpacked and its sfxpack.exe run
# under Wine. The packer there finds the stubs the package put beside it,
# without --stub and without the build tree, and builds, inspects, lists and
# tests a package with each.
# Usage: release_package_test.sh deb|zip RELEASE_DIR VERSION BUILT_PACKER [WINE_RUN]
# Exits 77 (skipped) when scripts/release.sh has not made the package since
# BUILT_PACKER was built.
set -u
kind=$1 release=$2 version=$3 built=$4 wine_run=${5:-}
case $kind in
  deb) package=$release/sfxpack_${version}_amd64.deb ;;
  zip) package=$release/sfxpack-$version-win64.zip ;;
  *) echo "usage: $0 deb|zip RELEASE_DIR VERSION BUILT_PACKER [WINE_RUN]" >&2; exit 2 ;;
esac
if [ ! -f "$package" ] || [ "$package" -ot "$built" ]; then
  echo "SKIPPED: no $package from this build; bash scripts/release.sh makes it"
  exit 77
fi
# The checks run in a scratch folder, with the paths given made absolute.
package=$(cd "$(dirname "$package")" && pwd)/$(basename "$package")
[ -z "$wine_run" ] || wine_run=$(cd "$(dirname "$wine_run")" && pwd)/$(basename "$wine_run")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

if [ "$kind" = deb ]; then
  dpkg -x "$package" "$work/root" || { echo "FAILED: dpkg -x $package"; exit 1; }
  packer=$work/root/usr/bin/sfxpack
  stubs=$work/root/usr/lib/sfxpack
  run() { (cd "$work" && "$packer" "$@"); }
  for file in usr/share/man/man1/sfxpack.1.gz usr/share/bash-completion/completions/sfxpack \
              usr/share/doc/sfxpack/README.md usr/share/doc/sfxpack/copyright usr/share/doc/sfxpack/changelog.gz; do
    [ -s "$work/root/$file" ] || fail "not in the package: $file"
  done
  depends=$(dpkg-deb -f "$package" Depends)
  for library in libc6 libstdc++6 zlib1g libmd0; do
    case $depends in *"$library"*) ;; *) fail "Depends lacks $library: $depends" ;; esac
  done
  # Nothing that was built refers to the checkout it was built in.
  checkout=$(cd "$(dirname "$0")/../.." && pwd)
  grep -rlF "$checkout" "$work/root" && fail "files in the package name the checkout $checkout"
else
  (cd "$work" && unzip -q "$package") || { echo "FAILED: unzip $package"; exit 1; }
  folder=$work/sfxpack-$version-win64
  packer=$folder/sfxpack.exe
  stubs=$folder
  run() { (cd "$work" && "$wine_run" "$packer" "$@" | tr -d '\r'); }
  for file in README.txt LICENSE.txt; do
    [ -s "$folder/$file" ] || fail "not in the zip: $file"
  done
  grep -q $'\r$' "$folder/README.txt" || fail "README.txt has no CR LF line ends"
fi

# The stubs it names are the package's own, with the release's version.
versions=$(run --version)
echo "$versions"
[ "$(echo "$versions" | sed -n 1p)" = "sfxpack $version" ] || fail "--version does not say sfxpack $version"
for bits in 32 64; do
  line=$(echo "$versions" | grep "^$bits-bit stub: ")
  shown=${line##*(}
  shown=${shown%)}
  case $line in
    "$bits-bit stub: $version ("*"sfxstub$bits.exe)") ;;
    *) fail "--version names no $bits-bit stub of version $version: $line" ;;
  esac
  if [ "$kind" = deb ] && [ "$shown" != "$stubs/sfxstub$bits.exe" ]; then
    fail "the $bits-bit stub is $shown, not the installed $stubs/sfxstub$bits.exe"
  fi
done

mkdir -p "$work/payload/docs"
echo "read me" >"$work/payload/readme.txt"
echo "more" >"$work/payload/docs/more.txt"
printf '[neutral]\ntitle = "Release check"\n' >"$work/setup.toml"
for bits in 32 64; do
  option=""
  [ "$bits" = 64 ] && option=--64
  # shellcheck disable=SC2086  # no option is no word
  run build payload -o "setup$bits.exe" -c setup.toml $option -q || fail "build $option failed"
  [ -s "$work/setup$bits.exe" ] || { fail "no setup$bits.exe"; continue; }
  size=$(stat -c %s "$stubs/sfxstub$bits.exe")
  cmp -s -n "$size" "$stubs/sfxstub$bits.exe" "$work/setup$bits.exe" \
    || fail "setup$bits.exe does not start with the package's $bits-bit stub"
  run inspect "setup$bits.exe" | grep -q '"Release check"' || fail "inspect setup$bits.exe shows no title"
  run list "setup$bits.exe" | grep -q 'docs/more.txt' || fail "list setup$bits.exe lacks docs/more.txt"
  run test "setup$bits.exe" | grep -q ': OK, 2 files' || fail "test setup$bits.exe is not OK"
  # unzip, which reads past the stub in front (and warns about it), agrees.
  unzip -tq "$work/setup$bits.exe" 2>&1 | grep -q '^No errors detected' || fail "unzip -t finds faults in setup$bits.exe"
done
# Without the package's stubs it finds none: no way back to the build tree.
mkdir "$work/aside"
mv "$stubs"/sfxstub32.exe "$stubs"/sfxstub64.exe "$work/aside/"
run --version | grep -q '^32-bit stub: none found' || fail "without its stubs the packer still found one"
mv "$work/aside"/*.exe "$stubs/"

[ "$failures" = 0 ] && echo "release $kind: all checks passed"
[ "$failures" = 0 ]
