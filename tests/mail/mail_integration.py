#!/usr/bin/python3
"""The mail module against real servers on loopback: aiosmtpd (tests/mail/smtp_sink.py) for SMTP
and Dovecot for POP before SMTP. The received messages are read back with Python's email package.

usage: mail_integration.py PROBE   (PROBE: the mail_probe executable)
"""
import contextlib
import grp
import email
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
import time
import unittest

HERE = pathlib.Path(__file__).resolve().parent
PROBE = None
TIMEOUT = 60  # seconds for any one child process

SMTP_STEPS = ["SMTP 接続します。", "メールを送信します。", "メール送信完了。SMTP切断します。"]
POP_STEPS = ["POP 接続します。", "POP 接続完了。", "POP 切断します。", "POP 切断完了。"]
SENT = "メールを送信できました。"
NOT_SENT = "メールが送信できませんでした。"


@contextlib.contextmanager
def smtp_sink(auth=None):
    """Starts smtp_sink.py; yields (port, directory of received messages)."""
    with tempfile.TemporaryDirectory() as directory:
        command = [sys.executable, str(HERE / "smtp_sink.py"), "--dir", directory]
        if auth:
            command += ["--auth", auth]
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
def dovecot_pop3(user, password):
    """Dovecot's POP3 server with one passwd-file user; yields its port."""
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
        (root / "dovecot.conf").write_text(f"""
base_dir = {root}/run
state_dir = {root}/state
log_path = {root}/dovecot.log
instance_name = quorvane-test-{port}
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
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
}}
""")
        process = subprocess.Popen([dovecot, "-F", "-c", str(root / "dovecot.conf")])
        try:
            wait_for_pop3(port, process)
            yield port
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
                                       "山田 太郎 <taro@example.org>; \"Sato, Hanako\" <hanako@example.org>",
                                       body.name, env={"LANG": "ja_JP.UTF-8"})
            self.assertEqual((code, out), (0, ["sent"]), err)
            [(envelope, raw, message)] = received(directory)
        self.assertEqual(envelope["rcpt_tos"], ["taro@example.org", "hanako@example.org"])
        self.assertEqual(message.keys(), ["From", "Subject", "To", "Content-Type", "Date", "X-Priority", "X-Library"])
        self.assertEqual(decoded(message["From"]), "為替アラーム <alarm@example.com>")
        self.assertIn("ISO-2022-JP", message["From"])
        self.assertEqual(decoded(message["Subject"]), subject)
        self.assertGreaterEqual(message["Subject"].count("=?ISO-2022-JP?B?"), 2)
        self.assertEqual(email.utils.getaddresses([decoded(message["To"])]),
                         [("山田 太郎", "taro@example.org"), ("Sato, Hanako", "hanako@example.org")])
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


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    PROBE = sys.argv.pop(1)
    unittest.main(verbosity=2)
