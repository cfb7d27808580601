#!/usr/bin/env bash
# Runs a Windows test program under wine on a fresh virtual X display:
#
#   run_on_display.sh PREFIX PROGRAM [ARGUMENTS...]
#
# PREFIX is a wine prefix for display runs only, made by scripts/wine-prefix.sh
# on first use, with Wine drawing window captions and frames itself (Xvfb
# runs no window manager, and without one the captions are not drawn).
set -euo pipefail
prefix=$1
program=$2
shift 2
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)

bash "$source_dir/scripts/wine-prefix.sh" "$prefix" >/dev/null
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all}
if [ ! -f "$prefix/.postrix-decorated" ]; then
    DISPLAY= wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    touch "$prefix/.postrix-decorated"
fi
# A wine server left from an earlier run would keep that run's display.
wineserver -w

status=0
xvfb-run -a -s "-screen 0 1024x768x24" wine "$program" "$@" || status=$?
wineserver -w
exit "$status"
