#!/bin/bash
# Builds the tools archive for people who set up 1C and scales on Windows:
#   make-tools-zip.sh SCALES_EMULATOR_EXE ADDIN_HOST_EXE WIN64_DLL OUTPUT_ZIP
# It holds the two x64 programs, the 64-bit add-in that addin-host.exe loads
# from its own folder, examples/goods.xml and README.txt (tools-README.txt,
# written with a byte-order mark and CRLF line ends so that every Notepad
# shows its Cyrillic).
set -eu
if [ $# -ne 4 ]; then
    echo "usage: $0 SCALES_EMULATOR_EXE ADDIN_HOST_EXE WIN64_DLL OUTPUT_ZIP" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
emulator=$1 host=$2 dll=$3 output=$4
. "$here/archive.sh"

expect_name "$emulator" scales-emulator.exe
expect_name "$host" addin-host.exe
expect_name "$dll" NativeAPITaviZavRLS1000Win64.dll

cp "$emulator" "$host" "$dll" "$here/../examples/goods.xml" "$stage/"
{
    printf '\xef\xbb\xbf'
    sed 's/$/\r/' "$here/tools-README.txt"
} >"$stage/README.txt"

zip_stage "$output" README.txt scales-emulator.exe addin-host.exe \
    NativeAPITaviZavRLS1000Win64.dll goods.xml
