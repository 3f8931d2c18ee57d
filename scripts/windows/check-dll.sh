#!/bin/bash
# Checks a built add-in DLL the way the host will meet it:
#   check-dll.sh DLL...
# - it imports only system DLLs (nothing of mingw's runtime, which the host's
#   machine does not have: LoadLibrary would fail with error 126);
# - it exports exactly GetClassNames, GetClassObject, DestroyObject and
#   SetPlatformCapabilities, by plain name (no leading underscore, no @N).
#   check-dll.sh --program EXE...
# checks only the first rule, for the programs shipped to Windows machines
# (a missing runtime DLL stops them before main).
# Prints what it found; exits non-zero when any file breaks a rule.
set -u
check_exports=1
if [ "${1:-}" = --program ]; then
    check_exports=0
    shift
fi
expected_exports="DestroyObject GetClassNames GetClassObject SetPlatformCapabilities"
# DLLs that every Windows installation has.
system_dlls='^(kernel32|msvcrt|ws2_32|bcrypt|advapi32|user32|ntdll|shell32|ole32)\.dll$'

objdump_for() {
    case "$(file -b "$1")" in
    *x86-64*) echo x86_64-w64-mingw32-objdump ;;
    *) echo i686-w64-mingw32-objdump ;;
    esac
}

check_one() {
    local dll=$1 failures=0
    if [ ! -f "$dll" ]; then
        echo "check-dll: $dll: missing"
        return 1
    fi
    local dump
    dump=$("$(objdump_for "$dll")" -p "$dll") || return 1
    echo "== $(basename "$dll") ($(file -b "$dll" | cut -d, -f1))"
    local imports
    imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
    echo "imports: $(tr '\n' ' ' <<<"$imports")"
    local dll_name
    while read -r dll_name; do
        if ! tr 'A-Z' 'a-z' <<<"$dll_name" | grep -Eq "$system_dlls"; then
            echo "  FAIL: imports a non-system DLL: $dll_name"
            failures=$((failures + 1))
        fi
    done <<<"$imports"
    [ $check_exports -eq 1 ] || return $((failures > 0))
    # The export name table: lines like "	[   0] DestroyObject".
    local exports
    exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
        sed -n 's/^\s*\[\s*[0-9]*\]\s*//p' | sort | tr '\n' ' ' | sed 's/ $//')
    echo "exports: $exports"
    if [ "$exports" != "$expected_exports" ]; then
        echo "  FAIL: exports must be exactly: $expected_exports"
        failures=$((failures + 1))
    fi
    return $((failures > 0))
}

status=0
for dll in "$@"; do
    check_one "$dll" || status=1
done
[ $status -eq 0 ] && echo "check-dll: OK" || echo "check-dll: FAILED"
exit $status
