#!/usr/bin/env bash
# Installs the .deb on a clean Debian 12 the way a user does (apt install),
# runs the programs, reads the man pages, removes the package again and checks
# that nothing of it is left. Not part of CI: it needs root, a few minutes and
# Debian's package archive.
#
#   sudo scripts/try-package.sh [zd573_X_arch.deb]   # default: ./package.sh's package
#
# The clean system is a debootstrap chroot of bookworm (minbase), made once in
# $ZD573_TRY_DIR (default /var/tmp/zd573-try) and copied afresh for each run.
# Besides it only the tools of this check are installed first (man-db, Xvfb,
# xauth, x11-apps for a screenshot, strace, udev). The GUI runs under Xvfb as an
# ordinary user and as root; screenshots are left in $ZD573_TRY_DIR/demo-*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ $(id -u) -eq 0 ]] || { echo "try-package.sh: run as root (chroot, mount)" >&2; exit 2; }

./scripts/install-deps.sh --extras
deb=${1:-$(./package.sh | tail -n 1)}
deb=$(realpath "$deb")
try=${ZD573_TRY_DIR:-/var/tmp/zd573-try}
base=$try/bookworm
root=$try/run
mirror=${ZD573_DEBIAN_MIRROR:-http://deb.debian.org/debian}
mkdir -p "$try"

if [[ ! -x $base/usr/bin/apt-get ]]; then
  echo "== making a clean Debian 12 in $base" >&2
  rm -rf "$base"
  debootstrap --variant=minbase bookworm "$base" "$mirror" >"$try/debootstrap.log"
fi

cleanup() {
  for m in dev/pts dev proc; do mountpoint -q "$root/$m" && umount -l "$root/$m"; done
  return 0
}
trap cleanup EXIT
cleanup
rm -rf "$root"
cp -a "$base" "$root"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${mirror%/debian}/debian-security bookworm-security main
EOF
cp "$deb" "$root/tmp/"
pkg=/tmp/$(basename "$deb")

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 "$@"; }
# A screenshot from xwd as PNG, to look at (ZPixmap, 24 or 32 bits a pixel).
xwd_to_png() {
  python3 - "$1" "$2" <<'EOF_PY'
import struct, sys, zlib
d = open(sys.argv[1], "rb").read()
h = struct.unpack(">25I", d[:100])
w, hgt, lsb, bp, bpl = h[4], h[5], h[7] == 0, h[11] // 8, h[12]
off = h[0] + h[19] * 12
rows = []
for y in range(hgt):
    line = d[off + y * bpl: off + y * bpl + w * bp]
    px = bytearray()
    for x in range(w):
        p = line[bp * x: bp * x + bp]
        px += bytes((p[2], p[1], p[0]) if lsb else (p[-3], p[-2], p[-1]))
    rows.append(b"\0" + bytes(px))
def chunk(t, data):
    return struct.pack(">I", len(data)) + t + data + struct.pack(">I", zlib.crc32(t + data))
open(sys.argv[2], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, hgt, 8, 2, 0, 0, 0))
                              + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))
EOF_PY
}

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

echo "== the check's own tools" >&2
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends man-db xvfb xauth x11-apps strace udev >/dev/null
in_root useradd --create-home tester

# Everything on the system except what changes by itself (apt's lists and
# caches, logs, dpkg's database, temporary files).
snapshot() {
  (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./sys -o -path ./tmp -o -path ./run \
    -o -path ./var/lib/apt -o -path ./var/cache -o -path ./var/log -o -path ./var/lib/dpkg \
    -o -path ./root -o -path ./home \) -prune -o -print | sort)
}
snapshot >"$try/before.txt"

echo "== apt install $pkg" >&2
start=$(date +%s)
in_root apt-get install -y -q "$pkg" >"$try/install.log" 2>&1 || { cat "$try/install.log" >&2; exit 1; }
echo "installed on the clean system in $(($(date +%s) - start)) s; $(grep -c '^Setting up' "$try/install.log") packages set up"
in_root dpkg -s zd573 | grep -E '^(Version|Depends|Installed-Size):'
# What is left once the package is removed is measured against the system
# with its dependencies but without it: the dependencies' own setup
# (systemd, fonts) is not ours to clean up.
in_root apt-get purge -y -q zd573 >"$try/remove.log" 2>&1 || { cat "$try/remove.log" >&2; exit 1; }
snapshot >"$try/deps-only.txt"
if diff "$try/before.txt" "$try/deps-only.txt" | grep -i 'zd573\|org\.example'; then
  fail "left behind by the first removal (above)"
fi
in_root apt-get install -y -q "$pkg" >>"$try/install.log" 2>&1 || { cat "$try/install.log" >&2; exit 1; }

echo "== the programs" >&2
in_root zd573 --version | grep -qx "zd573 $(dpkg-deb -f "$deb" Version)" && pass "zd573 --version" ||
  fail "zd573 --version"
