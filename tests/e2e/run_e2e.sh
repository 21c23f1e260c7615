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

# ffmpeg and sox write the files users bring; -bitexact keeps ffmpeg's headers plain.
ffmpeg_tone() { # SECONDS RATE CHANNELS CODEC [ffmpeg output options...] (last: the file)
    local seconds="$1" rate="$2" channels="$3" codec="$4"
    shift 4
    ffmpeg -v error -y -f lavfi -i "sine=f=330:r=$rate:d=$seconds" -ac "$channels" -c:a "$codec" \
        -bitexact "$@"
}

sox_tone() { # NAME SECONDS RATE CHANNELS BITS [sox options...]
    local name="$1" seconds="$2" rate="$3" channels="$4" bits="$5"
    shift 5
    sox -V1 -n -r "$rate" -c "$channels" -b "$bits" "$@" "$WORK/$name" synth "$seconds" sine 220 \
        sine 330 sine 440 sine 550 sine 660 sine 770 sine 880 sine 990 gain -9
}

# Writes bytes (a printf format) at OFFSET of a file, in place.
patch_bytes() { # FILE OFFSET PRINTF-BYTES
    printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
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

# The latency line of the summary: the limiter's look-ahead where the configuration runs it.
expect_latency() { # FRAMES MS
    grep -qF -- "latency      $2 ms ($1 frames)" "$WORK/stdout" || fail "summary: $(cat "$WORK/stdout")"
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

# apohost.exe alone, as on Windows, expecting exit code $1; stdout loses its CR.
apohost_expecting() {
    local expected="$1" status=0
    shift
    STEP="apohost.exe $*"
    fixed_layout wine "$BIN/apohost.exe" "$@" </dev/null 2>"$WORK/stderr" |
        tr -d '\r' >"$WORK/stdout" || status=$?
    [ "$status" = "$expected" ] || fail "exit code $status, expected $expected; stderr: $(cat "$WORK/stderr")"
}

expect_summary() {
    grep -qF -- "$1" "$WORK/stdout" || fail "no \"$1\" in the summary: $(cat "$WORK/stdout")"
}

# A file as a user brings it, through `./kovra process`: a stereo float output of the same rate,
# equal bit for bit to what the engine library makes of the frames the file holds.
check_written() { # FILE NAME PRESET [apohost options]
    local file="$1" name="$2" preset="$3" rate frames input output
    shift 3
    process_expecting 0 "$WORK/$file" "$WORK/out.wav" "$@"
    info_of input "$file"
    info_of output out.wav
    read -r _ rate _ _ frames <<<"$input"
    [ "$output" = "2 $rate 32 float $frames" ] ||
        fail "output format: $output, expected 2 $rate 32 float $frames"
    reference "$file" ref.wav "$name" "$preset" $((rate / 100))
    compare out.wav 0 ref.wav 0 "$frames" 0
}

# A file the effect takes only converted: the wrapper's sox run is repeated here with the effects
# the summary names, which must be EFFECTS, and the output must be what the engine library makes
# of that conversion, at the converted rate.
check_converted() { # FILE EFFECTS NAME PRESET [apohost options]
    local file="$1" effects="$2" name="$3" preset="$4" rate frames named input output
    shift 4
    process_expecting 0 "$WORK/$file" "$WORK/out.wav" "$@"
    named="$(sed -n 's/^ *by sox: \(.*\); the output stays at .*/\1/p' "$WORK/stdout")"
    [ "$named" = "$effects" ] || fail "conversion \"$named\", expected \"$effects\""
    # shellcheck disable=SC2086 # the effects are words for sox
    STEP="sox $file to converted.wav with $effects"
    sox -V1 "$WORK/$file" -e floating-point -b 32 "$WORK/converted.wav" $effects
    info_of input converted.wav
    info_of output out.wav
    read -r _ rate _ _ frames <<<"$input"
    [ "$output" = "2 $rate 32 float $frames" ] ||
        fail "output format: $output, expected 2 $rate 32 float $frames"
    reference converted.wav ref.wav "$name" "$preset" $((rate / 100))
    compare out.wav 0 ref.wav 0 "$frames" 0
}

# The host prefix is made ready (server, services, the effect registered) before any other Wine
# program runs in it.
STEP="prepare the host prefix"
"$KOVRA_ROOT/kovra" process --help >/dev/null

case "$CASE" in
stereo48_bypass) check_stream 2 48000 16 16 2_ch_bypass 2 0 && expect_latency 0 0.000 ;;
stereo96_filters) check_stream 2 96000 24 24 2_ch 0 0 --enable 1 && expect_latency 192 2.000 ;;
six48_filters) check_stream 6 48000 24 24 6_ch 0 0 --enable 1 --mode 0 && expect_latency 96 2.000 ;;
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

