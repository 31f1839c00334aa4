#!/usr/bin/python3
"""The time STARTTLS adds to one test mail: N sends in clear and N with STARTTLS, alternating,
through aiosmtpd on loopback (tests/mail/smtp_sink.py), each a whole mail_probe run.

usage: bench/mail/tls_send_cost.py PROBE [N]   (PROBE: the mail_probe executable, N default 20)
"""
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests" / "mail"))
import mail_integration as m  # noqa: E402


def one_send(probe, port, security, cert):
    command = [probe, "test-mail", "--smtp", f"127.0.0.1:{port}", "--smtp-security", security,
               "--from", "alarm@example.com", "--to", "me@example.org"]
    environment = dict(os.environ, LANG="C.UTF-8", **m.trusting(cert))
    started = time.perf_counter()
    result = subprocess.run(command, capture_output=True, env=environment, timeout=60)
    elapsed = time.perf_counter() - started
    if result.returncode != 0:
        sys.exit(f"{security} send failed: {result.stderr.decode(errors='replace')}")
    return elapsed


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    probe, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 20
    with tempfile.TemporaryDirectory() as certs:
        cert = m.make_certificate(certs, "bench")
        with m.smtp_sink() as (plain_port, _), m.smtp_sink(tls="starttls", cert=cert) as (tls_port, _):
            one_send(probe, plain_port, "none", cert[0])  # warm both paths once
            one_send(probe, tls_port, "starttls", cert[0])
            plain, tls = [], []
            for _ in range(count):
                plain.append(one_send(probe, plain_port, "none", cert[0]))
                tls.append(one_send(probe, tls_port, "starttls", cert[0]))
    # The fastest run shows the work itself; the median also shows what a busy machine adds.
    for name, pick in (("fastest", min), ("median", statistics.median)):
        p, t = pick(plain) * 1000, pick(tls) * 1000
        print(f"{count} sends each, {name} whole run: plain {p:.1f} ms, STARTTLS {t:.1f} ms, "
              f"added {t - p:.1f} ms, ratio {t / p:.2f}")


if __name__ == "__main__":
    main()
