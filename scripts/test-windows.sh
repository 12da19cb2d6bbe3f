#!/usr/bin/env bash
# Runs the Windows build (scripts/build-windows.sh) under Wine, in a fresh,
# throw-away Wine prefix: the core's test programs, then the command line
# end to end against the simulated tracker on Linux (tests/windows/e2e.sh).
# The Linux programs it compares with come from build/ (./test.sh), else
# from a small build of their own in build-host/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
[ -x build-windows/bin/zd573.exe ] || { echo "test-windows.sh: run scripts/build-windows.sh first" >&2; exit 1; }

# wine64 is /usr/lib/wine/wine64 on Debian 12 (the wine package's wrapper picks it).
wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; } || wine=$(command -v wine)
export ZD573_WINE=$wine

if [ -f build/build.ninja ] && grep -q zd573-sim build/build.ninja; then
  host=build
else
  host=build-host
  cmake -S . -B build-host -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZD573_BUILD_GUI=OFF \
    -DZD573_BUILD_TESTS=OFF -DZD573_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$host" --target zd573 zd573-sim >/dev/null
export ZD573_LINUX_BIN=$root/$host/bin ZD573_WINDOWS_BIN=$root/build-windows/bin

work=$(mktemp -d /tmp/zd573-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
start=$SECONDS
"$wine" cmd /c exit 0 >/dev/null 2>&1  # creates the prefix
echo "Wine prefix ready in $((SECONDS - start)) s"

start=$SECONDS
ctest --test-dir build-windows --output-on-failure
echo "Core tests under Wine: $((SECONDS - start)) s"

start=$SECONDS
tests/windows/e2e.sh
echo "End to end under Wine: $((SECONDS - start)) s"
