#!/usr/bin/env bash
# Checks the Debian package as a user receives it: its files, Debian's own checker (lintian),
# its control fields, its desktop metadata and manual page, and the installed program
# starting and quitting on a real display.
# Usage: check_package.sh PACKAGE.deb VERSION E2E-SUITE-FOLDER
set -euo pipefail
deb=$1 version=$2 suite=$3
id=org.limbrik.animator
failed=0
fail() { echo "check_package: $*" >&2; failed=1; }

contents=$(dpkg-deb -c "$deb")
for file in usr/bin/limbrik usr/share/applications/$id.desktop usr/share/icons/hicolor/scalable/apps/$id.svg \
            usr/share/metainfo/$id.metainfo.xml usr/share/doc/limbrik/copyright usr/share/doc/limbrik/changelog.gz \
            usr/share/man/man1/limbrik.1.gz usr/share/man/de/man1/limbrik.1.gz; do
  grep -q " \./$file\$" <<<"$contents" || fail "missing /$file"
done

[ "$(dpkg-deb -f "$deb" Package)" = limbrik ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
for needed in libqt6core6 libqt6gui6 libqt6widgets6 libc6 libstdc++6 qt6-translations-l10n; do
  grep -qxF "$needed" <<<"$names" || fail "Depends lacks $needed: $depends"
done
lintian --fail-on error,warning "$deb" || fail "lintian"
apt-get install --simulate --no-install-recommends "$(realpath "$deb")" >/dev/null || fail "Depends do not resolve"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
file "$root/usr/bin/limbrik" | grep -q ', stripped' || fail "the binary is not stripped"
grep -q 'MIT License\|Permission is hereby granted' "$root/usr/share/doc/limbrik/copyright" || fail "no licence"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop file"
appstreamcli validate --pedantic --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo"
zcat "$root/usr/share/man/man1/limbrik.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "manual page"
zcat "$root/usr/share/man/de/man1/limbrik.1.gz" | grep -q '^\.SH RÜCKGABEWERT' || fail "German manual page"
grep -qE 'https?://' "$root/usr/share/metainfo/$id.metainfo.xml" && fail "metainfo names an address, and the project has none yet"

# The installed program, started and quit by the process-level suite.
LIMBRIK_BINARY="$root/usr/bin/limbrik" /usr/bin/python3 -m pytest -x -q -p no:cacheprovider "$suite" \
  -k 'new_with_no or close_box_asks' || fail "the installed program did not start and quit cleanly"

[ "$failed" = 0 ] && echo "check_package: $deb is sound"
exit "$failed"
