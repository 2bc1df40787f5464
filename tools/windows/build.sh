#!/bin/sh
# `make windows`: builds the program for 64-bit Windows into WINDOWS_BUILD (default build-windows)
# and packs it as a zip and an installer. Qt for mingw is built once and cached (build-qt.sh).
# HOST_BUILD names the Linux build folder whose stand-in the Windows tests start.
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WINDOWS_BUILD=${WINDOWS_BUILD:-build-windows}
HOST_BUILD=${HOST_BUILD:-build}
JOBS=${JOBS:-$(nproc)}
cd "$ROOT"

sh tools/scripts/install-deps.sh --windows
started=$(date +%s)
QT_PREFIX=$(sh tools/windows/build-qt.sh | tail -n 1)
echo "Qt for Windows: $QT_PREFIX ($(($(date +%s) - started)) s)"

if [ ! -f "$WINDOWS_BUILD/build.ninja" ]; then
    cmake -S . -B "$WINDOWS_BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/tools/windows/quorvane-toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_PREFIX_PATH="$QT_PREFIX" \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQUORVANE_QT_PREFIX="$QT_PREFIX" \
        -DQUORVANE_HOST_BUILD="$ROOT/$HOST_BUILD"
fi
cmake --build "$WINDOWS_BUILD" -j "$JOBS"
(cd "$WINDOWS_BUILD" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null)
ls -l "$WINDOWS_BUILD"/quorvane-*-win64*.zip "$WINDOWS_BUILD"/quorvane-*-win64*-setup.exe
