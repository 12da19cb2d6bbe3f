#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent and non-interactive; does nothing when everything is present.
set -euo pipefail

PKGS=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # Qt's own texts (standard buttons, the save dialog) in the user's language
  qt6-translations-l10n
  # Qt's Wayland platform, and a headless compositor to run the window on it (tests/wayland)
  qt6-wayland weston
  fonts-dejavu-core fonts-noto-cjk
  libxml2-utils gpsbabel hyperfine time python3 procps
  # the reference the tests check our geodesic distances against (never linked by the product)
  libgeographiclib-dev
  # the package and its checks (tests/packaging, ./package.sh)
  dpkg-dev file help2man lintian appstream desktop-file-utils bash-completion man-db bsdextrautils
  # the sanitizer build and the fuzz targets (./test.sh --sanitize, ./fuzz.sh): clang,
  # its sanitizer and libFuzzer runtimes, llvm-symbolizer for readable reports
  clang libclang-rt-14-dev llvm
  # the Windows command line and its tests under Wine (scripts/build-windows.sh,
  # scripts/test-windows.sh, CI): the cross compiler with posix threads, Wine
  g++-mingw-w64-x86-64-posix wine wine64
)
# --extras: what the scripts run by hand need (scripts/build-matrix.sh with
# clang, scripts/try-package.sh), not CI.
if [ "${1:-}" = "--extras" ]; then
  PKGS+=(clang debootstrap xvfb xauth strace)
fi
# --only PKG...: just these (a script that needs a few of them, on its own).
if [ "${1:-}" = "--only" ]; then
  shift
  PKGS=("$@")
fi

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
