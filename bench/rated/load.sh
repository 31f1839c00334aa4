#!/usr/bin/env bash
# Requests per second and p99 latency of ConversionRate: starts the release quorvane-rated on a free
# loopback port and loads it with wrk. Goals on 2 cores: at least 10,000 requests/s with p99 under 5 ms;
# with LIVE=1 CONNECTIONS=16, at least 30,000 requests/s with p99 under 2 ms.
# LIVE=1: the automatic source, its intraday rates (about 600 codes) and the ECB document both read every
# second from a loopback server while under load; otherwise the shipped rates file, never read again.
# Nothing reaches beyond this machine.
# Settings: DURATION (default 10s), CONNECTIONS (8), THREADS (1, wrk's own), BUILD (build/release), LIVE (0),
# DISTINCT (0; 1: every request's body is new to the service, see conversion.lua).
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${BUILD:-build/release}
DURATION=${DURATION:-10s}
CONNECTIONS=${CONNECTIONS:-8}
THREADS=${THREADS:-1}
LIVE=${LIVE:-0}

command -v wrk >/dev/null || { echo "load.sh: wrk is missing; run scripts/setup" >&2; exit 1; }
if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF >/dev/null
fi
cmake --build "$BUILD" -j 2 --target quorvane-rated >/dev/null

. scripts/lib-rated.sh
log=$(mktemp)
sources=$(mktemp -d)
SOURCE_PID=""
trap 'rated_stop; [ -z "$SOURCE_PID" ] || kill "$SOURCE_PID"; rm -rf "$log" "$sources"' EXIT

export QUORVANE_ECB_URL=http://127.0.0.1:1/eurofxref-daily.xml
export QUORVANE_INTRADAY_URL=http://127.0.0.1:1/exchange-rates
args=(--source ecb --rates rated/data/eurofxref-daily.xml)
if [ "$LIVE" = 1 ]; then
    python3 - "$sources/exchange-rates" <<'PY'
import json, sys
rates = {"USD": "1.0843", "JPY": "162.31", "GBP": "0.8457", "CHF": "0.9371", "AUD": "1.6402",
         "CAD": "1.4911", "CNY": "7.8412", "HKD": "8.4377", "SEK": "11.2104", "NOK": "11.7650"}
rates.update({"C%03d" % i: "0.%06d" % (i + 1) for i in range(590)})
json.dump({"data": {"currency": "EUR", "rates": rates}}, open(sys.argv[1], "w"))
PY
    cp rated/data/eurofxref-daily.xml "$sources/"
    port=$(rated_free_port)
    python3 -m http.server "$port" --bind 127.0.0.1 --directory "$sources" >/dev/null 2>"$sources/access.log" &
    SOURCE_PID=$!
    for _ in $(seq 1 50); do
        curl -fsS -m 1 -o /dev/null "http://127.0.0.1:$port/exchange-rates" 2>/dev/null && break
        sleep 0.1
    done
    export QUORVANE_INTRADAY_URL=http://127.0.0.1:$port/exchange-rates
    args=(--source auto --rates "http://127.0.0.1:$port/eurofxref-daily.xml" --refresh 1 --intraday-refresh 1)
fi
rated_start "$BUILD/rated/quorvane-rated" "$log" "${args[@]}"

echo "load.sh: $(nproc) cores, wrk -t$THREADS -c$CONNECTIONS -d$DURATION against $RATED_ENDPOINT (LIVE=$LIVE DISTINCT=${DISTINCT:-0})"
wrk -t"$THREADS" -c"$CONNECTIONS" -d"$DURATION" --latency -s bench/rated/conversion.lua "$RATED_ENDPOINT" |
    grep -E "Requests/sec|99%|ConversionRate:|Non-2xx|Socket errors"
if [ "$LIVE" = 1 ]; then
    echo "load.sh: reads from the loopback source: $(grep -c 'GET /exchange-rates' "$sources/access.log" || true)" \
         "intraday, $(grep -c 'GET /eurofxref-daily.xml' "$sources/access.log" || true) ECB"
fi
# The service's log without its time stamps, each line once with its count.
cut -d' ' -f2- "$log" | grep -E "^(source:|rates: |warning)" | sort | uniq -c | sort -rn | head -5 || true
