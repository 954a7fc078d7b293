#!/bin/sh
# kalvex-find.exe under Wine against the native kalvex-find: the same bytes
# and the same exit status for the same folder and options.
#   find-same.sh WINE_RUN FIND_EXE NATIVE_FIND FOLDER
set -u
run=$1; exe=$2; native=$3; folder=$4
[ -x "$native" ] || { echo "no native kalvex-find at $native"; exit 1; }
[ -d "$folder" ] || { echo "no folder $folder"; exit 1; }
out=$(mktemp -d)
fail=0
cd "$folder" || exit 1
# Each run names its line ends, the same for both programs (their defaults
# differ: CR LF on Windows, LF here).
for args in "--crlf" "--lf -i alloc" "--crlf --imports" "--lf --imports -i sleep" "--crlf --format csv -i heap" \
        "--lf --format sylk --sort name -i file"; do
    # The keyword: the first word after the options, or '' for every name.
    set -- $args
    case "$args" in *alloc|*sleep|*heap|*file) ;; *) set -- "$@" "" ;; esac
    "$native" "$@" >"$out/native" 2>/dev/null; sn=$?
    "$run" "$exe" "$@" >"$out/wine" 2>/dev/null; sw=$?
    if ! cmp -s "$out/native" "$out/wine" || [ $sn -ne $sw ]; then
        echo "differs: kalvex-find $args ($(wc -c <"$out/native") bytes, exit $sn; under Wine $(wc -c <"$out/wine") bytes, exit $sw)"
        fail=1
    else
        echo "same: kalvex-find $args ($(wc -l <"$out/native") lines, exit $sn)"
    fi
done
rm -rf "$out"
exit $fail
