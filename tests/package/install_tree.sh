#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a desktop sees it: the files in place, the
# menu entry and metainfo valid, and the installed programs finding each other and their data from the prefix.
#   install_tree.sh BUILD_DIR
. "$(dirname "$0")/lib.sh"
BUILD=$1
CMAKE=${2:-cmake}
PREFIX=$WORK/prefix
"$CMAKE" --install "$BUILD" --prefix "$PREFIX" >/dev/null

ID=org.quorvane.Quorvane
for f in bin/quorvane bin/quorvanectl bin/quorvane-rated share/quorvane/help/index.html \
    share/quorvane/eurofxref-daily.xml share/quorvane/quorvane.ini share/applications/$ID.desktop share/metainfo/$ID.metainfo.xml \
    share/icons/hicolor/scalable/apps/quorvane.svg; do
    [ -s "$PREFIX/$f" ] || fail "$f is not installed"
done
for size in 16 24 32 48 64 128 256; do
    png=$PREFIX/share/icons/hicolor/${size}x$size/apps/quorvane.png
    [ "$(identify -format '%wx%h' "$png")" = "${size}x$size" ] || fail "$png is not ${size}x$size"
done
grep -qx 'Icon=quorvane' "$PREFIX/share/applications/$ID.desktop" || fail "the entry names another icon"
desktop-file-validate "$PREFIX/share/applications/$ID.desktop"
appstreamcli validate --no-net "$PREFIX/share/metainfo/$ID.metainfo.xml" >/dev/null ||
    appstreamcli validate --no-net --explain "$PREFIX/share/metainfo/$ID.metainfo.xml" >&2

# The installed service, its rates from the prefix (the live source is unreachable, nothing is cached).
PORT=$(free_port)
"$PREFIX/bin/quorvane-rated" --listen "127.0.0.1:$PORT" 2>"$WORK/rated.log" &
PIDS+=($!)
wait_for "$WORK/rated.log" "listening on"
grep -qF "of 2022-07-08 from $PREFIX/share/quorvane/eurofxref-daily.xml" "$WORK/rated.log" ||
    fail "the service did not take the prefix's rates: $(cat "$WORK/rated.log")"
rate=$("$PREFIX/bin/quorvanectl" rate USD JPY --wsdl "http://127.0.0.1:$PORT/CurrencyConvertor.asmx?wsdl")
[[ "$rate" == 135.835875* ]] || fail "quorvanectl rate USD JPY gave '$rate'"

# The installed program's first start: the starter settings (monitoring on) in the user's folder, and the
# service beside it started and stopped.
APP_PORT=$(free_port)
QT_QPA_PLATFORM=offscreen QUORVANE_SERVICE_PORT=$APP_PORT "$PREFIX/bin/quorvane" 2>"$WORK/app.log" &
APP=$!
PIDS+=($APP)
LOG=$XDG_STATE_HOME/quorvane/quorvane-rated.log
wait_for "$LOG" "EUR/USD 1.0163" 30
kill -TERM "$APP"
wait "$APP" || fail "the program ended with status $?: $(cat "$WORK/app.log")"
grep -qF "from $PREFIX/share/quorvane/eurofxref-daily.xml" "$LOG" || fail "the started service used other rates"
grep -qF "quorvane-rated stopped" "$LOG" || fail "the service was not stopped with the program"
grep -q '^LOCATE_X=' <(tr -d '\r' <"$XDG_CONFIG_HOME/quorvane/quorvane.ini") || fail "settings not saved"
[ ! -e "$PREFIX/bin/quorvane.ini" ] || fail "the installed program wrote its settings beside itself"
echo "install tree OK"
