#!/bin/sh
# Installs what the build and the tests need on Debian 12 (run as root).
# Idempotent: returns at once when everything is already there.
#   setup.sh        the build, the tests and the benchmarks
#   setup.sh fuzz   what the reader's fuzz target needs (clang, libFuzzer)
set -e
pkgs="g++ g++-mingw-w64-i686 gcc-mingw-w64-x86-64 llvm lld wine wine32:i386 xvfb xauth cmake make googletest time
      fonts-ipafont-gothic imagemagick locales man-db groff-base"
[ "${1:-}" = fuzz ] && pkgs="clang libclang-rt-dev"
missing=""
for p in $pkgs; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
    export DEBIAN_FRONTEND=noninteractive
    dpkg --print-foreign-architectures | grep -q i386 || $SUDO dpkg --add-architecture i386
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends $pkgs
fi
# Wine converts Unix file names in the C library's locale: it must really exist.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "setup: generating ja_JP.UTF-8"
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8 || true
fi
