#!/usr/bin/env bash
# Run by ctest: `./kovra package` on the build as it is, into a folder of the test's own. The zip
# is named after the project's version and holds exactly the release files; its binaries carry
# no debug information, which lies in the symbols zip beside it, and they still load and run. It
# holds the licence notices of every library the link maps show, its text files have Windows line
# ends, and its install guide needs nothing outside the zip.
set -euo pipefail
: "${KOVRA_ROOT:?}" "${KOVRA_CROSS_DIR:?}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

zipfile="$(KOVRA_PREBUILT=1 KOVRA_DIST_DIR="$WORK" "$KOVRA_ROOT/kovra" package)" ||
    fail "./kovra package failed"
version="$(sed -n 's/^project(KovraAPO VERSION \([0-9.]*\).*/\1/p' "$KOVRA_ROOT/CMakeLists.txt")"
[ "$zipfile" = "$WORK/KovraAPO-$version-x64.zip" ] || fail "zip named $zipfile, version $version"
symbolzip="$WORK/KovraAPO-$version-x64-symbols.zip"
[ -f "$zipfile" ] && [ -f "$symbolzip" ] || fail "no $zipfile or no $symbolzip"

binaries=(KovraAPO.dll KovraAPI_SHARED.dll apohost.exe kovractl.exe)
texts=(kovramobile_RELEASE_TESSARY_QXN2207.config KovraAPO.inf INSTALL.txt NOTICES.txt)
# same_files ZIP NAME... : the zip holds exactly these files besides its licences folder.
same_files() {
    local listed expected
    listed="$(zip -sf "$1" | sed -n 's/^  //p' | grep -v '^licenses/' | LC_ALL=C sort)"
    expected="$(printf '%s\n' "${@:2}" | LC_ALL=C sort)"
    [ "$listed" = "$expected" ] || fail "$(basename "$1") holds:
$listed
expected:
$expected"
}
same_files "$zipfile" "${binaries[@]}" "${texts[@]}"
same_files "$symbolzip" "${binaries[@]/%/.debug}"

# CMake's archive reader unpacks zip files too, and needs no package beyond the build's own.
mkdir "$WORK/release" "$WORK/symbols"
(cd "$WORK/release" && cmake -E tar xf "$zipfile")
(cd "$WORK/symbols" && cmake -E tar xf "$symbolzip")
cd "$WORK/release"

# Every library and start-up object of the system's that a link map shows code taken from has
# a line in NOTICES.txt naming a licence file that the zip holds, and every licence text those
# files point to is there too.
for binary in "${binaries[@]}"; do
    map="$KOVRA_CROSS_DIR/linkmaps/$binary.map"
    [ -f "$map" ] || fail "no link map $map"
    { grep -o '^/[^(]*(' "$map" | sed 's/($//'; sed -n 's|^LOAD \(/.*\.o\)$|\1|p' "$map"; } |
        sort -u | while read -r library; do
        name="$(basename "$library")"
        notice="$({ grep -A1 -F "$name (in " NOTICES.txt || true; } | tr -d '\r' |
            sed -n 's/.*: licenses\\\(.*\.txt\)$/licenses\/\1/p')"
        [ -n "$notice" ] || fail "NOTICES.txt names no licence for $name, which $binary holds"
        [ -s "$notice" ] || fail "the zip lacks $notice, the licence of $name"
    done
done
grep -ho '/usr/share/common-licenses/[A-Za-z0-9.+-]*[A-Za-z0-9+-]' licenses/*.txt | sort -u |
    while read -r text; do
        [ -s "licenses/common-licenses/$(basename "$text").txt" ] ||
            fail "the zip lacks the text of $text"
    done

for file in "${texts[@]}" licenses/*.txt licenses/common-licenses/*.txt; do
    ! grep -qv $'\r$' "$file" || fail "$file has lines without Windows line ends"
done
# The guide is all the user has: no README, no developer's command, every topic.
! grep -n -E 'README|\./kovra|build/' INSTALL.txt || fail "INSTALL.txt refers to what it lacks"
for section in Uninstall Upgrade Signing Troubleshooting "Licences and notices"; do
    grep -q "^$section" INSTALL.txt || fail "INSTALL.txt has no section $section"
done

for file in "${binaries[@]}"; do
    sections="$(x86_64-w64-mingw32-objdump -h "$WORK/release/$file")"
    ! grep -q ' \.debug_' <<<"$sections" || fail "$file carries debug information"
    grep -q ' \.gnu_debuglink' <<<"$sections" || fail "$file has no link to its symbols"
    x86_64-w64-mingw32-objdump -h "$WORK/symbols/$file.debug" | grep -q ' \.debug_info' ||
        fail "$file.debug holds no debug information"
done

# The stripped binaries run: the tool starts, and the effect registers with its engine
# library beside it, which loads both DLLs.
[ "$(wine "$WORK/release/kovractl.exe" --version </dev/null 2>/dev/null | tr -d '\r')" = \
    "kovractl $version" ] || fail "the stripped kovractl.exe does not run"
dll="$(winepath -w "$WORK/release/KovraAPO.dll")"
wine regsvr32 /s "$dll" </dev/null >/dev/null 2>&1 ||
    fail "the stripped KovraAPO.dll does not register"
wine regsvr32 /s /u "$dll" </dev/null >/dev/null 2>&1 || true
echo "package ok: $zipfile, $symbolzip"
