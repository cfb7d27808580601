"""Hostile IMAP servers against postrix in joxhost.

Each test serves a folder it controls from a scripted IMAP server on
127.0.0.1 (tests/e2e/hostile.py) and looks at the notices, the log and what
went over the wire. Most servers offer no IDLE, so each check ends with the
connection; the IDLE ones say so.
"""
import os
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import mail_env, wait_until  # noqa: E402
from hostile import ImapScript, ScriptedServer, scripted_profile  # noqa: E402
from test_hostile_pop3 import resident_kib  # noqa: E402

ENV = mail_env()
DATE = b"Date: Mon, 5 Nov 2012 10:00:00 +0100"
NO_IDLE = ("IMAP4rev1", "AUTH=PLAIN")


def header(sender, subject):
    return b"\r\n".join([b"From: " + sender, b"Subject: " + subject, DATE])


def warnings(events):
    return [e["text"] for e in events if e["event"] == "notify" and e["icon"] == "Image/Warning32"]


def endless(line, stop=None):
    """A reply that sends the line until the client hangs up (or `stop` is set)."""
    def talk_forever(talk, tag):
        chunk = line * 1000
        while not (stop and stop.is_set()):
            talk.send(chunk)
            time.sleep(0.001)
        raise ConnectionError("stopped")
    return talk_forever


