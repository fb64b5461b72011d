#!/usr/bin/env bash
# Converts the bundled samples/ folder with the shipped default job file and prints where
# the JPEG files and the run log went. Usage: scripts/demo.sh [build folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
demo="$build/demo"

rm -rf "$demo"
mkdir -p "$demo/program" "$demo/out" "$demo/tmp"
# A copy of the program folder whose default job file names the samples and the output.
cp -a "$build/bin/." "$demo/program/"
sed -e "s|^source=.*|source=$root/samples\r|" -e "s|^target=.*|target=$demo/out\r|" \
    "$build/bin/Tarvik_morvane.ini" > "$demo/program/Tarvik_morvane.ini"

status=0
TMPDIR="$demo/tmp" "$demo/program/Tarvik_morvane" || status=$?
echo
echo "Engine exit status: $status"
echo "JPEG files:  $demo/out"
ls -1 "$demo/out" | sed 's/^/  /'
echo "Run log:     $demo/tmp/Tarvik_morvane.log"
exit "$status"
