#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a release build of its own (Debian's hardened
# build flags, manual pages from --help) and checks what it holds: lintian
# must report no error and no warning, the desktop entry and the AppStream
# metainfo must validate. Usage: scripts/package-test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$1

# Installs what is missing (lintian, help2man, ...); the package preset's
# settings (packaging/deb.cmake) apply when BUILD_DIR is new.
"$here/scripts/setup.sh" >/dev/null
[ -f "$build/build.ninja" ] || (cd "$here" && cmake --preset package -B "$build" >/dev/null)
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

# shifterctl(1) has a section for each command its help lists, and says what
# gears exits with.
page=$(gzip -dc "$tree/usr/share/man/man1/shifterctl.1.gz")
for command in $(COLUMNS=80 "$tree/usr/bin/shifterctl" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z-]*\).*/\1/p'); do
  grep -qxF ".SS \"${command//-/\\-}\"" <<<"$page" || { echo "shifterctl(1) has no section for $command" >&2; exit 1; }
done
grep -q "for gears also" <<<"$page" || { echo "shifterctl(1) does not say what gears exits with" >&2; exit 1; }
# The package recommends what loads its bash completion.
dpkg-deb -f "$deb" Recommends | grep -qw bash-completion || { echo "The package does not recommend bash-completion" >&2; exit 1; }

# The postinst triggers the box's hidraw nodes only: run it with a udevadm
# that logs its arguments, over a sysfs of three USB devices (the box, the
# same vendor with another product, another vendor with the box's product),
# in a mount namespace of its own so that nothing real is touched.
rule="$tree/usr/lib/udev/rules.d/70-shifter.rules"
vendor=$(sed -n 's/.*idVendor}=="\([0-9a-f]*\)".*/\1/p' "$rule" | head -n1)
product=$(sed -n 's/.*idProduct}=="\([0-9a-f]*\)".*/\1/p' "$rule" | head -n1)
work="$build/postinst-test"
rm -rf "$work"
mkdir -p "$work/bin"
dpkg-deb -e "$deb" "$work/control"
printf '#!/bin/sh\necho "udevadm $*" >>"%s"\n' "$work/log" >"$work/bin/udevadm"
chmod +x "$work/bin/udevadm"
if unshare -m true 2>/dev/null; then
  unshare -m sh -euc '
    mount -t tmpfs none /sys && mount -t tmpfs none /run
    mkdir -p /run/udev /sys/bus/usb/devices
    perl -MIO::Socket::UNIX -e "IO::Socket::UNIX->new(Local => q(/run/udev/control), Listen => 1) or die"
    usb() { mkdir "/sys/bus/usb/devices/$1"; echo "$2" >"/sys/bus/usb/devices/$1/idVendor"; echo "$3" >"/sys/bus/usb/devices/$1/idProduct"; }
    usb 1-1 "$2" "$3"; usb 1-2 "$2" ffff; usb 1-3 abcd "$3"
    PATH="$1:$PATH" sh "$4" configure
    PATH="$1:$PATH" sh "$5" upgrade
    PATH="$1:$PATH" sh "$5" remove' sh "$work/bin" "$vendor" "$product" "$work/control/postinst" "$work/control/postrm"
  # The same two calls after the install and after the removal, none on an upgrade.
  expected="udevadm control --reload-rules
udevadm trigger --action=change --subsystem-match=hidraw --parent-match=/sys/bus/usb/devices/1-1
udevadm control --reload-rules
udevadm trigger --action=change --subsystem-match=hidraw --parent-match=/sys/bus/usb/devices/1-1"
  if [ "$(cat "$work/log")" != "$expected" ]; then
    echo "The postinst and postrm ran, for a box $vendor:$product among others:" >&2
    cat "$work/log" >&2
    exit 1
  fi
else
  echo "No mount namespace may be made here: the postinst's run is not checked."
fi
echo "Package checks passed."
