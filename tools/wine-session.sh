#!/bin/sh
# Starts what a Wine session needs (display, booted prefix with Japanese font
# replacements, persistent wineserver), runs one job in it and tears it down.
#   wine-session.sh BUILD_DIR run|test|bench [args]
set -eu
build=$(cd "$1" && pwd); mode=$2; shift 2
root=$(cd "$(dirname "$0")/.." && pwd)

export WINEARCH=win32 WINEDEBUG=-all LC_ALL=ja_JP.UTF-8
case "$mode" in
    run) export WINEPREFIX="$build/wine-run" ;;
    *)   export WINEPREFIX="$build/wine-test" ;;
esac

xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

# Tests always get a display of their own; `run` uses the user's if there is one.
if [ "$mode" != run ] || [ -z "${DISPLAY:-}" ]; then
    n=91
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    xvfb_pid=$!
    export DISPLAY=":$n"
    i=0; while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
fi

# A persistent server first, then the boot with all output detached: the
# services it starts live on in that server, outside ctest, whose pipes they
# would otherwise hold open (ctest would hang).
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 </dev/null
if [ ! -f "$WINEPREFIX/.kalvex-ready" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null
    wine regedit "$root/tools/prefix.reg" >/dev/null 2>&1 </dev/null
    touch "$WINEPREFIX/.kalvex-ready"
else
    wineboot >/dev/null 2>&1 </dev/null
fi

case "$mode" in
    run)
        wine "$build/Kalvex.exe" "$@" ;;
    bench)
        wine "$build/kalvex_scanbench.exe" "$@"
        wine "$build/kalvex_windowbench.exe" "$@" ;;
    test)
        "$root/tools/sysdll-expect.sh" "$WINEPREFIX/drive_c/windows/system32" "$build/tests/sysdll"
        ctest --test-dir "$build" --output-on-failure "$@" ;;
esac