# On Windows apohost.exe stops at a rate the effect refuses, and names the conversion (exit 6).
apohost_44k)
    generate in.wav 2 44100 16 16 0.2
    windows_name input "$WORK/in.wav"
    windows_name output "$WORK/out.wav"
    apohost_expecting 6 "$input" "$output"
    expect_message "sample rate 44100 Hz: the effect accepts 48000 or 96000 Hz"
    expect_message "APOERR_FORMAT_NOT_SUPPORTED (0x887D0003)"
    expect_message "-e floating-point -b 32 CONVERTED.wav rate -v 48000"
    grep -q "^sox effects  rate -v 48000" "$WORK/stdout" || fail "stdout: $(cat "$WORK/stdout")"
    [ ! -e "$WORK/out.wav" ] || fail "an output file was left behind"
    ;;

apohost_4ch_20bit)
    generate in.wav 4 48000 24 20 0.2
    windows_name input "$WORK/in.wav"
    windows_name output "$WORK/out.wav"
    apohost_expecting 6 "$input" "$output"
    expect_message "proposes 2 ch float 32-bit (32 valid) 48000 Hz, mask 0x3 (S_FALSE)"
    expect_message "channels 4 -> 2"
    expect_message "channel mask 0x33 -> 0x3"
    grep -q "^sox effects  remix -m 1 2 0 0 3 4$" "$WORK/stdout" || fail "$(cat "$WORK/stdout")"
    ;;

# A cut inside the headers keeps its error; a cut inside the audio is read to its end.
malformed)
    generate whole.wav 2 48000 16 16 0.2
    head -c 40 "$WORK/whole.wav" >"$WORK/in.wav"
    process_expecting 2 "$WORK/in.wav" "$WORK/out.wav"
    expect_message "truncated: the fmt chunk runs past the end of the file"
    ;;

# Output named like the input: refused before anything is written, the input left whole.
same_file)
    generate in.wav 2 48000 16 16 0.2
    cp "$WORK/in.wav" "$WORK/copy.wav"
    process_expecting 1 "$WORK/in.wav" "$WORK/../$(basename "$WORK")/in.wav"
    expect_message "would overwrite the input"
    cmp -s "$WORK/in.wav" "$WORK/copy.wav" || fail "the input was changed"
    ;;

# The host's own copy of the effect's preset rules (presettracker.cpp, which the summary speaks
# by) held against the registered effect: every change the rules say reloads shows a reload block
# and no other does, and after each reload the output is what the engine library makes with the
# preset the summary names. The changes walk the notification rules' cases.
preset_rules)
    generate in.wav 2 48000 24 24 2.0
    process_expecting 0 "$WORK/in.wav" "$WORK/out.wav" --enable 0 --mode 0 \
        --set enable=1@0.2s --set mode=1@0.4s --set enable=0@0.6s --set mode=0@0.8s \
        --set mode=5@1.0s --set enable=1@1.2s --set mode=0@1.4s --set enable=1@1.6s
    mismatch="$(awk '/OnPropertyValueChanged/ { if (change && predicted) print change; change = $0;
                     predicted = /selects a preset/; next }
                     change { if (predicted != /reload block:/) print change; change = "" }
                     END { if (change && predicted) print change }' "$WORK/stdout")"
    [ -z "$mismatch" ] || fail "the rules and the effect differ at: $mismatch"
    [ "$(grep -c 'reload block:' "$WORK/stdout")" = 4 ] || fail "$(cat "$WORK/stdout")"
    # Segments between reloads: start frame, configuration, preset.
    sed -n 's/.*from \([0-9.]*\) s: preset \([0-9]\) ("\(.*\)")$/\1 \3 \2/p' "$WORK/stdout" |
        awk '{ printf "%d %s %s\n", $1 * 48000 + 0.5, $2, $3 }' >"$WORK/segments"
    info_of input in.wav
    frames="${input##* }"
    while read -r start name preset; do
        end="$(awk -v s="$start" -v f="$frames" '$1 > s { print $1 - 480; found = 1; exit }
                                                 END { if (!found) print f }' "$WORK/segments")"
        reference in.wav "seg$start.wav" "$name" "$preset" 480 "$start"
        compare out.wav "$start" "seg$start.wav" 0 $((end - start)) 0
    done <"$WORK/segments"
    ;;

