#!/usr/bin/env bash
# The licences and notices of everything the shipped binaries are linked with, for the release
# package. Each binary's link map (the linker's -Map output) names the libraries and start-up
# objects it took code from; those of the build's own (relative paths) are KovraAPO's, every other
# one must come from a Debian package, whose copyright file carries its licence and notices. A file
# of no package stops the package: a release must not ship code whose licence it cannot name.
#
#   notices.sh OUT_DIR VERSION MAP...
# writes OUT_DIR/NOTICES.txt, OUT_DIR/licenses/PACKAGE.txt and, for the texts those refer to in
# /usr/share/common-licenses, OUT_DIR/licenses/common-licenses/NAME.txt; line ends are Unix ones
# (the caller turns them into Windows ones).
set -euo pipefail

out="$1" version="$2"
shift 2
mkdir -p "$out/licenses/common-licenses"

# "PATH" for every library member and start-up object the map's binary took code from.
linked_files() {
    awk '/^Archive member included/ { on = 1; next }
         /^(Discarded input sections|Memory Configuration|Allocating common symbols)/ { on = 0 }
         on && /^[^ ]/ { sub(/\(.*$/, ""); print }
         /^LOAD .*\.o$/ { print $2 }' "$1"
}

declare -A binaries_of
for map in "$@"; do
    binary="$(basename "$map" .map)"
    while read -r file; do
        case "$file" in /*) ;; *) continue ;; esac # the build's own
        file="$(realpath "$file")"
        binaries_of[$file]="${binaries_of[$file]:+${binaries_of[$file]}, }$binary"
    done < <(linked_files "$map" | sort -u)
done
[ ${#binaries_of[@]} -gt 0 ] || { echo "notices.sh: the link maps name no library" >&2; exit 1; }

{
    printf 'KovraAPO %s: licences and notices of the software in its binaries\n\n' "$version"
    printf '%s\n' \
        "KovraAPO.dll, KovraAPI_SHARED.dll, apohost.exe and kovractl.exe carry, besides" \
        "KovraAPO's own code, parts of the libraries below, linked in when they were built (the" \
        "linker's maps of this build name them). For each library the file named beside it holds" \
        "its licence and copyright notices, as the Debian package it came from states them; the" \
        "licence texts those refer to in /usr/share/common-licenses are in" \
        "licenses\\common-licenses." "" \
        "libstdc++.a is the GNU C++ library; libgcc.a, libgcc_eh.a, crtbegin.o and crtend.o the" \
        "GCC runtime; libpthread.a is winpthreads; the start-up objects crt*.o, libmingw32.a," \
        "libmingwex.a, libmsvcrt.a and the import libraries of Windows DLLs are the mingw-w64" \
        "runtime." ""
} >"$out/NOTICES.txt"

for file in $(printf '%s\n' "${!binaries_of[@]}" | sort); do
    package="$(dpkg -S "$file" 2>/dev/null | head -n 1 | cut -d: -f1)" || true
    [ -n "$package" ] || { echo "notices.sh: no Debian package holds $file" >&2; exit 1; }
    copyright="$(realpath "/usr/share/doc/$package/copyright" 2>/dev/null)" ||
        { echo "notices.sh: $package has no copyright file" >&2; exit 1; }
    notice="$(basename "$(dirname "$copyright")").txt"
    [ -f "$out/licenses/$notice" ] || cp "$copyright" "$out/licenses/$notice"
    printf '%s (in %s)\n    from %s %s: licenses\\%s\n' "$(basename "$file")" \
        "${binaries_of[$file]}" "$package" \
        "$(dpkg-query -W -f='${Version}' "$package")" "$notice" >>"$out/NOTICES.txt"
done

# The common licence texts the copyright files point to, "/usr/share/common-licenses/GPL-3."
# with the sentence's full stop left off.
grep -ho '/usr/share/common-licenses/[A-Za-z0-9.+-]*[A-Za-z0-9+-]' "$out"/licenses/*.txt |
    sort -u | while read -r text; do
    [ -f "$text" ] || { echo "notices.sh: $text is missing" >&2; exit 1; }
    cp "$(realpath "$text")" "$out/licenses/common-licenses/$(basename "$text").txt"
done
