#!/bin/sh
# The installer as an administrator uses it: installed silently under Wine, the programs started
# from their installed place, then uninstalled silently, leaving nothing behind.
# Usage: install.sh SETUP.exe WORK_FOLDER
set -eu
SETUP=$1
WORK=$2
HERE=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$WORK"
mkdir -p "$WORK"
# A prefix of its own, so that no other test's programs are running in it.
sh "$HERE/../../tools/windows/wine-prefix.sh" "$WORK"
export WINEPREFIX="$WORK/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
INSTALLED="$WINEPREFIX/drive_c/Program Files/Quorvane"
START_MENU="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvane"

wine "$SETUP" /S
wineserver --wait
for file in quorvane.exe quorvane-cli.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Network.dll \
    libstdc++-6.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qgif.dll \
    imageformats/qico.dll Uninstall.exe; do
    [ -f "$INSTALLED/$file" ] || fail "not installed: $file"
done
ls "$START_MENU"/*.lnk >/dev/null 2>&1 || fail "no Start-menu entry in $START_MENU"

# Started from its installed place, with only the DLLs beside it (no WINEPATH).
version=$(wine "C:\\Program Files\\Quorvane\\quorvane-cli.exe" --version 2>/dev/null | tr -d '\r')
case "$version" in
    *1.0.0*) ;;
    *) fail "quorvane-cli --version printed: $version" ;;
esac
# The window program keeps running (showing the login window) until it is ended.
status=0
timeout 8 wine "C:\\Program Files\\Quorvane\\quorvane.exe" >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "quorvane.exe ended by itself with status $status"
wineserver --kill || true
wineserver --wait || true

wine "C:\\Program Files\\Quorvane\\Uninstall.exe" /S
wineserver --wait
[ ! -e "$INSTALLED/quorvane.exe" ] || fail "quorvane.exe is still there after uninstalling"
[ ! -e "$START_MENU" ] || fail "the Start-menu entry is still there after uninstalling"
rm -rf "$WORK"
echo "installed, started and uninstalled"
