#!/usr/bin/env bash
# Builds the release packages into build/release/: the Debian package
# sfxpack_VERSION_amd64.deb (the Linux packer, both stubs, man page,
# completion, README, licence) and sfxpack-VERSION-win64.zip (the 64-bit
# Windows packer with both stubs, README and licence). The version is the
# project's, in CMakeLists.txt. Builds only what the packages hold, in the
# presets' usual trees (build/win32, build/win64, build/host), and stops on
# any error lintian finds in the Debian package; its warnings are printed.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/build/release

bash scripts/install-deps.sh

mkdir -p build
declare -A targets=(
  [win32]="sfxstub"
  [win64]="sfxpack sfxstub"
  [host]="sfxpack sfxpack_documents release_documents"
)
for preset in win32 win64 host; do
  echo "=== release: configure and build $preset"
  cmake --preset "$preset" >"build/configure-$preset.log" 2>&1 || { cat "build/configure-$preset.log"; exit 1; }
  # shellcheck disable=SC2086  # the target list is words
  cmake --build --preset "$preset" --target ${targets[$preset]}
done

rm -rf "$out"
mkdir -p "$out"
for preset in host win64; do
  echo "=== release: package $preset"
  (cd "$out" && cpack --config "$root/build/$preset/CPackConfig.cmake" -B "$out" >"$out/cpack-$preset.log" 2>&1) \
    || { cat "$out/cpack-$preset.log"; exit 1; }
done
rm -rf "$out/_CPack_Packages"

version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$out/sfxpack_${version}_amd64.deb
zip=$out/sfxpack-$version-win64.zip
for package in "$deb" "$zip"; do
  [ -s "$package" ] || { echo "release: $package was not made" >&2; exit 1; }
done
# Both stubs in both packages: an install rule that found no stub would
# leave it out without a word.
deb_files=$(dpkg-deb -c "$deb")
zip_files=$(unzip -l "$zip")
for stub in sfxstub32.exe sfxstub64.exe; do
  grep -q "/usr/lib/sfxpack/$stub\$" <<<"$deb_files" || { echo "release: $stub missing in $deb" >&2; exit 1; }
  grep -q "/$stub\$" <<<"$zip_files" || { echo "release: $stub missing in $zip" >&2; exit 1; }
done

echo "=== release: lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$out/lintian.log"

echo "=== release: made"
ls -l "$deb" "$zip"
