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
from harness import MailboxTestCase, Profile, mail_env  # noqa: E402

ENV = mail_env()
ADDRESS = ENV["MAIL_ADDRESS"]


def config_text(profile, name="postrix.config"):
    with open(os.path.join(profile.dir, name), encoding="utf-8") as settings_file:
        return settings_file.read()


class CheckTest(MailboxTestCase):

    def test_a_check_of_an_empty_and_of_a_full_mailbox_ends_with_status_0(self):
        quiet = self.profile.joxhost("check", "0")
        self.assertEqual(quiet.returncode, 0, quiet.stderr)
        self.assertEqual(quiet.stderr, "")
        self.assertEqual([e["what"] for e in quiet.events_named("net")][-1], "close")

        self.mailbox.deliver("Ola <ola@example.com>", "Pierwsza", "x")
        self.mailbox.deliver("Jan <jan@example.com>", "Druga", "y")
        self.mailbox.wait_for_messages(2)
        full = self.profile.joxhost("check", "0")
        self.assertEqual(full.returncode, 0, full.stderr)
        self.assertEqual(full.stderr, "")
        # The first check left what it learnt in postrix.known: this process
        # announces what arrived since, and the next one nothing again.
        notices = full.events_named("notify")
        self.assertEqual(len(notices), 1, notices)
        self.assertTrue(notices[0]["text"].startswith("Ilość nieprzeczytanych: 2\r\n"), notices[0]["text"])
        self.assertEqual(self.profile.joxhost("check", "0").events_named("notify"), [])
        self.assertEqual(len(self.mailbox.raw_messages()), 2)  # a check takes nothing away

    def test_a_wrong_password_fails_with_status_1_and_one_line(self):
        self.profile.config(**{"MAIL/password": "wrong"})
        started = time.monotonic()
        failed = self.profile.joxhost("check", "0")
        self.assertLess(time.monotonic() - started, 20)
        self.assertEqual(failed.returncode, 1, failed.stdout)
        lines = failed.stderr.splitlines()
        self.assertEqual(len(lines), 1, failed.stderr)
        self.assertRegex(lines[0], r"^joxhost: check: POP3 - Error on PASS: -ERR .*Authentication failed")
        self.assertEqual([e["status"] for e in failed.events_named("host-error")], [1])

    def test_incomplete_settings_start_nothing_and_are_named(self):
        self.profile.config(**{"MAIL/password": "", "MAIL/login": ""})
        incomplete = self.profile.joxhost("check", "0")
        self.assertEqual(incomplete.returncode, 3)
        self.assertEqual(incomplete.stderr,
                         "joxhost: check: account 0 cannot check mail: missing MAIL/login, MAIL/password\n")
        self.assertEqual(incomplete.events_named("net"), [])

        self.profile.config(**{"MAIL/login": ENV["MAIL_USER"], "MAIL/password": ENV["MAIL_PASSWORD"],
                               "MAIL/pop3Server": ""})
        unchecked = self.profile.joxhost("check", "0")
        self.assertEqual(unchecked.returncode, 3)
        self.assertEqual(unchecked.stderr,
                         "joxhost: check: account 0 has no POP3 server (MAIL/pop3Server is empty): it checks no mail\n")

        sending = self.profile.joxhost("chat", "0", ADDRESS, "x")  # SMTP is all set
        self.assertEqual(sending.returncode, 0, sending.stderr)
        self.profile.config(**{"MAIL/smtpServer": "", "MAIL/mail": ""})
        for args in (["chat", "0", ADDRESS, "x"], ["send", "0", "--to", ADDRESS, "--body", "b"]):
            refused = self.profile.joxhost(*args)
            self.assertEqual(refused.returncode, 3, args)
            self.assertEqual(refused.stderr, f"joxhost: {args[0]}: account 0 cannot send mail: "
                                             "missing MAIL/smtpServer, MAIL/mail\n")
        self.assertEqual(len(self.mailbox.wait_for_messages(1)), 1)

    def test_a_ca_file_saved_in_the_profile_serves_every_later_command(self):
        ca_copy = os.path.join(self.profile.dir, "kopia-ca.pem")
        shutil.copy(ENV["CA_FILE"], ca_copy)
        untrusted = self.profile.joxhost("check", "0", ca_file=None)
        self.assertEqual(untrusted.returncode, 1)
        self.assertIn("certificate verify failed", untrusted.stderr)

        saved = self.profile.joxhost("config", f"host/caFile={ca_copy}", ca_file=None)
        self.assertEqual(saved.returncode, 0, saved.stderr)
        self.assertNotIn("caFile", config_text(self.profile))  # not the plug-in's business
        self.assertIn("host/caFile", config_text(self.profile, "joxhost.settings"))
        checked = self.profile.joxhost("check", "0", ca_file=None)
        self.assertEqual(checked.returncode, 0, checked.stderr)
        self.assertIn({"event": "net", "connection": "MAIL/Socket/POP3/1", "what": "tls", "ok": True},
                      checked.events)

        os.remove(ca_copy)
        gone = self.profile.joxhost("check", "0", ca_file=None)
        self.assertEqual(gone.returncode, 1)
        self.assertEqual(gone.stderr, "joxhost: the CA file saved in the profile (host/caFile) does not exist: "
                                      f"{ca_copy}\n")
        explicit = self.profile.joxhost("check", "0")  # --ca-file wins over the saved one
        self.assertEqual(explicit.returncode, 0, explicit.stderr)


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

    def test_the_protocol_imap_server_and_folder_go_through_config_and_the_options_page(self):
        refused = self.profile.joxhost("config", "MAIL/protocol=imap4")
        self.assertEqual(refused.returncode, 2)
        self.assertEqual(refused.stderr, "joxhost: config: MAIL/protocol takes pop3 or imap, got 'imap4'\n")
        saved = self.profile.joxhost("config", "MAIL/protocol=imap", "MAIL/imapServer=127.0.0.1:10143")
        self.assertEqual(saved.returncode, 0, saved.stderr)
        shown = {e["id"]: e for e in self.profile.joxhost("options", "0", "--show").events_named("option")}
        self.assertEqual((shown[1009]["label"], shown[1009]["value"]), ("Odbiór poczty", "IMAP"))
        self.assertEqual((shown[1010]["label"], shown[1010]["value"]), ("Serwer IMAP", "127.0.0.1:10143"))
        self.assertEqual((shown[1011]["label"], shown[1011]["value"]), ("Folder IMAP (domyślnie INBOX)", ""))

        applied = self.profile.joxhost("options", "0", "--protocol", "pop3", "--imap", "imap.example.com",
                                       "--folder", "Praca/Ważne")
        self.assertEqual(applied.returncode, 0, applied.stderr)
        text = config_text(self.profile)
        self.assertIn('MAIL/protocol = text:"pop3"\n', text)
        self.assertIn('MAIL/imapServer = text:"imap.example.com"\n', text)
        self.assertIn('MAIL/imapFolder = text:"Praca/Ważne"\n', text)
        bad = self.profile.joxhost("options", "0", "--protocol", "smtp")
        self.assertEqual(bad.returncode, 2)
        self.assertEqual(bad.stderr, "joxhost: --protocol takes pop3 or imap, got 'smtp'\n")

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


