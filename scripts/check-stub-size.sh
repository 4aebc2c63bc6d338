#!/usr/bin/env bash
# Fails when the stub has grown past its size budget, or has lost what lets
# Windows load it at a random address with its data not executable: the
# DYNAMIC_BASE and NX_COMPAT flags and the base relocations they need.
# Usage: check-stub-size.sh OBJDUMP PROGRAM BUDGET_BYTES
set -u
objdump=$1
program=$2
budget=$3
status=0
size=$(stat -c %s "$program") || exit 1
if [ "$size" -le "$budget" ]; then
  echo "size ok: $size bytes, budget $budget"
else
  echo "size NOT ok: $size bytes, over the budget of $budget by $((size - budget)); by section:"
  "$objdump" -h "$program" | while read -r index name bytes _; do
    case $index in [0-9]*) printf "  %-10s %8d\n" "$name" "$((16#$bytes))" ;; esac
  done
  status=1
fi
headers=$("$objdump" -p "$program")
for flag in DYNAMIC_BASE NX_COMPAT; do
  if grep -qw "$flag" <<<"$headers"; then echo "flag ok: $flag"; else echo "flag missing: $flag"; status=1; fi
done
# The base relocation directory is entry 5 of the data directories.
if grep -Eq "^Entry 5 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Base Relocation" <<<"$headers"; then
  echo "relocations ok"
else
  echo "relocations missing"
  status=1
fi
exit $status
