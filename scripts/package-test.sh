#!/usr/bin/env bash
# Builds the Debian package from a release build of its own (Debian's hardened
# build flags, manual pages from --help) and checks what it holds: lintian
# must report no error and no warning, the desktop entry and the AppStream
# metainfo must validate. Usage: scripts/package-test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$1

# Installs what is missing (lintian, help2man, ...) and configures; the
# settings of packaging/deb.cmake apply when BUILD_DIR is new.
"$here/scripts/setup.sh" "$build" -C "$here/packaging/deb.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"

rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/*.deb)
deb=${debs[0]}
echo "Package: $deb"

# Missing hardening (bind-now, fortified functions) is only an info tag, so
# info fails the check too; pedantic tags are shown but do not.
lintian --fail-on error,warning,info --display-info --pedantic "$deb"

tree="$build/package-tree"
rm -rf "$tree"
dpkg-deb -x "$deb" "$tree"
desktop-file-validate "$tree"/usr/share/applications/*.desktop
appstreamcli validate --no-net --strict "$tree"/usr/share/metainfo/*.metainfo.xml
echo "Package checks passed."
