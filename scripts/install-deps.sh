#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks. Safe to run again: it only installs what is missing.
set -u

need_pkgs=(
  cmake ninja-build pkg-config
  g++ googletest libgtest-dev zlib1g-dev libmd-dev libssl-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev liblzma-dev
  wine64 xvfb x11-utils imagemagick python3 locales
  zip unzip p7zip-full libarchive-tools
  libcli11-dev libtomlplusplus-dev help2man groff-base
  openssl osslsigncode
  clang libclang-rt-14-dev
  dpkg-dev file lintian
)

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  # The i386 security index sometimes fails to download once i386 is enabled;
  # the amd64 lists are fine then, so an update failure is only a warning.
  $sudo_cmd apt-get update -q || echo "install-deps: warning: apt-get update reported errors; going on"
  $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}" || {
    echo "install-deps: could not install ${missing[*]}" >&2
    exit 1
  }
fi

# liblzma for the Windows targets is built from Debian's xz-utils source
# package (scripts/build-liblzma.sh), which apt-get source fetches from a
# deb-src entry for the same Debian archive the binary packages come from.
# The entry is added once, in the format the machine's own entries use.
deb_src_list=/etc/apt/sources.list.d/sfxpack-deb-src
if ! apt-get source --print-uris -q xz-utils >/dev/null 2>&1; then
  if [ ! -f "$deb_src_list.sources" ] && [ ! -f "$deb_src_list.list" ]; then
    echo "install-deps: adding deb-src entries for Debian's archive"
    # deb822 files: each stanza of type deb with a Debian address, as deb-src.
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk 'BEGIN { RS = ""; ORS = "\n\n" }
           /(^|\n)Types:[^\n]*deb/ && /(^|\n)URIs:[^\n]*debian/ && !/(^|\n)Types:[^\n]*deb-src/ {
             sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f"
    done | $sudo_cmd tee "$deb_src_list.sources" >/dev/null
    # One-line files: each deb line with a Debian address, as deb-src.
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
      | sed -n 's/^[[:space:]]*deb\([[:space:]].*debian.*\)$/deb-src\1/p' \
      | $sudo_cmd tee "$deb_src_list.list" >/dev/null
    for f in "$deb_src_list.sources" "$deb_src_list.list"; do
      [ -s "$f" ] || $sudo_cmd rm -f "$f"
    done
  fi
  $sudo_cmd apt-get update -q >/dev/null || echo "install-deps: warning: apt-get update reported errors; going on"
fi
# Run as the user who called this, so that build/deps stays theirs.
build_user=${SUDO_USER:-$(id -un)}
if [ "$(id -un)" = "$build_user" ]; then
  bash "$(dirname "$0")/build-liblzma.sh" || exit 1
else
  sudo -u "$build_user" bash "$(dirname "$0")/build-liblzma.sh" || exit 1
fi

# Wine takes the interface language and the code page for file names from
# the locale; the tests and the demo run in these, and a locale that is not
# generated leaves Wine unable to write file names beyond ASCII.
want_locales="en_US.UTF-8 de_DE.UTF-8 de_CH.UTF-8 fr_FR.UTF-8 ru_RU.UTF-8"
missing_locales=""
for l in $want_locales; do
  short=$(echo "$l" | sed 's/UTF-8/utf8/')
  locale -a 2>/dev/null | grep -qx "$short" || missing_locales="$missing_locales $l"
done
if [ -n "$missing_locales" ]; then
  echo "install-deps: generating locales:$missing_locales"
  for l in $missing_locales; do
    $sudo_cmd sed -i "s/^# *\($l UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$l UTF-8" /etc/locale.gen || echo "$l UTF-8" | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  done
  $sudo_cmd locale-gen >/dev/null || { echo "install-deps: locale-gen failed" >&2; exit 1; }
fi

# 32-bit Windows programs need wine32 from the i386 architecture. It is a best
# effort: where the mirror cannot serve it, only the 64-bit tests run.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  if [ ! -f /var/lib/wine32-attempted ] || [ "${RETRY_WINE32:-0}" = 1 ]; then
    echo "install-deps: trying wine32:i386 (best effort)"
    $sudo_cmd dpkg --add-architecture i386
    $sudo_cmd apt-get update -q >/dev/null 2>&1 || true
    $sudo_cmd apt-get install -y -q --no-install-recommends wine32:i386 >/dev/null 2>&1 \
      && echo "install-deps: wine32 installed" \
      || echo "install-deps: wine32:i386 not available; 32-bit tests will not run"
    $sudo_cmd touch /var/lib/wine32-attempted 2>/dev/null || true
  fi
fi
exit 0
