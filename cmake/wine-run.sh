#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh <wineserver> <wine> <program> [args...]
wineserver=$1
wine=$2
shift 2
prefix=${WINEPREFIX:-$HOME/.wine}
# Windows can be made only with a graphics driver. Without a display it is
# Wine's null driver: set in the prefix once it exists, and then the server
# restarts, since the desktop process that made the prefix keeps the driver
# it started with. Once per prefix; a test started meanwhile (ctest -j)
# waits for the lock before it runs anything there.
if [ -z "${DISPLAY:-}" ] && [ ! -e "$prefix/.null-graphics" ]; then
  mkdir -p "$prefix"
  (
    flock 9
    if [ ! -e "$prefix/.null-graphics" ]; then
      if "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1; then
        "$wineserver" -k </dev/null >/dev/null 2>&1
        "$wineserver" -w </dev/null >/dev/null 2>&1
        touch "$prefix/.null-graphics"
      fi
    fi
  ) 9>"$prefix/.setup.lock"
fi
# A server that stays 30 seconds after its last program, so that it is not
# ended and started again between two test programs (Debian's ends at
# once). When a server runs already this start fails, and that one is used.
"$wineserver" -p30 </dev/null >/dev/null 2>&1
# Without Wine's preloader, a randomly placed library can take the address
# that Wine needs for its shared user data, and the program fails to start
# (about one start in a few thousand): the address space is not randomized.
norandom=
if setarch "$(uname -m)" -R true 2>/dev/null; then
  norandom="setarch $(uname -m) -R"
fi
# Wine starts its background programs (services, the desktop) from the first
# program that needs them, and they inherit that program's output: a pipe
# they hold would keep the test runner waiting for its end. The program
# writes into files instead, shown once it has ended.
out=$(mktemp) || exit 1
err=$(mktemp) || exit 1
trap 'rm -f "$out" "$err"' EXIT
$norandom "$wine" "$@" <"/dev/null" >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
exit $status
