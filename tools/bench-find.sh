#!/bin/bash
# kalvex-find's figures, natively: against objdump | grep on the same files,
# the full listing, one job against the default, a synthetic corpus of
# 100,000 files (hard links to the system folder's DLLs in nested folders)
# against one of 1,000, with time and peak memory, and the peak memory of
# row-heavy modules with one job and with four; all without the name cache.
# Then the name cache: cold and warm searches of the DLL folder and of the
# corpus, a cold search with the cache against one without, and its size.
#   bench-find.sh NATIVE_BUILD SYSTEM_FOLDER CORPUS_FOLDER
set -eu
native=$(cd "$1" && pwd); sys=$2; mkdir -p "$3"; corpus=$(cd "$3" && pwd)
find_tool="$native/kalvex-find --no-cache"
export LC_ALL=C

# The best of three wall-clock times of a shell command, in seconds.
timing=$(mktemp)
trap 'rm -f "$timing"' EXIT
TIMEFORMAT=%R
best() {
    local t best=
    for _ in 1 2 3; do
        t=$( { time bash -c "$1" >/dev/null 2>&1; } 2>&1 )
        if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
    done
    echo "$best"
}

cd "$sys"
echo "kalvex-find over $(ls *.dll | wc -l) *.dll files of $sys"
"$native/kalvex_readbench" . '*.*'
ours=$(best "$find_tool -i alloc")
theirs=$(best "i686-w64-mingw32-objdump -p *.dll 2>/dev/null | grep -i alloc")
rows=$($find_tool -i alloc | wc -l)
echo "kalvex-find -i alloc: $ours s ($rows rows); objdump -p | grep -i alloc: $theirs s; ratio $(awk "BEGIN{printf \"%.3f\", $ours/$theirs}")"
echo "full export listing: $(best "$find_tool ''") s ($($find_tool '' | wc -l) rows); -j 1: $(best "$find_tool -j 1 ''") s; -j 2: $(best "$find_tool -j 2 ''") s"
echo "full import listing: $(best "$find_tool --imports ''") s; -j 1: $(best "$find_tool -j 1 --imports ''") s; -j 2: $(best "$find_tool -j 2 --imports ''") s"
echo "full export listing with the unnamed exports: $(best "$find_tool --unnamed ''") s ($($find_tool --unnamed '' | wc -l) rows)"

# The corpus: 100 folders of 10 folders of 100 links each (to 100 of the
# DLLs, a different hundred in each of the ten), made once.
if [ ! -f "$corpus/.complete" ]; then
    rm -rf "${corpus:?}"/*
    dlls=(*.dll)
    for b in $(seq 0 9); do
        mkdir -p "$corpus/00/$b"
        for c in $(seq 0 99); do
            src=${dlls[$(( (b * 100 + c) % ${#dlls[@]} ))]}
            ln "$src" "$corpus/00/$b/m$c.dll" 2>/dev/null || cp "$src" "$corpus/00/$b/m$c.dll"
        done
    done
    for a in $(seq -w 1 99); do cp -al "$corpus/00" "$corpus/$a"; done
    touch "$corpus/.complete"
fi
for folder in "$corpus/00" "$corpus"; do
    files=$(find "$folder" -name '*.dll' | wc -l)
    /usr/bin/time -f "%e %M" -o "$timing" $find_tool -r -i alloc "$folder" >/dev/null
    set -- $(tail -1 "$timing")
    echo "corpus of $files files: $1 s, $(awk "BEGIN{printf \"%.0f\", $files/$1}") files/s, peak memory $(( $2 / 1024 )) MiB"
done
# The default jobs against -j 1 and -j 2 over the corpus, with the other
# cores idle and with one of them kept busy: the default must never lose to
# -j 1 by more than 10 %.
for load in idle busy; do
    busy=
    [ $load = busy ] && { sh -c 'while :; do :; done' & busy=$!; }
    echo "corpus, other core $load: default $(best "$find_tool -r -i alloc $corpus") s," \
         "-j 1 $(best "$find_tool -j 1 -r -i alloc $corpus") s, -j 2 $(best "$find_tool -j 2 -r -i alloc $corpus") s"
    [ -n "$busy" ] && kill "$busy"
done

# Sixteen copies of a module whose 200,000 export names all read CreateFileW
# (its name table points 200,000 times at one string: 1.2 MB a file), made
# once: 3,200,000 rows, all in flight at once unless the jobs are bounded.
names=$native/bench-manynames
if [ ! -f "$names/.complete" ]; then
    rm -rf "$names"
    mkdir -p "$names"
    "$native/kalvex_manynames" "$names/m00.dll" CreateFileW 200000
    for i in $(seq -w 1 15); do cp "$names/m00.dll" "$names/m$i.dll"; done
    touch "$names/.complete"
fi
for jobs in 1 4; do
    /usr/bin/time -f "%e %M" -o "$timing" $find_tool -j $jobs CreateFileW "$names" >/dev/null
    set -- $(tail -1 "$timing")
    echo "16 modules of 200,000 matching names, -j $jobs: $1 s, peak memory $(( $2 / 1024 )) MiB"
done

# The name cache, in a folder of its own. For each search: a cold run (the
# cache emptied first) and two warm ones, with time, peak memory and what the
# warm run read; the best of three cold runs against the best of three
# without the cache; and the cache's size on disk.
cache=$(mktemp -d)
trap 'rm -f "$timing"; rm -rf "$cache"' EXIT
cached="$native/kalvex-find --cache-dir $cache"
run() {  # label command...: "SECONDS s, PEAK MiB"
    /usr/bin/time -f "%e %M" -o "$timing" "$@" >/dev/null
    set -- $(tail -1 "$timing")
    echo "$1 s, $(( $2 / 1024 )) MiB"
}
cache_bench() {  # what folder args...
    local what=$1 folder=$2; shift 2
    rm -rf "${cache:?}"/*
    echo "name cache, $what: cold $(run $cached "$@" "$folder"); warm $(run $cached "$@" "$folder");" \
         "warm again $(run $cached "$@" "$folder"); cache $(du -k "$cache/names.kvc" | cut -f1) KiB"
    local on off args
    args=$(printf '%q ' "$@")
    on=$(best "rm -rf $cache/*; $cached $args $folder")
    off=$(best "$find_tool $args $folder")
    echo "name cache, $what: cold with the cache $on s, without $off s, ratio $(awk "BEGIN{printf \"%.2f\", $on/$off}")"
}
cache_bench "$(ls *.dll | wc -l) *.dll of the DLL folder -i alloc" . -i alloc
cache_bench "$(ls *.dll | wc -l) *.dll of the DLL folder, full listing" . ''
cache_bench "corpus of $(find "$corpus" -name '*.dll' | wc -l) files -r -i alloc" "$corpus" -r -i alloc
