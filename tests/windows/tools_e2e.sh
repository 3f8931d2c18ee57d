#!/bin/bash
# The Windows programs under 64-bit Wine, as a user on Windows runs them:
#   tools_e2e.sh CASE
# CASE: host-linux-emulator, host-cyrillic-folders, host-cyrillic-output,
# host-several-scales, emulator-windows, emulator-options, tools-archive.  CTest passes the programs in
# RLS_ADDIN_HOST_EXE, RLS_SCALES_EMULATOR_EXE, RLS_ADDIN_DLL and
# RLS_LINUX_EMULATOR, the prefix in RLS_WINEPREFIX.  Traffic stays on
# 127.0.0.1.  Exit code 0 when every check of the case held.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/common.sh"
goods_xml=$root/examples/goods.xml
# Wine turns the UTF-8 command line into UTF-16 by the locale's character set.
export LC_ALL=C.UTF-8

work=$(mktemp -d)
trap 'stop_emulator TERM; rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

wine_run() {
    "$root/scripts/windows/wine.sh" run 64 "$RLS_WINEPREFIX" "$@"
}

# A Linux path as a Windows program writes it: Wine's Z: drive is /.
windows_path() {
    echo "Z:$1" | tr / '\\'
}

# run_host OUT ERR ARGS...: addin-host.exe with its output redirected; the
# exit code in $status.
run_host() {
    local out=$1 err=$2
    shift 2
    wine_run "$RLS_ADDIN_HOST_EXE" "$@" >"$out" 2>"$err"
    status=$?
}

expect_status() { # WHAT EXPECTED
    [ "$status" -eq "$2" ] || fail "$1: exit code $status, expected $2"
}

# expect_bytes FILE HEX WHAT: the file holds this byte sequence.
expect_bytes() {
    od -An -v -tx1 "$1" | tr -d ' \n' | grep -q "$(tr -d ' ' <<<"$2" | tr A-F a-f)" ||
        fail "$3: the bytes $2 are not in $1"
}

# One line per good, "PLU|code|hundredths|shelf life|name", sorted by PLU,
# read from the goods document with nothing of the add-in's XML reader.
goods_in_document() {
    awk '
        function attr(name) {
            if (!match(line, " " name "=\"[^\"]*\"")) return ""
            return substr(line, RSTART + length(name) + 3, RLENGTH - length(name) - 4)
        }
        function hundredths(text,   whole, fraction, at) {
            gsub(/ /, "", text)
            at = match(text, /[.,]/)
            if (!at) return text * 100
            whole = substr(text, 1, at - 1)
            fraction = substr(substr(text, at + 1) "00", 1, 2)
            return whole * 100 + fraction
        }
        /<Good / {
            line = $0
            name = attr("Name")
            gsub(/&quot;/, "\"", name); gsub(/&lt;/, "<", name); gsub(/&gt;/, ">", name)
            gsub(/&apos;/, "\047", name); gsub(/&amp;/, "\\&", name)
            print attr("PLU") "|" attr("Code") "|" hundredths(attr("Price")) "|" \
                attr("ShelfLife") "|" name
        }' "$1" | sort -t'|' -k1,1n
}

# The same lines from the emulator's JSON state.
goods_in_state() {
    awk '
        function number(key) {
            if (!match(line, "\"" key "\": [0-9]+")) return ""
            return substr(line, RSTART + length(key) + 4, RLENGTH - length(key) - 4)
        }
        /"plu": / {
            line = $0
            match(line, /"name": "([^"\\]|\\.)*"/)
            name = substr(line, RSTART + 9, RLENGTH - 10)
            gsub(/\\"/, "\"", name); gsub(/\\\\/, "\\", name)
            print number("plu") "|" number("code") "|" number("price") "|" \
                number("shelfLife") "|" name
        }' "$1" | tr -d '\r' | sort -t'|' -k1,1n
}

# expect_state_matches_document STATE_FILE DOCUMENT
expect_state_matches_document() {
    goods_in_document "$2" >"$work/expected"
    goods_in_state "$1" >"$work/held"
    local count
    count=$(grep -c '<Good ' "$2")
    [ "$(wc -l <"$work/expected")" -eq "$count" ] || fail "the document's $count goods were not all read"
    diff "$work/expected" "$work/held" >"$work/diff" ||
        fail "the scales hold other goods than the document: $(head -20 "$work/diff")"
}

