#!/bin/bash
# Builds the add-in package the 1C:Enterprise host loads:
#   make-zip.sh WIN32_DLL WIN64_DLL LIN64_SO OUTPUT_ZIP
# The archive holds the three libraries at its top level and MANIFEST.XML,
# which tells the host which file serves which OS and architecture.
set -eu
if [ $# -ne 4 ]; then
    echo "usage: $0 WIN32_DLL WIN64_DLL LIN64_SO OUTPUT_ZIP" >&2
    exit 2
fi
win32=$1 win64=$2 lin64=$3 output=$4
. "$(dirname "$0")/archive.sh"

why="(the manifest names it so)"
expect_name "$win32" NativeAPITaviZavRLS1000Win32.dll "$why"
expect_name "$win64" NativeAPITaviZavRLS1000Win64.dll "$why"
expect_name "$lin64" NativeAPITaviZavRLS1000Lin64.so "$why"

cp "$win32" "$win64" "$lin64" "$stage/"
printf '%s\n' \
    '<?xml version="1.0" encoding="UTF-8"?>' \
    '<bundle xmlns="http://v8.1c.ru/8.2/addin/bundle">' \
    '  <component os="Windows" path="NativeAPITaviZavRLS1000Win32.dll" type="native" arch="i386"/>' \
    '  <component os="Windows" path="NativeAPITaviZavRLS1000Win64.dll" type="native" arch="x86_64"/>' \
    '  <component os="Linux" path="NativeAPITaviZavRLS1000Lin64.so" type="native" arch="x86_64"/>' \
    '</bundle>' >"$stage/MANIFEST.XML"

zip_stage "$output" MANIFEST.XML NativeAPITaviZavRLS1000Win32.dll \
    NativeAPITaviZavRLS1000Win64.dll NativeAPITaviZavRLS1000Lin64.so
