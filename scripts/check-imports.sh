#!/usr/bin/env bash
# Fails when a Windows program imports a DLL outside the system set that every
# Windows has, or imports comctl32 statically (it must be loaded at run time
# from the system folder). Usage: check-imports.sh OBJDUMP PROGRAM
set -u
objdump=$1
program=$2
allowed=" kernel32.dll user32.dll gdi32.dll shell32.dll advapi32.dll msvcrt.dll "
status=0
dlls=$("$objdump" -p "$program" | awk '/DLL Name:/ {print tolower($3)}')
for dll in $dlls; do
  case $allowed in
    *" $dll "*) echo "import ok: $dll" ;;
    *) echo "import NOT allowed: $dll"; status=1 ;;
  esac
done
[ -n "$dlls" ] || { echo "no imports found in $program"; status=1; }
exit $status
