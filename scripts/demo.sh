#!/usr/bin/env bash
# The main job, end to end: builds the packer and the stub, packs the demo
# folder into a package (encrypted, German and English texts, a command from
# its own files) and runs it under Wine. With a display you click through it
# yourself; without one (or with --auto) it runs on a virtual display, is
# driven through every page, and says what it did and where the pictures are.
# --quick packs the same files as a package that asks no questions: no
# intro, no password, no folder page; it opens extracting.
#
#   bash scripts/demo.sh [--auto] [--quick] [--lang en|de] [--shots FOLDER]
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

auto=0
quick=0
lang=en
shots=$root/build/demo/screenshots
while [ $# -gt 0 ]; do
  case $1 in
    --auto) auto=1 ;;
    --quick) quick=1 ;;
    --lang) lang=$2; shift ;;
    --shots) shots=$2; shift ;;
    *) echo "usage: bash scripts/demo.sh [--auto] [--quick] [--lang en|de] [--shots FOLDER]" >&2; exit 2 ;;
  esac
  shift
done
case $lang in
  en) locale=en_US.UTF-8 ;;
  de) locale=de_DE.UTF-8 ;;
  *) echo "demo: --lang is en or de" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh || exit 1

# The 32-bit stub is the product's main build; it runs where wine32 can.
. scripts/wine-env.sh
preset=win64
wine32_usable && preset=win32
echo "=== building the packer (host) and the $preset stub"
mkdir -p build
for p in host "$preset"; do
  cmake --preset "$p" >"build/configure-$p.log" 2>&1 || { cat "build/configure-$p.log"; exit 1; }
done
cmake --build --preset host --target sfxpack >/dev/null || exit 1
cmake --build --preset "$preset" --target sfxstub show_files demo_driver >/dev/null || exit 1

echo "=== packing demo/files"
demo=$root/build/demo
rm -rf "$demo/payload"
mkdir -p "$demo/payload"
cp -r demo/files/. "$demo/payload/"
cp "build/$preset/bin/show_files.exe" "$demo/payload/show-files.exe"
# Something big enough for the progress page to be seen at work.
mkdir -p "$demo/payload/data"
head -c 48M /dev/urandom >"$demo/payload/data/sample.bin"
# The demo package's own icon, which demo/package.toml names.
[ "$demo/demo-icon.ico" -nt demo/make_icon.py ] || python3 demo/make_icon.py "$demo/demo-icon.ico" || exit 1
if [ "$quick" = 1 ]; then
  package=$demo/demo-quick.exe
  password=-
  prefix=$lang-quick
  build/host/bin/sfxpack build "$demo/payload" -o "$package" -c demo/quick.toml \
    --stub "build/$preset/bin/sfxstub.exe" -q || exit 1
else
  package=$demo/demo-setup.exe
  password=demo
  prefix=$lang
  export DEMO_PASSWORD=$password
  build/host/bin/sfxpack build "$demo/payload" -o "$package" -c demo/package.toml \
    --stub "build/$preset/bin/sfxstub.exe" --password-env DEMO_PASSWORD -q || exit 1
fi
build/host/bin/sfxpack inspect "$package" | sed 's/^/  /'
if [ "$quick" = 0 ]; then
  # The icon as the package carries it, read back by wrestool, each size
  # beside the next.
  mkdir -p "$shots" && rm -rf "$demo/icon" && mkdir -p "$demo/icon"
  wrestool -x -t 14 -n 121 "$package" >"$demo/icon/package.ico" &&
    icotool -x -o "$demo/icon" "$demo/icon/package.ico" &&
    convert "$demo/icon"/*.png -bordercolor none -border 8x0 -background none \
      -gravity south +append "$shots/demo-icon.png" &&
    echo "=== the package's icon: $shots/demo-icon.png"
fi

export LC_ALL=$locale
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

if [ "$auto" = 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  [ "$quick" = 1 ] && echo "=== running the package on $DISPLAY: it asks nothing" \
    || echo "=== running the package on $DISPLAY: click through it (password: demo)"
  wine_env "$root/build/wineprefix"
  scripts/wine-run.sh "$package"
  echo "=== the package ended with exit code $?"
  exit 0
fi

# No one to click: a virtual display, and Wine's own desktop on it, which
# draws the title bars that a bare X server without window manager lacks.
# The desktop is a setting of the prefix, so the demo has a prefix of its
# own, and a display of its own even where there is a real one.
wine_env "$root/build/demo-prefix"
trap wine_stop EXIT
wine_display 130 160 1024x768x24 always || exit 1
if [ ! -f "$WINEPREFIX/.desktop-set" ]; then
  echo "=== preparing a Wine prefix with a virtual desktop ($WINEPREFIX)"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x560 /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$WINEPREFIX/.desktop-set"
fi
wine_start

echo "=== running the package on the virtual display $DISPLAY, driven page by page ($lang)"
rm -rf "$demo/bmp-$prefix" && mkdir -p "$demo/bmp-$prefix" "$shots"
scripts/wine-run.sh "build/$preset/bin/demo_driver.exe" "$(winpath "$package")" "$password" \
  "$(winpath "$demo/bmp-$prefix")" "$prefix" | tr -d '\r' | iconv -f cp1252 -t utf-8
status=${PIPESTATUS[0]}
for bmp in "$demo/bmp-$prefix"/*.bmp; do
  [ -f "$bmp" ] && convert "$bmp" "$shots/$(basename "${bmp%.bmp}").png"
done
echo "=== pictures of every page: $shots/$prefix-*.png"
[ "$status" = 0 ] && echo "=== demo done" || echo "=== demo FAILED"
exit "$status"
