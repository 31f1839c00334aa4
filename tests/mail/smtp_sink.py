#!/usr/bin/python3
"""An SMTP server on 127.0.0.1 for the mail tests, built on aiosmtpd.

Writes every message it accepts to DIR/N.eml and its envelope to DIR/N.json, optionally asks for
AUTH LOGIN with one user name and password, and prints "PORT <n>" once it listens on a port of
the system's choice. Runs until stdin closes or it is terminated.
"""
import argparse
import asyncio
import json
import pathlib
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
            "login": session.auth_data,
        }))
        return "250 OK stored"


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (mechanism == "LOGIN" and isinstance(auth_data, LoginPassword)
              and auth_data.login.decode() == user and auth_data.password.decode() == password)
        return AuthResult(success=ok, handled=False, auth_data=user if ok else None)
    return authenticate


async def serve(args):
    sink = Sink(args.dir)
    options = {}
    if args.auth:
        user, password = args.auth.split(":", 1)
        options = dict(authenticator=make_authenticator(user, password), auth_required=True,
                       auth_require_tls=False, auth_exclude_mechanism=["PLAIN"])
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(sink, hostname="sink.test", decode_data=False, **options), "127.0.0.1", 0)
    print("PORT", server.sockets[0].getsockname()[1], flush=True)
    stop = asyncio.Event()
    threading.Thread(target=lambda: (sys.stdin.read(), loop.call_soon_threadsafe(stop.set)),
                     daemon=True).start()
    await stop.wait()
    server.close()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--auth", help="USER:PASSWORD; AUTH LOGIN is then required")
    asyncio.run(serve(parser.parse_args()))
