#!/bin/sh
# Writes, for a sample of Wine's system DLLs, the export names and raw
# ordinal-table values as objdump reads them: one "number name" line each,
# in name-table order. The scan tests compare our reader with these files.
#   sysdll-expect.sh OBJDUMP OUT_DIR DEFAULT_PREFIX
# The prefix is $WINEPREFIX when set, else DEFAULT_PREFIX.
set -eu
# objdump translates its headings in a Japanese locale.
export LC_ALL=C
objdump=$1; out=$2
sys="${WINEPREFIX:-$3}/drive_c/windows/system32"
if [ ! -f "$sys/kernel32.dll" ]; then
    echo "sysdll-expect: no Wine system folder at $sys (boot the prefix first)" >&2
    exit 1
fi
mkdir -p "$out"
rm -f "$out"/*.txt
for dll in kernel32.dll ntdll.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll \
           comctl32.dll msvcrt.dll ws2_32.dll imagehlp.dll version.dll; do
    [ -f "$sys/$dll" ] || continue
    # objdump lists the name pointer table as "[raw ordinal] name".
    "$objdump" -p "$sys/$dll" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[ *\([0-9]*\)] \(.*\)$/\1 \2/p' > "$out/$dll.txt"
done
