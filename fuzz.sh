#!/usr/bin/env bash
# Runs every fuzz target for a while (default 60 s each) with libFuzzer under
# the address and undefined-behaviour sanitizers, in build-fuzz/.
#   ./fuzz.sh [SECONDS] [TARGET...]     e.g. ./fuzz.sh 600 log_stream
# New inputs collect in build-fuzz/tests/fuzz/corpus/<target>/; a failing input
# is saved as build-fuzz/tests/fuzz/artifacts/<target>-crash-*. A short run of
# each target is part of ./test.sh.
set -euo pipefail
cd "$(dirname "$0")"
seconds="${1:-60}"
shift || true
./scripts/install-deps.sh
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DZD573_WERROR=ON -DZD573_FUZZ=ON -DZD573_BUILD_GUI=OFF -DZD573_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$sanitize" "-DCMAKE_EXE_LINKER_FLAGS=$sanitize" >/dev/null
cmake --build build-fuzz --target zd573_fuzzers --parallel "$(nproc)"

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(reply lines log_stream ini raw_log language sentence profile roster track_file)
dir=build-fuzz/tests/fuzz
bin=build-fuzz/bin
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=0
summary=()
for t in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$t" "$dir/artifacts"
  log="$dir/fuzz_$t.log"
  echo "fuzz_$t: ${seconds} s" >&2
  if "$bin/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$dir/artifacts/$t-" "$dir/corpus/$t" "tests/fuzz/seeds/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    summary+=("$(printf '%-12s %10s runs  ok' "$t" "${runs:-?}")")
  else
    failed=1
    summary+=("$(printf '%-12s FAILED, see %s' "$t" "$log")")
    grep -E "property failed|ERROR: |SUMMARY: " "$log" | head -5 >&2 || true
  fi
done
printf '%s\n' "${summary[@]}"
exit "$failed"
