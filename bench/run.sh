#!/usr/bin/env bash
# Benchmark: the engine against ImageMagick, GraphicsMagick, libvips and the bare codecs.
#
#   bench/run.sh
#
# One command: builds the Release engine (make build), installs the programs it compares
# with from Debian when they are missing (sudo when not root), writes the photo-like corpus
# once into a temporary folder (60 PNG 1920x1280, 40 JPEG 3000x2000; see make_corpus.cpp),
# times every row on it for two cases and writes bench/RESULTS.md:
#   (a) resize: sample to fit 640x480, aspect kept;  (b) format change only;
# both to JPEG quality 75, progressive. Instruction counts of the engine and of mogrify come
# from callgrind on a 5-file subset (3 PNG, 2 JPEG). This is a benchmark, not a test: it
# takes a long while and CI never runs it.
#
# Environment:
#   RUNS=3            timed runs per row; the median is reported
#   CORPUS_FILES=100  pictures in the corpus, 3 PNG to 2 JPEG (say 10 for a quick try)
#   BUILD=build       the Release build folder (bench_corpus and the engine land in its bin/)
#   CALLGRIND=1       0 leaves out the instruction counts
#   RESULTS=bench/RESULTS.md
#
# Every process is held to one thread (MAGICK_THREAD_LIMIT=1, OMP_NUM_THREADS=1,
# VIPS_CONCURRENCY=1); the two parallel rows run two such processes at once.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${RUNS:-3}
CORPUS_FILES=${CORPUS_FILES:-100}
BUILD=${BUILD:-build}
CALLGRIND=${CALLGRIND:-1}
RESULTS=${RESULTS:-$root/bench/RESULTS.md}
[[ $BUILD == /* ]] || BUILD=$root/$BUILD
bin=$BUILD/bin

# The ImageMagick 6 programs by their full names: another `convert` may come first on PATH.
IM_CONVERT=/usr/bin/convert-im6.q16
IM_MOGRIFY=/usr/bin/mogrify-im6.q16
IM_IDENTIFY=/usr/bin/identify-im6.q16
QUALITY=75
SIZE=640x480

say() { printf '== %s\n' "$*" >&2; }
die() {
    printf 'bench/run.sh: %s\n' "$*" >&2
    exit 1
}

[[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive number"
if ! [[ $CORPUS_FILES =~ ^[0-9]+$ ]] || ((CORPUS_FILES < 5 || CORPUS_FILES > 100)); then
    die "CORPUS_FILES must be 5..100"
fi

# --- Programs -----------------------------------------------------------------------------

install_missing() {
    local packages=(imagemagick-6.q16 graphicsmagick libvips-tools valgrind time)
    local missing=() p status
    for p in "${packages[@]}"; do
        status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
        [[ $status == "install ok installed" ]] || missing+=("$p")
    done
    ((${#missing[@]} == 0)) && return 0
    local sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    say "installing ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
        --no-install-recommends "${missing[@]}"
}

install_missing
say "building the Release engine into $BUILD"
make -C "$root" build BUILD="$BUILD" >&2
[[ -x $bin/Tarvik_morvane && -x $bin/bench_corpus && -x $bin/bench_floor ]] ||
    die "the build left no engine"

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvik-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

cores=$(nproc) # before OMP_NUM_THREADS, which nproc obeys
export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# --- Corpus -------------------------------------------------------------------------------

say "writing the corpus ($CORPUS_FILES pictures) and the 5-file subset"
"$bin/bench_corpus" --subset "$CORPUS_FILES" "$work/corpus" >&2
"$bin/bench_corpus" --subset 5 "$work/corpus5" >&2
# mogrify and gm mogrify read a copy, never the corpus itself.
cp -a "$work/corpus" "$work/copy"
corpus_count=$(find "$work/corpus" -type f | wc -l)
corpus_mb=$(du -sm "$work/corpus" | cut -f1)
png_count=$(find "$work/corpus" -name '*.png' | wc -l)
jpeg_count=$(find "$work/corpus" -name '*.jpg' | wc -l)

# --- Rows ---------------------------------------------------------------------------------
# Each row is a function run under /usr/bin/time in a fresh bash; it reads SRC (the
# pictures), OUT (an empty folder) and RESIZE (the size, or empty for the format change).

# The engine: its own job file, a fresh copy of the program folder and its own TMPDIR,
# all made before the clock starts (engine_setup).
engine_setup() { # workers src target folder [extra job lines...]
    local workers=$1 src=$2 target=$3 folder=$4
    shift 4
    rm -rf "$folder"
    mkdir -p "$folder/tmp"
    cp -a "$bin/." "$folder/program/"
    {
        printf '[FOLDERS]\nsource=%s\ntarget=%s\n' "$src" "$target"
        printf '[PARAMS]\nrecurse=0\nsize=%s\naspect_ratio=1\nerase=1\nmove=0\n' "$RESIZE"
        printf 'do_watermark=0\nworkers=%s\n' "$workers"
        printf '[FORMATS]\nPNG=1\nJPEG=1\n'
        printf '[JPEG]\nquality=%s\nprogressive=1\n' "$QUALITY"
        local line
        for line in "$@"; do printf '%s\n' "$line"; done
    } | sed 's/$/\r/' >"$folder/job.ini"
}
run_engine() {
    TMPDIR="$ENGINE/tmp" "$ENGINE/program/Tarvik_morvane" "C|$ENGINE/job.ini"
    # Every source must have been converted.
    [[ -f $ENGINE/tmp/Tarvik_morvane.log ]] &&
        ! grep -q 'Could not convert' "$ENGINE/tmp/Tarvik_morvane.log"
}

run_mogrify() {
    "$IM_MOGRIFY" -path "$OUT" -format jpg -quality "$QUALITY" -interlace Plane \
        ${RESIZE:+-sample "$RESIZE"} "$SRC"/*
}

# GraphicsMagick writes a progressive JPEG for "-interlace Line" (its "Plane" gives a
# baseline one), and its -output-directory keeps the relative path, so it runs in SRC.
run_gm() {
    cd "$SRC"
    gm mogrify -output-directory "$OUT" -format jpg -quality "$QUALITY" -interlace Line \
        ${RESIZE:+-sample "$RESIZE"} ./*
}

convert_one() { # source
    local base=${1##*/}
    "$IM_CONVERT" "$1" -quality "$QUALITY" -interlace Plane ${RESIZE:+-sample "$RESIZE"} \
        "$OUT/${base%.*}.jpg"
}
run_convert() {
    local f
    for f in "$SRC"/*; do convert_one "$f"; done
}
run_convert_x2() {
    printf '%s\0' "$SRC"/* | xargs -0 -n1 -P2 bash -c 'convert_one "$1"' _
}

# libvips: vipsthumbnail for the resize (it shrinks JPEG files while decoding them and
# resamples with a kernel, so it does less and other work than sampling), vips copy per
# file for the format change.
run_vips() {
    if [[ -n $RESIZE ]]; then
        vipsthumbnail --size "$RESIZE" -o "$OUT/%s.jpg[Q=$QUALITY,interlace]" "$SRC"/*
    else
        local f base
        for f in "$SRC"/*; do
            base=${f##*/}
            vips copy "$f" "$OUT/${base%.*}.jpg[Q=$QUALITY,interlace]"
        done
    fi
}