start_linux_emulator() {
    start_emulator "$work/port" "$work/emulator.out" "$RLS_LINUX_EMULATOR" --port 0 \
        --port-file "$work/port" --state-file "$work/state.json" --quiet "$@"
}

# addin-host.exe uploads the example document through the Windows DLL to the
# Linux emulator; the scales then hold exactly the document's goods.
case_host_linux_emulator() {
    start_linux_emulator || return 1
    run_host "$work/out" "$work/err" --lib "$RLS_ADDIN_DLL" upload \
        --address "127.0.0.1:$EMULATOR_PORT" "$goods_xml"
    expect_status upload 0
    grep -Eq '^uploaded 52 goods in [0-9]+\.[0-9]{3} s \([0-9.]+ goods/s\)'$'\r''$' "$work/out" ||
        fail "upload summary: $(cat "$work/out" "$work/err")"
    stop_emulator INT
    expect_state_matches_document "$work/state.json" "$goods_xml"
}

# The library and the goods file in folders with Cyrillic names, named as a
# Windows user types them: the command line is read as UTF-16, the DLL
# loaded with LoadLibraryW and the file opened by its wide name.
case_host_cyrillic_folders() {
    local folder="$work/Весы ТавиЗав/Компонента"
    mkdir -p "$folder" "$work/Товары"
    cp "$RLS_ADDIN_DLL" "$folder/"
    cp "$goods_xml" "$work/Товары/товары.xml"
    local dll
    dll=$(windows_path "$folder/NativeAPITaviZavRLS1000Win64.dll")
    start_linux_emulator || return 1
    run_host "$work/out" "$work/err" --lib "$dll" upload --address "127.0.0.1:$EMULATOR_PORT" \
        "$(windows_path "$work/Товары/товары.xml")"
    expect_status "upload from Cyrillic folders" 0
    stop_emulator INT
    expect_state_matches_document "$work/state.json" "$goods_xml"

    run_host "$work/out" "$work/err" --lib "$(windows_path "$folder/Нет такой.dll")" info
    expect_status "a missing library" 3
    grep -q "cannot load the add-in: .*Компонента\\\\Нет такой.dll" "$work/err" ||
        fail "the missing library's path is not shown as given: $(cat "$work/err")"
}

# Russian text as bytes: UTF-8 into files and pipes, on stdout and stderr;
# UTF-16 through WriteConsoleW on a console (a pseudo-terminal, which Wine's
# console writes out in the locale's UTF-8).  Text written past
# WriteConsoleW would reach the terminal in an OEM code page instead.
case_host_cyrillic_output() {
    local equipment_type="D0 92 D0 B5 D1 81 D1 8B D0 A1 D0 9F D0 B5 D1 87 D0 B0 D1 82 D1 8C D1 8E D0 AD D1 82 D0 B8 D0 BA D0 B5 D1 82 D0 BE D0 BA" # ВесыСПечатьюЭтикеток
    run_host "$work/out" "$work/err" --lib "$RLS_ADDIN_DLL" info
    expect_status info 0
    expect_bytes "$work/out" "$equipment_type 0D 0A" "info into a file"

    start_linux_emulator --negative || return 1
    run_host "$work/out" "$work/err" --lib "$RLS_ADDIN_DLL" good --name "Тест" --code 1 \
        --plu 1 --price 100 --address "127.0.0.1:$EMULATOR_PORT"
    expect_status "a good refused by the scales" 1
    grep -q 'SendGoodToScalesV1 failed: Ошибка_7: Ответ от весов получен негативный: FAIL. (code 7)'$'\r''$' \
        "$work/err" || fail "the refusal is not in Russian UTF-8 on stderr: $(cat "$work/err")"
    stop_emulator INT

    script -qec "$root/scripts/windows/wine.sh run 64 '$RLS_WINEPREFIX' \
        '$RLS_ADDIN_HOST_EXE' --lib '$RLS_ADDIN_DLL' info" /dev/null >"$work/console" 2>&1
    expect_bytes "$work/console" "$equipment_type" "info on a console"
}

