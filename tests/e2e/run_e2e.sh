#!/usr/bin/env bash
# One end-to-end case, run by ctest: `./kovra process` on a generated file, the output checked
# for length, format and content against what the engine library computes for the same input
# (e2etool reference calls it directly, period by period, as the effect does).
#   run_e2e.sh CASE      with KOVRA_ROOT, KOVRA_CROSS_DIR and KOVRA_HOST_PREFIX set by ctest
#
# Every step names itself: a failure says which step of which case failed and why, and every
# file name handed to a Windows program is checked first (an empty one would only say "cannot
# open : No such file or directory").
set -eEuo pipefail

CASE="$1"
: "${KOVRA_ROOT:?}" "${KOVRA_CROSS_DIR:?}" "${KOVRA_HOST_PREFIX:?}"
export KOVRA_PREBUILT=1 KOVRA_CROSS_DIR KOVRA_HOST_PREFIX
export WINEPREFIX="$KOVRA_HOST_PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
BIN="$KOVRA_CROSS_DIR/bin"
CONFIG="$(find "$KOVRA_ROOT/config" -maxdepth 1 -name '*.config' | sort | head -n 1)"
WORK="$(mktemp -d)"
STEP="start"
trap 'rm -rf "$WORK"' EXIT
# A failing command fails the case with its step; inside a command substitution it only ends the
# substitution, and the command around it reports.
trap 'status=$?; [ "$BASHPID" = "$$" ] || exit 1; fail "exit status $status from: $BASH_COMMAND"' ERR
. "$KOVRA_ROOT/cmake/wine.sh"

fail() {
    trap - ERR
    echo "FAIL ($CASE) at step \"$STEP\": $*" >&2
    exit 1
}

# Sets VARIABLE to the Windows name of PATH; fails when Wine gives none.
windows_name() { # VARIABLE PATH
    local converted
    converted="$(fixed_layout winepath -w "$2" </dev/null 2>"$WORK/winepath.err")" &&
        [[ "$converted" == [A-Za-z]:\\* ]] ||
        fail "winepath gave \"$converted\" for $2: $(cat "$WORK/winepath.err");" \
            "$(describe_wineserver "$WINEPREFIX")"
    printf -v "$1" '%s' "$converted"
}

tool() { fixed_layout wine "$BIN/e2etool.exe" "$@" </dev/null | sed 's/\r$//'; }

generate() { # NAME CHANNELS RATE BITS VALIDBITS SECONDS
    STEP="generate $1"
    local file
    windows_name file "$WORK/$1"
    tool generate "$file" "$2" "$3" "$4" "$5" "$6"
    [ -s "$WORK/$1" ] || fail "e2etool wrote no $1"
}

reference() { # IN OUT NAME PRESET PERIOD [START]
    STEP="reference $2 for $1"
    local input output config
    windows_name input "$WORK/$1"
    windows_name output "$WORK/$2"
    windows_name config "$CONFIG"
    tool reference "$input" "$output" "$config" "$3" "$4" "$5" ${6:+"$6"}
    [ -s "$WORK/$2" ] || fail "e2etool wrote no $2"
}

compare() { # ACTUAL FROM EXPECTED FROM FRAMES TOLERANCE
    STEP="compare $1 with $3"
    local actual expected
    windows_name actual "$WORK/$1"
    windows_name expected "$WORK/$3"
    tool compare "$actual" "$2" "$expected" "$4" "$5" "$6" ||
        fail "$1 differs from $3 (frames $2.. against $4..)"
}

# Sets VARIABLE to "channels rate bits float|pcm frames" of the work file NAME.
info_of() { # VARIABLE NAME
    STEP="read the format of $2"
    local file info
    windows_name file "$WORK/$2"
    info="$(tool info "$file")"
    [ -n "$info" ] || fail "e2etool info printed nothing for $2"
    printf -v "$1" '%s' "$info"
}

silent_periods_of() { # VARIABLE NAME PERIOD
    STEP="find the silent periods of $2"
    local file periods
    windows_name file "$WORK/$2"
    periods="$(tool silent-periods "$file" "$3")"
    printf -v "$1" '%s' "$periods"
}

process() {
    STEP="./kovra process $*"
    "$KOVRA_ROOT/kovra" process "$@"
}

# Runs `./kovra process` and expects exit code $1; stderr is kept in $WORK/stderr.
process_expecting() {
    local expected="$1" status=0
    shift
    process "$@" >"$WORK/stdout" 2>"$WORK/stderr" || status=$?
    [ "$status" = "$expected" ] || fail "exit code $status, expected $expected; stderr: $(cat "$WORK/stderr")"
}

expect_message() {
    grep -qF -- "$1" "$WORK/stderr" || fail "no \"$1\" in: $(cat "$WORK/stderr")"
}

