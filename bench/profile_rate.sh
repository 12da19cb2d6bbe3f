#!/usr/bin/env bash
# Writing settings at the real line rate: the simulated tracker throttled to
# 115200 baud with a status line every 100 ms, and the command line with the
# device's full second after each sentence. Times `set D1=x`, `restore` of a
# backup equal to the tracker, and one `provision` round of a typical shared
# profile on a tracker fresh out of its box (plugging in and out not counted).
# BEFORE=path/to/an/older/zd573 times the first two with it as well.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
BEFORE=${BEFORE:-}
work=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT
export ZD573_CONFIG_DIR="$work" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
unset ZD573_SET_PAUSE_MS

start_sim() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null || true
  rm -f "$work/sim.out" "$work/journal"
  "$BUILD_DIR/bin/zd573-sim" --baud 115200 --line-ms 100 --journal "$work/journal" >"$work/sim.out" &
  sim=$!
  for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  port=$(head -n 1 "$work/sim.out")
}

# Prints "<seconds> <set sentences>" for one command.
timed() {
  local before after t0 t1
  before=$(grep -c ' KVS,' "$work/journal" 2>/dev/null || true)
  t0=$(date +%s.%N)
  "$@" --quiet --port "$port" --password 4071 >/dev/null
  t1=$(date +%s.%N)
  after=$(grep -c ' KVS,' "$work/journal" 2>/dev/null || true)
  python3 -c "print(f'{$t1 - $t0:.1f} s, {${after:-0} - ${before:-0}} sentences')"
}

cat >"$work/care.ini" <<'EOF'
[DEVICE]
O6=3600
Va=Care desk
VA=+15550100900
Vb=Night nurse
VB=+15550100901
G0=+15550100900
G1=+15550100901
F0=+15550100900
H2=300
D1=care.apn
D2=care
D3=secret
FE=2
OX=1
O2=30
EOF

for exe in ${BEFORE:+"$BEFORE"} "$BUILD_DIR/bin/zd573"; do
  echo "== $exe"
  start_sim
  echo "set D1=x:                  $(timed "$exe" set D1=x)"
  "$exe" --quiet --port "$port" --password 4071 backup "$work/backup.ini"
  echo "restore, unchanged backup: $(timed "$exe" restore "$work/backup.ini")"
done

start_sim
round=$(timed "$BUILD_DIR/bin/zd573" provision "$work/care.ini" --report "$work/report.csv" --count 1)
echo "provision, care profile:   $round"
seconds=${round%% s*}
python3 -c "print(f'trackers per hour:         {3600 / $seconds:.0f} (plugging in and out not counted)')"
tail -n 1 "$work/report.csv"
