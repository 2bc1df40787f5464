#!/bin/sh
# Builds Qt's base module for 64-bit Windows (mingw-w64) from Debian's own qt6-base source, once.
# The result is cached outside the build folder, keyed by the Qt version and the configure options,
# so later builds and clean clones reuse it. Prints the installed prefix on its last line.
#
# Only what the program and its tests load is built: Core, Gui, Widgets, Network and Test; the
# Windows platform plugin (the program) and the offscreen one (the tests under Wine run with
# QT_QPA_PLATFORM=offscreen); the native style; the GIF and ICO image plugins (the main window's
# logo and icon, read from its resources). Qt's host tools (moc, uic, rcc) come from the host's Qt.
# The build takes 23 CPU-minutes, some 13 to 16 minutes on an idle 2-core machine (61 minutes
# measured while about seven other builds shared the two cores); the installed Qt takes 83 MB.
set -eu

QT_VERSION=6.4.2
HERE=$(cd "$(dirname "$0")" && pwd)
CACHE=${QUORVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane}
JOBS=${JOBS:-$(nproc)}

# Direct2D stays on: without it Qt 6.4 fails to link its DirectWrite font database. Direct2D 1.1
# only adds the direct2d platform plugin, a second build of the Windows one, and is off. Tablet
# events are off because Debian's trimmed source has no wintab.h. zstd is off so that resources
# compressed by the host's rcc --no-zstd are the only kind the program carries. Off as well, as
# nothing loads them: JPEG; SSL with its Schannel back end (Qt Network only looks up a host name
# and asks the SQL Server Browser over UDP; the database connections go through ODBC); the Network
# List Manager network-information plugin; the TUIO touch input plugin. Qt has no switch for the
# minimal platform plugin and the certificate-only TLS plugin; both are small and are built.
CONFIGURE_OPTIONS="-release -shared -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
-qt-host-path /usr -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-zstd -no-openssl
-no-feature-sql -no-feature-printsupport -no-feature-xml -no-feature-concurrent -no-feature-tabletevent
-no-feature-vulkan -no-feature-jpeg -no-feature-sqlmodel -no-feature-direct2d1_1 -no-feature-tuiotouch
-no-feature-ssl -no-feature-schannel -no-feature-networklistmanager
-qt-zlib -qt-libpng -qt-freetype -qt-harfbuzz -qt-pcre -qt-doubleconversion"

KEY=$(printf '%s\n%s\n' "$QT_VERSION" "$CONFIGURE_OPTIONS" | cat - "$HERE/mingw-w64.cmake" | sha256sum | cut -c1-12)
PREFIX="$CACHE/qt-$QT_VERSION-mingw64-$KEY"

if [ -f "$PREFIX/.complete" ]; then
    echo "$PREFIX"
    exit 0
fi

WORK="$CACHE/work-$KEY"
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK"
cd "$WORK"

# Debian's source package needs a deb-src entry; install-deps adds one when it is missing.
apt-get source --download-only "qt6-base=$QT_VERSION*" >/dev/null 2>&1 ||
    apt-get source --download-only qt6-base >/dev/null
tar xf qt6-base_"$QT_VERSION"*.orig.tar.xz
SRC="$WORK/qtbase-everywhere-src-$QT_VERSION"

mkdir build
cd build
# A fresh build folder every time: re-running configure keeps old feature values in its cache.
# shellcheck disable=SC2086
"$SRC/configure" -prefix "$PREFIX" $CONFIGURE_OPTIONS -- -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$HERE/mingw-w64.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CXX_COMPILER_LAUNCHER= >"$WORK/configure.log" 2>&1 ||
    { tail -40 "$WORK/configure.log" >&2; exit 1; }
cmake --build . --parallel "$JOBS" >"$WORK/build.log" 2>&1 || { tail -40 "$WORK/build.log" >&2; exit 1; }
cmake --install . >"$WORK/install.log" 2>&1 || { tail -40 "$WORK/install.log" >&2; exit 1; }
mkdir -p "$PREFIX/licenses" && cp "$SRC/LICENSES/"* "$PREFIX/licenses/"
touch "$PREFIX/.complete"
cd /
rm -rf "$WORK"
echo "$PREFIX"
