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
CONVERTER="${KOVRA_LINUX_DIR:-$KOVRA_ROOT/build/linux}/bin/kovraconvert"
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

# The formats the registered effect takes, as apohost.exe names them to the converter.
effect_formats() {
    fixed_layout wine "$BIN/apohost.exe" --formats </dev/null | sed -n 's/^formats  *\(.*\)\r$/\1/p'
}

# kovraconvert's stream for the work file NAME, made again as the wrapper makes it.
converted_stream() { # NAME OUT
    STEP="kovraconvert $1 to $2"
    local formats
    formats="$(effect_formats)"
    [ -n "$formats" ] || fail "apohost.exe --formats named none"
    "$CONVERTER" convert "$WORK/$1" "$formats" >"$WORK/$2" 2>"$WORK/convert.err" ||
        fail "kovraconvert: $(cat "$WORK/convert.err")"
}

# A file the effect takes only converted: the summary names the conversion (WORDS), the output
# has FRAMES frames (the input's length at the converted rate) and is what the engine library
# makes of the converter's stream, bit for bit.
check_converted() { # FILE WORDS FRAMES NAME PRESET [apohost options]
    local file="$1" words="$2" expected="$3" name="$4" preset="$5" rate frames input output
    shift 5
    process_expecting 0 "$WORK/$file" "$WORK/out.wav" "$@"
    [ -z "$words" ] || expect_summary "$words"
    # One line names the conversion, and nothing speaks of the effect's refusal.
    [ "$(wc -l <"$WORK/stderr")" = 1 ] && grep -q '^kovraconvert: .* for the effect: ' "$WORK/stderr" ||
        fail "stderr of a converted run: $(cat "$WORK/stderr")"
    info_of output out.wav
    [ "${output##* }" = "$expected" ] || fail "output: $output, expected $expected frames"
    converted_stream "$file" converted.wav
    info_of input converted.wav
    read -r _ rate _ _ frames <<<"$input"
    [ "$output" = "2 $rate 32 float $expected" ] && [ "$frames" = "$expected" ] ||
        fail "output format: $output, converted: $input, expected $expected frames"
    reference converted.wav ref.wav "$name" "$preset" $((rate / 100))
    compare out.wav 0 ref.wav 0 "$frames" 0
}

# The largest magnitude of the samples in the work file NAME.
peak_of() { # VARIABLE NAME
    STEP="measure the peak of $2"
    local file measured
    windows_name file "$WORK/$2"
    measured="$(tool peak "$file")"
    printf -v "$1" '%s' "$measured"
}

# The folder holds exactly the files named, nothing the run made on the side.
expect_only() { # FOLDER FILE...
    local left
    left="$(cd "$1" && ls -A | sort | tr '\n' ' ')"
    [ "$left" = "$(printf '%s\n' "${@:2}" | sort | tr '\n' ' ')" ] || fail "left in $1: $left"
}

# `./kovra process IN OUT` interrupted with SIGNAL once its output has begun to grow, started as
# MODE says: group (its own background process group, as a cancelled job's), setsid (a session
# of its own from this script, which starts it with SIGINT ignored), wrapper (the signal to the
# wrapper's process alone) or terminal (Ctrl-C typed on a terminal). It must end with 128 + the
# signal, OUT as it was and nothing left beside it.
interrupt_process() { # MODE SIGNAL IN OUT
    local mode="$1" signal="$2" input="$3" output="$4" folder pid status=0 number
    folder="$(dirname "$output")"
    number="$(kill -l "$signal")"
    STEP="interrupt ./kovra process ($mode, SIG$signal)"
    mkdir -p "$folder"
    echo "older" >"$output"
    local before
    before="$(cd "$folder" && ls -A | sort | tr '\n' ' ')"
    if [ "$mode" = terminal ]; then
        # script runs the command with $SHELL, /bin/sh (dash) where it is unset, as in a clean
        # environment; dash would die of the terminal's SIGINT itself before it records the
        # status, so the command is bash's, which lets a child that handled the signal report.
        { wait_for_output "$folder"; printf '\003'; sleep 5; } |
            SHELL=/bin/bash script -qec "'$KOVRA_ROOT/kovra' process '$input' '$output' >'$WORK/stdout' \
                2>'$WORK/stderr'; echo \"status \$?\" >'$WORK/status'" /dev/null >/dev/null
        status="$(sed -n 's/^status //p' "$WORK/status")"
    else
        case "$mode" in
        group) set -m; "$KOVRA_ROOT/kovra" process "$input" "$output" >"$WORK/stdout" \
                2>"$WORK/stderr" & pid=$!; set +m ;;
        setsid) setsid "$KOVRA_ROOT/kovra" process "$input" "$output" >"$WORK/stdout" \
                2>"$WORK/stderr" & pid=$! ;;
        wrapper) "$KOVRA_ROOT/kovra" process "$input" "$output" >"$WORK/stdout" \
                2>"$WORK/stderr" & pid=$! ;;
        esac
        wait_for_output "$folder"
        if [ "$mode" = wrapper ]; then kill "-$signal" "$pid"; else kill "-$signal" -- "-$pid"; fi
        wait "$pid" || status=$?
    fi
    [ "$status" = $((128 + number)) ] ||
        fail "exit status $status, expected $((128 + number)); stderr: $(cat "$WORK/stderr")"
    [ "$(cat "$output")" = older ] || fail "the existing output was changed"
    local after
    after="$(cd "$folder" && ls -A | sort | tr '\n' ' ')"
    [ "$after" = "$before" ] || fail "the folder held $before, now $after"
}

