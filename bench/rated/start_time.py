#!/usr/bin/env python3
"""How long quorvane-rated takes from its start until it accepts connections: the wait Quorvane has at
start-up when it starts the service itself. Goal: well under a second (the program gives up after five).

    bench/rated/start_time.py [QUORVANE_RATED] [RUNS]   (default build/release/rated/quorvane-rated, 10)

The live source points at a closed loopback port and the cache at a temporary folder, as on a machine
without network: the service starts from the shipped rates.
"""
import os
import socket
import subprocess
import sys
import tempfile
import time

exe = sys.argv[1] if len(sys.argv) > 1 else "build/release/rated/quorvane-rated"
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
with tempfile.TemporaryDirectory() as cache:
    env = dict(os.environ, QUORVANE_ECB_URL="http://127.0.0.1:1/eurofxref-daily.xml", XDG_CACHE_HOME=cache)
    times = []
    for _ in range(runs):
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
        probe.close()
        start = time.monotonic()
        service = subprocess.Popen([exe, "--listen", f"127.0.0.1:{port}"], stderr=subprocess.DEVNULL, env=env)
        while time.monotonic() - start < 5:
            with socket.socket() as client:
                if client.connect_ex(("127.0.0.1", port)) == 0:
                    break
            time.sleep(0.001)
        times.append(time.monotonic() - start)
        service.terminate()
        service.wait()
times.sort()
print(f"start until answering, {runs} runs: min {times[0] * 1000:.1f} ms, "
      f"median {times[len(times) // 2] * 1000:.1f} ms, max {times[-1] * 1000:.1f} ms")
