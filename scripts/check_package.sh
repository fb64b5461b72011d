#!/usr/bin/env bash
# Checks a built package before anyone installs it: the files it must hold, the packaged
# engine converting the samples from the unpacked tree, the menu entry, the manual pages
# and lintian's errors. Usage: scripts/check_package.sh [build folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
deb=$(ls "$build"/tarvik-morvane_*_amd64.deb | head -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

dpkg -x "$deb" "$work/root"
program="$work/root/usr/lib/tarvik-morvane"
for file in Tarvik_morvane morvane_gui Tcrw.so Tdib.so Tmpegd.so Tarvik_morvane.ini \
            Tarvike_morvane.html whatsnew.txt; do
    [[ -e "$program/$file" ]] || { echo "The package lacks $file" >&2; exit 1; }
done

# The packaged engine, started through its /usr/bin link, converts the samples.
mkdir -p "$work/out" "$work/tmp"
sed -e "s|^source=.*|source=$root/samples\r|" -e "s|^target=.*|target=$work/out\r|" \
    "$program/Tarvik_morvane.ini" > "$work/job.ini"
TMPDIR="$work/tmp" "$work/root/usr/bin/Tarvik_morvane" "C|$work/job.ini"
converted=$(find "$work/out" -name '*.jpg' | wc -l)
[[ $converted -gt 0 ]] || { echo "The packaged engine converted nothing" >&2; exit 1; }

desktop-file-validate "$work/root/usr/share/applications/tarvik-morvane.desktop"
for page in Tarvik_morvane morvane_gui; do
    warnings=$(man --warnings -l "$work/root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [[ -z "$warnings" ]] || { echo "$page(1): $warnings" >&2; exit 1; }
done

if command -v lintian > /dev/null; then
    lintian "$deb" | tee "$work/lintian" || true
    if grep -q '^E:' "$work/lintian"; then echo "lintian reports errors" >&2; exit 1; fi
fi
echo "Package checked: $deb ($converted JPEG files from the samples)"
