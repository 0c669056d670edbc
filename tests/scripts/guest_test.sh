#!/usr/bin/env bash
# Host test of the pieces that send the i686 build's tests to the emulated guest without
# booting it: guest.sh refusing without an image or with bad words, the split of the test
# list between this host and the guest, and wine32-run.sh's direct runs inside the guest.
#
#   guest_test.sh SCRIPTS_DIR
set -uo pipefail
scripts=$1
. "$(dirname "$0")/expect.sh"

# No image in the cache: the check says where it looked, and a run boots nothing.
expect "check without image" 1 "no guest image in $scratch/cache" \
  env K4_GUEST_CACHE="$scratch/cache" bash "$scripts/guest.sh" --check
expect "run without image" 1 "no guest image" \
  env K4_GUEST_CACHE="$scratch/cache" K4_BUILD_ROOT="$scratch/build" bash "$scripts/guest.sh" --run true
[ ! -e "$scratch/build" ] || fail "run without image: made $scratch/build"
expect "no words" 2 "usage" bash "$scripts/guest.sh"
expect "run without command" 2 "" bash "$scripts/guest.sh" --run

# The split: a test whose command names the 32-bit runner anywhere goes to the guest
# (the display-scale script takes it as an argument); names are matched whole.
cat >"$scratch/tests.json" <<'JSON'
{"tests": [
  {"name": "test_stub_i686", "command": ["/usr/bin/python3", "check_stub.py", "K4EXTRACTOR.exe"]},
  {"name": "test_cab_units", "command": ["/x/scripts/wine32-run.sh", "test_cab_units.exe"]},
  {"name": "test_dpi_scales", "command": ["bash", "dpi_scales.sh", "/x/scripts/wine32-run.sh", "t.exe"]},
  {"name": "test_a+b", "command": ["bash", "x.sh"]},
  {"name": "test_no_command"}
]}
JSON
split=$(python3 "$scripts/split_i686.py" <"$scratch/tests.json")
[ "$(sed -n 1p <<<"$split")" = '^(test_stub_i686|test_a\+b|test_no_command)$' ] || fail "split, here: $(sed -n 1p <<<"$split")"
[ "$(sed -n 2p <<<"$split")" = '^(test_cab_units|test_dpi_scales)$' ] || fail "split, guest: $(sed -n 2p <<<"$split")"
[ "$(sed -n 3p <<<"$split")" = '^$' ] || fail "split, natively only: $(sed -n 3p <<<"$split")"
split=$(echo '{"tests": []}' | python3 "$scripts/split_i686.py")
[ "$split" = $'^$\n^$\n^$' ] || fail "split of no tests: $split"

# With the list of emulated tests: only those go to the guest, the rest of the Windows
# tests run only natively, and a list naming cases gives the runner the program's filter.
printf '# comment\ntest_dpi_scales  Scale.*:Other.* # why\n\n' >"$scratch/emulated.txt"
split=$(python3 "$scripts/split_i686.py" --emulated "$scratch/emulated.txt" --filters "$scratch/filters" \
  <"$scratch/tests.json")
[ "$(sed -n 2p <<<"$split")" = '^(test_dpi_scales)$' ] || fail "listed split, guest: $(sed -n 2p <<<"$split")"
[ "$(sed -n 3p <<<"$split")" = '^(test_cab_units)$' ] || fail "listed split, natively only: $(sed -n 3p <<<"$split")"
[ "$(cat "$scratch/filters")" = "t Scale.*:Other.*" ] || fail "filters: $(cat "$scratch/filters")"
printf 'test_gone *\n' >"$scratch/emulated.txt"
expect "list naming a test the build lacks" 1 "no such test that runs a Windows program: test_gone" \
  python3 "$scripts/split_i686.py" --emulated "$scratch/emulated.txt" --filters "$scratch/filters" <"$scratch/tests.json"
printf 'test_cab_units\n' >"$scratch/emulated.txt"
expect "list line without cases" 1 "want 'test_name cases'" \
  python3 "$scripts/split_i686.py" --emulated "$scratch/emulated.txt" <"$scratch/tests.json"

# Inside the guest the runner starts programs with the guest's own Wine, in the prefix a
# caller names, and has nothing to check, start or stop.
mkdir -p "$scratch/bin"
printf '#!/bin/sh\necho "wine $* in $WINEPREFIX"\n' >"$scratch/bin/wine"; chmod +x "$scratch/bin/wine"
expect "guest program" 0 "wine prog.exe a b in /p/guest" \
  env PATH="$scratch/bin:$PATH" K4_GUEST=1 WINEPREFIX=/p/guest "$scripts/wine32-run.sh" prog.exe a b
expect "guest program, named prefix" 0 "wine prog.exe in /p/dpi" \
  env PATH="$scratch/bin:$PATH" K4_GUEST=1 WINEPREFIX=/p/guest K4_WINE32_PREFIX=/p/dpi "$scripts/wine32-run.sh" prog.exe
printf '#!/bin/sh\necho "wine $* filter=${GTEST_FILTER:-none}"\n' >"$scratch/bin/wine"
printf 'prog Quiet.*\n' >"$scratch/filters"
expect "guest program with a filter" 0 "wine /b/prog.exe filter=Quiet.*" \
  env PATH="$scratch/bin:$PATH" K4_GUEST=1 K4_EMULATED_FILTERS="$scratch/filters" "$scripts/wine32-run.sh" /b/prog.exe
expect "guest program without a filter" 0 "wine other.exe filter=none" \
  env PATH="$scratch/bin:$PATH" K4_GUEST=1 K4_EMULATED_FILTERS="$scratch/filters" "$scripts/wine32-run.sh" other.exe
expect "guest check" 0 "" env K4_GUEST=1 "$scripts/wine32-run.sh" --check
expect "guest tool" 0 "tool ran" env K4_GUEST=1 "$scripts/wine32-run.sh" --tool echo "tool ran"

[ "$failures" -eq 0 ] && echo "guest scripts: all cases passed"
exit $((failures > 0))
