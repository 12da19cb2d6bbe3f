#!/usr/bin/env bash
# zd573.exe under Wine against the simulated tracker on Linux: Wine's COM5 is
# a link to the simulator's pseudo-terminal. Identify, read all 85 values,
# set one page (the exact sentences, a second's pause after each), download
# the log to CSV, KML and GPX byte for byte as the Linux build writes them
# (the same TZ), non-ASCII file names, system.ini in %APPDATA%, Ctrl+C.
#
# Run by scripts/test-windows.sh, which sets WINEPREFIX (a fresh prefix),
# ZD573_WINE, ZD573_LINUX_BIN and ZD573_WINDOWS_BIN.
set -euo pipefail
: "${WINEPREFIX:?}" "${ZD573_WINE:?}" "${ZD573_LINUX_BIN:?}" "${ZD573_WINDOWS_BIN:?}"
lin=$ZD573_LINUX_BIN
work=$(mktemp -d /tmp/zd573-e2e.XXXXXX)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# An installed layout (Languages.lng in ../share/zd573), so system.ini lives
# in %APPDATA%\zd573 rather than beside the program.
mkdir -p "$work/inst/bin" "$work/inst/share/zd573"
cp "$ZD573_WINDOWS_BIN/zd573.exe" "$work/inst/bin/"
cp "$ZD573_WINDOWS_BIN/Languages.lng" "$work/inst/share/zd573/"
exe=$work/inst/bin/zd573.exe

# Starts a simulated tracker with the given options; prints its pty path.
start_sim() {
  local out=$1
  shift
  "$lin/zd573-sim" "$@" >"$out" 2>&1 &
  sims+=($!)
  for _ in $(seq 100); do
    [ -s "$out" ] && break
    sleep 0.05
  done
  head -1 "$out"
}

journal=$work/journal.txt
pty=$(start_sim "$work/sim.out" --line-ms 40 --records 400 --seed 7 --journal "$journal")
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com5"

win() { "$ZD573_WINE" "$exe" --port COM5 "$@"; }
linux() { XDG_CACHE_HOME=$work/linux-cache XDG_DATA_HOME=$work/linux-data ZD573_CONFIG_DIR=$work/linux-config "$lin/zd573" --port "$pty" "$@"; }

