#!/usr/bin/env bash
# The monitor cycle of eight slots against the cycle of one, ratios measured in one run: against a
# loopback service that answers after DELAY_MS (100) and against the release quorvane-rated.
# Settings: BUILD (default build/release), CYCLES (30), RATED_CYCLES (500), DELAY_MS (100).
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${BUILD:-build/release}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_GUI=ON -DQUORVANE_TESTS=OFF \
    -DQUORVANE_BENCH=ON >/dev/null
nice -n 10 cmake --build "$BUILD" -j 2 --target quorvane-rated bench_cycle >/dev/null

. scripts/lib-rated.sh
log=$(mktemp)
rated_start "$BUILD/rated/quorvane-rated" "$log" --simulate
trap 'rated_stop; rm -f "$log"' EXIT

echo "cycle.sh: $(nproc) cores, delayed service ${DELAY_MS:-100} ms, quorvane-rated at $RATED_DESCRIPTION"
"$BUILD/bench/app/bench_cycle" "$RATED_DESCRIPTION" "${CYCLES:-30}" "${RATED_CYCLES:-500}" "${DELAY_MS:-100}"