# The codec floor: libjpeg-turbo and libpng driven straight by bench_floor, one process for
# the whole folder, with the codec choices the engine's ImageMagick makes (see floor.cpp).
run_floor() {
    "$BIN/bench_floor" --quality "$QUALITY" --progressive ${RESIZE:+--fit "$RESIZE"} \
        "$OUT" "$SRC"/*
}

export IM_CONVERT IM_MOGRIFY QUALITY BIN=$bin
export -f run_engine run_mogrify run_gm convert_one run_convert run_convert_x2 run_vips run_floor

# key|label|function: the rows in table order.
rows=(
    "engine1|Tarvik_morvane, workers=1|run_engine"
    "engine2|Tarvik_morvane, workers=2|run_engine"
    "mogrify|mogrify (ImageMagick 6)|run_mogrify"
    "gm|gm mogrify (GraphicsMagick)|run_gm"
    "convert|convert, once per file|run_convert"
    "convert2|convert, two at once (xargs -P2)|run_convert_x2"
    "vips|vips|run_vips"
    "floor|codec floor (bench_floor: libjpeg-turbo + libpng)|run_floor"
)

# Distinct "WxH progressive qN" descriptions of the outputs, with their counts.
describe_outputs() { # folder
    "$IM_IDENTIFY" -ping -format '%wx%h %[interlace] q%Q\n' "$1"/*.jpg 2>/dev/null |
        sed 's/ JPEG / progressive /; s/ None / baseline /' | sort | uniq -c |
        awk '{printf "%s%d× %s %s %s", (NR > 1 ? ", " : ""), $1, $2, $3, $4}'
}

median() {
    sort -n | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'
}

# Times one run of a row: appends "<seconds> <peak RSS KiB>" to $work/times.<case>.<key>
# and describes the outputs of the first run in $work/outputs.<case>.<key>. A run that
# fails or leaves an output out marks the row failed and it is not run again.
time_once() { # case key function
    local case=$1 key=$2 fn=$3 start end status=0 produced rss
    local tag=$case.$key
    [[ -e $work/failed.$tag ]] && return 0
    export SRC=$work/corpus OUT=$work/out ENGINE=$work/engine
    [[ $key == mogrify || $key == gm ]] && SRC=$work/copy
    rm -rf "$OUT"
    mkdir -p "$OUT"
    case $key in
        engine1) engine_setup 1 "$SRC" "$OUT" "$ENGINE" ;;
        engine2) engine_setup 2 "$SRC" "$OUT" "$ENGINE" ;;
    esac
    sync
    start=$EPOCHREALTIME
    /usr/bin/time -v -o "$work/time.txt" bash -c "$fn" >"$work/row.log" 2>&1 || status=$?
    end=$EPOCHREALTIME
    produced=$(find "$OUT" -maxdepth 1 -name '*.jpg' | wc -l)
    if ((status != 0 || produced != corpus_count)); then
        say "$tag failed (status $status, $produced of $corpus_count outputs):"
        tail -n 5 "$work/row.log" >&2
        touch "$work/failed.$tag"
        return 0
    fi
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
    awk -v a="$start" -v b="$end" -v r="$rss" 'BEGIN {printf "%.2f %d\n", b - a, r}' \
        >>"$work/times.$tag"
    [[ -e $work/outputs.$tag ]] || describe_outputs "$OUT" >"$work/outputs.$tag"
    say "$tag: $(tail -n 1 "$work/times.$tag" | cut -d' ' -f1) s"
}

# "median|runs|peak RSS KiB|outputs" of a row, or "failed".
row_result() { # case key
    local tag=$1.$2
    if [[ -e $work/failed.$tag ]]; then
        echo failed
        return 0
    fi
    printf '%s|%s|%s|%s\n' "$(cut -d' ' -f1 "$work/times.$tag" | median)" \
        "$(cut -d' ' -f1 "$work/times.$tag" | paste -sd' ')" \
        "$(cut -d' ' -f2 "$work/times.$tag" | sort -n | tail -n 1)" "$(cat "$work/outputs.$tag")"
}

# --- Instruction counts -------------------------------------------------------------------
# callgrind follows the engine's worker processes (forked, not executed). A forked
# child inherits the parent's counts so far; --dump-before=fork writes those counts out
# and zeroes them at every fork, so the files of a run add up to its true total.

callgrind_run() { # case key outfolder
    local case=$1 key=$2 dir=$3 status=0
    rm -rf "$dir" "$work/out"
    mkdir -p "$dir" "$work/out"
    local valgrind=(valgrind --tool=callgrind --trace-children=yes --dump-before=fork
        "--callgrind-out-file=$dir/callgrind.out.%p")
    if [[ $key == engine ]]; then
        # No address-space limit: valgrind needs more than the engine's default allows.
        engine_setup 1 "$work/corpus5" "$work/out" "$work/cg-engine" '[LIMITS]' 'memory=0'
        TMPDIR="$work/cg-engine/tmp" "${valgrind[@]}" "$work/cg-engine/program/Tarvik_morvane" \
            "C|$work/cg-engine/job.ini" >"$work/row.log" 2>&1 || status=$?
    else
        "${valgrind[@]}" "$IM_MOGRIFY" -path "$work/out" -format jpg -quality "$QUALITY" \
            -interlace Plane ${RESIZE:+-sample "$RESIZE"} "$work/corpus5"/* \
            >"$work/row.log" 2>&1 || status=$?
    fi
    # valgrind's first line, "==<pid>== Callgrind, ...", names the program's own process.
    sed -n '1s/^==\([0-9]*\)==.*/\1/p' "$work/row.log" >"$dir/pid"
    local produced
    produced=$(find "$work/out" -maxdepth 1 -name '*.jpg' | wc -l)
    if ((status != 0 || produced != 5)); then
        tail -n 5 "$work/row.log" >&2
        die "callgrind $case/$key failed (status $status, $produced of 5 outputs)"
    fi
}

