"""postrix.dll in winhost.exe under wine against the local Postfix and Dovecot.

Sends a chat message over plain SMTP with AUTH LOGIN and compares what lands
in the Maildir with what was sent, and with what the Linux host joxhost sends
for the same message when it is built ($JOXHOST, default build/joxhost);
checks the mailbox twice over plain POP3 and expects the second check to
announce the message delivered in between.
TLS is no part of it: the Windows test host has none, so the account runs
with MAIL/ssl=int:0 (no STARTTLS, POP3 without STLS).

    WINHOST=build-win/tests/windows/host/winhost.exe POSTRIX_DLL=build-win/postrix.dll \\
        python3 tests/windows/host/test_winhost_mail.py

Needs the servers of scripts/mailservers.sh running (`up`); without them it
exits with 77, which CTest counts as skipped (with POSTRIX_REQUIRE_MAILSERVERS=1
it fails instead). WINEPREFIX names the prefix
(made with scripts/wine-prefix.sh when it is not ready yet).
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402
from harness import Mailbox, Profile, mail_env  # noqa: E402

SKIP = 77
WINHOST = os.environ.get("WINHOST", os.path.join(ROOT, "build-win", "tests", "windows", "host", "winhost.exe"))
POSTRIX_DLL = os.environ.get("POSTRIX_DLL", os.path.join(ROOT, "build-win", "postrix.dll"))
WINEPREFIX = os.environ.get("WINEPREFIX", os.path.join(ROOT, "build-win", "wineprefix"))
JOXHOST = harness.JOXHOST = os.environ.get("JOXHOST", os.path.join(ROOT, "build", "joxhost"))
harness.MAILSERVERS = os.path.join(ROOT, "scripts", "mailservers.sh")

POLISH = "ąęłńóśźż ĄĘŁŃÓŚŹŻ"
SENT_TEXT = "Mail wysłany pomyślnie"


def servers_up():
    try:
        env = mail_env()
    except OSError:
        return None
    for port in (env["SMTP_PORT"], env["POP3_PORT"]):
        try:
            socket.create_connection(("127.0.0.1", int(port)), timeout=2).close()
        except OSError:
            return None
    return env


# Headers that differ from one sending to the next, whichever host sends.
VARYING_HEADERS = (b"Return-Path:", b"Delivered-To:", b"Received:", b"Date:", b"Message-Id:")


def without_varying_headers(raw):
    head, _, body = raw.partition(b"\r\n\r\n")
    kept, skipping = [], False
    for line in head.split(b"\r\n"):
        if not line.startswith((b" ", b"\t")):  # a continuation line belongs to the header above
            skipping = line.startswith(VARYING_HEADERS)
        if not skipping:
            kept.append(line)
    return b"\r\n".join(kept) + b"\r\n\r\n" + body


def windows_path(path):
    """The path as wine's Z: drive shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_env():
    # UTF-8 locale, so wine hands the Polish arguments over as they are; the
    # reachability probe before a check stays on this machine.
    return dict(os.environ, WINEPREFIX=WINEPREFIX, WINEDEBUG="-all", LC_ALL="C.UTF-8", DISPLAY="",
                POSTRIX_PROBE_HOST="127.0.0.1")


def events_of(stdout):
    return [json.loads(line) for line in stdout.splitlines() if line.startswith("{")]


class WinHost:
    """One account's settings file and the winhost commands on it."""

    def __init__(self, env):
        self.dir = tempfile.mkdtemp(prefix="postrix-winhost-")
        self.settings = os.path.join(self.dir, "settings.txt")
        with open(self.settings, "w", encoding="utf-8") as out:
            out.write(f"MAIL/mail={env['MAIL_ADDRESS']}\nMAIL/login={env['MAIL_USER']}\n"
                      f"MAIL/password={env['MAIL_PASSWORD']}\n"
                      f"MAIL/smtpServer=127.0.0.1:{env['SMTP_PORT']}\n"
                      f"MAIL/pop3Server=127.0.0.1:{env['POP3_PORT']}\nMAIL/ssl=int:0\n")

    def args(self, *command):
        return ["wine", WINHOST, windows_path(POSTRIX_DLL), windows_path(self.settings), *command]

    def send(self, address, text, subject):
        body = os.path.join(self.dir, "body.txt")
        with open(body, "wb") as out:
            out.write(text.encode("utf-8"))
        done = subprocess.run(self.args("send", address, windows_path(body), subject), env=wine_env(),
                              capture_output=True, text=True, encoding="utf-8", timeout=180)
        return done.returncode, events_of(done.stdout), done.stderr

    def checks(self, count):
        # stderr into a file: a pipe nobody reads could fill up and stall wine.
        self.stderr = open(os.path.join(self.dir, "stderr.txt"), "w+", encoding="utf-8")
        return subprocess.Popen(self.args("check", str(count)), env=wine_env(), stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=self.stderr, text=True, encoding="utf-8")

    def remove(self):
        if hasattr(self, "stderr"):
            self.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def read_until(process, name, seen, stderr):
    """Events of a running winhost up to the first one named name."""
    for line in process.stdout:
        if line.startswith("{"):
            event = json.loads(line)
            seen.append(event)
            if event["event"] == name:
                return event
    stderr.seek(0)
    raise AssertionError(f"winhost ended without a '{name}' event; events: {seen}; stderr: {stderr.read()}")


class WinHostMailTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.env = mail_env()
        cls.address = cls.env["MAIL_ADDRESS"]

    def setUp(self):
        self.mailbox = Mailbox(self.env)
        self.mailbox.clear()
        self.host = WinHost(self.env)

    def tearDown(self):
        self.host.remove()

    BODY = f"{POLISH}\n.\nśrodek\n{'x' * 1500}\nkoniec"

    def test_chat_message_arrives_byte_for_byte(self):
        body = self.BODY
        status, events, stderr = self.host.send(self.address, body, "Próba łączności")
        self.assertEqual(status, 0, f"{events}\n{stderr}")
        self.assertEqual([e["text"] for e in events if e["event"] == "notify"], [SENT_TEXT])
        self.assertEqual([e["text"] for e in events if e["event"] == "log" and e["level"] < 0], [])
        archived = [e for e in events if e["event"] == "archive"]
        self.assertEqual([(a["contact"], a["subject"], a["body"]) for a in archived],
                         [(self.address, "Próba łączności", body)])
        # Plain submission, no TLS asked for: the account said MAIL/ssl=0.
        self.assertEqual([(e["host"], e["port"]) for e in events if e["event"] == "net" and e["what"] == "connect"],
                         [("127.0.0.1", int(self.env["SMTP_PORT"]))])
        self.assertEqual([e for e in events if e["event"] == "net" and e["what"] == "tls"], [])

        message = self.mailbox.wait_for_messages(1)[0]
        self.assertEqual(str(message["Subject"]), "Próba łączności")
        self.assertEqual(message["From"].addresses[0].addr_spec, self.address)
        self.assertEqual(message["To"].addresses[0].addr_spec, self.address)
        self.assertEqual(message.get_content_charset(), "utf-8")
        payload = message.get_payload(decode=True)
        self.assertEqual(payload.replace(b"\r\n", b"\n"), body.encode("utf-8"))
        raw = self.mailbox.raw_messages()[0]
        self.assertIn(f"From: <{self.address}>\r\n".encode(), raw)
        self.assertTrue(all(len(line) <= 998 for line in raw.split(b"\r\n")))

    def test_the_same_message_as_joxhost_sends(self):
        if not os.access(JOXHOST, os.X_OK):
            self.skipTest(f"no Linux host at {JOXHOST}")
        status, events, stderr = self.host.send(self.address, self.BODY, "Próba łączności")
        self.assertEqual(status, 0, f"{events}\n{stderr}")
        self.mailbox.wait_for_messages(1)
        from_windows = self.mailbox.raw_messages()[0]
        self.mailbox.clear()
        profile = Profile.plain(self.env)
        try:
            self.assertEqual(profile.chat(self.address, self.BODY, subject="Próba łączności").returncode, 0)
        finally:
            profile.remove()
        self.mailbox.wait_for_messages(1)
        from_linux = self.mailbox.raw_messages()[0]
        self.assertEqual(without_varying_headers(from_windows), without_varying_headers(from_linux))

    def test_second_check_announces_the_mail_delivered_after_the_first(self):
        self.mailbox.deliver("Old <old@example.com>", "Before the first check", "old")
        self.mailbox.wait_for_messages(1)
        seen = []
        with self.host.checks(2) as process:
            read_until(process, "waiting", seen, self.host.stderr)
            self.assertEqual([e for e in seen if e["event"] == "notify"], [], "the first check only remembers")
            self.assertEqual([e["round"] for e in seen if e["event"] == "check-end"], [1])

            self.mailbox.deliver("=?UTF-8?Q?Pawe=C5=82_Kowalski?= <pawel@example.com>",
                                 "=?UTF-8?B?WmHFvMOzxYLEhyBnxJnFm2zEhSBqYcW6xYQ=?=", "body")
            self.mailbox.wait_for_messages(2)
            process.stdin.write("\n")
            process.stdin.flush()
            notice = read_until(process, "notify", seen, self.host.stderr)
            read_until(process, "check-end", seen, self.host.stderr)
            self.assertEqual(process.wait(timeout=60), 0, seen)
        self.assertEqual(notice["title"], f"Nowa poczta ({self.address})")
        self.assertEqual(notice["icon"], "Image/Mail")
        self.assertEqual(notice["text"],
                         'Ilość nieprzeczytanych: 1\r\n1 - Paweł Kowalski <pawel@example.com>: "Zażółć gęślą jaźń"')
        news = [(e["from"], e["subject"], e["account"]) for e in seen if e["event"] == "news"]
        self.assertEqual(news, [("Paweł Kowalski  pawel@example.com ", "Zażółć gęślą jaźń", self.address)])
        connections = {(e["connection"], e["port"]) for e in seen if e["event"] == "net" and e["what"] == "connect"}
        self.assertEqual(connections, {("MAIL/Socket/POP3/1", int(self.env["POP3_PORT"]))})


if __name__ == "__main__":
    if servers_up() is None:
        print("winhost mail test: the mail servers are not running (scripts/mailservers.sh up)")
        # scripts/test-windows.sh starts them and sets this: there a skip would hide a fault.
        sys.exit(1 if os.environ.get("POSTRIX_REQUIRE_MAILSERVERS") == "1" else SKIP)
    for path in (WINHOST, POSTRIX_DLL):
        if not os.path.exists(path):
            print(f"winhost mail test: {path} is missing")
            sys.exit(1)
    if not os.path.exists(os.path.join(WINEPREFIX, ".postrix-ready")):
        subprocess.run(["bash", os.path.join(ROOT, "scripts", "wine-prefix.sh"), WINEPREFIX], check=True,
                       stdout=subprocess.DEVNULL)
    started = time.monotonic()
    outcome = unittest.main(exit=False, verbosity=2).result
    print(f"winhost mail: {outcome.testsRun} run in {time.monotonic() - started:.1f} s")
    sys.exit(0 if outcome.wasSuccessful() else 1)