# A file of CHANNELS at RATE through the effect with the given endpoint options; the output must
# be stereo float of the same length and equal what the engine library makes of the input with
# configuration NAME and PRESET, within TOLERANCE (0: bit for bit).
check_stream() { # CHANNELS RATE BITS VALID NAME PRESET TOLERANCE [apohost options]
    local channels="$1" rate="$2" bits="$3" valid="$4" name="$5" preset="$6" tolerance="$7"
    shift 7
    generate in.wav "$channels" "$rate" "$bits" "$valid" 0.75
    process_expecting 0 "$WORK/in.wav" "$WORK/out.wav" "$@"
    local input output period=$((rate / 100))
    info_of input in.wav
    info_of output out.wav
    [ "$output" = "2 $rate 32 float ${input##* }" ] ||
        fail "output format: $output, expected 2 $rate 32 float ${input##* }"
    reference in.wav ref.wav "$name" "$preset" "$period"
    compare out.wav 0 ref.wav 0 "${input##* }" "$tolerance"
    grep -q "preset $preset (\"$name\")" "$WORK/stdout" || fail "summary: $(cat "$WORK/stdout")"
}

# The host prefix is made ready (server, services, the effect registered) before any other Wine
# program runs in it.
STEP="prepare the host prefix"
"$KOVRA_ROOT/kovra" process --help >/dev/null

case "$CASE" in
stereo48_bypass) check_stream 2 48000 16 16 2_ch_bypass 2 0 ;;
stereo96_filters) check_stream 2 96000 24 24 2_ch 0 0 --enable 1 ;;
six48_filters) check_stream 6 48000 24 24 6_ch 0 0 --enable 1 --mode 0 ;;
six96_mode) check_stream 6 96000 32f 32 6_ch_bypass 1 0 --enable 0 --mode 1 ;;
eight48_mode) check_stream 8 48000 32 32 8_ch_bypass 1 0 --mode 3 ;;
eight96_filters) check_stream 8 96000 16 16 8_ch 0 0 --enable 7 ;;

# Period and output options: 2.5 ms periods, 24-bit PCM output (so within one step of 24 bits).
options)
    generate in.wav 6 48000 24 24 0.5
    process_expecting 0 "$WORK/in.wav" "$WORK/out.wav" --enable 1 --period 2.5 --format pcm24
    info_of output out.wav
    [ "$output" = "2 48000 24 pcm 24000" ] || fail "output format: $output"
    grep -q "period       120 frames (2.50 ms); 200 periods" "$WORK/stdout" ||
        fail "summary: $(cat "$WORK/stdout")"
    reference in.wav ref.wav 6_ch 0 120
    compare out.wav 0 ref.wav 0 24000 0.00000012
    ;;

# Enable switched on at 0.5 s: exactly one silent period (the reload block) right there, the
# bypass preset before it and a fresh instance with the filters after it.
property_change)
    generate in.wav 2 48000 24 24 1.0
    process_expecting 0 "$WORK/in.wav" "$WORK/out.wav" --enable 0 --set enable=1@0.5s
    silent_periods_of silent out.wav 480
    [ "$silent" = "50" ] || fail "silent periods: \"$silent\", expected exactly period 50"
    reference in.wav before.wav 2_ch_bypass 2 480
    reference in.wav after.wav 2_ch 0 480 24480
    compare out.wav 0 before.wav 0 24000 0
    compare out.wav 24480 after.wav 0 23520 0
    grep -q "reload block: period 50 " "$WORK/stdout" || fail "summary: $(cat "$WORK/stdout")"
    ;;

refuse_44k)
    generate in.wav 2 44100 16 16 0.2
    process_expecting 3 "$WORK/in.wav" "$WORK/out.wav"
    expect_message "sample rate 44100 Hz: the effect accepts 48000 or 96000 Hz"
    expect_message "APOERR_FORMAT_NOT_SUPPORTED (0x887D0003)"
    [ ! -e "$WORK/out.wav" ] || fail "an output file was left behind"
    ;;

refuse_4ch_20bit)
    generate in.wav 4 48000 24 20 0.2
    process_expecting 3 "$WORK/in.wav" "$WORK/out.wav"
    expect_message "proposes 2 ch float 32-bit (32 valid) 48000 Hz, mask 0x3 (S_FALSE)"
    expect_message "channels 4 -> 2"
    expect_message "channel mask 0x33 -> 0x3"
    ;;

malformed)
    generate whole.wav 2 48000 16 16 0.2
    head -c 5000 "$WORK/whole.wav" >"$WORK/in.wav"
    process_expecting 2 "$WORK/in.wav" "$WORK/out.wav"
    expect_message "truncated: the data chunk claims 38400 bytes but only 4932 follow"
    ;;

# Output named like the input: refused before anything is written, the input left whole.
same_file)
    generate in.wav 2 48000 16 16 0.2
    cp "$WORK/in.wav" "$WORK/copy.wav"
    process_expecting 1 "$WORK/in.wav" "$WORK/../$(basename "$WORK")/in.wav"
    expect_message "would overwrite the input"
    cmp -s "$WORK/in.wav" "$WORK/copy.wav" || fail "the input was changed"
    ;;

*) fail "unknown case" ;;
esac
echo "ok: $CASE"
