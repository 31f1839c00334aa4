#!/usr/bin/env bash
# Requests per second and p99 latency of ConversionRate: starts the release quorvane-rated on a free
# loopback port and loads it with wrk. Goal on 2 cores: at least 10,000 requests/s with p99 under 5 ms.
# Settings: DURATION (default 10s), CONNECTIONS (8), THREADS (1, wrk's own), BUILD (build/release).
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${BUILD:-build/release}
DURATION=${DURATION:-10s}
CONNECTIONS=${CONNECTIONS:-8}
THREADS=${THREADS:-1}

command -v wrk >/dev/null || { echo "load.sh: wrk is missing; run scripts/setup" >&2; exit 1; }
if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF >/dev/null
fi
cmake --build "$BUILD" -j 2 --target quorvane-rated >/dev/null

. scripts/lib-rated.sh
log=$(mktemp)
rated_start "$BUILD/rated/quorvane-rated" "$log"
trap 'rated_stop; rm -f "$log"' EXIT

echo "load.sh: $(nproc) cores, wrk -t$THREADS -c$CONNECTIONS -d$DURATION against $RATED_ENDPOINT"
wrk -t"$THREADS" -c"$CONNECTIONS" -d"$DURATION" --latency -s bench/rated/conversion.lua "$RATED_ENDPOINT" |
    grep -E "Requests/sec|99%|ConversionRate:|Non-2xx|Socket errors"
