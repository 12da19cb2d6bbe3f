#!/usr/bin/env bash
# Runs a command on Wayland: starts a headless weston of its own (a private
# runtime folder and a socket no other run uses), runs the command with Qt's
# Wayland platform on it, stops weston and returns the command's exit code.
#   run-under-weston.sh COMMAND [ARG...]
# Exit code 77 (ctest: skipped) when weston or Qt's Wayland plugin is
# missing, 125 when weston does not come up.
set -u

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARG...]" >&2
  exit 2
fi
if ! command -v weston >/dev/null; then
  echo "run-under-weston: weston is not installed (Debian: weston)" >&2
  exit 77
fi
plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || true)
if [ -n "$plugins" ] && ! ls "$plugins"/platforms/libqwayland-*.so >/dev/null 2>&1; then
  echo "run-under-weston: Qt's Wayland platform plugin is not installed (Debian: qt6-wayland)" >&2
  exit 77
fi

runtime=$(mktemp -d "${TMPDIR:-/tmp}/zd573-wayland.XXXXXX") || exit 125
chmod 0700 "$runtime"
socket="zd573-$$-$RANDOM"
log="$runtime/weston.log"
weston_pid=""

cleanup() {
  if [ -n "$weston_pid" ] && kill -0 "$weston_pid" 2>/dev/null; then
    kill -TERM "$weston_pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$weston_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$weston_pid" 2>/dev/null
    wait "$weston_pid" 2>/dev/null
  fi
  rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# No user configuration, no idle blanking, pixman so buffers can be read back.
XDG_RUNTIME_DIR="$runtime" weston --backend=headless-backend.so --socket="$socket" --idle-time=0 \
  --no-config --use-pixman --width=1280 --height=800 --log="$log" </dev/null >/dev/null 2>&1 &
weston_pid=$!

# Up when its socket exists (a few hundred milliseconds; allow ten seconds).
for _ in $(seq 100); do
  [ -S "$runtime/$socket" ] && break
  kill -0 "$weston_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -S "$runtime/$socket" ]; then
  echo "run-under-weston: weston did not start; its log:" >&2
  cat "$log" >&2 2>/dev/null
  exit 125
fi

# A headless weston has no seat, and Qt 6.4's Wayland text input then
# crashes when focus moves between text fields: no input method.
env -u DISPLAY XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland QT_IM_MODULE=none "$@"
status=$?
if [ "${ZD573_WESTON_LOG:-}" = 1 ]; then cat "$log" >&2; fi
exit "$status"
