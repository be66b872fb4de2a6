#!/usr/bin/env bash
# Instructions per listed word after start-up, counted by callgrind, and the
# start-up cost of a tiny object.
#
#   bench/callgrind_listing.sh BUILD_DIR [SET...]     (default: all six sets)
#
# For each set and case, zema-benchgen writes a small and a large object of
# the same mix; the difference of their instruction counts divided by the
# difference of their words is the cost of one more word (start-up, reading
# and the fixed parts cancel out). Cases:
#   q     relocatable, about half the relocatable operands relocated, -q
#   x     the same object, -q -x
#   exec  executable, jump targets at labels, address comments, -q
#   rela  relocatable, every relocatable operand relocated, -q
# Callgrind counts are repeatable on a shared machine; seconds are not.
set -euo pipefail

build=${1:?usage: callgrind_listing.sh BUILD_DIR [SET...]}
shift
sets=("$@")
[ ${#sets[@]} -gt 0 ] || sets=(zema1 zema2 zema3 rixu1 rixu2 rixu3)
small=${ZEMA_BENCH_SMALL:-2048}
large=${ZEMA_BENCH_LARGE:-18432}
gen=$build/bench/zema-benchgen
kt=$build/dq300/zema-kt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Total instructions of one zema-kt run (listing to /dev/null).
count() {
    valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$kt" "$@" \
        >/dev/null 2>"$work/cg.err" || { cat "$work/cg.err" >&2; exit 1; }
    sed -n 's/^summary: \([0-9]*\).*/\1/p' "$work/cg.out"
}

kind_of() {
    case $1 in
    q | x) echo rel ;;
    exec) echo exec ;;
    rela) echo rel-all ;;
    esac
}

flags_of() {
    case $1 in
    x) echo "-q -x" ;;
    *) echo "-q" ;;
    esac
}

"$gen" zema2 rel 1 "$work/tiny.eld" >/dev/null
printf 'start-up (tiny ZEMA2 object, -q): %s instructions\n' "$(count -q "$work/tiny.eld")"
printf '%-6s %-5s %12s %8s  %s\n' set case instr/word micro/w "mix of the large object"
for set in "${sets[@]}"; do
    for case in q x exec rela; do
        kind=$(kind_of $case)
        "$gen" "$set" "$kind" "$small" "$work/small.eld" >/dev/null
        mix=$("$gen" "$set" "$kind" "$large" "$work/large.eld")
        # shellcheck disable=SC2046
        a=$(count $(flags_of $case) "$work/small.eld")
        # shellcheck disable=SC2046
        b=$(count $(flags_of $case) "$work/large.eld")
        micro=$(sed -n 's/.*micro\/word=\([0-9.]*\).*/\1/p' <<<"$mix")
        printf '%-6s %-5s %12d %8s  %s\n' "$set" "$case" $(((b - a) / (large - small))) "$micro" \
            "$(cut -d' ' -f3- <<<"$mix")"
    done
done
