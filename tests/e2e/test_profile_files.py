"""End-to-end tests of the settings files in a joxhost profile directory.

They drive build/joxhost (and the plug-in where a command loads it) against
real files: a profile joxhost cannot write, a file a person edited, two
processes saving at once, a file far too large. No mail server is needed.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import HOST_ENV, JOXHOST  # noqa: E402


def joxhost(profile, *args):
    completed = subprocess.run([JOXHOST, "--profile", profile, "--json", *args], env=HOST_ENV,
                               capture_output=True, text=True, timeout=60)
    completed.events = [json.loads(line) for line in completed.stdout.splitlines() if line.startswith("{")]
    return completed


def events(completed, name):
    return [event for event in completed.events if event["event"] == name]


def settings(profile):
    shown = joxhost(profile, "config")
    assert shown.returncode == 0, shown.stderr
    return {event["key"]: event["value"] for event in events(shown, "setting")}


def read_bytes(path):
    with open(path, "rb") as settings_file:
        return settings_file.read()


class ProfileTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="postrix-profile-")
        self.config_path = os.path.join(self.dir, "postrix.config")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class ReadOnlyProfileTest(ProfileTest):
    """A profile directory nobody may change: every save must fail loudly.

    The tests run as root, which mode bits do not stop. An immutable directory
    (chattr +i) refuses new entries and renames to root as well, so the
    temporary file a save needs cannot be created, while the files already in
    it stay readable. Where the file system or the container does not allow
    the flag, the test is skipped rather than passing without a read-only
    profile.
    """

    def setUp(self):
        super().setUp()
        made = joxhost(self.dir, "config", "MAIL/mail=jan@example.com", "MAIL/checkInterval=int:5")
        self.assertEqual(made.returncode, 0, made.stderr)
        frozen = subprocess.run(["chattr", "+i", self.dir], capture_output=True, text=True)
        if frozen.returncode != 0:
            self.skipTest(f"chattr +i is not allowed here: {frozen.stderr.strip()}")
        self.before = read_bytes(self.config_path)

    def tearDown(self):
        subprocess.run(["chattr", "-i", self.dir], capture_output=True)
        super().tearDown()

    def assert_failed_with_one_line(self, completed, start):
        self.assertEqual(completed.returncode, 1, completed.stdout)
        lines = completed.stderr.splitlines()
        self.assertEqual(len(lines), 1, completed.stderr)
        self.assertTrue(lines[0].startswith(f"joxhost: {start}"), lines[0])

    def logged(self, completed):
        return [event["text"] for event in events(completed, "log")]

    def test_account_add_fails_and_no_account_is_announced(self):
        added = joxhost(self.dir, "account-add", "praca")
        self.assert_failed_with_one_line(added, "account-add: the settings were not saved: ")
        self.assertEqual(events(added, "account-added"), [])
        self.assertIn("Opening settings file postrix_praca.config failed", self.logged(added))
        self.assertEqual(sorted(os.listdir(self.dir)), [".settings.lock", "postrix.config"])

    def test_options_fail_and_the_plugin_logs_the_unsaved_setting(self):
        applied = joxhost(self.dir, "options", "0", "--interval", "7")
        self.assert_failed_with_one_line(applied, "options: the settings were not saved: ")
        self.assertEqual(events(applied, "options-applied"), [])
        self.assertIn("Writing setting MAIL/checkInterval to postrix.config failed", self.logged(applied))
        self.assertEqual(read_bytes(self.config_path), self.before)


class HandEditedFileTest(ProfileTest):
    """Lines joxhost does not own survive every rewrite, byte for byte."""

    KEPT = ("# konto Jana, poprawione ręcznie\r\n"
            "MAIL/password = text:\"C:\\Users\\jan\\tajne\"\n"
            "MAIL/mail = text:\"jan@example.com\"\n"
            "\n"
            "ta linia nic nie znaczy dla joxhost\n"
            "MAIL/pop3Server = pop.example.com  # bez typu\n").encode("utf-8")

    def setUp(self):
        super().setUp()
        with open(self.config_path, "wb") as settings_file:
            settings_file.write(self.KEPT + b"MAIL/checkInterval = int:5\n")

    def test_config_changes_only_its_own_line(self):
        changed = joxhost(self.dir, "config", "MAIL/checkInterval=int:7")
        self.assertEqual(changed.returncode, 0, changed.stderr)
        self.assertEqual(read_bytes(self.config_path), self.KEPT + b"MAIL/checkInterval = int:7\n")

    def test_the_plugin_keeps_the_password_written_as_a_windows_path(self):
        applied = joxhost(self.dir, "options", "0", "--interval", "9", "--show")
        self.assertEqual(applied.returncode, 0, applied.stderr)
        self.assertEqual(read_bytes(self.config_path), self.KEPT + b"MAIL/checkInterval = int:9\n")
        # The plug-in read the path as written: it saved no other password.
        password = [event["value"] for event in events(applied, "option") if event["id"] == 1003]
        self.assertEqual(password, ["********"])


class TwoProcessesTest(ProfileTest):
    """Several joxhost processes save into one profile at the same time."""

    PROCESSES = 3
    SAVES = 60  # each, 180 in all

    def test_no_save_fails_and_none_is_lost(self):
        failures = []

        def save_keys(process):
            for n in range(self.SAVES):
                saved = joxhost(self.dir, "config", "--any-key", f"MAIL/key{process}_{n}=int:{n}")
                if saved.returncode != 0:
                    failures.append(saved.stderr.strip())

        workers = [threading.Thread(target=save_keys, args=(p,)) for p in range(self.PROCESSES)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join(timeout=300)
        self.assertFalse(any(worker.is_alive() for worker in workers), "saving did not end in time")
        self.assertEqual(failures, [])
        stored = settings(self.dir)
        missing = [f"MAIL/key{p}_{n}" for p in range(self.PROCESSES) for n in range(self.SAVES)
                   if stored.get(f"MAIL/key{p}_{n}") != n]
        self.assertEqual(missing, [])
        leftovers = [name for name in os.listdir(self.dir) if ".tmp" in name]
        self.assertEqual(leftovers, [])


class OversizedFileTest(ProfileTest):
    def test_a_settings_file_over_16_mib_is_refused_with_one_line(self):
        line = b"# " + b"x" * 1021 + b"\n"
        with open(self.config_path, "wb") as settings_file:
            for _ in range(17 * 1024):
                settings_file.write(line)
        shown = joxhost(self.dir, "config")
        self.assertEqual(shown.returncode, 1, shown.stdout[:500])
        self.assertEqual(shown.stderr.splitlines(),
                         [f"joxhost: settings file {self.config_path} is {17 << 20} bytes, "
                          "more than the 16 MiB allowed"])
        changed = joxhost(self.dir, "config", "MAIL/ssl=int:0")
        self.assertEqual(changed.returncode, 1)
        self.assertEqual(os.path.getsize(self.config_path), 17 << 20)


if __name__ == "__main__":
    unittest.main()
