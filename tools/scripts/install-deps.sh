#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need, when any is missing, then
# the npm packages of the tests (tedious, for the stand-in's client checks) from their lock file.
# As root it installs the Debian packages; otherwise it prints the exact command to run and fails.
set -eu

PACKAGES="cmake ninja-build g++ make ccache pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
unixodbc unixodbc-dev tdsodbc nettle-dev freetds-bin python3 python3-tds xvfb xauth imagemagick fonts-liberation2 \
libssl-dev openssl"
# With --windows also what `make windows` and the Wine tests need: the mingw-w64 compilers, Wine,
# NSIS for the installer, and dpkg-dev with a deb-src entry for Qt's source package.
WINDOWS=false
[ "${1:-}" = "--windows" ] && WINDOWS=true
$WINDOWS && PACKAGES="$PACKAGES g++-mingw-w64-x86-64-posix wine wine64 nsis dpkg-dev xz-utils fonts-dejavu-core"
# Node.js with npm; a Node.js from elsewhere that already brings npm is used as it is.
command -v npm >/dev/null 2>&1 || PACKAGES="$PACKAGES nodejs npm"
ROOT=$(cd "$(dirname "$0")/../.." && pwd)

npm_packages() {
    [ -d "$ROOT/tests/standin/tedious/node_modules/tedious" ] && return 0
    npm ci --prefix "$ROOT/tests/standin/tedious" --no-audit --no-fund --loglevel=error
}

# Debian's source packages, for Qt: an entry beside the machine's own, only when none is there.
deb_src() {
    $WINDOWS || return 0
    grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Qt's source package needs a deb-src entry in /etc/apt/sources.list.d/." >&2
        exit 1
    fi
    . /etc/os-release
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$VERSION_CODENAME" "$VERSION_CODENAME" >/etc/apt/sources.list.d/quorvane-deb-src.sources
    apt-get update -qq
}
deb_src

missing=""
for package in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $package" ;;
    esac
done

if [ -z "$missing" ]; then
    npm_packages
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Install them with:" >&2
    echo "    sudo apt-get install$missing" >&2
    exit 1
fi

echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing
npm_packages
