#!/usr/bin/env bash
# Checks the import table of a Windows executable. Without --allowed: fails when it
# imports any DLL that is not one of the system's known DLLs (the loader takes a known
# DLL only from the system folder; any other name is searched for in the program's own
# folder first, where a planted copy would be run), or anything delay-loaded (searched
# for the same way, only later). With --allowed LIST BUILD: also fails unless the
# functions it imports are exactly the allow-list's entries for that build, so that a
# new import, one Windows 7 SP1 may lack, is a reviewed change of the list.
#
#   check_imports.sh [--allowed LIST BUILD] OBJDUMP EXE
#         exit 0 when every import passes
#   check_imports.sh --expect-refused [--allowed LIST BUILD] OBJDUMP EXE NAME...
#         exit 0 when EXE is refused and every NAME (a DLL, or dll!function) is among
#         the refused
set -uo pipefail

known="advapi32 clbcatq combase comdlg32 coml2 gdi32 gdiplus imagehlp imm32 kernel32 kernelbase
msctf msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32
shlwapi user32 wldap32 ws2_32"

expect="" allowed="" build=""
if [ "${1:-}" = "--expect-refused" ]; then expect=1; shift; fi
if [ "${1:-}" = "--allowed" ]; then allowed=${2:-}; build=${3:-}; shift 3 || true; fi
if [ $# -lt 2 ] || { [ -n "$allowed" ] && [ ! -r "$allowed" ]; }; then
  echo "usage: $0 [--expect-refused] [--allowed LIST BUILD] OBJDUMP EXE [NAME...]" >&2
  exit 2
fi
objdump=$1 exe=$2; shift 2
lower() { tr 'A-Z' 'a-z'; }

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
  base=$(printf '%s' "$dll" | lower)
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
[ ${#refused[@]} -eq 0 ] || echo "not a known system DLL: ${refused[*]}" >&2

# Every imported function as dll!name (DLL in lower case), one a line, sorted; an
# import by ordinal as dll!#ordinal. Objdump lists them under each "DLL Name:" line as
# "<tab><vma><tab><hint or ordinal> <name>".
imported_functions() {
  printf '%s\n' "$dump" | tr -d '\r' | awk '
    /^The Import Tables/ { on = 1; next }
    on && /^[^[:space:]]/ { on = 0 }
    on && $1 == "DLL" && $2 == "Name:" { dll = tolower($3); next }
    on && /^ / { dll = "" }   # a directory row (a space, not a tab, in front) ends the DLL
    on && dll != "" && /^\t/ && NF == 3 && $1 ~ /^[0-9a-fA-F]+$/ && $2 ~ /^[0-9]+$/ {
      print dll "!" ($3 == "<none>" ? "#" $2 : $3)
    }' | sort -u
}

# The list's entries for the build: "dll!function [build...]  # note"; an entry without
# builds holds for every build.
allowed_functions() {
  sed 's/#.*//' "$allowed" | awk -v b="$build" '
    NF == 0 { next }
    { split($1, parts, "!"); entry = tolower(parts[1]) "!" parts[2] }
    NF == 1 { print entry; next }
    { for (i = 2; i <= NF; i++) { tag = $i; gsub(/[][]/, "", tag); if (tag == b) { print entry; next } } }' | sort -u
}

if [ -n "$allowed" ]; then
  functions=$(imported_functions)
  if [ -z "$functions" ]; then
    echo "$exe: no imported functions found (objdump's format changed?)" >&2
    exit 2
  fi
  echo "$exe imports $(wc -l <<<"$functions") functions ($build)"
  unlisted=$(comm -23 <(printf '%s\n' "$functions") <(allowed_functions))
  stale=$(comm -13 <(printf '%s\n' "$functions") <(allowed_functions))
  [ -z "$unlisted" ] || echo "imported, not in $(basename "$allowed") for $build:" $unlisted >&2
  [ -z "$stale" ] || echo "in $(basename "$allowed") for $build, not imported (remove or tag):" $stale >&2
  for entry in $unlisted $stale; do refused+=("$entry"); done
fi

if [ -z "$expect" ]; then
  [ ${#refused[@]} -eq 0 ]
  exit
fi

# The refusal itself under test: every named DLL or function must have been refused.
status=0
for want in "$@"; do
  found=""
  for item in "${refused[@]}"; do
    [ "$(printf '%s' "$item" | lower)" = "$(printf '%s' "$want" | lower)" ] && found=1
  done
  if [ -z "$found" ]; then
    echo "expected $want to be refused; refused were: ${refused[*]:-none}" >&2
    status=1
  fi
done
exit $status