# --- identify, with the device name from %APPDATA%\zd573\system.ini ----------
imei=$(linux identify | sed -n 's/^IMEI: //p')
appdata=$("$ZD573_WINE" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
appdata_unix=$("$ZD573_WINE" winepath -u "$appdata" 2>/dev/null | tr -d '\r')
mkdir -p "$appdata_unix/zd573"
printf '[USERNAME]\r\n%s=Grandpa\xe2\x80\x99s tracker\r\n' "$imei" >"$appdata_unix/zd573/system.ini"
got=$(win identify | tr -d '\r')
if [ "$got" = "IMEI: $imei"$'\n'"Name: Grandpa’s tracker" ]; then pass "identify"; else fail "identify: $got"; fi

# --- read: every value, as the Linux build reads them ------------------------
win read --password 4071 | tr -d '\r' >"$work/win-read.txt"
linux read --password 4071 >"$work/linux-read.txt"
if [ "$(wc -l <"$work/win-read.txt")" -eq 85 ] && cmp -s "$work/win-read.txt" "$work/linux-read.txt"; then
  pass "read: 85 values"
else
  fail "read"
  diff "$work/win-read.txt" "$work/linux-read.txt" | head >&2 || true
fi
value() { sed -n "s/^$1=//p" "$work/linux-read.txt"; }

# --- set one page: the ringing page's two sentences, a second after each -----
before=$(grep -c ' KVS,' "$journal" || true)
win set --password 4071 FE=5 >/dev/null 2>&1 || fail "set exited with $?"
mapfile -t sets < <(grep ' KVS,' "$journal" | tail -n +$((before + 1)))
expect1="KVS,KestrovinZD-573,1,0,FE=5,F8=$(value F8),FB=$(value FB),XB=$(value XB),XC=$(value XC),XD=$(value XD),XA=$(value XA),YA=$(value YA)*QQ!\\r\\n"
expect2="KVS,KestrovinZD-573,2,1,YB=$(value YB),YC=$(value YC),YD=$(value YD),ZB=$(value ZB),ZC=$(value ZC),ZD=$(value ZD),ZA=$(value ZA)*QQ!\\r\\n"
if [ ${#sets[@]} -eq 2 ] && [ "${sets[0]#* }" = "$expect1" ] && [ "${sets[1]#* }" = "$expect2" ]; then
  gap=$((${sets[1]%% *} - ${sets[0]%% *}))
  # The journal stamps a sentence when the simulator reads it, a little after
  # the write; tests/common/journal_timing.h allows 100 ms for that lag.
  if [ "$gap" -ge 900 ]; then pass "set: the exact sentences, ${gap} ms apart"; else fail "set: only ${gap} ms apart"; fi
else
  fail "set: ${sets[*]:-nothing} instead of $expect1 $expect2"
fi

# --- log download: the same bytes as the Linux build, with the same TZ -------
mkdir -p "$work/out"
for tz in Asia/Kolkata America/New_York; do
  for format in csv kml gpx; do
    TZ=$tz win --quiet --password 4071 log download "$work/out/win.$format" --raw "$work/out/win.log" ||
      fail "download $format exited with $?"
    TZ=$tz linux --quiet --password 4071 log download "$work/out/linux.$format" --raw "$work/out/linux.log"
    if cmp -s "$work/out/win.$format" "$work/out/linux.$format" && cmp -s "$work/out/win.log" "$work/out/linux.log" &&
      [ "$(stat -c %s "$work/out/win.log")" -eq 8000 ]; then
      pass "download $format, TZ=$tz: byte-identical"
    else
      fail "download $format, TZ=$tz differs"
    fi
  done
done
cache=$(find "$WINEPREFIX/drive_c/users" -path '*AppData/Local/zd573/temp.log' | head -1)
if [ -n "$cache" ]; then pass "the raw log in %LOCALAPPDATA%\\zd573"; else fail "no temp.log in %LOCALAPPDATA%\\zd573"; fi

# --- UTF-8 file names through the wide command line --------------------------
name=$'\xe8\xbb\x8c\xe8\xb7\xa1'  # "軌跡"
"$ZD573_WINE" "$exe" --quiet log convert "$work/out/win.log" "$work/out/$name.gpx" || fail "convert exited with $?"
if cmp -s "$work/out/$name.gpx" "$work/out/linux.gpx"; then pass "non-ASCII file name"; else fail "non-ASCII file name"; fi

# --- paths over 260 characters: the export and its raw copy -------------------
long=$work/out/$(printf 'a%.0s' $(seq 120))/$(printf 'b%.0s' $(seq 120))
mkdir -p "$long"
if "$ZD573_WINE" "$exe" --quiet log convert "$work/out/win.log" "$long/track.gpx" 2>"$work/err.txt" &&
  cmp -s "$long/track.gpx" "$work/out/linux.gpx"; then
  pass "export to a path of ${#long} characters"
else
  fail "export to a long path: $(cat "$work/err.txt")"
fi
if TZ=America/New_York win --quiet --password 4071 log download "$long/track.csv" --raw "$long/raw.log" \
  2>"$work/err.txt" && cmp -s "$long/raw.log" "$work/out/linux.log"; then
  pass "download with its raw copy on a long path"
else
  fail "download to a long path: $(cat "$work/err.txt")"
fi

# --- a device is no export target ------------------------------------------
if "$ZD573_WINE" "$exe" log convert "$work/out/win.log" NUL --format csv 2>"$work/err.txt"; then
  fail "export to NUL accepted"
elif grep -q 'not a regular file' "$work/err.txt"; then
  pass "export to NUL refused"
else
  fail "export to NUL: $(cat "$work/err.txt")"
fi

# --- ports: SetupAPI's list (Wine has no USB ports: none, exit 2) ------------
set +e
"$ZD573_WINE" "$exe" ports >/dev/null 2>&1
rc=$?
set -e
if [ $rc -eq 0 ] || [ $rc -eq 2 ]; then pass "ports (exit $rc)"; else fail "ports exited with $rc"; fi

# --- Ctrl+C ends a download cleanly -----------------------------------------
slow=$(start_sim "$work/slow.out" --records 5000 --baud 115200)
ln -sfn "$slow" "$WINEPREFIX/dosdevices/com6"
"$ZD573_WINE" "$exe" --port COM6 --password 4071 log download "$work/out/slow.csv" 2>"$work/ctrlc.txt" &
download=$!
part=""
for _ in $(seq 200); do
  part=$(find "$WINEPREFIX/drive_c/users" -path '*AppData/Local/zd573/.temp.log.*.part' | head -1)
  [ -n "$part" ] && break
  sleep 0.1
done
kill -INT "$download"
set +e
wait "$download"
rc=$?
set -e
left=$(find "$WINEPREFIX/drive_c/users" -path '*AppData/Local/zd573/.temp.log.*.part' | wc -l)
if [ -n "$part" ] && [ $rc -eq 130 ] && [ "$left" -eq 0 ] && grep -q 'Abort download process.' "$work/ctrlc.txt" &&
  [ ! -e "$work/out/slow.csv" ]; then
  pass "Ctrl+C: exit 130, partial file removed"
else
  fail "Ctrl+C: exit $rc, ${left} partial files, $(cat "$work/ctrlc.txt")"
fi

[ $failures -eq 0 ] || { echo "$failures end-to-end checks failed" >&2; exit 1; }
echo "All end-to-end checks passed"
