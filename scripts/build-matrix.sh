#!/usr/bin/env bash
# Builds the project the way packagers do, once per compiler and build type,
# each in its own folder, with warnings left as warnings (ZD573_WERROR off),
# and checks that the programs it made run and carry the project's version.
#
#   scripts/build-matrix.sh                    # gcc and clang x Debug RelWithDebInfo Release MinSizeRel
#   scripts/build-matrix.sh --compiler gcc --type Release --programs-only --root build/release-check
#
# --programs-only leaves out the tests and benchmarks (what CI's entry does).
# Folders are kept, so a second run only builds what changed. Exit 0 when
# every entry built and ran.
set -uo pipefail
cd "$(dirname "$0")/.."

compilers=() types=() root=build-matrix programs_only=0 jobs=${JOBS:-2}
while (($#)); do
  case $1 in
    --compiler) compilers+=("$2"); shift 2 ;;
    --type) types+=("$2"); shift 2 ;;
    --root) root=$2; shift 2 ;;
    --programs-only) programs_only=1; shift ;;
    --jobs) jobs=$2; shift 2 ;;
    -h | --help) sed -n '2,12p' "$0"; exit 0 ;;
    *) echo "build-matrix.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
((${#compilers[@]})) || compilers=(gcc clang)
((${#types[@]})) || types=(Debug RelWithDebInfo Release MinSizeRel)

version=$(sed -n 's/^project(zd573 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
mkdir -p "$root"
summary=()
failed=0

for compiler in "${compilers[@]}"; do
  case $compiler in
    gcc) cxx=g++ ;;
    clang) cxx=clang++ ;;
    *) echo "build-matrix.sh: unknown compiler $compiler (gcc or clang)" >&2; exit 2 ;;
  esac
  if ! command -v "$cxx" >/dev/null; then
    summary+=("$(printf '%-6s %-15s %s' "$compiler" - "MISSING ($cxx not installed)")")
    failed=1
    continue
  fi
  for type in "${types[@]}"; do
    dir="$root/$compiler-$type"
    log="$root/$compiler-$type.log"
    options=(-DCMAKE_BUILD_TYPE="$type" -DCMAKE_CXX_COMPILER="$cxx" -DZD573_WERROR=OFF)
    if ((programs_only)); then
      options+=(-DZD573_BUILD_TESTS=OFF -DZD573_BUILD_BENCH=OFF)
    fi
    echo "== $compiler $type: $dir" >&2
    start=$(date +%s)
    result=ok
    if ! cmake -S . -B "$dir" "${generator[@]}" "${options[@]}" >"$log" 2>&1; then
      result="FAILED to configure"
    elif ! cmake --build "$dir" --parallel "$jobs" >>"$log" 2>&1; then
      result="FAILED to build"
    elif [[ $("$dir/bin/zd573" --version 2>&1) != "zd573 $version" ]]; then
      result="FAILED: bin/zd573 --version"
    elif [[ -x $dir/bin/zd573-utility && $("$dir/bin/zd573-utility" --version 2>&1) != "zd573-utility $version" ]]; then
      result="FAILED: bin/zd573-utility --version"
    elif [[ $("$dir/bin/zd573-sim" --help 2>&1 | head -1) != Usage:* ]]; then
      result="FAILED: bin/zd573-sim --help"
    fi
    seconds=$(($(date +%s) - start))
    warnings=$(grep -c 'warning:' "$log")
    summary+=("$(printf '%-6s %-15s %-28s %5d s %4d warnings' "$compiler" "$type" "$result" "$seconds" "$warnings")")
    if [[ $result != ok ]]; then
      failed=1
      tail -n 40 "$log" >&2
    fi
  done
done

echo
printf '%s\n' "${summary[@]}"
echo "logs: $root/<compiler>-<type>.log"
exit $failed
