# Running Wine programs reliably, for ./kovra, the test launcher (run-under-wine.sh) and the
# end-to-end script; sourced.
#
# Debian's 64-bit Wine loader is not position-independent (it sits at 0x7d000000) and comes
# without Wine's preloader, so nothing reserves the low addresses before the kernel places the
# loader's heap at a random spot above it. Now and then the heap covers 0x7ffe0000, where Wine
# must map the shared user data, and the program ends before its main with status 1 ("failed to
# map the shared user data: c0000018", shown only on Wine's error channel). With address
# randomisation off for Wine's processes the heap follows the loader directly, far below.
fixed_layout() { # COMMAND...
    setarch "$(uname -m)" -R "$@"
}

# The wineserver of a Wine prefix.
#
# One wineserver serves each prefix. Debian's wrapper starts every server with -p0, and a server
# that a Wine program starts on its own gets the same: it shuts down as soon as its last program
# ends. A program that starts during that shutdown may be refused, or ended before its main
# without a word (exit status 0 or 1, no output). Programs run one after another (ctest's tests,
# the steps of `./kovra process`) therefore need a server that stays: `wineserver -p` (forever)
# or `-pN` (N seconds after the last program), started and running before the first program.

# Wine names the server's folder server-DEVICE-INODE after the prefix folder (hexadecimal).
wineserver_folder_name() { # PREFIX
    local device inode
    read -r device inode < <(stat -c '%d %i' "$1" 2>/dev/null) || return 1
    printf 'server-%x-%x\n' "$device" "$inode"
}

# The process id of the wineserver running for PREFIX, if one runs.
wineserver_pid() { # PREFIX
    local name pid
    name="$(wineserver_folder_name "$1")" || return 1
    # One grep over every process's name: a loop in the shell costs a process per process.
    for pid in $(grep -l '^wineserver' /proc/[0-9]*/comm 2>/dev/null); do
        pid="${pid#/proc/}"
        pid="${pid%/comm}"
        if [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$name" ]; then
            echo "$pid"
            return 0
        fi
    done
    return 1
}

# The persistence the server runs with: its last -p option ("-p" forever, "-pN" seconds).
wineserver_persistence() { # PID
    tr '\0' '\n' <"/proc/$1/cmdline" 2>/dev/null | grep -E '^-p[0-9]*$' | tail -n 1
}

# Seconds since the process started (field 22 of its stat line, in clock ticks since boot).
wineserver_age() { # PID
    awk -v ticks="$(getconf CLK_TCK)" -v start="$(cut -d' ' -f22 "/proc/$1/stat")" \
        '{ printf "%.1f", $1 - start / ticks }' /proc/uptime
}

# One line on the prefix's server for a failure report: pid, persistence and age, or its absence.
describe_wineserver() { # PREFIX
    local pid
    if pid="$(wineserver_pid "$1")"; then
        echo "wineserver $pid runs for it ($(wineserver_persistence "$pid" || echo "no -p")," \
            "up $(wineserver_age "$pid") s)"
    else
        echo "no wineserver runs for it now"
    fi
}

# Makes sure a persistent server runs for $WINEPREFIX before any program starts there:
# PERSISTENCE "" keeps it until `wineserver -k`, N keeps it N seconds after the last program.
# A persistent server that already runs is kept; one that ends with its last program is waited
# out (at most WAIT seconds) and replaced. Returns non-zero when no persistent server runs.
start_persistent_wineserver() { # PERSISTENCE [WAIT]
    local persistence="$1" wait="${2:-60}" attempt status pid
    for attempt in 1 2 3; do
        status=0
        wineserver "-p$persistence" </dev/null >/dev/null 2>&1 || status=$?
        [ "$status" = 0 ] && return 0
        # Status 2: another server holds the prefix's lock.
        [ "$status" = 2 ] || return "$status"
        pid="$(wineserver_pid "$WINEPREFIX")" || continue
        case "$(wineserver_persistence "$pid")" in
        -p | -p[1-9]*) return 0 ;;
        esac
        timeout "$wait" wineserver -w || return 1
    done
    return 1
}