# Waits until the run writes its output: a file beside OUT, or in a folder beside it, holds
# audio. A run that ended first could not be interrupted, and says so.
wait_for_output() { # FOLDER
    local tries
    for ((tries = 0; tries < 6000; tries++)); do
        [ -z "$(find "$1" -mindepth 1 -type f -size +64k 2>/dev/null)" ] || return 0
        sleep 0.01
    done
    fail "no output began within a minute"
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

# On Windows apohost.exe stops at a rate the effect refuses, and names the conversion (exit 6)
# and, for the converter, the formats the effect takes.
apohost_44k)
    generate in.wav 2 44100 16 16 0.2
    windows_name input "$WORK/in.wav"
    windows_name output "$WORK/out.wav"
    apohost_expecting 6 "$input" "$output"
    expect_message "sample rate 44100 Hz: the effect accepts 48000 or 96000 Hz"
    expect_message "APOERR_FORMAT_NOT_SUPPORTED (0x887D0003)"
    expect_message "./kovra process on Linux converts by itself"
    expect_summary "sample rate 44100 Hz -> 48000 Hz (libsoxr, very high quality)"
    grep -q "^formats      48000:2:0x3 " "$WORK/stdout" || fail "stdout: $(cat "$WORK/stdout")"
    [ ! -e "$WORK/out.wav" ] && [ -z "$(find "$WORK" -name '*.partial')" ] ||
        fail "an output file was left behind: $(ls -A "$WORK")"
    ;;

apohost_4ch_20bit)
    generate in.wav 4 48000 24 20 0.2
    windows_name input "$WORK/in.wav"
    windows_name output "$WORK/out.wav"
    apohost_expecting 6 "$input" "$output"
    expect_message "proposes 2 ch float 32-bit (32 valid) 48000 Hz, mask 0x3 (S_FALSE)"
    expect_message "channels 4 -> 2"
    expect_message "channel mask 0x33 -> 0x3"
    expect_summary "channels 4 (FL FR BL BR) -> 6 (FL FR FC LFE BL BR, mask 0x3F): FL->FL, FR->FR, BL->BL, BR->BR; FC LFE silent"
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
    check_converted in.wav "sample rate 44100 Hz -> 48000 Hz" 24000 2_ch 0 --enable 1 \
        --set mode=1@11025f
    expect_summary "0.250 s: mode=1"
    # The conversion against sox's own float `rate -v`, away from the ends where each starts its
    # filter in its own way: the same resampler design, within 100 dB of full scale.
    STEP="sox rate -v for comparison"
    sox -V1 "$WORK/in.wav" -e floating-point -b 32 "$WORK/sox.wav" rate -v 48000
    compare converted.wav 4800 sox.wav 4800 14400 0.00001
    ;;
sox_mono)
    sox_tone in.wav 0.3 48000 1 24
    check_converted in.wav "channels 1 (FC) -> 2 (FL FR, mask 0x3): FC->FL, FC->FR" 14400 \
        2_ch_bypass 2
    ;;
ffmpeg_quad_88k)
    ffmpeg_tone 0.3 88200 4 pcm_s32le "$WORK/in.wav"
    check_converted in.wav "channels 4 (FL FR FC BC) -> 6 (FL FR FC LFE BL BR, mask 0x3F)" 28800 \
        6_ch 0 --enable 1
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

