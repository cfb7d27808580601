"""End-to-end tests of joxhost's own commands against local Postfix and Dovecot.

Each test uses its own profile directory; the servers and the mailbox are
shared, so tests that read the mailbox empty it first.
"""
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Mailbox, Profile, mail_env  # noqa: E402

ENV = mail_env()
ADDRESS = ENV["MAIL_ADDRESS"]


def config_text(profile, name="postrix.config"):
    with open(os.path.join(profile.dir, name), encoding="utf-8") as settings_file:
        return settings_file.read()


class ConfigTest(unittest.TestCase):
    def setUp(self):
        self.profile = Profile(ENV, {})

    def tearDown(self):
        self.profile.remove()

    def test_typos_and_values_of_the_wrong_type_are_refused_with_the_nearest_key(self):
        cases = [
            ("MAIL/smtpServr=smtp.example.com", "unknown key 'MAIL/smtpServr' (did you mean MAIL/smtpServer?)"),
            ("mail/checkinterval=5", "unknown key 'mail/checkinterval' (did you mean MAIL/checkInterval?)"),
            ("MAIL/checkInterval=abc", "MAIL/checkInterval takes whole minutes from 1 to 35791, got 'abc'"),
            ("MAIL/ssl=yes", "MAIL/ssl takes 0 or 1, got 'yes'"),
            ("MAIL/pop3Server=pop:99999", "MAIL/pop3Server takes host[:port] with a port from 1 to 65535, "
                                          "got 'pop:99999'"),
        ]
        for pair, why in cases:
            with self.subTest(pair=pair):
                refused = self.profile.joxhost("config", pair)
                self.assertEqual(refused.returncode, 2)
                self.assertEqual(refused.stderr, f"joxhost: config: {why}\n")
        self.assertFalse(os.path.exists(os.path.join(self.profile.dir, "postrix.config")))

    def test_integers_are_stored_as_integers_and_the_plugin_reads_them(self):
        saved = self.profile.joxhost("config", "MAIL/checkInterval=7", "MAIL/ssl=0", "MAIL/mailboxWww=https://x/")
        self.assertEqual(saved.returncode, 0, saved.stderr)
        text = config_text(self.profile)
        self.assertIn("MAIL/checkInterval = int:7\n", text)
        self.assertIn("MAIL/ssl = int:0\n", text)
        self.assertIn('MAIL/mailboxWww = text:"https://x/"\n', text)
        shown = {e["id"]: e["value"] for e in self.profile.joxhost("options", "0", "--show").events_named("option")}
        self.assertEqual((shown[1007], shown[1008]), ("nie", "7 min"))

    def test_the_password_comes_from_standard_input_not_the_command_line(self):
        saved = self.profile.joxhost("config", "--password-stdin", stdin="tajne hasło\nreszta\n")
        self.assertEqual(saved.returncode, 0, saved.stderr)
        self.assertNotIn("tajne", saved.stdout)
        self.assertIn('MAIL/password = text:"tajne hasło"\n', config_text(self.profile))
        asked = self.profile.joxhost("config", "--password", stdin="x\n")
        self.assertEqual(asked.returncode, 2)
        self.assertIn("--password-stdin", asked.stderr)

    def test_options_refuse_an_interval_that_is_no_whole_number_of_minutes(self):
        for interval in ("abc", "0", "-3"):
            with self.subTest(interval=interval):
                refused = self.profile.joxhost("options", "0", f"--interval={interval}")
                self.assertEqual(refused.returncode, 2)
                self.assertEqual(refused.stderr, "joxhost: --interval takes whole minutes from 1 to 35791, "
                                                 f"got '{interval}'\n")


if __name__ == "__main__":
    unittest.main()
