#!/usr/bin/env bash
# Makes the Debian package: a Release build of the programs in build-package/
# with Debian's hardening flags, then cpack. Prints the path of the .deb.
#   ./package.sh            # then: sudo apt install ./build-package/package/zd573_*.deb
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

# The flags Debian builds its own packages with (stack protector, fortify,
# format checks, full RELRO), less -g and -O2: Release brings -O3 and the
# package is stripped anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZD573_BUILD_TESTS=OFF -DZD573_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build build-package --parallel "$(nproc)"
(cd build-package && cpack >/dev/null)
deb=$(ls build-package/package/zd573_*.deb)
echo "$deb"