# The six ways the sox-based wrapper reported success or destroyed a file, each run again.
# 1. Ctrl-C on a terminal while a file is converted.
interrupt_conversion_terminal)
    sox_tone long.wav 300 44100 2 16
    interrupt_process terminal INT "$WORK/long.wav" "$WORK/out/out.wav"
    ;;
# 2. Temporary space as small as the issue's (TMPDIR on a 2 MiB tmpfs): nothing is put there,
#    and the frames are all there. Wine keeps its server's folder in TMPDIR, so the prefix's
#    server is stopped before and after.
conversion_without_temporary_space)
    mkdir "$WORK/tmp"
    mount -t tmpfs -o size=2m tmpfs "$WORK/tmp" 2>/dev/null || { echo "skipped: no tmpfs mount"; exit 77; }
    trap 'TMPDIR="$WORK/tmp" wineserver -k 2>/dev/null; umount "$WORK/tmp"; rm -rf "$WORK"' EXIT
    sox_tone in.wav 10 44100 2 16
    wineserver -k
    TMPDIR="$WORK/tmp" check_converted in.wav "" 480000 2_ch_bypass 2
    [ -z "$(ls -A "$WORK/tmp" | grep -v '^wine-')" ] || fail "left in TMPDIR: $(ls -A "$WORK/tmp")"
    ;;
# 3. A data chunk of size 0 with audio after it, at a rate that needs converting.
zero_size_44k)
    sox_tone in.wav 3 44100 2 16
    patch_bytes "$WORK/in.wav" 40 '\0\0\0\0'
    check_converted in.wav "the data chunk's size is 0 but audio follows it: read the 132300 whole frames" \
        144000 2_ch_bypass 2
    ;;
# 4. Nothing is clipped at full scale: a float file at +6 dBFS keeps its peak, and the overshoot
#    of a square wave's resampling and a top speaker folded onto the front pair go past it, all
#    through the bypass.
no_clipping)
    # (sox works in 32-bit integers, so the float file comes from ffmpeg.)
    ffmpeg -nostdin -v error -f lavfi -i "aevalsrc=2*sin(2*PI*997*t)|2*sin(2*PI*997*t):s=44100:d=0.5" \
        -c:a pcm_f32le "$WORK/loud.wav"
    sox -V1 -n -r 44100 -b 24 -c 2 "$WORK/square.wav" synth 0.5 square 997 gain -0.5
    sox -V1 -n -r 48000 -b 24 -c 3 "$WORK/top.wav" synth 0.5 sine 503 sine 701 sine 503 gain -1
    patch_bytes "$WORK/top.wav" 40 '\x03\x08\x00\x00' # FL FR TC
    for file in loud.wav square.wav top.wav; do
        process_expecting 0 "$WORK/$file" "$WORK/out-$file"
        peak_of peak "out-$file"
        case "$file" in
        loud.wav) awk -v p="$peak" 'BEGIN { exit !(p > 1.99 && p < 2.02) }' ;;
        *) awk -v p="$peak" 'BEGIN { exit !(p > 1.01) }' ;;
        esac || fail "$file: peak $peak"
    done
    ;;
# 5. An input named like a temporary file, and a file of that name beside OUT, stay as they were.
input_named_like_temporary)
    mkdir "$WORK/files"
    sox_tone files/y.wav.partial 0.3 44100 2 16 -t wav
    sox_tone files/z.wav.partial 0.3 48000 2 16 -t wav
    cp "$WORK/files/y.wav.partial" "$WORK/y.copy"
    cp "$WORK/files/z.wav.partial" "$WORK/z.copy"
    process_expecting 0 "$WORK/files/y.wav.partial" "$WORK/files/y.wav"
    process_expecting 0 "$WORK/files/z.wav.partial" "$WORK/files/z.wav"
    cmp -s "$WORK/files/y.wav.partial" "$WORK/y.copy" &&
        cmp -s "$WORK/files/z.wav.partial" "$WORK/z.copy" ||
        fail "a file named like a temporary one was changed"
    expect_only "$WORK/files" y.wav y.wav.partial z.wav z.wav.partial
    ;;