# Sum of the "summary:" line (or "totals:" when there is none) of the files named.
callgrind_total() { # files...
    local f
    for f in "$@"; do
        [[ -f $f ]] || continue
        awk '/^summary:/ {s = $2} /^totals:/ {t = $2} END {print (s != "" ? s : t)}' "$f"
    done | awk '{n += $1} END {printf "%.0f\n", n}'
}

# The instructions of a run by shared object, largest first: "percent|object", 8 lines.
callgrind_by_object() { # folder
    awk -f "$root/bench/callgrind_objects.awk" "$1"/callgrind.out.* | sort -rn |
        awk 'NR == 1 {total = $1; next} NR <= 9 {printf "%.1f|%s\n", 100 * $1 / total, $2}'
}

# --- Runs ---------------------------------------------------------------------------------

cases=(a b)
declare -A case_title=(
    [a]="(a) resize: sample to fit ${SIZE}, aspect kept, JPEG q${QUALITY} progressive"
    [b]="(b) format change only, JPEG q${QUALITY} progressive"
)
declare -A case_resize=([a]=$SIZE [b]="")

# The runs go round all rows in turn, so a slow spell of the machine spreads over them.
for ((run = 1; run <= RUNS; run++)); do
    for case in "${cases[@]}"; do
        export RESIZE=${case_resize[$case]}
        for row in "${rows[@]}"; do
            IFS='|' read -r key _ fn <<<"$row"
            say "run $run of $RUNS, case $case: $key"
            time_once "$case" "$key" "$fn"
        done
    done
