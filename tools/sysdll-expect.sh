#!/bin/sh
# Writes, for every PE file of Wine's system folder, the export names and raw
# ordinal-table values as objdump reads them: one "number name" line each,
# in name-table order, in FILE.txt (files objdump cannot read get none). The
# scan tests compare our reader with these files.
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
for path in "$sys"/*; do
    [ -f "$path" ] || continue
    name=$(basename "$path")
    listing=$("$objdump" -p "$path" 2>/dev/null) || continue
    # objdump lists the name pointer table as "[raw ordinal] name".
    printf '%s\n' "$listing" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[ *\([0-9]*\)] \(.*\)$/\1 \2/p' > "$out/$name.txt"
done
