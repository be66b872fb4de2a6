#!/usr/bin/env bash
# Wall-clock throughput of zema-kt against GNU objdump, in MiB of code listed
# per second, measured side by side: the two runs alternate, so that the load
# of a shared machine falls on both alike. Prints each round and the median
# ratio.
#
#   bench/objdump_ratio.sh BUILD_DIR [X86_BINARY] [ROUNDS]
#
# zema-kt lists a generated ZEMA2 object of 1 M words (8 MiB of code, -q);
# objdump disassembles the .text section of X86_BINARY (default /usr/bin/ctest).
set -euo pipefail

build=${1:?usage: objdump_ratio.sh BUILD_DIR [X86_BINARY] [ROUNDS]}
x86=${2:-/usr/bin/ctest}
rounds=${3:-5}
words=${ZEMA_BENCH_WORDS:-1048576}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/zema-benchgen" zema2 rel "$words" "$work/big.eld" >/dev/null
zema_bytes=$((words * 8))
x86_bytes=$(objdump -h "$x86" | awk '$2 == ".text" { print $3 }')
x86_bytes=$((16#${x86_bytes:-0}))
[ "$x86_bytes" -gt 0 ] || { echo "no .text in $x86" >&2; exit 1; }

# Seconds one command takes, its output thrown away.
seconds() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f", b - a }'
}

printf 'zema-kt: %.1f MiB of ZEMA2 code; objdump: %.1f MiB of x86-64 code (%s)\n' \
    "$(awk -v b=$zema_bytes 'BEGIN { print b / 1048576 }')" \
    "$(awk -v b="$x86_bytes" 'BEGIN { print b / 1048576 }')" "$x86"
ratios=()
for ((i = 1; i <= rounds; i++)); do
    t_obj=$(seconds objdump -d -j .text "$x86")
    t_kt=$(seconds "$build/dq300/zema-kt" -q "$work/big.eld")
    ratio=$(awk -v zb=$zema_bytes -v zt="$t_kt" -v xb="$x86_bytes" -v xt="$t_obj" \
        'BEGIN { printf "%.2f", (zb / zt) / (xb / xt) }')
    ratios+=("$ratio")
    printf 'round %d: objdump %s s (%.1f MiB/s), zema-kt %s s (%.1f MiB/s), ratio %s\n' "$i" \
        "$t_obj" "$(awk -v b="$x86_bytes" -v t="$t_obj" 'BEGIN { print b / t / 1048576 }')" \
        "$t_kt" "$(awk -v b=$zema_bytes -v t="$t_kt" 'BEGIN { print b / t / 1048576 }')" "$ratio"
done
printf 'median ratio: %s\n' "$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }')"
