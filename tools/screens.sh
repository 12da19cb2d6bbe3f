#!/bin/sh
# Pictures of every window under build/screens/, from the real windows with
# the demo tracker (offscreen). Usage: tools/screens.sh [BUILD_DIR]
set -eu
build=${1:-build}
cmake --build "$build" --target zd573-screens
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/zd573-screens" "$build/screens"
echo "pictures in $build/screens"
