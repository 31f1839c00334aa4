#!/usr/bin/python3
"""The mail module against real servers on loopback: aiosmtpd (tests/mail/smtp_sink.py) for SMTP
and Dovecot for POP before SMTP, in clear and over TLS with certificates made here. The received
messages are read back with Python's email package; a relay records what the client sends.

usage: mail_integration.py PROBE   (PROBE: the mail_probe executable)
"""
import base64
import contextlib
import datetime
import grp
import email
import ipaddress
import email.utils
import email.header
import email.policy
import json
import os
import pathlib
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID

HERE = pathlib.Path(__file__).resolve().parent
PROBE = None
TIMEOUT = 60  # seconds for any one child process

SMTP_STEPS = ["SMTP 接続します。", "メールを送信します。", "メール送信完了。SMTP切断します。"]
POP_STEPS = ["POP 接続します。", "POP 接続完了。", "POP 切断します。", "POP 切断完了。"]
SENT = "メールを送信できました。"
LONG_NAME = "為替監視担当第一営業部東京本社国際金融課長代理"  # 21 kanji: more than one encoded word
NOT_SENT = "メールが送信できませんでした。"


def make_certificate(directory, stem, names=("127.0.0.1", "localhost"), valid_days=(-1, 1)):
    """A self-signed certificate for names, valid between the two day offsets from now; returns
    (certificate file, key file)."""
    key = ec.generate_private_key(ec.SECP256R1())
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "Quorvane test " + stem)])
    now = datetime.datetime.now(datetime.timezone.utc)
    alt_names = [x509.IPAddress(ipaddress.ip_address(n)) if n[0].isdigit() else x509.DNSName(n) for n in names]
    certificate = (x509.CertificateBuilder().subject_name(subject).issuer_name(subject)
                   .public_key(key.public_key()).serial_number(x509.random_serial_number())
                   .not_valid_before(now + datetime.timedelta(days=valid_days[0]))
                   .not_valid_after(now + datetime.timedelta(days=valid_days[1]))
                   .add_extension(x509.SubjectAlternativeName(alt_names), critical=False)
                   .sign(key, hashes.SHA256()))
    cert_file, key_file = pathlib.Path(directory) / (stem + ".crt"), pathlib.Path(directory) / (stem + ".key")
    cert_file.write_bytes(certificate.public_bytes(serialization.Encoding.PEM))
    key_file.write_bytes(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                           serialization.NoEncryption()))
    key_file.chmod(0o644)  # Dovecot reads it as root before it drops privileges; the folder is private
    return str(cert_file), str(key_file)


def trusting(cert_file):
    """Environment for the probe that trusts this certificate and nothing else."""
    return {"SSL_CERT_FILE": cert_file, "SSL_CERT_DIR": str(pathlib.Path(cert_file).parent / "no-such-dir")}


@contextlib.contextmanager
def recording_relay(target_port):
    """A TCP relay on loopback to target_port; yields (port, sent) where sent() gives the bytes each
    client connection sent, in order, once those connections have ended."""
    listener = socket.create_server(("127.0.0.1", 0))
    listener.settimeout(0.2)
    stop = threading.Event()
    connections = []  # (bytearray, thread pumping the client's bytes)
    sockets = []

    def pump(source, target, record):
        try:
            while data := source.recv(65536):
                if record is not None:
                    record += data
                target.sendall(data)
        except OSError:
            pass
        with contextlib.suppress(OSError):
            target.shutdown(socket.SHUT_WR)

    def serve():
        while not stop.is_set():
            try:
                client, _ = listener.accept()
            except (socket.timeout, OSError):
                continue
            upstream = socket.create_connection(("127.0.0.1", target_port))
            sockets.extend([client, upstream])
            record = bytearray()
            outgoing = threading.Thread(target=pump, args=(client, upstream, record), daemon=True)
            threading.Thread(target=pump, args=(upstream, client, None), daemon=True).start()
            outgoing.start()
            connections.append((record, outgoing))

    def sent():
        for _, thread in connections:
            thread.join(timeout=10)
        return [bytes(record) for record, _ in connections]

    server = threading.Thread(target=serve, daemon=True)
    server.start()
    try:
        yield listener.getsockname()[1], sent
    finally:
        stop.set()
        server.join()
        listener.close()
        for s in sockets:
            s.close()


def secret_forms(user, password):
    """The password as it would travel in clear: itself, in AUTH LOGIN and in AUTH PLAIN."""
    return [password.encode(), base64.b64encode(password.encode()),
            base64.b64encode(b"\0" + user.encode() + b"\0" + password.encode())]


