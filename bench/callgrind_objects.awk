# Self instructions by shared object, summed over callgrind output files (event Ir only).
# Prints "<instructions> <object file name>" lines and a last "<instructions> TOTAL".
#
#   awk -f callgrind_objects.awk callgrind.out.*
#
# Object names may be compressed: "ob=(3) /usr/lib/libz.so.1" defines number 3 and a
# later "ob=(3)" means the same object; numbers hold per file. A cost line straight after
# "calls=" is the inclusive cost of that call, already counted where it was spent.

function object_named(spec, id, rest) {
    if (match(spec, /^\([0-9]+\)/)) {
        id = substr(spec, 2, RLENGTH - 2)
        rest = substr(spec, RLENGTH + 1)
        sub(/^ +/, "", rest)
        if (rest != "") names[FILENAME, id] = rest
        return names[FILENAME, id]
    }
    return spec
}

FNR == 1 { object = "?"; after_call = 0 }
/^ob=/ { object = object_named(substr($0, 4)); next }
/^cob=/ { object_named(substr($0, 5)); next }
/^calls=/ { after_call = 1; next }
/^[0-9+*-]/ {
    if (after_call) {
        after_call = 0
        next
    }
    self[object] += $NF
    total += $NF
}

END {
    for (o in self) {
        n = split(o, part, "/")
        printf "%.0f %s\n", self[o], part[n]
    }
    printf "%.0f TOTAL\n", total
}
