#!/usr/bin/env bash
# Cross-builds the core, the command line and the core's test programs for
# 64-bit Windows with Debian's mingw-w64 (posix threads) into build-windows/:
# build-windows/bin/zd573.exe and test_*.exe, statically linked, so they run
# without any DLL of the compiler beside them. Installs what it needs.
#   scripts/build-windows.sh            build
#   scripts/test-windows.sh             then run the tests under Wine
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --only cmake ninja-build googletest g++-mingw-w64-x86-64-posix wine wine64

# -O2: GCC 12 warns falsely (-Wrestrict) inside std::string at -O3.
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DZD573_WERROR=ON \
  -DZD573_BUILD_GUI=OFF -DZD573_BUILD_BENCH=OFF -DZD573_GTEST_SOURCE_DIR=/usr/src/googletest >/dev/null
cmake --build build-windows --parallel "$(nproc)"

# Statically linked: only DLLs every Windows has may be imported.
for exe in build-windows/bin/*.exe; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p'); do
    case "${dll,,}" in
      kernel32.dll | msvcrt.dll | advapi32.dll | setupapi.dll | shell32.dll | user32.dll | ws2_32.dll) ;;
      api-ms-win-*) ;;
      *) echo "build-windows.sh: $exe needs $dll" >&2; exit 1 ;;
    esac
  done
done
echo "Built: $(cd build-windows/bin && echo *.exe)"