# Files that sox and ffmpeg write, each as a user would bring it.
ffmpeg_streamed)
    ffmpeg_tone 0.5 48000 2 pcm_s16le -f wav - | cat >"$WORK/in.wav"
    check_written in.wav 2_ch_bypass 2
    expect_summary "note: the data chunk's size is 0xFFFFFFFF (a streamed file): read the 24000 whole frames"
    ;;
sox_cut)
    sox_tone whole.wav 0.5 96000 6 24
    head -c 500000 "$WORK/whole.wav" >"$WORK/in.wav"
    check_written in.wav 6_ch 0 --enable 1
    expect_summary "note: the data chunk claims"
    ;;
zero_size_with_audio)
    ffmpeg_tone 0.3 48000 2 pcm_s16le "$WORK/in.wav"
    patch_bytes "$WORK/in.wav" 40 '\0\0\0\0'
    check_written in.wav 2_ch_bypass 2
    expect_summary "the data chunk's size is 0 but audio follows it: read the 14400 whole frames"
    ;;
ffmpeg_rf64)
    ffmpeg_tone 0.4 96000 6 pcm_s24le -rf64 always "$WORK/in.wav"
    check_written in.wav 6_ch_bypass 1 --mode 1
    ;;
mask_extra_bits)
    ffmpeg_tone 0.3 48000 6 pcm_f32le "$WORK/in.wav"
    patch_bytes "$WORK/in.wav" 40 '\xff\x06'
    check_written in.wav 6_ch 0 --enable 1
    expect_summary "the channel mask 0x6FF names 10 speakers for 6 channels: the lowest bits, 0x3F, are used"
    ;;
sox_44k)
    sox_tone in.wav 0.5 44100 2 16
    check_converted in.wav "rate -v 48000" 2_ch 0 --enable 1 --set mode=1@11025f
    expect_summary "sample rate 44100 Hz -> 48000 Hz"
    expect_summary "0.250 s: mode=1"
    ;;
sox_mono)
    sox_tone in.wav 0.3 48000 1 24
    check_converted in.wav "remix -m 1 1" 2_ch_bypass 2
    ;;
ffmpeg_quad_88k)
    ffmpeg_tone 0.3 88200 4 pcm_s32le "$WORK/in.wav"
    check_converted in.wav "remix -m 1 2 3 0 4v0.707107 4v0.707107 rate -v 96000" 6_ch 0 --enable 1
    expect_summary "channels 4 (FL FR FC BC) -> 6 (FL FR FC LFE BL BR, mask 0x3F)"
    ;;
set_beyond_end)
    sox_tone in.wav 0.2 48000 2 16
    process_expecting 1 "$WORK/in.wav" "$WORK/out.wav" --set enable=1@1e15s
    expect_message "--set enable=1@1e15s: the time is at or after the end of the file (0.200 s"
    ;;
# The wrapper makes the prefix folder it is pointed at, however deep.
new_prefix_folder)
    sox_tone in.wav 0.2 48000 2 16
    KOVRA_HOST_PREFIX="$WORK/new/deeper/prefix" process_expecting 0 "$WORK/in.wav" "$WORK/out.wav"
    [ -f "$WORK/new/deeper/prefix/system.reg" ] || fail "no prefix in the new folder"
    WINEPREFIX="$WORK/new/deeper/prefix" wineserver -k
    ;;

*) fail "unknown case" ;;
esac
echo "ok: $CASE"
