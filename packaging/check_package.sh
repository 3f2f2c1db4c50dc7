#!/bin/sh
# The Debian package, made from this build tree with CPack and unpacked into
# a throwaway root (dpkg -x):
#  - it is named velmor_VERSION_amd64.deb and its Depends come from the
#    binaries (libc6, Qt's libraries) rather than from a hand-written list,
#    plus Qt's translations for its dialogs in French;
#  - the installed velmor-db and velmor print the version, and velmor-db
#    makes a working demonstration database;
#  - the menu entry passes desktop-file-validate, the metainfo passes
#    appstreamcli validate, and the icon and manual pages are where the
#    desktop and man look for them.
# Usage: check_package.sh BUILD_DIR VERSION
build="$1"
version="$2"
. "$(dirname "$0")/../scripts/check_lib.sh"
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli; do
    command -v $tool > /dev/null || { echo "outil manquant : $tool (scripts/install-packages.sh l'installe)"; exit 1; }
done

(cd "$build" && cpack -G DEB -B "$tmp/out" > "$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; exit 1; }
deb="$tmp/out/velmor_${version}_amd64.deb"
[ -f "$deb" ] || { fail "paquet absent : $(ls "$tmp/out")"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 libqt6printsupport6 qt6-translations-l10n; do
    echo "$depends" | grep -q "$library" || fail "Depends sans $library : $depends"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version du paquet : $(dpkg-deb -f "$deb" Version)"

root="$tmp/root"
dpkg -x "$deb" "$root" || fail "dpkg -x"
[ "$("$root/usr/bin/velmor-db" --version)" = "velmor-db $version" ] || fail "velmor-db --version"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velmor" --version)" = "velmor $version" ] ||
    fail "velmor --version"
"$root/usr/bin/velmor-db" demo "$tmp/démo.mdb" > /dev/null || fail "velmor-db demo"
"$root/usr/bin/velmor-db" check "$tmp/démo.mdb" > "$tmp/check" || fail "velmor-db check : $(cat "$tmp/check")"
loans=$("$root/usr/bin/velmor-db" count "$tmp/démo.mdb" tablep)
[ "${loans:-0}" -gt 0 ] || fail "base de démonstration sans prêt : $loans"

desktop="$root/usr/share/applications/fr.velmor.Velmor.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -q '^Categories=Office;$' "$desktop" || fail "catégorie du menu"
grep -q '^Comment=.*matériel' "$desktop" || fail "commentaire du menu"
appstreamcli validate --no-net "$root/usr/share/metainfo/fr.velmor.Velmor.metainfo.xml" || fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/fr.velmor.Velmor.metainfo.xml" ||
    fail "version de la metainfo"
for size in 16 32 48 256; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/velmor.png"
    # A PNG's width and height: big-endian 32-bit numbers at bytes 16 to 23.
    dims=$(od -An -tu4 --endian=big -j16 -N8 "$png" 2> /dev/null | tr -s ' ')
    [ "$dims" = " $size $size" ] || fail "icône ${size}x$size : $dims"
done
for page in velmor velmor-db; do
    gzip -dc "$root/usr/share/man/man1/$page.1.gz" 2> /dev/null | grep -q "^\.SH NOM" || fail "page de manuel $page(1)"
done
[ $failures -eq 0 ] && echo "paquet Debian : tout va bien"
[ $failures -eq 0 ]
