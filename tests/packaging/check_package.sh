#!/usr/bin/env bash
# Makes the .deb from a finished build (cpack), unpacks it with dpkg-deb -x
# into a scratch folder and checks what a Debian user would get: the exact
# file layout, owners and modes, dependencies found from the shared
# libraries, the programs' versions, man pages, desktop entry, AppStream
# data, icons, the udev rule, bash completion, and lintian without errors.
#
#   check_package.sh BUILD_DIR SCRATCH_DIR VERSION APP_ID
set -euo pipefail

build=$1 scratch=$2 version=$3 app=$4
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

rm -rf "$scratch"
mkdir -p "$scratch"
start=$(date +%s)
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
deb="$scratch/out/zd573_${version}_${arch}.deb"
[[ -f $deb ]] || { ls -l "$scratch/out" >&2; echo "FAIL: no $deb" >&2; exit 1; }
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes, made in $(($(date +%s) - start)) s"

# --- Control fields ------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == zd573 ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)', the project is $version"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture is '$(field Architecture)'"
[[ $(field Maintainer) == *"<"*"@"*">" ]] || fail "Maintainer has no address: '$(field Maintainer)'"
depends=$(field Depends)
echo "Depends: $depends"
# From dpkg-shlibdeps: the C and C++ runtimes and Qt, each with a version.
for lib in libc6 'libstdc\+\+6' libqt6core6 libqt6gui6 libqt6widgets6; do
  grep -Eq "(^|, )$lib \(>= [^)]+\)" <<<"$depends" || fail "Depends lacks a versioned $lib"
done
# Qt's X11 plugin, which the window needs, must come with a dependency.
xcb=$(dpkg -S "$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/*/qt6/plugins)/platforms/libqxcb.so" |
  cut -d: -f1)
grep -Eq "(^|, )$xcb[ (,]|(^|, )$xcb\$" <<<"$depends" || fail "Depends lacks $xcb, which holds Qt's X11 plugin"
# ... and its Wayland plugin, a package of its own.
wayland=$(dpkg -S "$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/*/qt6/plugins)/platforms/libqwayland-generic.so" |
  cut -d: -f1)
grep -Eq "(^|, )$wayland[ (,]|(^|, )$wayland\$" <<<"$depends" || fail "Depends lacks $wayland, which holds Qt's Wayland plugin"
# ... and Qt's own translations (standard buttons, the save dialog in the user's language).
l10n=$(dpkg -S "$(qtpaths6 --query QT_INSTALL_TRANSLATIONS 2>/dev/null || echo /usr/share/qt6/translations)/qtbase_zh_TW.qm" |
  cut -d: -f1)
grep -Eq "(^|, )$l10n[ (,]|(^|, )$l10n\$" <<<"$depends" || fail "Depends lacks $l10n, which holds Qt's translations"
pass "control fields"

# --- Layout ------------------------------------------------------------------------
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
icons=""
for n in 16 22 24 32 48 64 128 256; do icons+="./usr/share/icons/hicolor/${n}x${n}/apps/$app.png"$'\n'; done
expected=$(sort <<EOF
./usr/bin/zd573
./usr/bin/zd573-sim
./usr/bin/zd573-utility
./usr/lib/udev/rules.d/60-zd573.rules
./usr/share/applications/$app.desktop
./usr/share/bash-completion/completions/zd573
./usr/share/doc/zd573/changelog.gz
./usr/share/doc/zd573/copyright
${icons%$'\n'}
./usr/share/man/man1/zd573-sim.1.gz
./usr/share/man/man1/zd573-utility.1.gz
./usr/share/man/man1/zd573.1.gz
./usr/share/metainfo/$app.metainfo.xml
./usr/share/zd573/Languages.lng
EOF
)
actual=$(cd "$root" && find . -type f -o -type l | sort)
if [[ $actual == "$expected" ]]; then
  pass "file layout"
else
  fail "file layout differs (< expected, > in the package):"
  diff <(echo "$expected") <(echo "$actual") >&2 || true
fi

