#!/bin/sh
# Checks Kalvex.exe: a PE32 GUI executable that needs no MinGW DLL and
# exports its functions by their plain names.
set -u
# objdump translates its headings in a Japanese locale.
export LC_ALL=C
exe=$1
dump=$(i686-w64-mingw32-objdump -p "$exe") || exit 1
fail=0
echo "$dump" | grep -q '^Subsystem[[:space:]]*00000002' || { echo "not a GUI executable"; fail=1; }
echo "$dump" | grep -q 'file format pei-i386' || { echo "not PE32"; fail=1; }
dlls=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports: $(echo $dlls)"
for d in $dlls; do
    case "$d" in
        *gcc*|*stdc++*|*winpthread*|*mingw*) echo "needs MinGW DLL $d"; fail=1 ;;
    esac
done
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*] //p')
echo "exports: $(echo $exports)"
for name in GetErrorString GetLastErrorString DragCheckMouseDown DragCheckMouseMove DragCheckMouseUp; do
    echo "$exports" | grep -qx "$name" || { echo "missing export $name"; fail=1; }
done
exit $fail
