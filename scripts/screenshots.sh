#!/usr/bin/env bash
# Pictures of every page of the demo package, in English and in German, from
# the real stub under Wine (its own desktop draws the title bars), into
# docs/screenshots, where the README shows them.
set -u
cd "$(dirname "$0")/.."
out=docs/screenshots
rm -rf "$out" && mkdir -p "$out"
for lang in en de; do
  bash scripts/demo.sh --auto --lang "$lang" --shots "$out" || exit 1
  bash scripts/demo.sh --auto --quick --lang "$lang" --shots "$out" || exit 1
done
ls "$out"