# 6. An interrupt while the effect runs, from a background process group as a cancelled job's
#    (with and without SIGINT ignored on entry), and to the wrapper alone while it converts;
#    apohost.exe alone under Wine exits 130 on SIGINT and removes what it wrote.
interrupt_background)
    sox_tone long48.wav 300 48000 2 16
    sox_tone long44.wav 300 44100 2 16
    interrupt_process group INT "$WORK/long48.wav" "$WORK/out/out.wav"
    interrupt_process setsid INT "$WORK/long44.wav" "$WORK/out/out.wav"
    interrupt_process wrapper TERM "$WORK/long44.wav" "$WORK/out/out.wav"
    interrupt_process group HUP "$WORK/long48.wav" "$WORK/out/out.wav"
    STEP="apohost.exe alone, interrupted"
    windows_name input "$WORK/long48.wav"
    windows_name output "$WORK/out/out.wav"
    set -m
    # The program itself, not a function: a function would run in a subshell of this script.
    setarch "$(uname -m)" -R wine "$BIN/apohost.exe" "$input" "$output" </dev/null >/dev/null \
        2>"$WORK/stderr" &
    pid=$!
    set +m
    for ((tries = 0; tries < 6000; tries++)); do
        [ -z "$(find "$WORK/out" -name '.out.wav.*.partial' -size +64k)" ] || break
        sleep 0.01
    done
    kill -INT -- "-$pid"
    status=0
    wait "$pid" || status=$?
    [ "$status" = 130 ] || fail "apohost.exe ended with $status: $(cat "$WORK/stderr")"
    [ "$(cat "$WORK/out/out.wav")" = older ] || fail "apohost.exe changed the existing output"
    expect_only "$WORK/out" out.wav
    ;;

# Files of the formats users bring, each written here by its own tool, at 48 kHz so the stream
# is the decoded audio itself: lossless ones bit for bit against sox's, flac's or ffmpeg's decode,
# lossy ones within their decoders' rounding. The summary names the format.
formats)
    sox_tone src.wav 0.3 48000 2 16
    flac -s -o "$WORK/in.flac" "$WORK/src.wav"
    sox -V1 "$WORK/src.wav" "$WORK/in.aiff"
    sox -V1 "$WORK/src.wav" -e a-law "$WORK/alaw.wav"
    sox -V1 "$WORK/src.wav" -e u-law "$WORK/ulaw.wav"
    sox -V1 "$WORK/src.wav" -e ms-adpcm "$WORK/msadpcm.wav"
    ffmpeg -nostdin -v error -i "$WORK/src.wav" -c:a adpcm_ima_wav "$WORK/imaadpcm.wav"
    oggenc -Q -o "$WORK/in.ogg" "$WORK/src.wav"
    opusenc --quiet "$WORK/src.wav" "$WORK/in.opus"
    lame --quiet "$WORK/src.wav" "$WORK/in.mp3"
    while IFS='|' read -r -u 3 file format decoder tolerance; do
        process_expecting 0 "$WORK/$file" "$WORK/out.wav"
        expect_summary "$file: $format"
        STEP="decode $file with $decoder"
        case "$decoder" in
        flac) flac -s -d -o "$WORK/decoded.wav" "$WORK/$file" ;;
        ffmpeg) ffmpeg -nostdin -v error -y -i "$WORK/$file" -c:a pcm_f32le "$WORK/decoded.wav" ;;
        sox) sox -V1 "$WORK/$file" -e floating-point -b 32 "$WORK/decoded.wav" ;;
        esac
        info_of output out.wav
        reference decoded.wav ref.wav 2_ch_bypass 2 480
        compare out.wav 0 ref.wav 0 "${output##* }" "$tolerance"
    done 3<<'FORMATS'
in.flac|FLAC (Free Lossless Audio Codec), Signed 16 bit PCM|flac|0
in.aiff|AIFF (Apple/SGI), Signed 16 bit PCM|sox|0
alaw.wav|WAV (Microsoft), A-Law|sox|0
ulaw.wav|WAV (Microsoft), U-Law|sox|0
msadpcm.wav|WAV (Microsoft), Microsoft ADPCM|sox|0
imaadpcm.wav|WAV (Microsoft), IMA ADPCM|sox|0
in.ogg|OGG (OGG Container format), Vorbis|sox|0.0001
in.opus|OGG (OGG Container format), Opus|ffmpeg|0.00001
in.mp3|MPEG-1/2 Audio, MPEG Layer III|ffmpeg|0.00001
FORMATS
    ;;

