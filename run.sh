#!/usr/bin/env bash
# Set up, build and start the utility. ./run.sh --demo starts it with a simulated tracker.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)"
if [ -x build/bin/zd573-utility ]; then
  exec build/bin/zd573-utility "$@"
fi
echo "The desktop utility is not built on this machine (Qt 6 missing); starting the simulated tracker instead." >&2
exec build/bin/zd573-sim "$@"
