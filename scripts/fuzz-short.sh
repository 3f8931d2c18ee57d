#!/usr/bin/env bash
# Short libFuzzer runs (about a minute each) of the goods-document reader and
# of the host boundary's dispatcher.  Needs clang; skipped without it.
# Corpora and crash files are written under build/fuzz, never into the source.
set -uo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null; then
    echo "clang++ not found: fuzz runs skipped"
    exit 0
fi
seconds=${RLS_FUZZ_SECONDS:-60}
root=$PWD
cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz -j2 --target xml_fuzzer dispatch_fuzzer || exit 1

run_fuzzer() {  # run_fuzzer NAME BINARY [FLAG...] [-- SEED_DIR...]
    local name=$1 binary=$2; shift 2
    local flags=() seeds=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do flags+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    seeds=("$@")
    local dir=$root/build/fuzz/run-$name
    mkdir -p "$dir/corpus"
    (cd "$dir" && "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -print_final_stats=1 "${flags[@]}" corpus "${seeds[@]}") >"$dir/log.txt" 2>&1
    local rc=$?
    grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "$dir/log.txt" |
        sed "s/^/$name: /"
    if [ $rc -ne 0 ]; then
        echo "$name: fuzzer failed (exit $rc); log in $dir/log.txt"
        tail -40 "$dir/log.txt"
        return 1
    fi
}

ok=0
run_fuzzer xml "$root/build/fuzz/fuzz/xml/xml_fuzzer" -dict="$root/fuzz/xml/xml.dict" \
    -- "$root/fuzz/xml/corpus" || ok=1
run_fuzzer dispatch "$root/build/fuzz/fuzz/dispatch/dispatch_fuzzer" || ok=1
exit $ok
