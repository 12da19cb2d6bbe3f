#!/bin/sh
# The desktop utility builds and starts without the simulated tracker (as on
# Windows): configure a build of its own with ZD573_DEMO=OFF, build only the
# program, and check that --demo says it is not available.
# Usage: build_without_demo.sh SOURCE_DIR BUILD_DIR
set -eu
src=$1
dir=$2
launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZD573_WERROR=ON -DZD573_DEMO=OFF \
  -DZD573_BUILD_TESTS=OFF -DZD573_BUILD_BENCH=OFF $launcher >/dev/null
cmake --build "$dir" --target zd573-utility
# Nothing of the simulator is in the program.
if nm -C "$dir/bin/zd573-utility" | grep -q 'sim::Simulator'; then
  echo "the program links the simulated tracker" >&2
  exit 1
fi
status=0
out=$(QT_QPA_PLATFORM=offscreen "$dir/bin/zd573-utility" --demo 2>&1) || status=$?
echo "$out"
[ "$status" -ne 0 ] && echo "$out" | grep -q -- "--demo is not available in this build"
