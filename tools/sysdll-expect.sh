#!/bin/sh
# Writes, for every PE file of Wine's system folder, its exports as objdump
# reads them, one "number name [target]" line each, in FILE.txt (files
# objdump cannot read get none): the named ones in name-table order with
# their raw ordinal-table value, then the address-table slots that no name
# points to, in index order, named "%" and the ordinal; a forwarder's target
# after its name. The scan tests compare our reader with these files.
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
    # objdump lists the address table's slots that are not zero as
    # "[index] +base[ordinal] rva Export RVA" or "... Forwarder RVA -- target",
    # and the name pointer table as "[raw ordinal] name".
    printf '%s\n' "$listing" | awk '
        function slot(line) { match(line, /\[ *[0-9]+\]/); return substr(line, RSTART + 1, RLENGTH - 2) + 0 }
        /^Export Address Table -- Ordinal Base/ { eat = 1; base = $NF; n = 0; next }
        /^\[Ordinal\/Name Pointer\] Table/ { eat = 0; names = 1; next }
        /^$/ { eat = 0; names = 0; next }
        eat && /^\t\[/ {
            i = slot($0); order[n++] = i
            if (match($0, /Forwarder RVA -- /)) target[i] = " " substr($0, RSTART + RLENGTH)
            next
        }
        names && /^\t\[/ {
            i = slot($0); name = $0; sub(/^\t\[ *[0-9]+\] /, "", name)
            print i " " name target[i]; named[i] = 1
        }
        END { for (k = 0; k < n; ++k) if (!(order[k] in named)) print order[k] " %" (base + order[k]) target[order[k]] }
    ' > "$out/$name.txt"
done