done
if ((CALLGRIND)); then
    for case in "${cases[@]}"; do
        export RESIZE=${case_resize[$case]}
        for key in engine mogrify; do
            say "case $case: callgrind $key (5 files)"
            callgrind_run "$case" "$key" "$work/cg.$case.$key"
        done
    done
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- Targets ------------------------------------------------------------------------------

field() { # case key n: field n of the row's result (1 median s, 3 peak RSS KiB), or "failed"
    local result
    result=$(row_result "$1" "$2")
    [[ $result == failed ]] && echo failed || cut -d'|' -f"$3" <<<"$result"
}
# One table line: "| what | measured | yes/no |" for the ratio a / b against a limit.
target_line() { # what a b measured-format le|ge|gt limit
    if [[ $2 == failed || $3 == failed ]]; then
        echo "| $1 | a row failed | no |"
        return 0
    fi
    awk -v w="$1" -v a="$2" -v b="$3" -v f="$4" -v op="$5" -v limit="$6" 'BEGIN {
        r = a / b
        met = (op == "le" && r <= limit) || (op == "ge" && r >= limit) || (op == "gt" && r > limit)
        printf "| %s | " f " | %s |\n", w, r, (met ? "yes" : "no")
    }'
}
target_lines() {
    local e1 e2 gm floor key other best=""
    e1=$(field b engine1 1)
    target_line "(b) one worker within 1.10 x the codec floor" "$e1" "$(field b floor 1)" \
        "%.2f x the floor" le 1.10
    target_line "(b) one worker faster than gm mogrify" "$(field b gm 1)" "$e1" \
        "%.2f x gm's speed" gt 1
    e1=$(field a engine1 1)
    for key in mogrify gm convert convert2 vips; do  # the floor is no peer
        other=$(field a "$key" 1)
        [[ $other == failed ]] && continue
        if [[ -z $best ]] || awk -v o="$other" -v b="$best" 'BEGIN {exit !(o < b)}'; then
            best=$other
        fi
    done
    target_line "(a) one worker ahead of every peer" "${best:-failed}" "$e1" \
        "%.2f x the fastest peer's speed" gt 1
    for case in "${cases[@]}"; do
        target_line "($case) two workers at least 1.85 x one" "$(field "$case" engine1 1)" \
            "$(field "$case" engine2 1)" "%.2f x" ge 1.85
        target_line "($case) one worker's peak memory at most gm mogrify's" \
            "$(field "$case" engine1 3)" "$(field "$case" gm 3)" "%.2f x gm's" le 1
    done
}

# --- Report -------------------------------------------------------------------------------

with_commas() { sed ':a; s/\B[0-9]\{3\}\>/,&/; ta' <<<"$1"; }
mib() { awk -v k="$1" 'BEGIN {printf "%.0f", k / 1024}'; }

engine_commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
[[ -z $(git -C "$root" status --porcelain -- engine common modules 2>/dev/null) ]] ||
    engine_commit+=" with uncommitted changes"
pretty_name=$(sed -n 's/^PRETTY_NAME="\(.*\)"$/\1/p' /etc/os-release)

