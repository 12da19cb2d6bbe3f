#!/usr/bin/env bash
# Download at the real line rate: the simulated tracker throttled to 115200 baud
# (11,520 bytes/s) serves RECORDS records; `zd573 log download` fetches them.
# Prints the wall time against the time the bytes need on the wire plus the
# identification (the tracker is asked after eleven of its own lines, a
# status line every LINE_MS), and the CPU the command line used.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
RECORDS=${RECORDS:-20000}
LINE_MS=${LINE_MS:-100}
work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT

"$BUILD_DIR/bin/zd573-sim" --baud 115200 --records "$RECORDS" --line-ms "$LINE_MS" >"$work/sim.out" &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/sim.out")

# Bytes the tracker sends after "LB": its text lines, then packets of up to 12 records.
packets=$(( (RECORDS + 11) / 12 ))
header=$(printf 'GPS data log\r\nFirmware ZD573 V1.08\r\ndataCount=%d\r\nSending records\r\n===\r\n' "$RECORDS" | wc -c)
bytes=$(( header + RECORDS * 20 + packets * 8 ))

XDG_DATA_HOME=$work/data /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
  "$BUILD_DIR/bin/zd573" --quiet --port "$port" --password 4071 log download "$work/track.csv"
read -r wall user sys maxkb <"$work/time"
python3 - "$bytes" "$wall" "$user" "$sys" "$maxkb" "$RECORDS" "$LINE_MS" <<'PY'
import sys
bytes_, wall, user, sys_, maxkb, records, line_ms = map(float, sys.argv[1:])
wire = bytes_ / 11520 + 10.5 * line_ms / 1000
cpu = user + sys_
print(f"records            {int(records)}")
print(f"bytes on the wire  {int(bytes_)}  ->  {wire:.2f} s at 11,520 bytes/s, with the identification")
print(f"download wall time {wall:.2f} s  ({100 * (wall - wire) / wire:+.1f} % against the wire)")
print(f"CPU of zd573       {cpu:.2f} s  ({100 * cpu / wall:.1f} % of one core)")
print(f"peak memory        {maxkb / 1024:.1f} MB")
PY
