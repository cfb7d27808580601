"""Hostile POP3 servers against postrix in joxhost.

Each test serves a mailbox it controls from a scripted POP3 server on
127.0.0.1 (tests/e2e/hostile.py), checks it with `check 0` and looks at the
notices, the log and the news rows in the profile's archive.
"""
import base64
import contextlib
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import mail_env  # noqa: E402
from hostile import Pop3Script, ScriptedServer, scripted_profile  # noqa: E402

ENV = mail_env()
DATE = b"Date: Mon, 5 Nov 2012 10:00:00 +0100"


def header(sender, subject):
    return b"\r\n".join([b"From: " + sender, b"Subject: " + subject, DATE])


def resident_kib(pid):
    with open(f"/proc/{pid}/status", encoding="ascii") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS")


class HostilePop3Test(unittest.TestCase):
    def setUp(self):
        self.script = Pop3Script(messages=[("old", header(b"old@example.com", b"old"))])
        with contextlib.ExitStack() as stack:
            self.server = stack.enter_context(ScriptedServer(self.script))
            self.profile = scripted_profile(ENV, pop3=self.server)
            stack.callback(self.profile.remove)
            self.addCleanup(stack.pop_all().close)

    def check(self, host):
        host.command("check 0")
        host.expect_check_end()

    def mail_notices(self, host):
        return [e["text"] for e in host.events_named("notify") if e["icon"] == "Image/Mail"]

    def news(self):
        return self.profile.query("SELECT sender, subject FROM news ORDER BY id")

    def arrive(self, uid, headers):
        self.script.messages.append((uid, headers))

    def test_nul_bytes_in_the_listing_and_a_header_block_are_dropped(self):
        with self.profile.run() as host:
            self.check(host)
            self.arrive("new", b"From: x@example.com\x00\r\nSubject: after a NUL\r\n" + DATE)
            self.script.listing = b"+OK\r\n1 o\x00ld\r\n2 new\r\n.\r\n"
            self.check(host)
            self.assertEqual(self.mail_notices(host),
                             ['Ilość nieprzeczytanych: 1\r\n1 - x@example.com: "after a NUL"'])

    def test_a_header_block_of_300000_unreadable_dates_logs_one_line(self):
        with self.profile.run() as host:
            self.check(host)
            self.arrive("dates", b"Date: someday\r\n" * 300000 + b"From: x@example.com\r\nSubject: dates")
            self.check(host)
            self.assertEqual(self.mail_notices(host), ['Ilość nieprzeczytanych: 1\r\n1 - x@example.com: "dates"'])
            failures = [e for e in host.events_named("log") if "date failed" in e["text"]]
            self.assertEqual([e["text"] for e in failures], ["Parsing RFC822 date failed, date=someday"])

    def test_header_text_cannot_draw_lines_or_reverse_text_in_the_notice(self):
        emoji = "\U0001F600"
        long_subject = ("a" + emoji * 300).encode()
        with self.profile.run() as host:
            self.check(host)
            self.arrive("forged", header(b"=?utf-8?Q?Eve_=E2=80=AEgpj.exe=E2=81=A6?= <eve@example.com>",
                                         b"=?utf-8?Q?Hi=0D=0A2_-_boss@corp:_pay_now=1B[0m=07=C2=85x?= raw\rCR"))
            self.arrive("long", header(b"long@example.com", b"=?utf-8?B?" + base64.b64encode(long_subject) + b"?="))
            self.check(host)
            notices = self.mail_notices(host)
            forged_subject = "Hi  2 - boss@corp: pay now [0m  x raw CR"
            cut_subject = "a" + emoji * 127  # 255 UTF-16 units: the 256th would split a surrogate pair
            self.assertEqual(notices, ["Ilość nieprzeczytanych: 2\r\n"
                                       f'1 - long@example.com: "{cut_subject}"\r\n'
                                       f'2 - Eve gpj.exe <eve@example.com>: "{forged_subject}"'])
        self.assertEqual(self.news(), [("long@example.com", cut_subject),
                                       ("Eve gpj.exe  eve@example.com ", forged_subject)])

    def test_listings_of_fresh_ids_do_not_grow_memory_check_after_check(self):
        if os.environ.get("POSTRIX_SANITIZED") == "1":
            self.skipTest("the sanitizer's allocator keeps freed memory, so resident size says nothing")
        ids = 200000

        def listing(check):
            lines = b"".join(b"%d check%d-%040d\r\n" % (n, check, n) for n in range(1, ids + 1))
            return b"+OK\r\n" + lines + b".\r\n"

        with self.profile.run() as host:
            resident = []
            for check in range(6):
                self.script.listing = listing(check)
                self.check(host)
                resident.append(resident_kib(host.process.pid))
        # Each listing's ids take some 20 MB; six of them kept would pass 100 MB.
        self.assertLess(resident[-1] - resident[1], 50 * 1024, resident)

    def test_each_message_is_announced_and_archived_once(self):
        with self.profile.run() as host:
            self.check(host)
            self.arrive("a", header(b"a@example.com", b"A"))
            self.check(host)
            self.arrive("b", header(b"b@example.com", b"B"))
            self.check(host)  # while the first notice is still shown
            self.check(host)  # nothing new
            self.script.replies = {"USER": b"-ERR no\r\n"}
            host.command("check 0")
            warning = host.expect_matching(lambda e: e["event"] == "notify" and e["icon"] == "Image/Warning32",
                                           "warning notice")
            self.assertEqual(warning["text"], "POP3 - Error on USER:\r\n-ERR no\r\n")
            host.expect_check_end()
            self.assertEqual(self.mail_notices(host), [
                'Ilość nieprzeczytanych: 1\r\n1 - a@example.com: "A"',
                'Ilość nieprzeczytanych: 2\r\n1 - a@example.com: "A"\r\n2 - b@example.com: "B"',
            ])
        self.assertEqual(self.news(), [("a@example.com", "A"), ("b@example.com", "B")])

    def test_a_login_or_password_with_a_line_break_is_refused_before_connecting(self):
        cases = [("MAIL/login", "me\r\nDELE 1", "POP3 - Invalid login: it holds CR, LF or NUL"),
                 ("MAIL/password", "secret\nDELE 1", "POP3 - Invalid password: it holds CR, LF or NUL")]
        for key, value, message in cases:
            with self.subTest(key=key):
                self.profile.config(**{key: value})
                with self.profile.run() as host:
                    host.command("check 0")
                    warning = host.expect("notify", timeout=10)
                    self.assertEqual((warning["icon"], warning["text"]), ("Image/Warning32", message))
                self.assertEqual(self.server.received, [])
                self.profile.config(**{"MAIL/login": "me", "MAIL/password": "secret"})

    def test_a_refusal_shows_only_its_own_cleaned_status_line(self):
        self.script.replies = {"USER": "-ERR no\x1b[8m\u202Efdp.exe\r\n1 - boss@corp: pay now\r\n".encode()}
        with self.profile.run() as host:
            host.command("check 0")
            warning = host.expect("notify")
            host.expect_check_end()
        self.assertEqual(warning["text"], "POP3 - Error on USER:\r\n-ERR no [8mfdp.exe\r\n")

    def test_a_server_that_falls_silent_fails_the_check_command(self):
        # The plug-in drops the session after 20 s of silence without a word;
        # `check` must not call that a check that ran.
        self.script.replies["UIDL"] = b""
        result = self.profile.joxhost("check", "0", timeout=60)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("POP3 - the server stopped answering: no reply for", result.stderr)