# Two scales at once from addin-host.exe, one of them silent: one thread and
# one add-in object each, the silent one's failure says where to resume and
# stops no other; ping tells the answering scales from the silent one; the
# help of a command in Russian (--lang) comes out as UTF-8 in a pipe.
case_host_several_scales() {
    "$RLS_LINUX_EMULATOR" --port 0 --port-file "$work/silent-port" --quiet --silent \
        >"$work/silent.out" 2>&1 &
    local silent_pid=$!
    start_linux_emulator || { kill "$silent_pid"; return 1; }
    local silent_port
    silent_port=$(tr -dc 0-9 <"$work/silent-port")
    run_host "$work/out" "$work/err" --lib "$RLS_ADDIN_DLL" upload --dept 5 \
        --address "127.0.0.1:$EMULATOR_PORT" --address "127.0.0.1:$silent_port" "$goods_xml"
    expect_status "upload to two scales, one silent" 1
    grep -q "^127.0.0.1:$EMULATOR_PORT: *uploaded 52 goods in" "$work/out" ||
        fail "no end line for the answering scales: $(cat "$work/out" "$work/err")"
    grep -q "^127.0.0.1:$silent_port: .*resume with --from 1"$'\r''$' "$work/out" ||
        fail "the silent scales' line does not say where to resume: $(cat "$work/out")"
    run_host "$work/out" "$work/err" --lib "$RLS_ADDIN_DLL" ping \
        --address "127.0.0.1:$EMULATOR_PORT" --address "127.0.0.1:$silent_port"
    expect_status "ping of two scales, one silent" 1
    grep -q "answered the clock frame in" "$work/out" || fail "ping: $(cat "$work/out" "$work/err")"
    grep -q "no answer to the clock frame within 500 ms" "$work/out" ||
        fail "ping of the silent scales: $(cat "$work/out")"
    kill "$silent_pid"
    stop_emulator INT
    grep -q '"department": 5' "$work/state.json" || fail "--dept 5 did not reach the goods"
    expect_state_matches_document "$work/state.json" "$goods_xml"
    run_host "$work/out" "$work/err" upload --help --lang ru
    expect_status "upload --help --lang ru" 0
    grep -q "использование: addin-host upload" "$work/out" || fail "Russian help: $(cat "$work/out")"
}

# Started as a command of its own (not through the wine_run function), so
# that EMULATOR_PID is the Wine process itself, which gets the SIGINT.
start_windows_emulator() {
    start_emulator "$work/port" "$work/emulator.out" \
        "$root/scripts/windows/wine.sh" run 64 "$RLS_WINEPREFIX" "$RLS_SCALES_EMULATOR_EXE" \
        --port 0 --port-file "$(windows_path "$work/port")" "$@"
}

# The Windows emulator answers the Windows DLL driven by addin-host.exe; on
# Ctrl+C (Wine turns SIGINT into the console's Ctrl+C event) it stops and
# writes its state, which holds exactly the document's goods.  The state
# file, named in a Cyrillic folder, replaces one left from an earlier run.
case_emulator_windows() {
    local state="$work/Весы/состояние.json"
    mkdir -p "$work/Весы"
    echo "an earlier run" >"$state"
    start_windows_emulator --state-file "$(windows_path "$state")" --table || return 1
    run_host "$work/out" "$work/err" --lib "$RLS_ADDIN_DLL" upload \
        --address "127.0.0.1:$EMULATOR_PORT" "$goods_xml"
    expect_status "upload to the Windows emulator" 0
    stop_emulator INT
    status=$?
    expect_status "the emulator after Ctrl+C" 0
    grep -q '"goods"' "$state" || fail "no state written on Ctrl+C: $(cat "$work/emulator.out")"
    expect_state_matches_document "$state" "$goods_xml"
    # One line per frame, then the table: "Бананы" on both, as UTF-8.
    expect_bytes "$work/emulator.out" "22 D0 91 D0 B0 D0 BD D0 B0 D0 BD D1 8B 22" "frame line"
    grep -q '^PLU  *Code  *Name' "$work/emulator.out" || fail "no goods table on exit"
}

