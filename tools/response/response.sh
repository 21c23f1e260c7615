#!/usr/bin/env bash
# `./kovra response`: each preset's magnitude response, measured through the registered effect
# with apohost.exe for 2, 6 and 8 channels, drawn by gnuplot beside the designed curve.
#
# Run by ./kovra response (and ./kovra demo), which registers the effect in its Wine prefix
# first and sets WINEPREFIX, APOHOST, RESPONSETOOL (paths of the two programs) and OUT (the
# folder for the pictures). KOVRA_RESPONSE_RATE sets the rate (default 48000).
set -euo pipefail

: "${APOHOST:?}" "${RESPONSETOOL:?}" "${OUT:?}"
RATE="${KOVRA_RESPONSE_RATE:-48000}"
[[ "$RATE" =~ ^(48000|96000)$ ]] || { echo "response: the rate must be 48000 or 96000" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$OUT"

# fixed_layout: Wine's programs start without address randomisation (see cmake/wine.sh).
. "$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine.sh"

win() { fixed_layout winepath -w "$1"; }
run() { fixed_layout wine "$@" </dev/null | sed 's/\r$//'; }

# The endpoint properties that select each preset: enable alone 0, mode alone 1, neither 2.
preset_options() {
    case "$1" in
    0) echo "--enable 1 --mode 0" ;;
    1) echo "--enable 0 --mode 1" ;;
    2) echo "--enable 0 --mode 0" ;;
    esac
}

plot() { # CHANNELS PNG
    local channels="$1" png="$2" top=$((RATE * 45 / 100 < 20000 ? RATE * 45 / 100 : 20000))
    gnuplot <<PLOT
set terminal pngcairo size 1100,650 font ",11"
set output "$png"
set title "KovraAPO, $channels channels at $RATE Hz: front left to left output, measured through the registered effect"
set logscale x
set xrange [10:$top]
set yrange [*:6]
set format x "%g"
set grid xtics mxtics ytics
set xlabel "frequency (Hz)"
set ylabel "magnitude (dB)"
set key bottom right box opaque
plot for [p=0:2] sprintf("$work/%s-%d.dat", "$channels", p) using 1:3 with lines lw 2 lc p+1 \\
         title sprintf("preset %d designed", p), \\
     for [p=0:2] sprintf("$work/%s-%d.dat", "$channels", p) every 3 using 1:2 with points \\
         pt 7 ps 0.6 lc p+1 title sprintf("preset %d measured", p)
PLOT
}

: >"$OUT/response.txt"
for channels in 2 6 8; do
    echo "[response] $channels channels at $RATE Hz" >&2
    run "$RESPONSETOOL" probe "$(win "$work/probe-$channels.wav")" "$channels" "$RATE"
    for preset in 0 1 2; do
        # shellcheck disable=SC2046 # the options are words on purpose
        run "$APOHOST" "$(win "$work/probe-$channels.wav")" "$(win "$work/out-$channels-$preset.wav")" \
            $(preset_options "$preset") --period 10 --no-progress >/dev/null
        run "$RESPONSETOOL" measure "$(win "$work/out-$channels-$preset.wav")" "$channels" "$RATE" \
            "$preset" >"$work/$channels-$preset.dat" 2>>"$OUT/response.txt"
    done
    plot "$channels" "$OUT/response-${channels}ch.png"
done
sed 's/\r$//' "$OUT/response.txt"
