#!/usr/bin/env bash
# Set up, build and run every test.
#   ./test.sh [CTEST ARGS]             in build/
#   ./test.sh --sanitize [CTEST ARGS]  in build-sanitize/: clang with the address and
#     undefined-behaviour sanitizers, no recovery; every test but the package
#     checks, which a sanitized build cannot stand for, and the build without
#     the demo, which the plain run has made already
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
if [ "${1:-}" = "--sanitize" ]; then
  shift
  sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DZD573_WERROR=ON -DZD573_BUILD_BENCH=OFF "-DCMAKE_CXX_FLAGS=$sanitize" "-DCMAKE_EXE_LINKER_FLAGS=$sanitize" >/dev/null
  cmake --build build-sanitize --parallel "$(nproc)"
  export QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/sanitize/lsan.supp:print_suppressions=0"
  cd build-sanitize && exec ctest --output-on-failure --parallel "$(nproc)" --label-exclude "packaging|build" "$@"
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZD573_WERROR=ON >/dev/null
cmake --build build --parallel "$(nproc)"
export QT_QPA_PLATFORM=offscreen
cd build && ctest --output-on-failure --parallel "$(nproc)" "$@"
