#!/usr/bin/env bash
# Spreads one large job over several engines: `split` cuts it into one job per sub-folder
# of its source folder, `merge` joins the engines' run logs into one report.
set -euo pipefail
export LC_ALL=C

usage() {
    cat >&2 <<'EOF'
usage: many_machines.sh split JOB.ini OUTDIR   write OUTDIR/<n>.ini, print their paths
       many_machines.sh merge LOG|LOGDIR...    one report of the run logs on stdout
EOF
    exit 2
}

fail() {
    echo "many_machines.sh: $*" >&2
    exit 1
}

# The job keys split needs, one per line, read as the engine reads them: sections and
# keys in any case, blanks trimmed, one pair of quotes stripped, ';' comments, only the
# first copy of a section and the first of a key count, a leading byte-order mark skipped.
# Lines: source line number, source, target, move_path, recurse line number, recurse
# (1 when not 0), move (1 when not 0).
read_job_keys() {
    awk '
    function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s); return s }
    function unquote(s,   q) {
        q = substr(s, 1, 1)
        if (length(s) >= 2 && (q == "\"" || q == "\047") && substr(s, length(s)) == q)
            return substr(s, 2, length(s) - 2)
        return s
    }
    function nonzero(s) { return (match(s, /^[+-]?[0-9]+/) && substr(s, RSTART, RLENGTH) ~ /[1-9]/) ? 1 : 0 }
    {
        line = $0
        sub(/\r$/, "", line)
        if (NR == 1) sub(/^\357\273\277/, "", line)
        text = trim(line)
        if (text == "" || substr(text, 1, 1) == ";") next
        if (substr(text, 1, 1) == "[" && match(text, /.*\]/)) {
            section = tolower(trim(substr(text, 2, RLENGTH - 2)))
            first_copy = !(section in seen)
            seen[section] = 1
            next
        }
        eq = index(text, "=")
        if (eq == 0 || !first_copy) next
        key = tolower(trim(substr(text, 1, eq - 1)))
        if (key == "" || (section, key) in value) next
        value[section, key] = unquote(trim(substr(text, eq + 1)))
        where[section, key] = NR
    }
    END {
        print where["folders", "source"] + 0
        print value["folders", "source"]
        print value["folders", "target"]
        print value["folders", "move_path"]
        print where["params", "recurse"] + 0
        print nonzero(value["params", "recurse"])
        print nonzero(value["params", "move"])
    }' "$1"
}

# The value as a job file line holds it: quoted when blanks or quotes at its ends would
# otherwise be trimmed or stripped by the reader.
ini_value() {
    case "$1" in
        [\ \	\"\']* | *[\ \	\"\']) printf '"%s"' "$1" ;;
        *) printf '%s' "$1" ;;
    esac
}

# Copies the job byte for byte, with the value of line `source_line` replaced by
# $NEW_SOURCE and, when `recurse_line` is not 0, the value of that line by 0.
write_job() {
    local job=$1 out=$2 source_line=$3 recurse_line=$4 final_newline=1
    [[ -s $job && $(tail -c 1 "$job" | od -An -c | tr -d ' ') != '\n' ]] && final_newline=0
    NEW_VALUE=$(ini_value "$NEW_SOURCE") awk -v src="$source_line" -v rec="$recurse_line" \
        -v final_newline="$final_newline" '
    function replaced(rec_text, value,   cr) {
        cr = sub(/\r$/, "", rec_text) ? "\r" : ""
        return substr(rec_text, 1, index(rec_text, "=")) value cr
    }
    {
        if (NR > 1) printf "\n"
        if (NR == src) printf "%s", replaced($0, ENVIRON["NEW_VALUE"])
        else if (NR == rec) printf "%s", replaced($0, "0")
        else printf "%s", $0
    }
    END { if (NR > 0 && final_newline) printf "\n" }' "$job" >"$out"
}

# What the engine's walk makes of a folder entry: folder, folder-link, file or other.
entry_kind() {
    if [[ -L $1 ]]; then
        if [[ -d $1 ]]; then echo folder-link; elif [[ ! -e $1 || -f $1 ]]; then echo file; else echo other; fi
    elif [[ -d $1 ]]; then
        echo folder
    elif [[ -f $1 ]]; then
        echo file
    else
        echo other
    fi
}

