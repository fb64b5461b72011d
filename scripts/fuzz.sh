#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds per target, default 600]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
build="$root/build-fuzz"
"$root/scripts/install_deps.sh"
command -v clang++ >/dev/null || {
    echo "clang++ is needed: apt-get install clang" >&2
    exit 1
}
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DFUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_job_file fuzz_file_list fuzz_command_line \
    fuzz_extension_filter
for target in fuzz_job_file fuzz_file_list fuzz_command_line fuzz_extension_filter; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "== $target for ${seconds}s"
    "$build/bin/$target" -max_total_time="$seconds" -max_len=4096 "$corpus"
done
rm -f /tmp/morvane-fuzz-*.ini
