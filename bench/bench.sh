#!/usr/bin/env bash
# The sox half of `./kovra bench`, and the driver of apobench.exe for the other half: generates
# the noise files, times sox running the same fold-down and filter chain as the effect on each,
# keeps the first seconds of sox's output for apobench's check that the chains agree, then runs
# apobench.exe under Wine on the same files and lets it print the tables.
#
# Run by ./kovra bench, which registers the effect in its Wine prefix first and sets WINEPREFIX
# and APOBENCH (the path of apobench.exe). KOVRA_BENCH_SECONDS sets the length of the timed
# files (default 20 s).
set -euo pipefail

: "${APOBENCH:?set APOBENCH to the path of apobench.exe}"
LONG_SECONDS="${KOVRA_BENCH_SECONDS:-20}"
SHORT_SECONDS=2 # timed too: the difference takes sox's start-up out
RUNS=5          # the fastest run counts: the others were disturbed by something else
LEVEL_DB=-24    # uniform noise this low stays below every limiter ceiling after the fold-down

[[ "$LONG_SECONDS" =~ ^[0-9]+$ ]] && ((LONG_SECONDS > SHORT_SECONDS)) || {
    echo "bench: KOVRA_BENCH_SECONDS must be a whole number of seconds above $SHORT_SECONDS" >&2
    exit 2
}

say() { printf '\033[1m[bench]\033[0m %s\n' "$*" >&2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# fixed_layout: Wine's programs start without address randomisation (see cmake/wine.sh).
. "$(dirname "${BASH_SOURCE[0]}")/../cmake/wine.sh"
apobench() { fixed_layout wine "$APOBENCH" "$@" </dev/null | sed 's/\r$//'; }

# Wall time in nanoseconds of the fastest of RUNS runs of sox with these arguments.
fastest_ns() {
    local best=0 start elapsed run
    for ((run = 0; run < RUNS; run++)); do
        start="$(date +%s%N)"
        sox -D -V1 "$@" </dev/null
        elapsed=$(($(date +%s%N) - start))
        if ((best == 0 || elapsed < best)); then best="$elapsed"; fi
    done
    echo "$best"
}

# Extra time of the long file over the short one, for the same sox arguments after the input.
extra_ns() {
    local long="$1" short="$2"
    shift 2
    echo $(($(fastest_ns "$long" "$@") - $(fastest_ns "$short" "$@")))
}

# Frames per second from a frame count and nanoseconds; 0 when the time is not positive.
per_second() { awk -v f="$1" -v ns="$2" 'BEGIN { printf "%.0f", (ns > 0 ? f * 1e9 / ns : 0) }'; }

make_noise() {
    local file="$1" channels="$2" rate="$3" seconds="$4"
    sox -D -V1 -n -r "$rate" -e floating-point -b 32 -c "$channels" "$file" \
        synth "$seconds" whitenoise gain "$LEVEL_DB" </dev/null
}

# Times sox on one layout and rate for every preset and appends to sox-times.txt.
time_sox() {
    local channels="$1" rate="$2" name="$1-$2" long short frames reading chain_ns
    long="$work/noise-$name.wav"
    short="$work/short-$name.wav"
    make_noise "$long" "$channels" "$rate" "$LONG_SECONDS"
    make_noise "$short" "$channels" "$rate" "$SHORT_SECONDS"
    frames=$(((LONG_SECONDS - SHORT_SECONDS) * rate))
    reading="$(extra_ns "$long" "$short" -n)" # reading and decoding the file alone
    local ch r preset effects chain effects_ns
    while read -r ch r preset effects; do
        [ "$ch" = "$channels" ] && [ "$r" = "$rate" ] || continue
        read -ra chain <<<"$effects"
        chain_ns="$(extra_ns "$long" "$short" -n "${chain[@]}")"
        sox -D -V1 "$long" -e floating-point -b 32 "$work/check-$name-$preset.wav" \
            "${chain[@]}" trim 0 2 </dev/null
        # An empty chain has no effect time of its own to speak of.
        effects_ns=0
        [ ${#chain[@]} -eq 0 ] || effects_ns=$((chain_ns - reading))
        echo "$channels $rate $preset $(per_second "$frames" "$chain_ns")" \
            "$(per_second "$frames" "$effects_ns")" >>"$work/sox-times.txt"
    done <"$work/chains.txt"
    rm -f "$short"
}

echo "machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg); $(sox --version | sed 's/^sox: *//')"
apobench chains >"$work/chains.txt"
for channels in 2 6 8; do
    for rate in 48000 96000; do
        say "timing sox on $LONG_SECONDS s of $channels-channel noise at $rate Hz"
        time_sox "$channels" "$rate"
    done
done
say "running the same files through the registered effect"
echo "sox: the fastest of $RUNS runs on the $LONG_SECONDS s file less the fastest of $RUNS on a" \
    "$SHORT_SECONDS s one (start-up out); 'sox fx' also less sox reading the files with no effect"
apobench measure "$(fixed_layout winepath -w "$work")"
