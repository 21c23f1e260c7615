#!/usr/bin/env bash
# The test harness's own Wine helpers, on Wine's own programs:
#   harness_test.sh launcher   cmake/run-under-wine.sh (in the test prefix that ctest runs in)
#   harness_test.sh server     start_persistent_wineserver of cmake/wine.sh (in a prefix
#                              folder of its own, which a wineserver alone needs no more than)
set -uo pipefail

HELPERS="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../cmake" && pwd)"
failures=0
check() { # DESCRIPTION CONDITION...
    local description="$1"
    shift
    if ! "$@"; then
        echo "FAIL: $description" >&2
        failures=$((failures + 1))
    fi
}

# Runs the launcher on `cmd /c SCRIPT`; sets status, out and err.
launch() { # SCRIPT
    status=0
    out="$(bash "$HELPERS/run-under-wine.sh" cmd /c "$1" 2>"$work/err" | tr -d '\r')" ||
        status=$?
    err="$(cat "$work/err")"
}

test_launcher() {
    # stdout passes unchanged (ctest reads the test list from it); a clean run adds nothing.
    launch "echo listed"
    check "a clean run keeps status 0" [ "$status" = 0 ]
    check "a clean run's output passes unchanged (got \"$out\")" [ "$out" = "listed" ]
    check "a clean run is not reported (got \"$err\")" [ -z "$err" ]

    launch "echo partial& exit 3"
    check "a failing program's status stays (got $status)" [ "$status" = 3 ]
    check "a failing program's status is reported (got \"$err\")" \
        grep -q "cmd ended with exit status 3" <<<"$err"

    # Wine's programs start without address randomisation (ADDR_NO_RANDOMIZE, 0x0040000).
    . "$HELPERS/wine.sh"
    local personality
    personality="$(fixed_layout cat /proc/self/personality)"
    check "programs start with a fixed layout (personality $personality)" \
        [ $((0x$personality & 0x0040000)) != 0 ]

    # A program that printed nothing never reached its own code: fails even with status 0.
    launch "exit 0"
    check "a silent run fails (got $status)" [ "$status" != 0 ]
    check "a silent run says why and names the wineserver (got \"$err\")" \
        grep -Eq "without printing anything.*wineserver [0-9]+ runs for it \(-p," <<<"$err"
}

test_server() {
    . "$HELPERS/wine.sh"
    export WINEPREFIX="$work/prefix"
    mkdir -p "$WINEPREFIX"
    trap 'wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT
    local first second

    check "a server starts where none runs" start_persistent_wineserver 30
    first="$(wineserver_pid "$WINEPREFIX")"
    check "the started server stays 30 s (got \"$(describe_wineserver "$WINEPREFIX")\")" \
        [ "$(wineserver_persistence "$first")" = "-p30" ]

    check "a persistent server that runs is accepted" start_persistent_wineserver ""
    second="$(wineserver_pid "$WINEPREFIX")"
    check "the persistent server is kept ($first, then $second)" [ "$first" = "$second" ]
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
case "${1:-}" in
launcher) test_launcher ;;
server) test_server ;;
*) echo "usage: harness_test.sh launcher|server" >&2; exit 2 ;;
esac
[ "$failures" = 0 ] && echo "ok: $1" || echo "$failures failed: $1"
exit $((failures > 0))