# More than 8 channels fold by their mask (7.1.4 onto 7.1); without a mask they are refused.
many_channels)
    sox -V1 -n -r 48000 -b 16 -c 12 "$WORK/in.wav" synth 0.3 sine 300 gain -12
    process_expecting 3 "$WORK/in.wav" "$WORK/out.wav"
    expect_message "12 channels without a channel mask"
    patch_bytes "$WORK/in.wav" 40 '\x3f\xd6\x02\x00'
    check_converted in.wav "channels 12 (FL FR FC LFE BL BR SL SR TFL TFR TBL TBR) -> 8" 14400 \
        8_ch 0 --enable 1
    ;;
# A stereo pair on FLC/FRC plays as a front pair: the same output as on FL/FR.
inner_front_pair)
    for layout in FL+FR FLC+FRC; do
        ffmpeg -v error -f lavfi -i "sine=f=330:r=48000:d=0.3" -af \
            "aformat=channel_layouts=stereo,channelmap=map=FL-${layout%+*}|FR-${layout#*+}:channel_layout=$layout" \
            -c:a pcm_s16le "$WORK/$layout.wav"
        process_expecting 0 "$WORK/$layout.wav" "$WORK/out-$layout.wav"
    done
    compare out-FLC+FRC.wav 0 out-FL+FR.wav 0 14400 0
    ;;

# What the command says: a file named with a dash, "--", an output that is a folder or in no
# folder (found before any audio), and two names that differ only in case on Linux.
messages)
    sox_tone -dash.wav 0.2 44100 2 16
    process_expecting 0 -- "$WORK/-dash.wav" "$WORK/out.wav"
    (cd "$WORK" && process_expecting 0 -dash.wav out2.wav)
    process_expecting 5 "$WORK/-dash.wav" "$WORK"
    expect_message "is a folder: give the output a file name"
    process_expecting 5 "$WORK/-dash.wav" "$WORK/missing/out.wav"
    expect_message "the folder $WORK/missing of the output does not exist"
    ! grep -q "kovraconvert" "$WORK/stderr" || fail "audio was processed first: $(cat "$WORK/stderr")"
    process_expecting 1 "$WORK/-dash.wav" "$WORK/out.wav" --bogus
    expect_message "unknown option --bogus"
    sox_tone Tone.wav 0.2 48000 2 16
    process_expecting 0 "$WORK/Tone.wav" "$WORK/tone.wav"
    [ -f "$WORK/Tone.wav" ] && [ -f "$WORK/tone.wav" ] || fail "Tone.wav and tone.wav are not two files"
    ;;

# The note says the effect is registered, but the prefix's registry lost the class: the wrapper
# registers it again.
registration_lost)
    sox_tone in.wav 0.2 48000 2 16
    STEP="remove the class from the prefix's registry"
    wineserver -k
    sed -i '/FAF1CE67-1B93-41FD-8DE6-83DA87D38A92/,/^$/d' "$WINEPREFIX/system.reg"
    ! grep -qi "FAF1CE67-1B93-41FD-8DE6-83DA87D38A92" "$WINEPREFIX/system.reg" || fail "still registered"
    process_expecting 0 "$WORK/in.wav" "$WORK/out.wav"
    ;;

# A full output disk fails with exit 5 before anything replaces the existing output.
output_disk_full)
    mkdir "$WORK/small"
    mount -t tmpfs -o size=1m tmpfs "$WORK/small" 2>/dev/null || { echo "skipped: no tmpfs mount"; exit 77; }
    trap 'umount "$WORK/small"; rm -rf "$WORK"' EXIT
    sox_tone in.wav 10 44100 2 16
    echo older >"$WORK/small/out.wav"
    process_expecting 5 "$WORK/in.wav" "$WORK/small/out.wav"
    [ "$(cat "$WORK/small/out.wav")" = older ] || fail "the existing output was changed"
    expect_only "$WORK/small" out.wav
    # A folder where no file can be made (root may write anywhere else) is found before audio.
    mount -o remount,ro "$WORK/small"
    process_expecting 5 "$WORK/in.wav" "$WORK/small/other.wav"
    expect_message "cannot create a file in $WORK/small: "
    ! grep -q "kovraconvert" "$WORK/stderr" || fail "audio was processed first: $(cat "$WORK/stderr")"
    ;;

*) fail "unknown case" ;;
esac
echo "ok: $CASE"
