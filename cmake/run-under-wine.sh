#!/usr/bin/env bash
# ctest's launcher for the cross-built test programs: runs PROGRAM [ARGUMENTS] under Wine with
# Wine's error channel on, drops the error lines known to be harmless, and says how the program
# ended when it failed: its exit status, and whether it printed anything at all.
#
# Every test program prints before its first test runs (GoogleTest's "Running main()", or the
# test list when ctest asks for it), so a run that printed nothing never reached the program's
# own code: Wine did not start it. Such a run fails even when Wine ended it with status 0,
# which it does when its wineserver goes away under a starting process; otherwise a test would
# pass, or a program would list no tests, without having run.
#
#   run-under-wine.sh PROGRAM [ARGUMENTS...]      the environment names the Wine prefix
set -uo pipefail

[ $# -ge 1 ] || { echo "usage: run-under-wine.sh PROGRAM [ARGUMENTS...]" >&2; exit 2; }

# Wine's own error lines that every run may print and that never explain a failure.
KNOWN_NOISE='^[0-9a-f]{4}:err:(winediag:nodrv_CreateWindow|ole:|systray:|explorer:|wineusb:|mmdevapi:|alsa:|winmm:|dsound:)'

drop_known_noise() {
    grep --line-buffered -Ev "$KNOWN_NOISE|^ALSA lib " || true
}

# shellcheck source=wine.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

export WINEDEBUG="${KOVRA_WINEDEBUG:--all,err+all}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
exec 4>&2
started=$SECONDS
{
    fixed_layout wine "$@" 2>&1 1>&3 3>&- | drop_known_noise >&4
    echo "${PIPESTATUS[0]}" >"$work/status"
} 3>&1 | tee "$work/stdout"
status="$(cat "$work/status")"

if [ -s "$work/stdout" ] && [ "$status" = 0 ]; then
    exit 0
fi
program="$(basename "$1")"
[ "$status" -le 128 ] || status="$status (signal $((status - 128)))"
if [ -s "$work/stdout" ]; then
    echo "[run-under-wine] $program ended with exit status $status" \
        "after $((SECONDS - started)) s" >&2
    exit "${status%% *}"
fi
echo "[run-under-wine] $program ended with exit status $status after $((SECONDS - started)) s" \
    "without printing anything, so it never reached its own code;" \
    "$(describe_wineserver "${WINEPREFIX:-$HOME/.wine}")" >&2
[ "$status" = 0 ] && exit 125
exit "${status%% *}"
