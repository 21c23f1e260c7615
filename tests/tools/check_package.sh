#!/usr/bin/env bash
# Run by ctest: `./kovra package` on the build as it is, into a folder of the test's own. The zip
# is named after the project's version and holds exactly the release files; its binaries carry
# no debug information, which lies in the symbols zip beside it, and they still load and run.
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
same_files() {
    local listed expected
    listed="$(zip -sf "$1" | sed -n 's/^  //p' | LC_ALL=C sort)"
    expected="$(printf '%s\n' "${@:2}" | LC_ALL=C sort)"
    [ "$listed" = "$expected" ] || fail "$(basename "$1") holds:
$listed
expected:
$expected"
}
same_files "$zipfile" "${binaries[@]}" kovramobile_RELEASE_TESSARY_QXN2207.config KovraAPO.inf \
    INSTALL.txt
same_files "$symbolzip" "${binaries[@]/%/.debug}"

# CMake's archive reader unpacks zip files too, and needs no package beyond the build's own.
mkdir "$WORK/release" "$WORK/symbols"
(cd "$WORK/release" && cmake -E tar xf "$zipfile")
(cd "$WORK/symbols" && cmake -E tar xf "$symbolzip")
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