split_job() {
    local job=$1 outdir=$2
    [[ -f $job && -r $job ]] || fail "cannot read the job file $job"
    local keys
    mapfile -t keys < <(read_job_keys "$job")
    local source_line=${keys[0]} source=${keys[1]} target=${keys[2]} move_path=${keys[3]}
    local recurse_line=${keys[4]} recurse=${keys[5]} move=${keys[6]}
    [[ -n $source ]] || fail "$job has no FOLDERS/source"
    [[ -n $target ]] || fail "$job has no FOLDERS/target"
    [[ $source == /* && $target == /* ]] ||
        fail "FOLDERS/source and FOLDERS/target must be absolute paths: the jobs may run anywhere"
    [[ -d $source ]] || fail "the source folder $source is not a folder"
    mkdir -p "$outdir"
    outdir=$(cd "$outdir" && pwd)
    compgen -G "$outdir/*.ini" >/dev/null && fail "$outdir already holds job files"

    local n=0
    if [[ $recurse == 0 ]]; then
        # A job that does not walk sub-folders is one job already.
        cp "$job" "$outdir/1.ini"
        echo "$outdir/1.ini"
        return
    fi
    local base=$source entry kind has_files=0 dot_files=0 folders=()
    while [[ $base == */ && $base != / ]]; do base=${base%/}; done
    [[ $base == / ]] && base=
    shopt -s nullglob
    for entry in "$base"/*; do
        [[ $entry == *$'\n'* ]] && fail "a name in $source holds a line break"
        kind=$(entry_kind "$entry")
        if [[ $kind == file ]]; then
            has_files=1
        elif [[ $kind == folder ]] && ! [[ $entry -ef $target ]] &&
            ! [[ $move == 1 && -n $move_path && $entry -ef $move_path ]]; then
            folders+=("$entry")
        fi
    done
    for entry in "$base"/.[!.]* "$base"/..?*; do
        [[ $(entry_kind "$entry") == file ]] && dot_files=$((dot_files + 1))
    done
    shopt -u nullglob
    if ((has_files && dot_files > 0)); then
        echo "many_machines.sh: warning: $dot_files dot file(s) directly in $source will be" \
            "converted by the job of that folder, which a single run skips" >&2
    fi
    if ((has_files)); then
        n=$((n + 1))
        NEW_SOURCE=$source write_job "$job" "$outdir/$n.ini" "$source_line" "$recurse_line"
        echo "$outdir/$n.ini"
    fi
    for entry in "${folders[@]}"; do
        n=$((n + 1))
        NEW_SOURCE=$entry write_job "$job" "$outdir/$n.ini" "$source_line" 0
        echo "$outdir/$n.ini"
    done
}

# The per-file lines of every log, each source's lines kept together and in their order,
# sorted by source path; run-wide notes once each before them; the sum of the counts
# last. A log without its closing count fails the merge after the report.
merge_logs() {
    local arg logs=()
    for arg in "$@"; do
        if [[ -d $arg ]]; then
            shopt -s nullglob
            logs+=("$arg"/*.log)
            shopt -u nullglob
        else
            [[ -f $arg ]] || fail "no log $arg"
            logs+=("$arg")
        fi
    done
    ((${#logs[@]} > 0)) || fail "no logs to merge"
    local work status=0
    work=$(mktemp -d)
    keyed_log_lines "$work" "${logs[@]}" | sort >"$work/sorted"
    cat "$work/notes"
    awk '{
        match($0, /\001[0-9]+$/)
        keylen = substr($0, RSTART + 1) + 0
        printf "%s\r\n", substr($0, keylen + 15, RSTART - keylen - 15)
    }' "$work/sorted"
    printf 'converted files: %s\r\n' "$(cat "$work/total")"
    while IFS= read -r arg; do
        echo "many_machines.sh: $arg has no closing count: that run did not finish" >&2
        status=1
    done <"$work/unfinished"
    rm -rf "$work"
    return "$status"
}

# Prints each per-file line as "source \1 number \1 line \1 length of source", so that
# sorting the output sorts by source and keeps each source's lines in order. Writes
# WORK/notes (the other lines, once each), WORK/total and WORK/unfinished (the logs
# without a closing count).
keyed_log_lines() {
    local work=$1
    shift
    awk -v work="$work" '
    function source_of(line,   r, at) {
        if (line ~ /^Could not convert /) {
            r = substr(line, 19); sub(/ !$/, "", r); return r
        }
        if (line ~ /^The file /) {
            r = substr(line, 10)
            if (sub(/ cannot be read by Tarvik_morvane$/, "", r)) return r
            if (sub(/ was not created, it already exists in the targer folder\.$/, "", r)) return r
            if ((at = index(r, " has been moved to ")) > 0) return substr(r, 1, at - 1)
            if ((at = index(r, " could not be moved to ")) > 0) return substr(r, 1, at - 1)
            return ""
        }
        if (line ~ /^The move of .* was interrupted; /) {
            r = substr(line, 13); at = index(r, " to "); return at > 0 ? substr(r, 1, at - 1) : ""
        }
        if (line ~ /^\// && sub(/ converted$/, "", line)) return line
        return ""
    }
    function keyed(line) { printf "%s\001%012d\001%s\001%d\n", key, ++seq, line, length(key) }
    function flush_note() {
        if (note != "" && !(note in noted)) { noted[note] = 1; printf "%s\r\n", note > notes }
        note = ""; in_note = 0
    }
    function finish_log() {
        flush_note()
        if (log_name != "" && !footer) print log_name > unfinished
    }
    BEGIN { notes = work "/notes"; unfinished = work "/unfinished"; printf "" > notes; printf "" > unfinished }
    FNR == 1 { finish_log(); log_name = FILENAME; rules = 0; footer = 0; key = "" }
    {
        line = $0; sub(/\r$/, "", line)
        if (line == "###############################################") { flush_note(); rules++; next }
        if (rules == 4 && line ~ /^converted files: [0-9]+$/) { total += substr(line, 18); footer = 1; next }
        if (rules != 3 || line == "") next
        if (substr(line, 1, 1) == "\t") {
            if (in_note) note = note "\r\n" line
            else if (key != "") keyed(line)
            next
        }
        flush_note()
        key = source_of(line)
        if (key == "") { note = line; in_note = 1 } else keyed(line)
    }
    END { finish_log(); printf "%.0f\n", total > (work "/total") }' "$@"
}

(($# >= 1)) || usage
case "$1" in
    split)
        (($# == 3)) || usage
        split_job "$2" "$3"
        ;;
    merge)
        (($# >= 2)) || usage
        shift
        merge_logs "$@"
        ;;
    *) usage ;;
esac