@contextlib.contextmanager
def smtp_sink(auth=None, tls=None, cert=None, mechanisms=None):
    """Starts smtp_sink.py; yields (port, directory of received messages)."""
    with tempfile.TemporaryDirectory() as directory:
        command = [sys.executable, str(HERE / "smtp_sink.py"), "--dir", directory]
        if auth:
            command += ["--auth", auth]
        if mechanisms is not None:
            command += ["--mechanisms", mechanisms]
        if tls:
            command += ["--tls", tls, "--cert", cert[0], "--key", cert[1]]
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            line = process.stdout.readline()  # the sink prints its port once it listens
            if not line.startswith("PORT "):
                raise RuntimeError("SMTP sink did not start: %r" % line)
            yield int(line.split()[1]), pathlib.Path(directory)
        finally:
            process.stdin.close()
            process.stdout.close()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_pop3(port, process, deadline_seconds=20):
    deadline = time.monotonic() + deadline_seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError("dovecot ended with %s" % process.returncode)
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
                if s.makefile("rb").readline().startswith(b"+OK"):
                    return
        except OSError:
            time.sleep(0.05)  # not listening yet; bounded by the deadline
    raise RuntimeError("dovecot did not answer on port %d" % port)


@contextlib.contextmanager
def dovecot_pop3(user, password, cert=None):
    """Dovecot's POP3 server with one passwd-file user; yields its port. With cert (certificate
    and key files) it offers STLS on that port and yields (port, POP3S port)."""
    dovecot = shutil.which("dovecot") or "/usr/sbin/dovecot"
    if os.getuid() == 0:
        internal, login, mail_user = "dovecot", "dovenull", "dovecot"
    else:
        internal = login = mail_user = pwd.getpwuid(os.getuid()).pw_name
    with tempfile.TemporaryDirectory() as directory:
        root = pathlib.Path(directory)
        root.chmod(0o755)
        for sub in ("home", "mail"):
            (root / sub).mkdir(mode=0o1777)
            (root / sub).chmod(0o1777)
        (root / "passwd").write_text("%s:{PLAIN}%s\n" % (user, password))
        (root / "passwd").chmod(0o644)
        port = free_port()
        pop3s_port = free_port()
        if cert:
            ssl_settings = f"""ssl = required
ssl_cert = <{cert[0]}
ssl_key = <{cert[1]}
ssl_min_protocol = TLSv1.2"""
        else:
            ssl_settings = "ssl = no\ndisable_plaintext_auth = no"
        (root / "dovecot.conf").write_text(f"""
base_dir = {root}/run
state_dir = {root}/state
log_path = {root}/dovecot.log
instance_name = quorvane-test-{port}
protocols = pop3
listen = 127.0.0.1
{ssl_settings}
auth_mechanisms = plain
auth_failure_delay = 0
default_internal_user = {internal}
default_internal_group = {grp.getgrgid(pwd.getpwnam(internal).pw_gid).gr_name}
default_login_user = {login}
first_valid_uid = 1
mail_location = maildir:{root}/mail/%u
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {root}/passwd
}}
userdb {{
  driver = static
  args = uid={mail_user} gid={pwd.getpwnam(mail_user).pw_gid} home={root}/home/%u
}}
service pop3-login {{
  inet_listener pop3 {{
    port = {port}
  }}
  inet_listener pop3s {{
    port = {pop3s_port if cert else 0}
    ssl = yes
  }}
}}
""")
        process = subprocess.Popen([dovecot, "-F", "-c", str(root / "dovecot.conf")])
        try:
            wait_for_pop3(port, process)
            yield (port, pop3s_port) if cert else port
        finally:
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            log = root / "dovecot.log"
            if log.exists():
                sys.stderr.write(log.read_text(errors="replace")[-2000:])


def run_probe(*args, env=None):
    environment = dict(os.environ, LC_ALL="", LC_MESSAGES="", LANG="C.UTF-8")
    environment.update(env or {})
    result = subprocess.run([PROBE, *args], capture_output=True, text=True, timeout=TIMEOUT, env=environment)
    return result.returncode, result.stdout.splitlines(), result.stderr


def received(directory):
    """[(envelope, message)] in the order the sink accepted them."""
    out = []
    for eml in sorted(directory.glob("*.eml"), key=lambda p: int(p.stem)):
        raw = eml.read_bytes()
        envelope = json.loads(eml.with_suffix(".json").read_text())
        out.append((envelope, raw, email.message_from_bytes(raw, policy=email.policy.compat32)))
    return out


