#!/usr/bin/env bash
# The Debian package of the build tree that holds the program: what it installs, its Depends,
# Debian's own checker, and the validators of the desktop entry, the AppStream metadata and the
# man page.
source "$(dirname "$0")/lib.sh"

build=$(dirname "$CANTRIX")
version=$("$CANTRIX" --version | cut -d' ' -f2)
cpack --config "$build/CPackConfig.cmake" -B "$WORK/package" >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log"; fail "cpack"; }
packages=("$WORK"/package/*.deb)
check "one package, named for Debian (${packages[*]})" [ "${packages[*]}" = "$WORK/package/cantrix_${version}_amd64.deb" ]
deb=${packages[0]}

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }')
expected="./usr/bin/cantrix
./usr/share/applications/cantrix.desktop
./usr/share/cantrix/cantrix.html
./usr/share/doc/cantrix/changelog.gz
./usr/share/doc/cantrix/copyright
./usr/share/icons/hicolor/128x128/apps/cantrix.png
./usr/share/icons/hicolor/16x16/apps/cantrix.png
./usr/share/icons/hicolor/32x32/apps/cantrix.png
./usr/share/icons/hicolor/48x48/apps/cantrix.png
./usr/share/icons/hicolor/scalable/apps/cantrix.svg
./usr/share/man/man1/cantrix.1.gz
./usr/share/metainfo/com.quillonics.cantrix.metainfo.xml"
check "the package holds exactly the program's files under /usr ($files)" [ "$(sort <<<"$files")" = "$expected" ]
check "version" [ "$(dpkg-deb -f "$deb" Version)" = "$version" ]
depends=$(dpkg-deb -f "$deb" Depends)
for library in libmp3lame0 libqt6widgets6 libmpg123-0 libtag1v5 libc6; do
  check "Depends names $library ($depends)" grep -qE "(^|, )$library( |,|$)" <<<"$depends"
done
check "Recommends the event sounds' PulseAudio back end" [ "$(dpkg-deb -f "$deb" Recommends)" = libcanberra-pulse ]
set +e; findings=$(lintian --fail-on error,warning "$deb" 2>&1); status=$?; set -e
check "lintian finds no error and no warning ($findings)" [ "$status" -eq 0 ]

root="$WORK/root"
dpkg-deb -x "$deb" "$root"
check "the packaged program runs" bash -c "'$root/usr/bin/cantrix' --version >/dev/null"
doc="$root/usr/share/doc/cantrix"
zcat "$doc/changelog.gz" >"$WORK/changelog"
check "the changelog's latest entry is this version" [ "$(dpkg-parsechangelog -l "$WORK/changelog" -S Version)" = "$version" ]
licence=$(awk -v RS= '/^License: Expat\n/' "$doc/copyright" | sed -e 1d -e 's/^ //' -e 's/^\.$//')
check "the copyright file holds the text of LICENSE" [ "$licence" = "$(sed 1,4d "$(dirname "$0")/../../LICENSE")" ]
check "the packaged program is stripped" bash -c "! readelf -S '$root/usr/bin/cantrix' | grep -q '\.debug_info'"
check "desktop-file-validate passes" desktop-file-validate "$root/usr/share/applications/cantrix.desktop"
metainfo="$root/usr/share/metainfo/com.quillonics.cantrix.metainfo.xml"
set +e; validation=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1); status=$?; set -e
no_remarks() { [ "$status" -eq 0 ] && ! grep -qE '^[EWIP]: ' <<<"$validation"; }
check "appstreamcli validate --pedantic passes without a remark ($validation)" no_remarks
check "metainfo names this release" grep -qF "<release version=\"$version\"" "$metainfo"

zcat "$root/usr/share/man/man1/cantrix.1.gz" >"$WORK/cantrix.1"
check "the man page renders without groff warnings" bash -c "groff -man -ww -z '$WORK/cantrix.1' 2>&1 | (! grep .)"
page=$(groff -man -Tascii -P-cbou "$WORK/cantrix.1")
for option in $("$CANTRIX" --help | grep -oE '^  --[a-z-]+'); do
  check "the man page explains $option" grep -qE "^ +$option" <<<"$page"
done
for section in SYNOPSIS WINDOW FILES EXAMPLES; do
  check "the man page has $section" grep -qx "$section" <<<"$page"
done

finish
