#!/usr/bin/env bash
# Start-up of the utility against a bare Qt Widgets window of the same size
# and flags (frameless, 802 x 602, -O2, the same Qt), under one Xvfb: PAIRS
# pairs (15 by default) started one after the other, the order swapped every
# pair. For each start: milliseconds from exec to the MapNotify of the
# top-level window, and VmHWM one second later. Prints every pair, then the
# medians of the pairwise ratios, the start-up ratio on the last line but one
# and the memory ratio last.
#
# BUILD_DIR (default build) must hold an optimised build of zd573-utility:
# RelWithDebInfo (-O2 -g) as the tests use it, or Release.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
PAIRS=${PAIRS:-15}
program="$BUILD_DIR/bin/zd573-utility"

build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt" 2>/dev/null || true)
case "$build_type" in
  Release | RelWithDebInfo) ;;
  *) echo "startup.sh: $BUILD_DIR is a '${build_type:-unknown}' build; use RelWithDebInfo or Release" >&2; exit 2 ;;
esac
[ -x "$program" ] || { echo "startup.sh: build $program first" >&2; exit 2; }
command -v Xvfb >/dev/null && [ -e /usr/include/X11/Xlib.h ] || scripts/install-deps.sh --only xvfb libx11-dev

work=$(mktemp -d)
xvfb=""
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT

g++ -O2 -fPIC -std=c++20 bench/startup_bare.cpp -o "$work/bare" $(pkg-config --cflags --libs Qt6Widgets)
gcc -O2 bench/startup_watch.c -o "$work/watch" -lX11

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
mkdir -m 700 "$work/runtime"
export QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR WAYLAND_DISPLAY

run() { "$work/watch" 802 602 "$@"; }
echo "zd573-utility: $program ($build_type); Qt $(pkg-config --modversion Qt6Widgets); load average $(cut -d' ' -f1-3 /proc/loadavg)"
# One start of each first, not counted: files in the page cache for both.
run "$program" >/dev/null
run "$work/bare" >/dev/null

printf '%-5s %12s %12s %12s %12s %8s %8s\n' pair "utility ms" "bare ms" "utility kB" "bare kB" time mem
for i in $(seq "$PAIRS"); do
  if (( i % 2 )); then
    read -r pt pm < <(run "$program"); read -r bt bm < <(run "$work/bare")
  else
    read -r bt bm < <(run "$work/bare"); read -r pt pm < <(run "$program")
  fi
  echo "$i $pt $bt $pm $bm"
done | python3 -c '
import statistics, sys
pairs = [list(map(float, line.split()[1:])) for line in sys.stdin]
for i, (pt, bt, pm, bm) in enumerate(pairs, 1):
    print(f"{i:<5} {pt:12.1f} {bt:12.1f} {pm:12.0f} {bm:12.0f} {pt / bt:8.2f} {pm / bm:8.2f}", flush=True)
col = lambda k: statistics.median(p[k] for p in pairs)
print(f"median {col(0):11.1f} {col(1):12.1f} {col(2):12.0f} {col(3):12.0f}")
print(f"start-up ratio (median of pairs): {statistics.median(p[0] / p[1] for p in pairs):.2f}")
print(f"memory ratio (median of pairs):   {statistics.median(p[2] / p[3] for p in pairs):.2f}")
'
echo "load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2