def decoded(value):
    return str(email.header.make_header(email.header.decode_header(value)))


class TestMailAgainstAiosmtpd(unittest.TestCase):
    def test_test_mail_arrives_with_seven_headers(self):
        with smtp_sink() as (port, directory):
            code, out, err = run_probe("test-mail", "--smtp", f"127.0.0.1:{port}", "--from", "alarm@example.com",
                                       "--to", "me@example.org")
            self.assertEqual(code, 0, err)
            self.assertEqual(out, SMTP_STEPS + [SENT])
            [(envelope, raw, message)] = received(directory)
        self.assertEqual(envelope["mail_from"], "alarm@example.com")
        self.assertEqual(envelope["rcpt_tos"], ["me@example.org"])
        self.assertEqual(message.keys(), ["From", "Subject", "To", "Content-Type", "Date", "X-Priority", "X-Library"])
        self.assertEqual(message["From"], "alarm@example.com")
        self.assertEqual(message["Subject"], "Quorvane TestMail")
        self.assertEqual(message["To"], "me@example.org")
        self.assertEqual(message["Content-Type"], "text/plain")
        self.assertEqual(message["X-Priority"], "3")
        self.assertEqual(message["X-Library"], "Indy 9.00.10")
        self.assertIsNotNone(email.utils.parsedate_tz(message["Date"]))
        self.assertEqual(message.get_payload(), "")
        self.assertTrue(raw.endswith(b"\r\n\r\n") or raw.endswith(b"\n\n"), raw[-20:])

    def test_alarm_mail_with_japanese_names_and_body(self):
        body_lines = [".", ".starts with a dot", "為替レートが上限を超えました。", "ｶﾞｿﾘﾝ ﾊﾟﾝ", "", "end"]
        subject = "USD/JPY 上限アラーム 150.2500 ドル円の為替レートが設定値を超えました（自動送信）"
        with smtp_sink() as (port, directory), tempfile.NamedTemporaryFile("w", encoding="utf-8") as body:
            body.write("\r\n".join(body_lines))
            body.flush()
            code, out, err = run_probe("send", f"127.0.0.1:{port}", subject, "為替アラーム <alarm@example.com>",
                                       "山田 太郎 <taro@example.org>; \"Sato, Hanako\" <hanako@example.org>; "
                                       + LONG_NAME + " <kacho@example.org>",
                                       body.name, env={"LANG": "ja_JP.UTF-8"})
            self.assertEqual((code, out), (0, ["sent"]), err)
            [(envelope, raw, message)] = received(directory)
        self.assertEqual(envelope["rcpt_tos"], ["taro@example.org", "hanako@example.org", "kacho@example.org"])
        self.assertEqual(message.keys(), ["From", "Subject", "To", "Content-Type", "Date", "X-Priority", "X-Library"])
        self.assertEqual(decoded(message["From"]), "為替アラーム <alarm@example.com>")
        self.assertIn("ISO-2022-JP", message["From"])
        self.assertEqual(decoded(message["Subject"]), subject)
        self.assertGreaterEqual(message["Subject"].count("=?ISO-2022-JP?B?"), 2)
        self.assertEqual(email.utils.getaddresses([decoded(message["To"])]),
                         [("山田 太郎", "taro@example.org"), ("Sato, Hanako", "hanako@example.org"),
                          (LONG_NAME, "kacho@example.org")])
        # The modern parser decodes every encoded word on its own. In a phrase it puts a blank
        # between adjacent encoded words, which RFC 2047 (6.2) says to drop.
        modern = email.message_from_bytes(raw, policy=email.policy.default)
        self.assertEqual(str(modern["Subject"]), subject)
        self.assertEqual(modern["To"].addresses[2].display_name.replace(" ", ""), LONG_NAME)
        for line in raw.split(b"\r\n\r\n", 1)[0].split(b"\r\n"):
            self.assertLessEqual(len(line), 78, line)
        text = message.get_payload(decode=True).decode("iso2022_jp")
        expected = [".", ".starts with a dot", "為替レートが上限を超えました。", "ガソリン パン", "", "end"]
        self.assertEqual(text.split("\r\n")[:len(expected)], expected)

    def test_auth_login(self):
        with smtp_sink(auth="quorvane:s3cret") as (port, directory):
            base = ["test-mail", "--smtp", f"127.0.0.1:{port}", "--auth", "login", "--user", "quorvane",
                    "--from", "alarm@example.com", "--to", "me@example.org"]
            code, out, err = run_probe(*base, "--password", "s3cret")
            self.assertEqual(code, 0, err)
            self.assertEqual(out, SMTP_STEPS + [SENT])
            code, out, err = run_probe(*base, "--password", "wrong")
            self.assertEqual(code, 1, err)
            self.assertEqual(out, SMTP_STEPS[:2] + ["メール送信中にエラー発生。", NOT_SENT])
            # Without authentication the server refuses the envelope.
            code, out, _ = run_probe("test-mail", "--smtp", f"127.0.0.1:{port}", "--from", "alarm@example.com",
                                     "--to", "me@example.org")
            self.assertEqual(out[-2:], ["メール送信中にエラー発生。", NOT_SENT])
            messages = received(directory)
        self.assertEqual(len(messages), 1)
        self.assertTrue(messages[0][0]["authenticated"])
        self.assertEqual(messages[0][0]["login"], "quorvane")


