#!/usr/bin/env bash
# The command line at the protocol's pace: times `apply`, `provision` (one
# round, --count 1) and `diff` against zd573-sim at the real line rate (115200
# baud, a status line every LINE_MS) with the device's full second after each
# set sentence, and prints each beside its floor, the least the protocol
# allows:
#   identification  the 11th line after the port opens: 10.5 line intervals
#                   on average (the first comes half an interval in)
#   each query      10 intervals after the one before (its reply is the 11th line)
#   each sentence   1 s, during which the tracker's lines count on
#   read-back       its first query waits only for the lines the sentences'
#                   seconds did not bring, each further one 10 intervals
# The window's loop (zd573-window-loop: the sheet offscreen, from the loop's
# start to the tracker's row) is set beside `provision`.
# Queries are counted for exactly the keys needed, five to a query: the keys of
# the written pages for apply and provision, the file's keys (and those a page
# rule goes by) for diff. RUNS=5 by default; the medians are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
RUNS=${RUNS:-5}
LINE_MS=${LINE_MS:-100}
work=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT
export ZD573_CONFIG_DIR="$work" XDG_CACHE_HOME="$work/cache"
unset ZD573_SET_PAUSE_MS

start_sim() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null || true
  rm -f "$work/sim.out" "$work/journal"
  "$BUILD_DIR/bin/zd573-sim" --baud 115200 --line-ms "$LINE_MS" --journal "$work/journal" >"$work/sim.out" &
  sim=$!
  for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  port=$(head -n 1 "$work/sim.out")
}

# One page (GPRS: 5 keys, 1 sentence), a new value each run so it is written.
one_page() { printf '[DEVICE]\nD1=apn.%s\n' "$1" >"$work/one.ini"; }

# A care-service profile over five pages; diff asks for its 15 keys only.
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
FE=2
OX=1
O2=30
EOF

# Seconds of one command (it must end with one of the exit codes allowed).
timed() {
  local ok=$1 t0 t1 rc
  shift
  t0=$(date +%s.%N)
  set +e
  "$BUILD_DIR/bin/zd573" --quiet --port "$port" --password 4071 "$@" >/dev/null
  rc=$?
  set -e
  t1=$(date +%s.%N)
  case " $ok " in *" $rc "*) ;; *) echo "zd573 $* ended with $rc" >&2; exit 1 ;; esac
  python3 -c "print(f'{$t1 - $t0:.3f}')"
}

# floor QUERIES SENTENCES READBACK_QUERIES, in seconds.
floor() {
  python3 -c "
L = $LINE_MS / 1000
q, s, r = $1, $2, $3
t = 10.5 * L + 10 * L * q + s
if r:
    t += max(0.0, 10 * L - s) + 10 * L * (r - 1)
print(f'{t:.3f}')"
}

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

row() {
  local name=$1 fl=$2 med
  shift 2
  med=$(median "$@")
  python3 -c "print(f'{\"$name\":<34} {$med:7.3f} s   floor {$fl:7.3f} s   ratio {$med / $fl:.3f}')"
}

start_sim
apply=() provision=() window=() diff=() care=()
for i in $(seq "$RUNS"); do
  one_page "a$i"
  apply+=("$(timed 0 apply "$work/one.ini")")
  one_page "p$i"
  provision+=("$(timed 0 provision "$work/one.ini" --report "$work/report.csv" --count 1)")
  one_page "w$i"
  window+=("$("$BUILD_DIR/bin/zd573-window-loop" "$port" "$work/one.ini" "$work/report.csv" 4071)")
  diff+=("$(timed "0 10" diff "$work/care.ini")")
done
queries=$(grep -c ' KVC,' "$work/journal")
sets=$(grep -c ' KVS,' "$work/journal")
echo "line interval ${LINE_MS} ms, ${RUNS} runs each, medians; journal: ${queries} queries, ${sets} sentences"
#                                                  key queries, sentences, read-back queries
row "apply, one page (GPRS)" "$(floor 1 1 1)" "${apply[@]}"
row "provision --count 1, one page" "$(floor 1 1 1)" "${provision[@]}"
row "diff, care profile (15 keys)" "$(floor 3 0 0)" "${diff[@]}"
row "window loop, one page" "$(floor 1 1 1)" "${window[@]}"
python3 -c "print(f'window loop against provision: {$(median "${window[@]}") / $(median "${provision[@]}"):.3f} (goal 1.15)')"
# For scale: the whole care profile onto a tracker fresh out of its box
# (78 keys of five pages, 15 sentences, 78 keys read back).
start_sim
care+=("$(timed 0 apply "$work/care.ini")")
row "apply, care profile (five pages)" "$(floor 16 15 16)" "${care[@]}"
