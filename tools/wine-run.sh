#!/bin/sh
# Runs a program of the Windows build under Wine: the cross build's
# emulator (cmake/mingw-w64-posix.cmake), which runs the picture generator
# at build time and the tests under ctest.
#   tools/wine-run.sh program.exe [arguments...]
# The Wine prefix is $WINEPREFIX when set (tools/test.sh gives each of its
# groups a copy of its own), else the machine's one under ~/.cache, made on
# first use by tools/wine-prefix.sh.
#   tools/wine-run.sh wineserver [options...]
# runs the prefix's wineserver instead (-w: wait until the Wine session
# ends).
# Windows programs end their output lines with CR LF.
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$("$(dirname "$0")/wine-prefix.sh") || exit 1
fi
export WINEPREFIX
if [ "${1:-}" = wineserver ]; then
  shift
  exec wineserver "$@"
fi
# Quiet Wine, no .NET or HTML engine installer, and no debugger: a crash
# must end the program with a failure status, not wait in winedbg.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

# Wine's own processes (services, the device host, the desktop) start
# with the first program of a Wine session and keep its standard output
# and error.  The device host now and then crashes as a session ends
# ("wine: Unhandled page fault ... starting debugger..."), and the line
# then reads as the program's, after it has ended with its own status.
# So the session is begun here by wineboot, with that output discarded
# (in a running session wineboot only looks), and it is kept a few
# seconds after its last program, so that programs run one after another
# share it.
wineserver -p5 >/dev/null 2>&1
wine wineboot >/dev/null 2>&1

# A Windows process can be ended from outside with status 0 (a console
# control event does that under Wine).  A test program marks its run with
# a file that it removes only when all its tests have run; one left behind
# means it ended early, whatever its status.  Wine's drive Z: is the root.
marker=$(mktemp "${TMPDIR:-/tmp}/fb-wine-run.XXXXXX")
rm -f "$marker"
TEST_PREMATURE_EXIT_FILE="Z:$(printf '%s' "$marker" | tr / '\\')"
export TEST_PREMATURE_EXIT_FILE
status=0
wine "$@" || status=$?
if [ -e "$marker" ]; then
  rm -f "$marker"
  echo "$1: ended before all its tests had run (status $status)" >&2
  [ "$status" -ne 0 ] || status=1
fi
exit "$status"