class TestPopBeforeSmtpAgainstDovecot(unittest.TestCase):
    def test_pop_before_smtp(self):
        with smtp_sink() as (port, directory), dovecot_pop3("taro", "p0p pass") as pop_port:
            base = ["test-mail", "--smtp", f"127.0.0.1:{port}", "--auth", "pop", "--pop", f"127.0.0.1:{pop_port}",
                    "--pop-user", "taro", "--from", "alarm@example.com", "--to", "me@example.org"]
            code, out, err = run_probe(*base, "--pop-password", "p0p pass")
            self.assertEqual(code, 0, err)
            self.assertEqual(out, POP_STEPS + SMTP_STEPS + [SENT])
            code, out, err = run_probe(*base, "--pop-password", "wrong")
            self.assertEqual(code, 1, err)
            self.assertEqual(out, ["POP 接続します。", "POP 接続エラー。", "POP 切断します。", "POP 切断完了。", NOT_SENT])
            self.assertEqual(len(received(directory)), 1)


USER, PASSWORD = "quorvane", "s3cret-空"
JAPANESE_FROM = "為替アラーム <alarm@example.com>"
SMTP_CONNECT_FAILED = ["SMTP 接続します。", "SMTP 接続中にエラー発生。", NOT_SENT]


class TestMailOverTls(unittest.TestCase):
    """STARTTLS (587) and TLS from the first byte (465) against aiosmtpd, recorded on the wire."""

    def setUp(self):
        self.certs = tempfile.TemporaryDirectory()
        self.addCleanup(self.certs.cleanup)
        self.cert = make_certificate(self.certs.name, "good")

    def send(self, port, security, *extra, env=None):
        return run_probe("test-mail", "--smtp", f"127.0.0.1:{port}", "--smtp-security", security,
                         "--auth", "login", "--user", USER, "--password", PASSWORD, "--from", JAPANESE_FROM,
                         "--to", "me@example.org", "--timeout", "5", *extra,
                         env=dict(trusting(self.cert[0]), LANG="ja_JP.UTF-8", **(env or {})))

    def assert_no_secret(self, wire):
        for form in secret_forms(USER, PASSWORD):
            self.assertNotIn(form, wire)

    def test_japanese_test_mail_with_auth_inside_tls(self):
        for tls, security, mechanisms, used in [("starttls", "starttls", "LOGIN,PLAIN", "LOGIN"),
                                                ("starttls", "starttls", "PLAIN", "PLAIN"),
                                                ("implicit", "tls", "LOGIN", "LOGIN")]:
            with self.subTest(security=security, mechanisms=mechanisms), \
                    smtp_sink(f"{USER}:{PASSWORD}", tls, self.cert, mechanisms) as (port, directory), \
                    recording_relay(port) as (relay, sent):
                code, out, err = self.send(relay, security)
                self.assertEqual((code, out), (0, SMTP_STEPS + [SENT]), err)
                [(envelope, _, message)] = received(directory)
                [wire] = sent()
            self.assertEqual((envelope["login"], envelope["mechanism"], envelope["tls"]), (USER, used, True))
            self.assertEqual(decoded(message["From"]), JAPANESE_FROM)
            self.assert_no_secret(wire)
            if security == "starttls":
                clear, _, protected = wire.partition(b"STARTTLS\r\n")
                self.assertTrue(clear.startswith(b"EHLO ") and clear.count(b"\r\n") == 1, clear)
            else:
                protected = wire
            self.assertEqual(protected[:2], b"\x16\x03", "no TLS handshake where it belongs")

    def test_no_starttls_or_no_usable_auth_fails_without_sending_in_clear(self):
        with smtp_sink(f"{USER}:{PASSWORD}") as (port, directory), recording_relay(port) as (relay, sent):
            code, out, err = self.send(relay, "starttls")
            self.assertEqual((code, out), (1, SMTP_CONNECT_FAILED), err)
            self.assertIn("STARTTLS", err)
            self.assertEqual(received(directory), [])
            [wire] = sent()
        self.assertRegex(wire, rb"^EHLO [^\r\n]+\r\nQUIT\r\n$")
        # Inside TLS a server that offers neither LOGIN nor PLAIN fails the send: no mail goes
        # out unauthenticated.
        with smtp_sink(f"{USER}:{PASSWORD}", "starttls", self.cert, "") as (port, directory):
            code, out, err = self.send(port, "starttls")
            self.assertEqual((code, out), (1, SMTP_STEPS[:2] + ["メール送信中にエラー発生。", NOT_SENT]), err)
            self.assertIn("neither AUTH LOGIN nor AUTH PLAIN", err)
            self.assertEqual(received(directory), [])

    def test_every_verification_failure_exits_1_with_its_reason(self):
        other = make_certificate(self.certs.name, "other", names=("mail.example.net",))
        expired = make_certificate(self.certs.name, "expired", valid_days=(-10, -1))
        unknown = make_certificate(self.certs.name, "unknown")
        cases = [("another host name", other, other[0], "starttls", "IP address mismatch"),
                 ("unknown authority", unknown, self.cert[0], "tls", "self-signed certificate"),
                 ("expired", expired, expired[0], "starttls", "certificate has expired")]
        for what, served, trusted, security, reason in cases:
            with self.subTest(what), smtp_sink(f"{USER}:{PASSWORD}", "implicit" if security == "tls" else "starttls",
                                               served) as (port, directory), recording_relay(port) as (relay, sent):
                code, out, err = self.send(relay, security, env=trusting(trusted))
                self.assertEqual((code, out), (1, SMTP_CONNECT_FAILED), err)
                self.assertIn("certificate verify failed: " + reason, err)
                self.assertEqual(received(directory), [])
                [wire] = sent()
                self.assert_no_secret(wire)
                self.assertNotIn(b"QUIT", wire)  # nothing in clear once TLS was asked for

    def test_a_server_that_hangs_up_in_the_handshake(self):
        # (One that stalls is in test_mail_sessions.cpp.)
        def hang_up(listener):
            connection, _ = listener.accept()
            with connection:
                connection.recv(10)  # part of the ClientHello, then gone

        with socket.create_server(("127.0.0.1", 0)) as listener:
            threading.Thread(target=hang_up, args=(listener,), daemon=True).start()
            code, out, err = self.send(listener.getsockname()[1], "tls", "--timeout", "5")
            self.assertEqual((code, out), (1, SMTP_CONNECT_FAILED), err)
            self.assertRegex(err, "TLS handshake: (connection closed by the server|.*reset)")


