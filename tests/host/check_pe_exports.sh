#!/bin/sh
# Checks that a module file is what the 32-bit editor can load: a PE32 DLL
# for Intel 80386 whose one export is the undecorated GetFilterTable and
# which imports nothing but KERNEL32.dll and msvcrt.dll (everything else,
# FFTW and the C++ run time included, is linked in statically).
#   check_pe_exports.sh OBJDUMP MODULE [i386|x86-64]
# x86-64 checks the 64-bit test build's module the same way, as a PE32+
# DLL for x86-64.
set -eu

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 objdump module [i386|x86-64]" >&2
    exit 2
fi
objdump=$1
module=$2
machine=${3:-i386}
case $machine in
    i386) magic=010b optional=PE32 ;;
    x86-64) magic=020b optional=PE32+ ;;
    *)
        echo "$0: unknown machine '$machine' (i386 or x86-64)" >&2
        exit 2
        ;;
esac

dump=$("$objdump" -p "$module")
status=0
fail() {
    echo "FAIL: $module: $*" >&2
    status=1
}

echo "$dump" | grep -q "file format pei-$machine\$" ||
    fail "not a PE image for $machine ($(echo "$dump" | sed -n 's/.*file format //p'))"
echo "$dump" | awk -v want="$magic ($optional)" '$1 == "Magic" { found = ($2 " " $3 == want) }
    END { exit !found }' ||
    fail "optional header is not $optional"
echo "$dump" | awk '/^Characteristics/ { in_c = 1; next } in_c && /^[^[:space:]]/ { in_c = 0 }
    in_c && $1 == "DLL" { found = 1 } END { exit !found }' ||
    fail "not flagged as a DLL"

# Imported DLLs, compared without regard to case as Windows does.
imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
if [ -z "$imports" ]; then
    fail "no import table"
fi
for dll in $imports; do
    case $(echo "$dll" | tr '[:upper:]' '[:lower:]') in
        kernel32.dll | msvcrt.dll) ;;
        *) fail "imports $dll" ;;
    esac
done

# Exports: the number of entries in the address table (which also counts
# exports by ordinal only) and the names in the name pointer table.
address_count=$(echo "$dump" | sed -n 's/^[[:space:]]*Export Address Table[[:space:]]*\([0-9a-fA-F]\{1,\}\)$/\1/p' | head -n 1)
names=$(echo "$dump" | awk '/^\[Ordinal\/Name Pointer\] Table/ { in_t = 1; next }
    in_t && /^[[:space:]]*\[/ { print $NF; next } in_t { in_t = 0 }')
if [ -z "$address_count" ]; then
    fail "no export table"
elif [ $((0x$address_count)) -ne 1 ]; then
    fail "export address table has $((0x$address_count)) entries, expected 1"
fi
if [ "$names" != "GetFilterTable" ]; then
    fail "exported names are [$(echo $names)], expected [GetFilterTable]"
fi

if [ $status -eq 0 ]; then
    echo "$module: $optional $machine DLL, exports GetFilterTable, imports $(echo $imports)"
fi
exit $status