in_root zd573 --help | head -n 3 && pass "zd573 --help" || fail "zd573 --help"
in_root zd573-utility --version && pass "zd573-utility --version" || fail "zd573-utility --version"
ports_rc=0
in_root zd573 ports || ports_rc=$?
echo "zd573 ports: exit $ports_rc (no tracker here)"
for page in zd573 zd573-utility zd573-sim; do
  text=$(in_root env MANWIDTH=80 man "$page" 2>&1 | col -b)
  grep -q "^NAME" <<<"$text" && pass "man $page" || { fail "man $page"; echo "$text" >&2; }
done
# udev parses the rule without a complaint (there is no tracker here to match
# it against). A private /dev, so the test run creates nothing in the real one.
udev_out=$(unshare -m sh -c "mount -t sysfs sysfs '$root/sys' && mount -t tmpfs tmpfs '$root/dev' &&
  chroot '$root' udevadm test --action=add /class/tty/tty0" 2>&1 || true)
if grep -q 'Reading rules file: .*/60-zd573.rules' <<<"$udev_out" && ! grep -q '60-zd573.rules:[0-9]' <<<"$udev_out"; then
  pass "udev reads 60-zd573.rules without errors"
else
  fail "udev and 60-zd573.rules:"
  grep '60-zd573' <<<"$udev_out" >&2 || echo "$udev_out" | tail -n 20 >&2
fi
in_root bash -c 'source /usr/share/bash-completion/completions/zd573 2>/dev/null; complete -p zd573' >/dev/null &&
  pass "bash completion loads" || fail "bash completion"

# The GUI with its simulated tracker, on a virtual screen, as a user: it must
# keep running, read its languages from /usr/share/zd573 and keep its
# settings in ~/.config/zd573.
echo "== zd573-utility --demo under Xvfb" >&2
cat >"$root/tmp/demo.sh" <<'EOF_DEMO'
#!/bin/sh
strace -f -e trace=openat -o /tmp/demo-$(id -un).trace \
  sh -c 'echo $$ >/tmp/demo.pid; exec zd573-utility --demo' &
tracer=$!
sleep 8
pid=$(cat /tmp/demo.pid)
if kill -0 "$pid" 2>/dev/null; then
  xwd -root -silent >/tmp/demo-$(id -un).xwd
  kill -TERM "$pid"
  wait "$tracer"
  echo "running after 8 s; exit $? after SIGTERM"
else
  wait "$tracer"
  echo "ended early: exit $?"
fi
EOF_DEMO
chmod 755 "$root/tmp/demo.sh"
for user in tester root; do
  in_root runuser -u "$user" -- sh -c 'cd ~ && xvfb-run -a -s "-screen 0 1024x768x24" /tmp/demo.sh' \
    >"$try/demo-$user.log" 2>&1 || true
  echo "as $user: $(tail -n 1 "$try/demo-$user.log")"
  grep -q '^running after 8 s' "$try/demo-$user.log" && pass "zd573-utility --demo as $user" ||
    { fail "zd573-utility --demo as $user"; cat "$try/demo-$user.log" >&2; }
  grep -q 'openat(.*"/usr/share/zd573/Languages.lng", O_RDONLY' "$root/tmp/demo-$user.trace" &&
    pass "reads /usr/share/zd573/Languages.lng" || fail "Languages.lng not opened from /usr/share/zd573"
  [[ -s $root/tmp/demo-$user.xwd ]] && xwd_to_png "$root/tmp/demo-$user.xwd" "$try/demo-$user.png"
done
# Where the installed programs look for system.ini: the user's config folder,
# also for root, who could write to /usr/bin.
for user in tester root; do
  in_root runuser -u "$user" -- sh -c 'cd ~ && strace -f -e trace=openat -o /tmp/ini.trace zd573 ports' \
    >/dev/null 2>&1 || true
  home=$(in_root runuser -u "$user" -- sh -c 'echo ~')
  if grep -q "\"$home/.config/zd573/system.ini\"" "$root/tmp/ini.trace" && ! grep -q '/usr/bin/system.ini' "$root/tmp/ini.trace"; then
    pass "system.ini looked up in $home/.config/zd573 for $user"
  else
    fail "system.ini for $user:"; grep system.ini "$root/tmp/ini.trace" >&2
  fi
done
[[ ! -e $root/usr/bin/system.ini ]] || fail "/usr/bin/system.ini was written"

echo "== apt purge zd573" >&2
in_root apt-get purge -y -q zd573 >>"$try/remove.log" 2>&1 || { cat "$try/remove.log" >&2; exit 1; }
snapshot >"$try/after.txt"
if diff "$try/deps-only.txt" "$try/after.txt" >"$try/left.txt"; then
  pass "nothing left behind after use and removal"
else
  fail "the system differs after removal:"
  cat "$try/left.txt" >&2
fi
in_root dpkg -s zd573 >/dev/null 2>&1 && fail "dpkg still knows zd573"
echo "user's own settings (kept by design): $(cd "$root/home/tester" && find .config -path '*zd573*' 2>/dev/null | tr '\n' ' ')"

if ((failures)); then
  echo "$failures failed" >&2
  exit 1
fi
echo "package tried on a clean Debian 12: all passed"
