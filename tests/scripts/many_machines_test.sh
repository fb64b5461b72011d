#!/usr/bin/env bash
# A job split per sub-folder, run by three engines at once through GNU parallel and
# merged, must report and write exactly what one engine running the whole job does.
# usage: many_machines_test.sh ENGINE SCRIPT
set -euo pipefail
export LC_ALL=C

engine=$(realpath "$1")
script=$(realpath "$2")
command -v parallel >/dev/null || {
    echo "GNU parallel is missing: apt-get install parallel" >&2
    exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() {
    local what=$1
    shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what" >&2 && failures=$((failures + 1)); fi
}

# Pictures on top and in sub-folders, with what the walk leaves alone: a dot folder, a
# link to a folder; an empty folder, a broken picture and blanks in names.
make_tree() {
    local src=$1
    mkdir -p "$src/a/deep" "$src/b" "$src/c" "$src/d with blank" "$src/e" "$src/.hidden"
    convert -size 8x6 xc:red "$src/top.png"
    convert -size 6x8 xc:blue "$src/top b.jpg"
    convert -size 8x8 xc:green "$src/a/one.png"
    convert -size 5x5 xc:yellow "$src/a/deep/two.jpg"
    convert -size 7x3 xc:white "$src/b/three.png"
    convert -size 3x7 xc:black "$src/d with blank/four.png"
    convert -size 4x4 xc:gray "$src/.hidden/five.png"
    printf 'not a picture' >"$src/c/broken.png"
    ln -s "$src/a" "$src/link"
}

# job_file SOURCE TARGET RECURSE REPRODUCE FROM_ROOT: CR LF lines, a comment and keys
# in mixed case that must reach the split jobs unchanged.
job_file() {
    printf '%s\r\n' '; a job for the many-machines check' '[FOLDERS]' " Source = $1" \
        "target=$2" '[params]' "recurse=$3" "Reproduce_Path=$4" \
        "reproduce_path_from_root=$5" 'workers=1' '[FORMATS]' 'PNG=1' 'JPEG=1' \
        '[JPEG]' 'quality=80'
}

run_engine() {
    local job=$1 log=$2 tmp
    tmp=$(mktemp -d "$work/tmp.XXXXXX")
    TMPDIR=$tmp "$engine" "C|$job"
    cp "$tmp/Tarvik_morvane.log" "$log"
}

# The log's lines between the header and the footer, CR LF removed, sorted.
body_lines() {
    awk '{ sub(/\r$/, "") } /^#+$/ { rules++; next } rules == 3 && $0 != ""' "$1" | sort
}

relative_files() {
    (cd "$1" && find . -type f | sort)
}

# Jobs must differ from the job file in their source line only (the top one also in
# recurse).
only_source_differs() {
    local job=$1 list=$2 each
    while IFS= read -r each; do
        diff <(grep -v -e '^ Source =' -e '^recurse=' "$job") \
            <(grep -v -e '^ Source =' -e '^recurse=' "$each") >/dev/null || return 1
    done <"$list"
}

# check_mode NAME RECURSE REPRODUCE FROM_ROOT JOBS OUTPUTS
check_mode() {
    local name=$1 recurse=$2 reproduce=$3 from_root=$4 jobs=$5 outputs=$6
    local dir=$work/$name
    mkdir -p "$dir/logs"
    make_tree "$dir/src"
    job_file "$dir/src" "$dir/one" "$recurse" "$reproduce" "$from_root" >"$dir/one.ini"
    job_file "$dir/src" "$dir/many" "$recurse" "$reproduce" "$from_root" >"$dir/many.ini"
    run_engine "$dir/one.ini" "$dir/one.log"

    "$script" split "$dir/many.ini" "$dir/jobs" >"$dir/jobs.txt"
    # The command line the README gives, with the engine's path from the environment.
    # shellcheck disable=SC2016
    (cd "$dir" && ENGINE=$engine parallel -j 3 --joblog run.log \
        'd=$(mktemp -d); TMPDIR=$d "$ENGINE" C\|{}; s=$?; cp "$d/Tarvik_morvane.log" logs/{/.}.log || s=1; rm -rf "$d"; exit $s' \
        :::: jobs.txt)
    "$script" merge "$dir/logs" >"$dir/merged.txt"
    "$script" merge "$dir/one.log" >"$dir/one_merged.txt"

    expect "$name: one job per sub-folder and one for the top files" \
        test "$(wc -l <"$dir/jobs.txt")" -eq "$jobs"
    expect "$name: the jobs keep every other line" only_source_differs "$dir/many.ini" "$dir/jobs.txt"
    expect "$name: merged report equals the one run's" cmp -s "$dir/merged.txt" "$dir/one_merged.txt"
    expect "$name: merged lines are the one run's lines" \
        cmp -s <(body_lines "$dir/one.log") <(grep -v '^converted files: ' "$dir/merged.txt" | tr -d '\r' | sort)
    expect "$name: total equals the one run's count" \
        test "$(tail -n 1 "$dir/merged.txt")" = "$(tail -n 1 "$dir/one.log")"
    expect "$name: outputs land in the same places" \
        cmp -s <(relative_files "$dir/one") <(relative_files "$dir/many")
    expect "$name: every converted picture has its output" \
        test "$(relative_files "$dir/many" | wc -l)" -eq "$outputs"
}

#          name           recurse reproduce from_root jobs outputs
check_mode full-path      1       1         0         6    6
check_mode own-folder     1       1         1         6    6
check_mode flat           1       0         0         6    6
check_mode no-recursion   0       0         0         1    2

# A log cut short (an engine killed) fails the merge rather than passing unnoticed.
head -n 24 "$work/flat/one.log" >"$work/cut.log"
merge_fails() { ! "$script" merge "$@" >/dev/null 2>&1; }
expect "a log without its closing count fails the merge" \
    merge_fails "$work/flat/one.log" "$work/cut.log"

((failures == 0)) || {
    echo "$failures check(s) failed" >&2
    exit 1
}
