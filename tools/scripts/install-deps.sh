#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need, when any is missing.
# As root it installs them; otherwise it prints the exact command to run and fails.
set -eu

PACKAGES="cmake ninja-build g++ make ccache pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
unixodbc unixodbc-dev tdsodbc nettle-dev freetds-bin python3 python3-tds xvfb xauth imagemagick fonts-liberation2"

missing=""
for package in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $package" ;;
    esac
done

[ -z "$missing" ] && exit 0

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
