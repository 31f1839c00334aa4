#!/usr/bin/python3
"""An SMTP server on 127.0.0.1 for the mail tests, built on aiosmtpd.

Writes every message it accepts to DIR/N.eml and its envelope to DIR/N.json, optionally asks for
AUTH (LOGIN, or the mechanisms given) with one user name and password, optionally with STARTTLS
required or TLS from the first byte, and prints "PORT <n>" once it listens on a port of the
system's choice. Runs until stdin closes or it is terminated.
"""
import argparse
import asyncio
import json
import pathlib
import ssl
import sys
import threading

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Sink:
    def __init__(self, directory):
        self.directory = pathlib.Path(directory)
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = self.directory / str(self.count)
        stem.with_suffix(".eml").write_bytes(envelope.original_content or envelope.content)
        stem.with_suffix(".json").write_text(json.dumps({
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "authenticated": bool(session.authenticated),
            "login": session.auth_data[0] if session.auth_data else None,
            "mechanism": session.auth_data[1] if session.auth_data else None,
            "tls": server.transport.get_extra_info("sslcontext") is not None or session.ssl is not None,
        }))
        return "250 OK stored"


def make_authenticator(user, password, mechanisms):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (mechanism in mechanisms and isinstance(auth_data, LoginPassword)
              and auth_data.login.decode() == user and auth_data.password.decode() == password)
        return AuthResult(success=ok, handled=False, auth_data=(user, mechanism) if ok else None)
    return authenticate


async def serve(args):
    sink = Sink(args.dir)
    options = {}
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    if args.auth:
        user, password = args.auth.split(":", 1)
        mechanisms = args.mechanisms.split(",") if args.mechanisms is not None else ["LOGIN"]
        options = dict(authenticator=make_authenticator(user, password, mechanisms), auth_required=True,
                       auth_require_tls=args.tls == "starttls",
                       auth_exclude_mechanism=[m for m in ("LOGIN", "PLAIN") if m not in mechanisms])
    if args.tls == "starttls":
        options.update(tls_context=context, require_starttls=True)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(sink, hostname="sink.test", decode_data=False, **options), "127.0.0.1", 0,
        ssl=context if args.tls == "implicit" else None)
    print("PORT", server.sockets[0].getsockname()[1], flush=True)
    stop = asyncio.Event()
    threading.Thread(target=lambda: (sys.stdin.read(), loop.call_soon_threadsafe(stop.set)),
                     daemon=True).start()
    await stop.wait()
    server.close()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--auth", help="USER:PASSWORD; AUTH is then required")
    parser.add_argument("--mechanisms", help="the AUTH mechanisms offered, LOGIN and/or PLAIN (default LOGIN)")
    parser.add_argument("--tls", choices=["starttls", "implicit"], help="STARTTLS required, or TLS from the first byte")
    parser.add_argument("--cert", help="certificate (PEM) for --tls")
    parser.add_argument("--key", help="its private key (PEM)")
    asyncio.run(serve(parser.parse_args()))