class HostileImapTest(unittest.TestCase):
    def serve(self, capabilities=NO_IDLE, **script_args):
        self.script = ImapScript(messages=[(1, header(b"old@example.com", b"old"))], capabilities=capabilities,
                                 **script_args)
        self.server = ScriptedServer(self.script).__enter__()
        self.addCleanup(self.server.__exit__, None, None, None)
        self.profile = scripted_profile(ENV, imap=self.server, **{"MAIL/checkInterval": "int:60"})
        self.addCleanup(self.profile.remove)

    def check(self, timeout=60):
        """One `joxhost check 0`; its result and how long it took."""
        started = time.monotonic()
        result = self.profile.joxhost("check", "0", timeout=timeout)
        return result, time.monotonic() - started

    def assert_one_error(self, result, *fragments):
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        texts = warnings(result.events)
        self.assertEqual(len(texts), 1, result.stdout)
        self.assertTrue(texts[0].startswith("IMAP - "), texts)
        for fragment in fragments:
            self.assertIn(fragment, texts[0])
        return texts[0]

    def first_check_then(self, word, reply):
        """A good first check, a new message, then the second check meets `reply` at `word`."""
        result, _ = self.check()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.script.arrive(2, header(b"new@example.com", b"new"))
        self.script.replies[word] = reply
        return self.check()

    def test_a_huge_literal_ends_the_check_at_once_without_taking_memory(self):
        self.serve()
        huge = (b"* 2 FETCH (UID 2 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {999999999}\r\n"
                b"From: x@example.com\r\n")
        stop = threading.Event()
        self.addCleanup(stop.set)

        def announce_and_trickle(talk, tag):
            talk.send(huge)
            while not stop.is_set():  # a little more now and then, never the whole literal
                time.sleep(0.2)
                talk.send(b"X-Filler: " + b"y" * 1000 + b"\r\n")
            raise ConnectionError("stopped")

        result, _ = self.check()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.script.arrive(2, header(b"new@example.com", b"new"))
        self.script.replies["FETCH"] = announce_and_trickle
        with self.profile.run() as host:
            host.command("check 0")
            warning = host.expect_matching(lambda e: e["event"] == "notify" and e["icon"] == "Image/Warning32",
                                           "warning notice", timeout=10)
            self.assertLess(resident_kib(host.process.pid), 200 * 1024)
            host.expect_check_end(protocol="IMAP", timeout=10)
        self.assertTrue(warning["text"].startswith("IMAP - "), warning)
        self.assertEqual(len(warnings(host.events)), 1, host.events)
        self.assertEqual(host.events_named("news"), [])

    def test_endless_continuations_end_the_check_with_one_error(self):
        for capabilities, word in [(NO_IDLE, "AUTHENTICATE"), (("IMAP4rev1",), "LOGIN")]:
            with self.subTest(word):
                self.serve(capabilities)
                self.script.replies[word] = endless(b"+ more\r\n")
                result, took = self.check()
                self.assert_one_error(result)
                self.assertLess(took, 30)

    def test_a_flood_of_untagged_lines_neither_hangs_nor_crashes(self):
        self.serve()
        examine = self.script._on_examine(None, b"$TAG", b"")
        self.script.replies["EXAMINE"] = b"* OK hi\r\n" * 100000 + examine
        result, took = self.check()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(warnings(result.events), [])
        print(f"\n    100000 untagged lines: check took {took:.2f} s", end=" ", file=sys.stderr)

        stop = threading.Event()
        self.addCleanup(stop.set)
        self.script.replies["EXAMINE"] = endless(b"* OK hi\r\n", stop)
        result, took = self.check(timeout=120)
        stop.set()
        self.assertIn(result.returncode, (0, 1), result.stdout + result.stderr)
        self.assertLessEqual(len(warnings(result.events)), 1, result.stdout)
        print(f"endless untagged lines: check ended with {result.returncode} after {took:.2f} s", end=" ",
              file=sys.stderr)

    def test_a_bye_at_any_step_ends_the_check_with_one_error(self):
        bye = b"* BYE going away\r\n"
        for word in ["GREETING", "CAPABILITY", "AUTHENTICATE", "EXAMINE"]:
            with self.subTest(word):
                self.serve()
                self.script.replies[word] = bye
                result, took = self.check()
                self.assert_one_error(result)
                self.assertLess(took, 10)
        with self.subTest("FETCH"):
            self.serve()
            result, took = self.first_check_then("FETCH", bye)
            self.assert_one_error(result)
            self.assertEqual(result.events_named("news"), [])

    def test_a_bye_during_idle_is_logged_and_the_session_comes_back(self):
        self.serve(capabilities=("IMAP4rev1", "IDLE", "AUTH=PLAIN"))
        with self.profile.run(stay=True) as host:
            host.command("check 0")
            self.script.wait_idle()
            self.script.push(b"* BYE server shutting down\r\n")
            lost = time.monotonic()
            # A reconnect after the first pause of 5 s: a second session
            # reaches IDLE and announces what came meanwhile.
            self.script.wait_idle(timeout=90)
            waited = time.monotonic() - lost
            self.assertGreaterEqual(waited, 4.5)
            self.assertLess(waited, 10)
            self.assertEqual(len(self.server.received), 2)
            self.script.arrive(2, header(b"new@example.com", b"after the bye"))
            self.assertEqual(host.expect("news", timeout=10)["subject"], "after the bye")
        self.assertEqual(warnings(host.events), [])
        logged = [e["text"] for e in host.events_named("log") if "IMAP" in e["text"]]
        self.assertTrue(any("reconnecting in 5 s" in text for text in logged), logged)

    def test_a_password_with_a_quote_goes_as_a_literal(self):
        password = 'pa"ss\\word'
        self.serve(capabilities=("IMAP4rev1",), password=password.encode())
        self.profile.config(**{"MAIL/password": password})
        result, _ = self.check()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(self.script.logins, [(b"me", password.encode())])
        wire = bytes(self.server.received[0])
        login = wire[wire.upper().index(b" LOGIN "):]
        self.assertRegex(login.split(b"\r\n")[0], rb"\{%d\+?\}$" % len(password.encode()))
        self.assertNotIn(b'"pa"', wire)

    def test_a_refusal_shows_its_own_text_cleaned_once(self):
        self.serve(password=b"other")
        result, _ = self.check()
        text = self.assert_one_error(result)
        self.assertIn("AUTHENTICATIONFAILED", text)
        self.assertNotIn("secret", result.stdout + result.stderr)


if __name__ == "__main__":
    unittest.main()
