#!/usr/bin/env bash
# Run by ctest: `./kovra package` on the build as it is, into a folder of the test's own; the zip
# is named after the project's version and holds exactly the release files.
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
[ -f "$zipfile" ] || fail "no $zipfile"

listed="$(zip -sf "$zipfile" | sed -n 's/^  //p' | LC_ALL=C sort)"
expected="$(printf '%s\n' KovraAPO.dll KovraAPI_SHARED.dll kovramobile_RELEASE_TESSARY_QXN2207.config \
    apohost.exe kovractl.exe KovraAPO.inf INSTALL.txt | LC_ALL=C sort)"
[ "$listed" = "$expected" ] || fail "the zip holds:
$listed
expected:
$expected"
echo "package ok: $zipfile"
