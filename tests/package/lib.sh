# Sourced by the package tests: a scratch folder removed at exit, failures, free ports, waiting for a line.
set -euo pipefail
WORK=$(mktemp -d)
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_for FILE TEXT [SECONDS]: until FILE holds TEXT (a fixed string).
wait_for() {
    local i
    for i in $(seq 1 $((${3:-20} * 10))); do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "--- $1:" >&2
    cat "$1" >&2 2>/dev/null || true
    fail "no '$2' in $1"
}

# Nothing in these tests may reach beyond this machine: the live rates point at a closed loopback port.
export QUORVANE_ECB_URL=http://127.0.0.1:1/eurofxref-daily.xml
export QUORVANE_INTRADAY_URL=http://127.0.0.1:1/exchange-rates
export XDG_CACHE_HOME=$WORK/cache XDG_STATE_HOME=$WORK/state XDG_CONFIG_HOME=$WORK/config
mkdir -m 700 "$WORK/runtime"
export XDG_RUNTIME_DIR=$WORK/runtime