class TestPopBeforeSmtpOverTls(unittest.TestCase):
    def test_stls_and_pop3s(self):
        with tempfile.TemporaryDirectory() as certs:
            cert = make_certificate(certs, "pop")
            with smtp_sink() as (port, directory), dovecot_pop3("taro", "p0p pass", cert) as (pop_port, pop3s_port):
                for security, target in [("starttls", pop_port), ("tls", pop3s_port)]:
                    with self.subTest(security), recording_relay(target) as (relay, sent):
                        code, out, err = run_probe(
                            "test-mail", "--smtp", f"127.0.0.1:{port}", "--auth", "pop", "--pop",
                            f"127.0.0.1:{relay}", "--pop-security", security, "--pop-user", "taro",
                            "--pop-password", "p0p pass", "--from", "alarm@example.com", "--to", "me@example.org",
                            env=trusting(cert[0]))
                        self.assertEqual((code, out), (0, POP_STEPS + SMTP_STEPS + [SENT]), err)
                        [wire] = sent()
                    self.assertNotIn(b"p0p pass", wire)
                    self.assertNotIn(b"USER", wire)
                    protected = wire.partition(b"STLS\r\n")[2] if security == "starttls" else wire
                    self.assertEqual(protected[:2], b"\x16\x03")
                self.assertEqual(len(received(directory)), 2)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    PROBE = sys.argv.pop(1)
    unittest.main(verbosity=2)
