#!/usr/bin/env bash
# Whole-command speed of `./kovra process` beside sox doing the same work, measured in one run,
# taking turns: a 10-minute stereo 44.1 kHz 16-bit file (converted to 48 kHz, preset 0) and a
# 5-minute 8-channel 96 kHz 24-bit file (taken as it is, preset 0). sox runs the same
# conversion (rate -v into 32-bit float) and preset 0's chain as apobench names it, so both do
# the same work; the limiter has no sox counterpart. Also the peak memory (largest resident
# set of any process of the run) and what the run left in TMPDIR. Prints; tests nothing.
#   bash tools/processbench/processbench.sh [ROUNDS]     (default 3; after ./kovra build)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
ROUNDS="${1:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
. "$ROOT/cmake/wine.sh"

"$ROOT/kovra" process --help >/dev/null # builds, registers, starts the prefix's server
export WINEPREFIX="${KOVRA_HOST_PREFIX:-$ROOT/build/hostprefix}" WINEDEBUG=-all
chain() { # CHANNELS RATE: preset 0's sox chain
    fixed_layout wine "$ROOT/build/mingw/bin/apobench.exe" chains </dev/null 2>/dev/null |
        tr -d '\r' | awk -v c="$1" -v r="$2" '$1 == c && $2 == r && $3 == 0 { $1 = $2 = $3 = ""; print }'
}

sox -V1 -n -r 44100 -b 16 -c 2 "$work/stereo44.wav" synth 600 pinknoise gain -20
sox -V1 -n -r 96000 -b 24 -c 8 "$work/eight96.wav" synth 300 pinknoise gain -20

seconds() { # COMMAND...: wall time of one run
    local start
    start="$(date +%s%N)"
    "$@" >/dev/null 2>&1 </dev/null
    awk -v ns=$(($(date +%s%N) - start)) 'BEGIN { printf "%.2f", ns / 1e9 }'
}

median() { tr ' ' '\n' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

compare() { # NAME FILE RATE-EFFECT CHANNELS RATE
    local name="$1" file="$2" rate="$3" ours="" theirs="" round effects
    read -ra effects <<<"$rate $(chain "$4" "$5")"
    for ((round = 0; round < ROUNDS; round++)); do
        ours+="$(seconds "$ROOT/kovra" process "$file" "$work/ours.wav" --enable 1) "
        theirs+="$(seconds sox -V1 "$file" -e floating-point -b 32 "$work/sox.wav" "${effects[@]}") "
    done
    local a b
    a="$(median <<<"$ours")"
    b="$(median <<<"$theirs")"
    echo "$name: ./kovra process $ours(median $a s), sox $theirs(median $b s): $(awk -v a="$a" \
        -v b="$b" 'BEGIN { printf "%.2f", b / a }')x sox"
}

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
compare "10 min stereo 44.1 kHz 16-bit" "$work/stereo44.wav" "rate -v 48000" 2 48000
compare "5 min 8 ch 96 kHz 24-bit" "$work/eight96.wav" "" 8 96000
rm -f "$work/ours.wav" "$work/sox.wav"