say "writing $RESULTS"
{
    echo "# Benchmark results"
    echo
    echo "Written by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC') (engine $engine_commit)."
    echo "Median of $RUNS runs per row (taken in turns); corpus of $corpus_count pictures ($png_count PNG"
    echo "1920x1280, $jpeg_count JPEG 3000x2000 at quality 90, $corpus_mb MB) made by \`bench_corpus\`."
    echo
    echo "## Machine"
    echo
    echo "| | |"
    echo "|---|---|"
    echo "| cores (\`nproc\`) | $cores |"
    echo "| CPU | $(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo) |"
    echo "| memory | $(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo) |"
    echo "| system | $pretty_name (Debian $(cat /etc/debian_version)) |"
    echo "| ImageMagick | $("$IM_CONVERT" -version | sed -n '1s/^Version: //p') |"
    echo "| GraphicsMagick | $(gm version | sed -n '1p') |"
    echo "| libvips | $(vips --version) |"
    echo "| libjpeg-turbo, libpng | $(dpkg-query -W -f='${Version}' libjpeg62-turbo), $(dpkg-query -W -f='${Version}' libpng16-16) |"
    echo "| load average before, after | $load_before; $load_after |"
    echo
    echo "Every process runs single-threaded (MAGICK_THREAD_LIMIT=1, OMP_NUM_THREADS=1,"
    echo "VIPS_CONCURRENCY=1); \"workers=2\" and \"two at once\" run two such processes side by"
    echo "side. Speed is relative to mogrify (2.0 = twice as fast). Peak RSS is what"
    echo "\`/usr/bin/time -v\` reports: the larger of the program's own peak and that of its"
    echo "largest waited-for descendant, so for the engine (its parent and worker processes) and the"
    echo "per-file rows it is the biggest single process of the tree, not the sum of processes"
    echo "alive at once; the largest over the runs is given."
    for case in "${cases[@]}"; do
        echo
        echo "## ${case_title[$case]}"
        echo
        echo "| row | median s | files/s | speed vs mogrify | peak RSS MiB | runs (s) | outputs |"
        echo "|---|---:|---:|---:|---:|---|---|"
        base=$(row_result "$case" mogrify | cut -d'|' -f1)
        for row in "${rows[@]}"; do
            IFS='|' read -r key label _ <<<"$row"
            [[ $key == vips ]] && label=$([[ $case == a ]] && echo "vipsthumbnail" ||
                echo "vips copy, once per file")
            result=$(row_result "$case" "$key")
            if [[ $result == failed ]]; then
                echo "| $label | failed | | | | | |"
                continue
            fi
            IFS='|' read -r med runs rss outputs <<<"$result"
            awk -v l="$label" -v m="$med" -v n="$corpus_count" -v b="$base" -v r="$(mib "$rss")" \
                -v runs="$runs" -v o="$outputs" 'BEGIN {
                    speed = (b == "failed" || m == 0) ? "" : sprintf("%.2f", b / m)
                    printf "| %s | %.2f | %.2f | %s | %s | %s | %s |\n", l, m, n / m, speed, r, runs, o
                }'
        done
        if ((CALLGRIND)); then
            cg=$work/cg.$case.engine
            engine_ir=$(callgrind_total "$cg"/callgrind.out.*)
            engine_pid=$(cat "$cg/pid")
            engine_own=$(callgrind_total "$cg/callgrind.out.$engine_pid" \
                "$cg/callgrind.out.$engine_pid".[0-9]*)
            mogrify_ir=$(callgrind_total "$work/cg.$case.mogrify"/callgrind.out.*)
            echo
            echo "Instructions (callgrind, the 5-file subset: 3 PNG, 2 JPEG; children included):"
            echo
            echo "| program | instructions | per file | vs mogrify |"
            echo "|---|---:|---:|---:|"
            echo "| Tarvik_morvane, workers=1 | $(with_commas "$engine_ir") | $(with_commas $((engine_ir / 5))) | $(awk -v a="$engine_ir" -v b="$mogrify_ir" 'BEGIN {printf "%.2f", a / b}') |"
            echo "| mogrify | $(with_commas "$mogrify_ir") | $(with_commas $((mogrify_ir / 5))) | 1.00 |"
            echo
            echo "Of the engine's instructions, $(with_commas "$engine_own") are its own process"
            echo "(start, job file, walk, supervision) and the rest its worker process."
            echo
            echo "Where the instructions go (share of the run, by shared object):"
            echo
            echo "| Tarvik_morvane | | mogrify | |"
            echo "|---|---:|---|---:|"
            paste -d'|' <(callgrind_by_object "$work/cg.$case.engine") \
                <(callgrind_by_object "$work/cg.$case.mogrify") |
                awk -F'|' '{printf "| %s | %s %% | %s | %s %% |\n", $2, $1, $4, $3}'
        fi
    done
    echo
    echo "## Targets"
    echo
    echo "| target | measured | met |"
    echo "|---|---|---|"
    target_lines
} >"$RESULTS"
say "done: $RESULTS"
cat "$RESULTS"