# Owners and modes as dpkg will lay them down: root:root, 0755 programs and
# folders, 0644 data.
while read -r perms owner _ _ _ path; do
  [[ $owner == root/root ]] || fail "$path is owned by $owner"
  case $perms in
    d*) [[ $perms == drwxr-xr-x ]] || fail "$path is $perms" ;;
    *) case $path in
         ./usr/bin/*) [[ $perms == -rwxr-xr-x ]] || fail "$path is $perms" ;;
         *) [[ $perms == -rw-r--r-- ]] || fail "$path is $perms" ;;
       esac ;;
  esac
done < <(dpkg-deb -c "$deb")
pass "owners and modes"

for p in zd573 zd573-sim zd573-utility; do
  file -b "$root/usr/bin/$p" | grep -q ', stripped' || fail "$p is not stripped"
done

# --- The programs ------------------------------------------------------------------
[[ $("$root/usr/bin/zd573" --version) == "zd573 $version" ]] || fail "zd573 --version"
[[ $("$root/usr/bin/zd573-utility" --version) == "zd573-utility $version" ]] ||
  fail "zd573-utility --version"
# Read whole first: grep -q stops reading at its match, which would cut a long help short.
help=$("$root/usr/bin/zd573" --help) || fail "zd573 --help exits with an error"
grep -q '^Usage: zd573 ' <<<"$help" || fail "zd573 --help"
"$root/usr/bin/zd573-utility" --help | grep -q -- '--demo' || fail "zd573-utility --help"
pass "versions and help"

# --- Man pages -----------------------------------------------------------------------
for p in zd573 zd573-utility zd573-sim; do
  page="$root/usr/share/man/man1/$p.1.gz"
  gzip -t "$page" || fail "$p.1.gz is not gzip"
  text=$(MANWIDTH=80 man -l "$page" 2>"$scratch/man-$p.err" | col -b) || fail "man -l $p.1.gz"
  [[ -s $scratch/man-$p.err ]] && { fail "man reports for $p:"; cat "$scratch/man-$p.err" >&2; }
  grep -q "^NAME" <<<"$text" || fail "$p.1 has no NAME"
  grep -Eq "^ +$p - [a-z]" <<<"$text" || fail "$p.1 has no one-line description"
  grep -q "$version" <<<"$text" || fail "$p.1 does not name version $version"
done
text=$(MANWIDTH=80 man -l "$root/usr/share/man/man1/zd573.1.gz" 2>/dev/null | col -b)
grep -q -- '--password PW' <<<"$text" || fail "zd573.1 lacks the options of --help"
pass "man pages"

# --- Desktop entry, AppStream, icons ---------------------------------------------------
desktop="$root/usr/share/applications/$app.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[[ -x $root/usr/bin/${exec_line%% *} ]] || fail "Exec=$exec_line is not a program of the package"
[[ $(sed -n 's/^Icon=//p' "$desktop") == "$app" ]] || fail "Icon= is not $app"
metainfo="$root/usr/share/metainfo/$app.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$metainfo" ||
  fail "metainfo does not launch $app.desktop"
grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]\"" "$metainfo" ||
  fail "metainfo has no release $version"
for n in 16 22 24 32 48 64 128 256; do
  file -b "$root/usr/share/icons/hicolor/${n}x${n}/apps/$app.png" | grep -q "PNG image data, $n x $n," ||
    fail "icon ${n}x${n} is not a $n x $n PNG"
done
pass "desktop entry, AppStream data, icons"

# --- udev rule ---------------------------------------------------------------------------
# One logical rule per line (continuations joined); the port's rule must both
# open the port to the seat's user and keep ModemManager off it.
rules=$(sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$root/usr/lib/udev/rules.d/60-zd573.rules" | grep -v '^ *#')
tty_rule=$(grep 'SUBSYSTEM=="tty"' <<<"$rules" || true)
usb_rule=$(grep 'SUBSYSTEM=="usb"' <<<"$rules" || true)
for rule in "$tty_rule" "$usb_rule"; do
  [[ $rule == *'idVendor}=="0483"'* && $rule == *'idProduct}=="5740"'* && $rule == *'product}=="*STM*"'* ]] ||
    fail "udev rule does not match the tracker's ids and product: $rule"
  [[ $rule == *'ENV{ID_MM_DEVICE_IGNORE}="1"'* ]] || fail "udev rule lacks the ModemManager ignore: $rule"
done
[[ $tty_rule == *'TAG+="uaccess"'* ]] || fail "the port's udev rule lacks uaccess"
pass "udev rule"

# --- bash completion -------------------------------------------------------------------------
if [[ -f /usr/share/bash-completion/bash_completion ]]; then
  complete_words() {
    bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
             COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
             _zd573; echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/zd573" "$@"
  }
  [[ $(complete_words zd573 lo) == log ]] || fail "completion of 'zd573 lo'"
  [[ $(complete_words zd573 --quiet log d) == download ]] || fail "completion of 'zd573 --quiet log d'"
  [[ $(complete_words zd573 melody '') == "play stop" ]] || fail "completion of 'zd573 melody'"
  [[ $(complete_words zd573 log download x.kml --format '') == "csv kml gpx" ]] || fail "completion of --format"
  pass "bash completion"
else
  fail "bash-completion is not installed (scripts/install-deps.sh installs it)"
fi

# --- lintian ---------------------------------------------------------------------------------
start=$(date +%s)
lintian_rc=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.txt" 2>&1 || lintian_rc=$?
cat "$scratch/lintian.txt"
if grep -q '^E: ' "$scratch/lintian.txt"; then
  fail "lintian reports errors"
elif ((lintian_rc)); then
  fail "lintian failed (exit $lintian_rc)"
fi
echo "lintian: $(grep -c '^E: ' "$scratch/lintian.txt") errors, $(grep -c '^W: ' "$scratch/lintian.txt") warnings, $(($(date +%s) - start)) s"

if ((failures)); then
  echo "$failures failed" >&2
  exit 1
fi
echo "package checks passed"
