#!/usr/bin/env bash
# Creates a 64-bit wine prefix ready for the Windows tests, once:
#
#   scripts/wine-prefix.sh [DIR]     (default: $WINEPREFIX, else build-win/wineprefix)
#
# Then `export WINEPREFIX=DIR`. An existing prefix is kept as it is. What a
# fresh prefix needs for unattended test runs with readable dialogs:
# - no crash dialog, so a crashing test fails instead of waiting for a click;
# - Wine's own fonts linked into the prefix, and Verdana (the dialogs' font,
#   which Wine does not ship) replaced with DejaVu Sans; without a font the
#   dialogs are drawn with blank text.
set -euo pipefail

cd "$(dirname "$0")/.."
prefix=${1:-${WINEPREFIX:-$PWD/build-win/wineprefix}}
case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac

if [ -f "$prefix/.postrix-ready" ]; then
    echo "wine prefix ready: $prefix"
    exit 0
fi

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No display for the set-up, so Wine shows no window while it creates the prefix.
export DISPLAY=
mkdir -p "$prefix"
t0=$EPOCHREALTIME
wineboot -i >"$prefix/wineboot.log" 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$prefix/wineboot.log" 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Verdana /t REG_SZ /d 'DejaVu Sans' /f >>"$prefix/wineboot.log" 2>&1
fonts=$prefix/drive_c/windows/Fonts
mkdir -p "$fonts"
for f in /usr/share/wine/fonts/*; do
    [ -e "$f" ] && ln -sf "$f" "$fonts/"
done
for f in /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf; do
    [ -e "$f" ] && ln -sf "$f" "$fonts/"
done
wineserver -w
touch "$prefix/.postrix-ready"
echo "wine prefix ready: $prefix ($(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s)"
