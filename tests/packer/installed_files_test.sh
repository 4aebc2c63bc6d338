#!/usr/bin/env bash
# What `cmake --install` puts beside the packer, used as a user meets it: the
# man page renders without warnings and holds every command's usage and
# examples, as the packer's own help prints them, and every config key as
# 'sfxpack help config' does; bash completes commands, options and the right
# kind of file after each option.
# Usage: installed_files_test.sh BUILD_DIR [CMAKE]
set -u
build=$1
cmake=${2:-cmake}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null || { echo "FAILED: cmake --install"; exit 1; }
packer=$prefix/bin/sfxpack
page=$prefix/share/man/man1/sfxpack.1.gz
completion=$prefix/share/bash-completion/completions/sfxpack
for file in "$packer" "$page" "$completion"; do
  [ -s "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
[ "$failures" = 0 ] || exit 1

# The man page: no groff warnings, and every usage line and example of the
# help in it (the text is filled, so it is set in long lines without
# hyphenation and compared with blanks squeezed).
warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
[ -z "$warnings" ] || fail "groff warns about the man page: $warnings"
# (The ASCII device has no umlauts and says so; the check above covers them.)
rendered=$(zcat "$page" | groff -man -Tascii -P-c -P-b -P-u -rLL=200n -rHY=0 2>/dev/null | tr -s ' \n' '  ')
commands=$("$packer" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || fail "no commands in sfxpack --help"
for command in $commands; do
  while IFS= read -r line; do
    line=$(echo "$line" | sed 's/^ *//' | tr -s ' ')
    case $rendered in
      *"$line"*) ;;
      *) fail "man page lacks \"$line\" (from sfxpack help $command)" ;;
    esac
  done < <("$packer" help "$command" | grep -E '^Usage: |^  \$ ')
done

# The reference beyond the options: the sections, and every config key
# with its syntax, as 'sfxpack help config' names them.
for section in "CONFIG FILE" "EXIT STATUS" "FILES"; do
  zcat "$page" | grep -qx "\.SH \"\?$section\"\?" || fail "man page lacks the section $section"
done
keys=$("$packer" help config | sed -n 's/^    \([a-z_0-9]*\) = .*/\1/p')
[ "$(echo "$keys" | wc -w)" -ge 10 ] || fail "sfxpack help config names too few keys: $keys"
readme=$(dirname "$0")/../../README.md
for key in $keys; do
  # The README's table of keys, written by hand, lists each as well.
  sed -n '/^### Config file reference/,/^### /p' "$readme" | grep -q "^| \`$key\`\|, \`$key\`" \
    || fail "README's config file reference lacks $key"
  syntax=$("$packer" help config | grep -m1 "^    $key = " | sed 's/^ *//')
  case $rendered in
    *"$syntax"*) ;;
    *) fail "man page lacks \"$syntax\" (from sfxpack help config)" ;;
  esac
done

# Completion: each case is the command line typed so far and a word that
# must (+) or must not (-) be offered.
mkdir -p "$work/files/folder one" "$work/files/other"
touch "$work/files/setup.exe" "$work/files/notes.txt"
cd "$work/files" || exit 1
export SFXPACK_TEST_SECRET=x
completions() {
  bash -c '
    source "$1"
    read -r -a COMP_WORDS <<< "$2"
    [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _sfxpack
    printf "%s\n" "${COMPREPLY[@]}"
  ' completion "$completion" "$1"
}
while IFS='|' read -r typed sign word; do
  [ -n "$typed" ] || continue
  offered=$(completions "$typed")
  if grep -qxF -- "$word" <<<"$offered"; then found=+; else found=-; fi
  if [ "$found" != "$sign" ]; then
    if [ "$sign" = + ]; then what=missing; else what=offered; fi
    fail "completing \"$typed\": \"$word\" $what (got: $(echo $offered))"
  fi
done <<'END'
sfxpack |+|build
sfxpack |+|help
sfxpack b|+|build
sfxpack b|-|test
sfxpack --v|+|--version
sfxpack build --le|+|--level
sfxpack build -|+|-o
sfxpack build -|+|--quiet
sfxpack build -|-|--overwrite
sfxpack build |+|folder one
sfxpack build |+|setup.exe
sfxpack build src -o |+|setup.exe
sfxpack build src --title |-|setup.exe
sfxpack build src --icon |+|setup.exe
sfxpack build src --execution-level |+|require_administrator
sfxpack build src --execution-level h|+|highest_available
sfxpack build src --execution-level h|-|as_invoker
sfxpack build src --version-info |-|setup.exe
sfxpack build src --password-env SFXPACK_TEST_|+|SFXPACK_TEST_SECRET
sfxpack inspect -|+|--json
sfxpack inspect |+|setup.exe
sfxpack test setup.exe --password-file |+|notes.txt
sfxpack extract setup.exe -d |+|folder one
sfxpack extract setup.exe -d |-|setup.exe
sfxpack extract setup.exe --directory o|+|other
sfxpack extract setup.exe --sy|+|--sync
sfxpack help |+|extract
sfxpack help |+|config
sfxpack help |-|setup.exe
sfxpack l|+|list
sfxpack list -|+|--json
sfxpack list |+|setup.exe
sfxpack |-|config
END

[ "$failures" = 0 ] && echo "installed files: all checks passed"
[ "$failures" = 0 ]