class ProfileCommandsTest(MailboxTestCase):

    def test_options_show_leaves_the_settings_file_untouched(self):
        self.profile.config(**{"MAIL/checkInterval": "int:3"})
        path = os.path.join(self.profile.dir, "postrix.config")
        old = time.time() - 3600
        os.utime(path, (old, old))
        before = os.stat(path)
        with open(path, "rb") as settings_file:
            content = settings_file.read()
        shown = self.profile.joxhost("options", "0", "--show")
        self.assertEqual(shown.returncode, 0, shown.stderr)
        self.assertEqual(len(shown.events_named("option")), 11)
        after = os.stat(path)
        self.assertEqual((after.st_mtime_ns, after.st_ino), (before.st_mtime_ns, before.st_ino))
        with open(path, "rb") as settings_file:
            self.assertEqual(settings_file.read(), content)
        self.assertEqual([name for name in os.listdir(self.profile.dir) if ".tmp" in name], [])

    def test_account_remove_takes_the_position_that_accounts_lists(self):
        added = self.profile.joxhost("account-add", "praca")
        self.assertEqual(added.returncode, 0, added.stderr)
        listed = self.profile.joxhost("accounts").events_named("account")
        self.assertEqual([(a["position"], a["main"]) for a in listed], [(0, True), (1, False)])

        main = self.profile.joxhost("account-remove", "0")
        self.assertEqual(main.returncode, 2)
        self.assertEqual(main.stderr,
                         "joxhost: account-remove: account 0 is the main account, which cannot be removed\n")
        missing = self.profile.joxhost("account-remove", "2")
        self.assertEqual((missing.returncode, missing.stderr),
                         (2, "joxhost: account-remove: no account at position 2 (there are 2)\n"))

        removed = self.profile.joxhost("account-remove", "1")
        self.assertEqual(removed.returncode, 0, removed.stderr)
        self.assertEqual(removed.events_named("account-removed"), [{"event": "account-removed",
                                                                    "id": listed[1]["id"],
                                                                    "name": listed[1]["name"]}])
        self.assertFalse(os.path.exists(os.path.join(self.profile.dir, "postrix_praca.config")))
        self.assertEqual(len(self.profile.joxhost("accounts").events_named("account")), 1)

    def test_send_without_a_subject_sends_an_empty_one(self):
        sent = self.profile.joxhost("send", "0", "--to", ADDRESS, "--body", "bez tematu")
        self.assertEqual(sent.returncode, 0, sent.stdout + sent.stderr)
        message = self.mailbox.wait_for_messages(1)[0]
        self.assertEqual(message["Subject"], "")
        self.assertEqual(message.get_content().strip(), "bez tematu")


if __name__ == "__main__":
    unittest.main()
