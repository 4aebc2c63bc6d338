# Wine for the scripts that run Windows programs: sourced, not run.
#
#   . scripts/wine-env.sh
#   wine_env PREFIX                  # the prefix and Wine's quiet settings
#   wine_display FIRST LAST SCREEN [always]
#                                    # a virtual display when there is no usable one
#   wine_start                       # a server that stays, and a booted prefix
#   trap wine_stop EXIT              # or call wine_stop from the script's own trap
#   wine32_usable                    # true when 32-bit programs can run; else
#                                    # $wine32_missing says why
#
# The prefix belongs to the build tree, never to the user. Plain sh, so that
# scripts/wine-run.sh could source it as well as the bash scripts.

wine_xvfb_pid=""
wine_server_started=0

# Exports WINEPREFIX=PREFIX, no debug output, and no Mono or Gecko installer
# prompts when the prefix is made.
wine_env() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Starts Xvfb on the first free display number from FIRST to LAST with the
# screen SCREEN (e.g. 1280x1024x24) and exports DISPLAY, unless DISPLAY
# already answers; with "always", a virtual display even then. Returns once
# the display answers. Nonzero when no display number is free.
wine_display() {
  wine_first=$1 wine_last=$2 wine_screen=$3
  if [ "${4:-}" != always ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  wine_free=""
  for wine_n in $(seq "$wine_first" "$wine_last"); do
    [ -e "/tmp/.X11-unix/X$wine_n" ] || [ -e "/tmp/.X$wine_n-lock" ] || { wine_free=":$wine_n"; break; }
  done
  if [ -z "$wine_free" ]; then
    echo "wine-env: no free display from :$wine_first to :$wine_last" >&2
    return 1
  fi
  Xvfb "$wine_free" -screen 0 "$wine_screen" -nolisten tcp >/dev/null 2>&1 &
  wine_xvfb_pid=$!
  export DISPLAY="$wine_free"
  for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}

# Wine's first process starts wineserver and its services, which would keep
# a caller's output pipe (CTest's, a tee) open; a persistent server and a
# finished wineboot first avoid that, and parallel programs then do not
# initialise the prefix at once.
wine_start() {
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 || true
  wine_server_started=1
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
}

# Ends what wine_start and wine_display started, if anything.
wine_stop() {
  if [ "$wine_server_started" = 1 ]; then
    /usr/lib/wine/wineserver -k 2>/dev/null
    wine_server_started=0
  fi
  if [ -n "$wine_xvfb_pid" ]; then
    kill "$wine_xvfb_pid" 2>/dev/null
    wine_xvfb_pid=""
  fi
}

# True when 32-bit Windows programs can run here: wine32 is installed and its
# loader starts. Some kernels run no 32-bit Linux programs at all (the loader
# then fails with "Exec format error"), and Debian's Wine 8 needs one for
# 32-bit Windows programs. Otherwise sets wine32_missing to the reason.
wine32_missing=""
wine32_usable() {
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    wine32_missing="wine32 is not installed"
    return 1
  fi
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    wine32_missing="wine32 is installed, but this machine's kernel does not run 32-bit Linux programs"
    return 1
  fi
  wine32_missing=""
  return 0
}
