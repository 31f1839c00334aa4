#!/usr/bin/env bash
# Makes the Debian package of the build, reads its contents and dependencies, unpacks it and runs a program
# from it.
#   deb.sh BUILD_DIR [CPACK]
. "$(dirname "$0")/lib.sh"
BUILD=$1
CPACK=${2:-cpack}
"$CPACK" --config "$BUILD/CPackConfig.cmake" -G DEB -B "$WORK/out" >"$WORK/cpack.log" || {
    cat "$WORK/cpack.log" >&2
    fail "cpack failed"
}
DEB=$(echo "$WORK"/out/quorvane_*.deb)
[ -f "$DEB" ] || fail "no quorvane_*.deb in $(ls "$WORK/out")"

contents=$(dpkg-deb -c "$DEB")
for f in usr/bin/quorvane usr/bin/quorvanectl usr/bin/quorvane-rated usr/share/quorvane/eurofxref-daily.xml \
    usr/share/quorvane/help/index.html usr/share/applications/org.quorvane.Quorvane.desktop \
    usr/share/metainfo/org.quorvane.Quorvane.metainfo.xml usr/share/icons/hicolor/48x48/apps/quorvane.png; do
    grep -q " \./$f\$" <<<"$contents" || fail "$f is not in the package"
done
# The dependencies come from the binaries' libraries.
depends=$(dpkg-deb -f "$DEB" Depends)
for lib in libqt6widgets6 libcurl4 libxml2 libsodium23; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

dpkg -x "$DEB" "$WORK/root"
help=$("$WORK/root/usr/bin/quorvanectl" --help) || fail "the unpacked quorvanectl --help failed"
grep -q "rate FROM TO" <<<"$help" || fail "the unpacked quorvanectl --help says: $help"
echo "package $(basename "$DEB") OK"
