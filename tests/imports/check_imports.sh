#!/usr/bin/env bash
# Fails when a Windows executable imports any DLL that is not one of the system's
# known DLLs. The loader takes a known DLL only from the system folder; any other
# imported name is searched for in the program's own folder first, where a planted
# copy would be run. Delay-loaded imports are refused outright: they are searched
# for the same way, only later.
#
#   check_imports.sh OBJDUMP EXE                         exit 0 when every import is known
#   check_imports.sh --expect-refused OBJDUMP EXE DLL... exit 0 when EXE is refused and
#                                                        every named DLL is among the refused
set -uo pipefail

known="advapi32 clbcatq combase comdlg32 coml2 gdi32 gdiplus imagehlp imm32 kernel32 kernelbase
msctf msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32
shlwapi user32 wldap32 ws2_32"

expect=""
if [ "${1:-}" = "--expect-refused" ]; then expect=1; shift; fi
if [ $# -lt 2 ]; then echo "usage: $0 [--expect-refused] OBJDUMP EXE [DLL...]" >&2; exit 2; fi
objdump=$1 exe=$2; shift 2

if ! dump=$("$objdump" -p "$exe" 2>&1); then
  echo "$objdump cannot read $exe: $dump" >&2
  exit 2
fi
names=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r')
if [ -z "$names" ]; then
  echo "$exe: no import table found (not a program, or objdump's format changed)" >&2
  exit 2
fi

refused=()
while read -r dll; do
  base=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
  base=${base%.dll}
  case " $(echo $known) " in
    *" $base "*) ;;
    *) refused+=("$dll") ;;
  esac
done <<< "$names"

# The delay import directory entry: "Entry d <rva> <size> Delay Import Directory".
delay=$(printf '%s\n' "$dump" | awk '/Delay Import Directory/ && $1 == "Entry" { print $4 }')
if [ -n "$delay" ] && [ -n "${delay//0/}" ]; then
  refused+=("(delay-load imports)")
fi

echo "$exe imports: $(echo $names)"
if [ -z "$expect" ]; then
  if [ ${#refused[@]} -ne 0 ]; then
    echo "not a known system DLL: ${refused[*]}" >&2
    exit 1
  fi
  exit 0
fi

# The refusal itself under test: every named DLL must have been refused.
status=0
for want in "$@"; do
  found=""
  for dll in "${refused[@]}"; do
    [ "$(printf '%s' "$dll" | tr 'A-Z' 'a-z')" = "$(printf '%s' "$want" | tr 'A-Z' 'a-z')" ] && found=1
  done
  if [ -z "$found" ]; then
    echo "expected $want to be refused; refused were: ${refused[*]:-none}" >&2
    status=1
  fi
done
exit $status
