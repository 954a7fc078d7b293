#!/bin/sh
# Writes, for a sample of Wine's system DLLs, the export names and raw
# ordinal-table values as objdump reads them: one "number name" line each,
# in name-table order. The scan tests compare our reader with these files.
set -eu
# objdump translates its headings in a Japanese locale.
export LC_ALL=C
sys=$1; out=$2
mkdir -p "$out"
rm -f "$out"/*.txt
for dll in kernel32.dll ntdll.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll \
           comctl32.dll msvcrt.dll ws2_32.dll imagehlp.dll version.dll; do
    [ -f "$sys/$dll" ] || continue
    # objdump lists the name pointer table as "[raw ordinal] name".
    i686-w64-mingw32-objdump -p "$sys/$dll" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[ *\([0-9]*\)] \(.*\)$/\1 \2/p' > "$out/$dll.txt"
done
