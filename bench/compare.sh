#!/usr/bin/env bash
# Times our log conversion against gpsbabel on the same generated points and
# prints the ratios and peak memory. Usage: bench/compare.sh
# Environment: COUNT (points, default 1000000), RUNS (default 5), BUILD_DIR
# (where bin/ is; default: build, then build-logger), WORK (scratch folder).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
count=${COUNT:-1000000}
runs=${RUNS:-5}

for tool in hyperfine gpsbabel python3; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing; run scripts/install-deps.sh" >&2; exit 1; }
done

bindirs=()
[ -n "${BUILD_DIR:-}" ] && bindirs+=("$BUILD_DIR/bin")
bindirs+=("$root/build/bin" "$root/build-logger/bin")
find_bin() {
  for d in "${bindirs[@]}"; do
    [ -x "$d/$1" ] && { echo "$d/$1"; return 0; }
  done
  return 1
}

# The real command line when it is built, else the bench driver over the same API.
if [ -x "$root/build/bin/zd573" ]; then
  convert="$(printf '%q' "$root/build/bin/zd573") log convert"
elif driver=$(find_bin zd573-log-convert); then
  convert=$(printf '%q' "$driver")
else
  echo "compare.sh: build zd573 or zd573-log-convert first (cmake --build <dir> --target zd573-log-convert)" >&2
  exit 1
fi
gen=$(find_bin zd573-log-gen) || { echo "compare.sh: build zd573-log-gen first" >&2; exit 1; }

work=${WORK:-$(mktemp -d)}
[ -z "${WORK:-}" ] && trap 'rm -rf "$work"' EXIT
mkdir -p "$work"
w=$(printf '%q' "$work")

echo "converter: $convert"
echo "generating $count points in $work"
"$gen" "$count" "$work/points.log" "$work/points.csv"

ours() { echo "$convert $w/points.log $w/out.$1"; }
theirs() { echo "gpsbabel -i unicsv -f $w/points.csv -o $1 -F $w/gpsbabel.$1"; }

# New files each run, as for a first export; then replacing an existing file,
# which adds the sync that protects the old one.
hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/new.json" \
  --prepare "rm -f $w/out.* $w/gpsbabel.*" \
  -n ours-csv "$(ours csv)" -n ours-kml "$(ours kml)" -n ours-gpx "$(ours gpx)" \
  -n gpsbabel-kml "$(theirs kml)" -n gpsbabel-gpx "$(theirs gpx)"
hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/replace.json" \
  -n ours-kml-replace "$(ours kml)" -n ours-gpx-replace "$(ours gpx)"

# Peak resident memory of one run each. GNU time measures from a small parent;
# the Python fallback's forked child starts with the interpreter's pages.
peak_kb() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M -o "$work/peak" bash -c "$1" >/dev/null
    tail -n 1 "$work/peak"
  else
    python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1], shell=True, check=True, stdout=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$1"
  fi
}
declare -A peak
for f in csv kml gpx; do peak[ours-$f]=$(peak_kb "$(ours "$f")"); done
for f in kml gpx; do peak[gpsbabel-$f]=$(peak_kb "$(theirs "$f")"); done

echo
echo "results for $count points (mean wall time, peak memory):"
python3 - "$work/new.json" "$work/replace.json" \
  "${peak[ours-csv]}" "${peak[ours-kml]}" "${peak[ours-gpx]}" "${peak[gpsbabel-kml]}" "${peak[gpsbabel-gpx]}" <<'PY'
import json, sys
mean = {}
for path in sys.argv[1:3]:
    for r in json.load(open(path))["results"]:
        mean[r["command"]] = r["mean"]
peak = dict(zip(["ours-csv", "ours-kml", "ours-gpx", "gpsbabel-kml", "gpsbabel-gpx"], map(int, sys.argv[3:8])))
for name in ["ours-csv", "ours-kml", "ours-gpx", "gpsbabel-kml", "gpsbabel-gpx"]:
    print(f"  {name:18s} {mean[name]:8.3f} s   {peak[name] / 1024:7.1f} MB")
for name in ["ours-kml-replace", "ours-gpx-replace"]:
    print(f"  {name:18s} {mean[name]:8.3f} s")
ok = True
for f in ["kml", "gpx"]:
    ratio = mean[f"gpsbabel-{f}"] / mean[f"ours-{f}"]
    ratio_replace = mean[f"gpsbabel-{f}"] / mean[f"ours-{f}-replace"]
    print(f"  {f}: ours is {ratio:.1f}x faster than gpsbabel ({ratio_replace:.1f}x when replacing a file)")
    ok &= ratio >= 10
for f in ["csv", "kml", "gpx"]:
    ok &= peak[f"ours-{f}"] < 64 * 1024
print("goal (>= 10x, < 64 MB):", "met" if ok else "NOT met")
PY
