# Sourced by scripts: runs quorvane-rated in the background for as long as the calling script lives.
#
#   . scripts/lib-rated.sh
#   rated_start BINARY LOGFILE [ARGUMENTS...]
#
# Listens on 127.0.0.1:$RATED_PORT (a free port when RATED_PORT is unset), waits until the service answers
# and sets RATED_PID, RATED_PORT, RATED_ENDPOINT and RATED_DESCRIPTION. It stops the service when the
# script exits (an EXIT trap calling rated_stop, unless the script set one of its own: that one must call
# rated_stop).

rated_free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

rated_stop() {
    if [ -n "${RATED_PID:-}" ]; then
        kill -TERM "$RATED_PID" 2>/dev/null || true
        wait "$RATED_PID" 2>/dev/null || true
        RATED_PID=""
    fi
}

rated_start() {
    local binary=$1 log=$2
    shift 2
    RATED_PORT=${RATED_PORT:-$(rated_free_port)}
    RATED_ENDPOINT="http://127.0.0.1:$RATED_PORT/CurrencyConvertor.asmx"
    RATED_DESCRIPTION="$RATED_ENDPOINT?wsdl"
    "$binary" --listen "127.0.0.1:$RATED_PORT" "$@" 2>>"$log" &
    RATED_PID=$!
    # A caller's own EXIT trap (which calls rated_stop) is kept, or what it cleans up would be left behind.
    [ -n "$(trap -p EXIT)" ] || trap rated_stop EXIT
    local i
    for i in $(seq 1 100); do
        if curl -fsS -m 2 -o /dev/null "$RATED_DESCRIPTION" 2>/dev/null; then
            return 0
        fi
        if ! kill -0 "$RATED_PID" 2>/dev/null; then
            echo "quorvane-rated did not start:" >&2
            tail -n 5 "$log" >&2
            RATED_PID=""
            return 1
        fi
        sleep 0.1
    done
    echo "quorvane-rated does not answer at $RATED_DESCRIPTION" >&2
    rated_stop
    return 1
}
