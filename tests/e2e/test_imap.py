"""End-to-end tests of checking mail over IMAP: Dovecot's IDLE push, the state
kept across restarts, a server without IDLE checked on the timer, and a
wrong password.

Tests against Dovecot share its mailbox and empty it first; the scripted
servers are the test's own. Nothing leaves 127.0.0.1.
"""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import MailboxTestCase, Profile, mail_env, wait_until  # noqa: E402
from hostile import ImapScript, ScriptedServer, scripted_profile  # noqa: E402

ENV = mail_env()
ADDRESS = ENV["MAIL_ADDRESS"]
CONNECTION = "MAIL/Socket/IMAP/1"
DATE = b"Date: Mon, 5 Nov 2012 10:00:00 +0100"


def imap_profile(env, secure=True, **settings):
    """A profile of the test user that checks Dovecot over IMAP (with TLS from the first byte when secure)."""
    profile = Profile.secure(env) if secure else Profile.plain(env)
    port = env["IMAPS_PORT"] if secure else env["IMAP_PORT"]
    # An hour between timer checks: whatever a test sees announced came through IDLE or its own command.
    profile.config(**{"MAIL/checkInterval": "int:60", "MAIL/protocol": "imap", "MAIL/imapServer": f"localhost:{port}",
                      **settings})
    return profile


def dovecot_idle_sessions():
    """How many IMAP sessions of this instance's Dovecot are in IDLE (its process titles say)."""
    run_dir = os.environ.get("POSTRIX_MAIL_DIR", "/tmp/postrix-mail")
    with open(os.path.join(run_dir, "dovecot", "run", "master.pid"), encoding="ascii") as pid_file:
        master = pid_file.read().split()[0]
    count = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat", encoding="ascii", errors="replace") as stat:
                parent = stat.read().rsplit(")", 1)[1].split()[1]
            with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                title = cmdline.read()
        except OSError:
            continue
        if parent == master and b"/imap [" in title and title.rstrip(b"\0").endswith(b" IDLE]"):
            count += 1
    return count


def mail_notices(events):
    return [e["text"] for e in events if e["event"] == "notify" and e["icon"] == "Image/Mail"]


def warnings(events):
    return [e["text"] for e in events if e["event"] == "notify" and e["icon"] == "Image/Warning32"]


def header(sender, subject):
    return b"\r\n".join([b"From: " + sender, b"Subject: " + subject, DATE])


class IdleTest(MailboxTestCase):
    """`joxhost run --stay` on Dovecot: the first check ends in IDLE, and a delivery is announced at once."""

    def announces_deliveries_while_idling(self, secure):
        profile = imap_profile(ENV, secure)
        self.addCleanup(profile.remove)
        self.mailbox.deliver("Old <old@example.com>", "before the first check", "old")
        self.mailbox.wait_for_messages(1)
        with profile.run(stay=True) as host:
            host.command("check 0")
            wait_until(lambda: dovecot_idle_sessions() == 1, 10, "the check to reach IDLE")
            self.assertEqual(mail_notices(host.events_named("notify")), [])  # a first check only remembers

            for number, subject in enumerate(["pushed one", "pushed two"], 1):
                self.mailbox.deliver("Sender <sender@example.com>", subject, "body")
                delivered = time.monotonic()
                news = host.expect("news", timeout=2)
                delay = time.monotonic() - delivered
                self.assertEqual(news["subject"], subject)
                print(f"\n    {'TLS' if secure else 'plain'}: delivery {number} announced after {delay:.2f} s",
                      end=" ", file=sys.stderr)
                # After each fetch the session idles again.
                wait_until(lambda: dovecot_idle_sessions() == 1, 10, "the session to idle again")
            closes = [e for e in host.events_named("net") if e.get("connection") == CONNECTION
                      and e.get("what") in ("close", "closed")]
            self.assertEqual(closes, [])  # one connection all along
            self.assertEqual(len(mail_notices(host.events)), 2)
            self.assertEqual(warnings(host.events), [])
        # Unloading ends the session.
        wait_until(lambda: dovecot_idle_sessions() == 0, 10, "the IMAP session to end with joxhost")
        self.assertEqual(profile.query("SELECT subject FROM news ORDER BY id"), [("pushed one",), ("pushed two",)])

    def test_plain_imap_announces_a_delivery_within_2_s(self):
        self.announces_deliveries_while_idling(secure=False)

    def test_imap_over_tls_announces_a_delivery_within_2_s(self):
        self.announces_deliveries_while_idling(secure=True)


