"""End-to-end tests of the known mail ids the plug-in keeps in the profile.

Each joxhost process is one start of the messenger: mail delivered while
none runs must be announced by the next check, once, and a restart between
checks must neither lose a message nor announce one twice.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Mailbox, Profile, mail_env  # noqa: E402

ENV = mail_env()
KNOWN_IDS_LOG = "Known mail ids: postrix.known"


class Checks:
    """What the mail checks of one joxhost process announced."""

    def __init__(self, announced, log):
        self.announced = announced  # per check: the subjects of its news entries
        self.log = log              # the log lines about the known ids


def known_ids_log(events):
    return [event["text"] for event in events if event["event"] == "log" and event["text"].startswith("Known mail ids")]


def run_checks(profile, count):
    """Starts joxhost on the profile, makes `count` mail checks, and ends it.

    One check is `joxhost check 0`, as a script runs it; more go through
    `joxhost run`, like a messenger that stays up between its checks.
    """
    if count == 1:
        result = profile.joxhost("check", "0")
        assert result.returncode == 0, result.stdout + result.stderr
        return Checks([[news["subject"] for news in result.events_named("news")]], known_ids_log(result.events))
    announced = []
    with profile.run() as host:
        for _ in range(count):
            before = len(host.events_named("news"))
            host.command("check 0")
            host.expect_check_end()
            announced.append([news["subject"] for news in host.events_named("news")[before:]])
    host.events_named("log")  # takes in the events still on their way
    return Checks(announced, known_ids_log(host.events))


class KnownIdsTest(unittest.TestCase):
    def setUp(self):
        self.mailbox = Mailbox(ENV)
        self.mailbox.clear()
        self.delivered = 0

    def deliver(self, *subjects):
        for subject in subjects:
            self.mailbox.deliver("Sender <sender@example.com>", subject, "body")
        self.delivered += len(subjects)
        self.mailbox.wait_for_messages(self.delivered)

    def test_mail_delivered_while_no_host_runs_is_announced_once(self):
        profile = Profile.secure(ENV)
        known = os.path.join(profile.dir, "postrix.known")
        try:
            self.deliver("before the first check")
            first = run_checks(profile, 1)
            self.assertEqual(first.announced, [[]])
            self.assertEqual(len(first.log), 1, first.log)
            self.assertTrue(first.log[0].startswith(KNOWN_IDS_LOG + " does not exist yet"), first.log)
            with open(known, "rb") as known_file:
                self.assertTrue(known_file.read().startswith(b"postrix-known-ids 1\n"))

            self.deliver("while stopped 1", "while stopped 2")
            second = run_checks(profile, 1)
            self.assertEqual(second.announced, [["while stopped 2", "while stopped 1"]])
            self.assertEqual(second.log, [])
            self.assertEqual(run_checks(profile, 1).announced, [[]])
        finally:
            profile.remove()

    def test_restarts_between_checks_lose_nothing_and_repeat_nothing(self):
        profile = Profile.plain(ENV)
        known = os.path.join(profile.dir, "postrix.known")
        try:
            self.assertEqual(run_checks(profile, 1).announced, [[]])
            self.deliver("a")
            run = run_checks(profile, 2)
            self.assertEqual(run.announced, [["a"], []])
            self.deliver("b")
            run = run_checks(profile, 2)
            self.assertEqual(run.announced, [["b"], []])
            self.assertEqual(run.log, [])

            # A damaged id: one first check that only remembers, then as before.
            with open(known, "r+b") as known_file:
                known_file.seek(-10, os.SEEK_END)
                byte = known_file.read(1)
                known_file.seek(-10, os.SEEK_END)
                known_file.write(bytes([byte[0] ^ 0x20]))
            self.deliver("c")
            run = run_checks(profile, 1)
            self.assertEqual(run.announced, [[]])
            self.assertEqual(len(run.log), 1, run.log)
            self.assertTrue(run.log[0].startswith(KNOWN_IDS_LOG + " is not used"), run.log)
            self.deliver("d")
            self.assertEqual(run_checks(profile, 2).announced, [["d"], []])
        finally:
            profile.remove()


if __name__ == "__main__":
    unittest.main()
