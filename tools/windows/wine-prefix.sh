#!/bin/sh
# Sets up the private Wine prefix of a Windows build folder, once: a fresh prefix, and font
# replacements, without which Wine draws no text in small edit boxes: the Windows UI fonts map to
# Liberation (metric twins of Arial and Times) and DejaVu fonts.
# Usage: wine-prefix.sh WINDOWS_BUILD_FOLDER
set -eu
WINEPREFIX="$(cd "$1" && pwd)/wine"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
[ -f "$WINEPREFIX/.quorvane-ready" ] && exit 0

rm -rf "$WINEPREFIX"
wineboot --init >/dev/null 2>&1
replace() {
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$1" /d "$2" /f >/dev/null 2>&1
}
replace "Arial" "Liberation Sans"
replace "MS Shell Dlg" "Liberation Sans"
replace "MS Shell Dlg 2" "Liberation Sans"
replace "Microsoft Sans Serif" "Liberation Sans"
replace "Segoe UI" "DejaVu Sans"
replace "Tahoma" "DejaVu Sans"
replace "Times New Roman" "Liberation Serif"
replace "Courier New" "Liberation Mono"
wineserver --wait
touch "$WINEPREFIX/.quorvane-ready"