class RestartTest(MailboxTestCase):
    """One `joxhost check 0` a start: what came while none ran is announced by the next one, once."""

    def test_mail_delivered_between_two_starts_is_announced_once(self):
        profile = imap_profile(ENV)
        self.addCleanup(profile.remove)
        self.mailbox.deliver("Old <old@example.com>", "before the first check", "old")
        self.mailbox.wait_for_messages(1)

        def check():
            result = profile.joxhost("check", "0", timeout=60)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertEqual(warnings(result.events), [])
            return [news["subject"] for news in result.events_named("news")]

        self.assertEqual(check(), [])
        self.assertTrue(os.path.exists(os.path.join(profile.dir, "postrix.imap")))
        self.mailbox.deliver("A <a@example.com>", "while stopped 1", "a")
        self.mailbox.deliver("B <b@example.com>", "while stopped 2", "b")
        self.mailbox.wait_for_messages(3)
        self.assertEqual(sorted(check()), ["while stopped 1", "while stopped 2"])
        self.assertEqual(check(), [])
        self.assertEqual(sorted(profile.query("SELECT subject FROM news")),
                         [("while stopped 1",), ("while stopped 2",)])

    def test_a_wrong_password_fails_with_one_line_and_exit_1(self):
        profile = imap_profile(ENV, secure=False)
        self.addCleanup(profile.remove)
        profile.config(**{"MAIL/password": "wrong"})
        started = time.monotonic()
        result = profile.readable("check", "0", timeout=60)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertLess(time.monotonic() - started, 15)
        output = result.stdout + result.stderr
        lines = [line for line in output.splitlines() if "IMAP - " in line]
        self.assertEqual(len(lines), 1, output)
        self.assertRegex(lines[0], r"IMAP - .*(AUTHENTICATIONFAILED|[Aa]uthentication failed)")
        self.assertNotIn("wrong", output)


class TimerTest(unittest.TestCase):
    """A server without IDLE: each check logs out, and the account's timer finds new mail."""

    def setUp(self):
        self.script = ImapScript(messages=[(1, header(b"old@example.com", b"old"))],
                                 capabilities=("IMAP4rev1", "AUTH=PLAIN"))
        self.server = ScriptedServer(self.script).__enter__()
        self.addCleanup(self.server.__exit__, None, None, None)
        self.profile = scripted_profile(ENV, imap=self.server, **{"MAIL/checkInterval": "int:1"})
        self.addCleanup(self.profile.remove)

    def test_the_timer_check_announces_new_mail_and_no_session_stays(self):
        # A timer minute of 700 ms: checks about every 0.7 s with no command.
        with self.profile.run(stay=True, env={"JOXHOST_MINUTE_MS": "700"}) as host:
            wait_until(lambda: len(self.server.received) >= 1, 10, "the first timer check")
            host.expect_matching(lambda e: e["event"] == "net" and e.get("connection") == CONNECTION
                                 and e.get("what") in ("close", "closed"), "end of the first check", timeout=10)
            self.script.arrive(5, header(b"new@example.com", b"on the timer"))
            arrived = time.monotonic()
            news = host.expect("news", timeout=10)
            self.assertEqual(news["subject"], "on the timer")
            self.assertLess(time.monotonic() - arrived, 5)
            wait_until(lambda: len(self.server.received) >= 4, 10, "two more timer checks")
        self.assertEqual(len(mail_notices(host.events)), 1)
        self.assertEqual(warnings(host.events), [])
        for number, data in enumerate(self.server.received):
            commands = [line.split(b" ", 1)[1] for line in bytes(data).split(b"\r\n") if b" " in line]
            words = [command.split(b" ")[0].upper() for command in commands]
            self.assertNotIn(b"IDLE", words, f"connection {number}: {commands}")
            if number < len(self.server.received) - 1:  # the last may be cut short by the exit
                self.assertEqual(words[-1], b"LOGOUT", f"connection {number}: {commands}")
        fetches = [c for c in self.server.commands() if b"FETCH" in c.upper()]
        self.assertTrue(fetches and all(b"UID FETCH" in c.upper() for c in fetches), fetches)
        self.assertIn(b"UID FETCH 2:*", fetches[0].upper())  # only above the highest UID seen


class ScriptedIdleTest(unittest.TestCase):
    """A server with IDLE, to see what goes over the wire."""

    def setUp(self):
        self.script = ImapScript(messages=[(7, header(b"old@example.com", b"old"))])
        self.server = ScriptedServer(self.script).__enter__()
        self.addCleanup(self.server.__exit__, None, None, None)
        self.profile = scripted_profile(ENV, imap=self.server, **{"MAIL/checkInterval": "int:60"})
        self.addCleanup(self.profile.remove)

    def test_the_session_idles_fetches_on_exists_and_says_done_and_logout_at_exit(self):
        with self.profile.run(stay=True) as host:
            host.command("check 0")
            self.script.wait_idle()
            self.script.arrive(9, header(b"new@example.com", b"pushed"))
            self.assertEqual(host.expect("news", timeout=5)["subject"], "pushed")
            self.script.wait_idle()
        wait_until(lambda: self.server.received and self.server.received[0].endswith(b"\r\n")
                   and b"LOGOUT" in bytes(self.server.received[0]).upper(), 10, "LOGOUT at exit")
        self.assertEqual(len(self.server.received), 1)  # one connection all along
        commands = [c.split(b" ", 1)[-1].upper() for c in self.server.commands()]
        self.assertTrue(commands[0].startswith(b"CAPABILITY"), commands)
        self.assertTrue(commands[1].startswith(b"AUTHENTICATE PLAIN"), commands)
        self.assertIn(b'EXAMINE "INBOX"', commands)
        self.assertEqual(self.script.logins, [(b"me", b"secret")])
        fetch = [c for c in commands if b"FETCH" in c]
        self.assertEqual(len(fetch), 1, commands)
        self.assertTrue(fetch[0].startswith(b"UID FETCH 8:* "), fetch)
        self.assertIn(b"BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)]", fetch[0])
        self.assertEqual(commands[-3:], [b"IDLE", b"DONE", b"LOGOUT"])


if __name__ == "__main__":
    unittest.main()
