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

# Wine's 32-bit half is an i386 program: a kernel booted without its 32-bit
# emulation (ia32_emulation=off) cannot start it. The tests then cannot run
# here at all; say so plainly and leave the native tests to the caller.
if ! wine --version >/dev/null 2>&1; then
    echo "wine-session: this machine cannot run 32-bit programs (its kernel's ia32 emulation is off)." >&2
    if [ "$mode" = test ]; then
        echo "wine-session: NOT RUN: every test under Wine; only the native tests run on this machine." >&2
        touch "$build/wine-not-run"  # the native tests that read the prefix skip on this mark alone
        exit 0
    fi
    exit 1
fi
rm -f "$build/wine-not-run"

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
    # In a session of its own: a Ctrl+C in the terminal must not end the
    # display under Kalvex (the X server takes SIGINT as the end).
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    xvfb_pid=$!
    export DISPLAY=":$n"
    i=0; while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    if [ "$mode" = run ]; then
        echo "No display: Kalvex runs on a private Xvfb display $DISPLAY, which nobody sees."
        echo "Look at it from another shell with:  DISPLAY=$DISPLAY import -window root shot.png"
        echo "The display stops when Kalvex ends."
    fi
fi

# A persistent server first, then the boot with all output detached: the
# services it starts live on in that server, outside ctest, whose pipes they
# would otherwise hold open (ctest would hang).
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 </dev/null
ready="$WINEPREFIX/.kalvex-ready"
if [ ! -f "$ready" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null
else
    wineboot >/dev/null 2>&1 </dev/null
fi
# The prefix settings, again whenever prefix.reg changed since. regedit reads
# the file in the ANSI code page (932); the file itself is UTF-8.
if [ ! -f "$ready" ] || [ "$root/tools/prefix.reg" -nt "$ready" ]; then
    reg="$WINEPREFIX/kalvex-prefix.reg"
    iconv -f UTF-8 -t CP932 "$root/tools/prefix.reg" > "$reg"
    wine regedit "$reg" >/dev/null 2>&1 </dev/null
    touch "$ready"
fi

case "$mode" in
    run)
        wine "$build/Kalvex.exe" "$@" ;;
    bench)
        wine "$build/kalvex_scanbench.exe" "$@"
        # The keyword search's native yardstick: objdump over the same files.
        if [ $# -eq 0 ]; then
            objdump=$(command -v i686-w64-mingw32-objdump || echo objdump)
            sys="$WINEPREFIX/drive_c/windows/system32"
            n=$(find "$sys" -maxdepth 1 -type f -iname '*.dll' | wc -l)
            start=$(date +%s%N)
            lines=$(find "$sys" -maxdepth 1 -type f -iname '*.dll' -print0 |
                    LC_ALL=C xargs -0 "$objdump" -p 2>/dev/null | LC_ALL=C grep -ci alloc || true)
            end=$(date +%s%N)
            KALVEX_BENCH_OBJDUMP=$(awk "BEGIN { printf \"%.3f\", ($end - $start) / 1e9 }")
            export KALVEX_BENCH_OBJDUMP
            echo "native objdump -p | grep -i alloc: $n files, $lines lines, $KALVEX_BENCH_OBJDUMP s"
        fi
        wine "$build/kalvex_windowbench.exe" "$@"
        wine "$build/kalvex_listbench.exe" ${1+"$1"} ;;
    test)
        ctest --test-dir "$build" --output-on-failure "$@" ;;
esac
