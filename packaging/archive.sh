# shellcheck shell=bash
# What make-zip.sh and make-tools-zip.sh share (sourced, not run).  Sourcing
# it makes $stage, an empty folder removed on exit, where a script gathers
# the files of its archive before zip_stage packs them.

tool=$(basename "$0" .sh)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# expect_name FILE NAME [WHY]: FILE is named NAME (what the archive's readers
# look for) and is not empty; WHY, when given, follows the complaint.
expect_name() {
    if [ "$(basename "$1")" != "$2" ]; then
        echo "$tool: $1 should be named $2${3:+ $3}" >&2
        exit 1
    fi
    if [ ! -s "$1" ]; then
        echo "$tool: $1 is missing" >&2
        exit 1
    fi
}

# zip_stage OUTPUT NAME...: zips the named files of $stage, in this order
# and without extra attributes, into OUTPUT (replaced; its folder made), and
# lists the archive.
zip_stage() {
    local output=$1
    shift
    mkdir -p "$(dirname "$output")"
    output=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")
    rm -f "$output"
    (cd "$stage" && zip -q -X "$output" "$@")
    echo "$tool: $output"
    unzip -l "$output"
}