# What needs POSIX says so and stops with the usage exit code; a listen
# address off loopback is refused as on Linux.
case_emulator_options() {
    # OPTION|what its message must say (extended regular expression)
    local refused=(
        "--serial|serial.*Linux only"
        "--serial-link=com7|serial.*Linux only"
        "--baud=9600|serial.*Linux only"
        "--address=10.0.0.1|only on loopback"
    )
    local entry option why
    for entry in "${refused[@]}"; do
        option=${entry%%|*} why=${entry#*|}
        wine_run "$RLS_SCALES_EMULATOR_EXE" "$option" >"$work/out" 2>&1
        status=$?
        expect_status "scales-emulator.exe $option" 2
        grep -Eq "^scales-emulator: .*$why" "$work/out" ||
            fail "$option does not say why it stops: $(cat "$work/out")"
    done
    # A port already taken: the system's reason (FormatMessage) is given.
    start_linux_emulator || return 1
    wine_run "$RLS_SCALES_EMULATOR_EXE" --port "$EMULATOR_PORT" >"$work/out" 2>&1
    status=$?
    expect_status "scales-emulator.exe on a port in use" 1
    grep -Eq "^scales-emulator: cannot listen on UDP 127.0.0.1:$EMULATOR_PORT: .+" "$work/out" ||
        fail "no reason why it cannot listen: $(cat "$work/out")"
    stop_emulator TERM
    # --realtime is no reason to stop: it says what it does instead.
    wine_run "$RLS_SCALES_EMULATOR_EXE" --realtime --port 0 --exit-after-ms 100 >"$work/out" 2>&1
    status=$?
    expect_status "scales-emulator.exe --realtime" 0
    grep -q 'SCHED_FIFO.*Linux only' "$work/out" || fail "--realtime: $(cat "$work/out")"
}

# The quick start of the tools archive's README, from the archive unpacked
# into a Cyrillic folder: addin-host.exe finds the add-in beside itself, the
# unpacked emulator takes the unpacked goods.xml through it.
case_tools_archive() {
    local folder="$work/Программы/Весы RLS1000"
    "$root/packaging/make-tools-zip.sh" "$RLS_SCALES_EMULATOR_EXE" "$RLS_ADDIN_HOST_EXE" \
        "$RLS_ADDIN_DLL" "$work/tools.zip" >/dev/null || return 1
    mkdir -p "$folder"
    unzip -q "$work/tools.zip" -d "$folder" || return 1
    RLS_ADDIN_HOST_EXE="$folder/addin-host.exe"
    RLS_SCALES_EMULATOR_EXE="$folder/scales-emulator.exe"
    head -c 3 "$folder/README.txt" | od -An -tx1 | grep -q 'ef bb bf' ||
        fail "README.txt has no byte-order mark"

    (unset RLS_ADDIN_LIB; run_host "$work/out" "$work/err" info; exit $status)
    status=$?
    expect_status "info with the add-in beside addin-host.exe" 0
    grep -q "library: .*Программы.Весы RLS1000.NativeAPITaviZavRLS1000Win64.dll" "$work/out" ||
        fail "the add-in beside addin-host.exe was not the one loaded: $(cat "$work/out" "$work/err")"

    start_windows_emulator --state-file "$(windows_path "$work/state.json")" || return 1
    (unset RLS_ADDIN_LIB; run_host "$work/out" "$work/err" upload \
        --address "127.0.0.1:$EMULATOR_PORT" "$(windows_path "$folder/goods.xml")"; exit $status)
    status=$?
    expect_status "upload from the unpacked archive" 0
    stop_emulator INT
    expect_state_matches_document "$work/state.json" "$goods_xml"
}

case "${1:-}" in
host-linux-emulator) case_host_linux_emulator ;;
host-cyrillic-folders) case_host_cyrillic_folders ;;
host-cyrillic-output) case_host_cyrillic_output ;;
host-several-scales) case_host_several_scales ;;
emulator-windows) case_emulator_windows ;;
emulator-options) case_emulator_options ;;
tools-archive) case_tools_archive ;;
*)
    echo "usage: $0 CASE" >&2
    exit 2
    ;;
esac || failures=$((failures + 1))
[ $failures -eq 0 ] && echo "PASSED: $1" || echo "$1: $failures failed checks"
[ $failures -eq 0 ]
