"""End-to-end tests of the send dialog and the options page through joxhost.

joxhost operates the plug-in's dialogs through its desktop table as a person
would; mail goes through the local Postfix and comes back through Dovecot.
Run through tests/e2e/run.sh, which starts the servers. Nothing leaves
127.0.0.1.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Mailbox, Profile, ScratchFiles, mail_env  # noqa: E402

ENV = mail_env()
ADDRESS = ENV["MAIL_ADDRESS"]


def attachments_of(message):
    return {part.get_filename(): part.get_payload(decode=True)
            for part in message.walk() if part.get_filename() is not None}


class SendDialogTest(unittest.TestCase):
    def setUp(self):
        self.mailbox = Mailbox(ENV)
        self.mailbox.clear()
        self.profile = Profile.secure(ENV)
        self.files = ScratchFiles()
        self.profile.joxhost("contact-add", "Tester Łącki", ADDRESS)

    def tearDown(self):
        self.profile.remove()
        self.files.remove()

    def test_two_attachments_arrive_byte_identical(self):
        binary = bytes(range(256)) * 700 + os.urandom(4099)
        polish = "Zażółć gęślą jaźń\r\nŁódź\n".encode("utf-8")
        binary_path = self.files.write("dane.bin", binary)
        polish_path = self.files.write("zażółć gęślą.txt", polish)
        result = self.profile.joxhost("send", "0", "--to", "Tester Łącki", "--subject", "Załączniki dwa",
                         "--body", "Treść listu\ndruga linia", "--attach", binary_path, "--attach", polish_path)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(result.events_named("notify")[0]["text"], "Mail wysłany pomyślnie")
        self.assertEqual(result.events_named("archive")[0]["contact"], ADDRESS)

        message = self.mailbox.wait_for_messages(1)[0]
        self.assertEqual(str(message["Subject"]), "Załączniki dwa")
        self.assertEqual(message["To"].addresses[0].display_name, "Tester Łącki")
        self.assertEqual(attachments_of(message), {"dane.bin": binary, "zażółć gęślą.txt": polish})
        text = next(part for part in message.walk() if part.get_content_type() == "text/plain"
                    and part.get_filename() is None)
        self.assertEqual(text.get_payload(decode=True).decode("utf-8"), "Treść listu\r\ndruga linia")

    def test_unreadable_attachment_fails_and_nothing_partial_is_delivered(self):
        # A directory is no regular file: the dialog refuses it and nothing is sent.
        unreadable = self.files.path("nieczytelny")
        os.mkdir(unreadable)
        first = self.files.write("pierwszy.txt", b"x" * 5000)
        result = self.profile.joxhost("send", "0", "--to", "Tester Łącki", "--subject", "Częściowy",
                         "--body", "b", "--attach", first, "--attach", unreadable)
        self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
        boxes = result.events_named("error")
        self.assertEqual([(box["title"], box["text"]) for box in boxes],
                         [("Załączniki", "SMTP - Could not read file nieczytelny")])

        # The next mail is the only one that arrives.
        self.assertEqual(self.profile.joxhost("send", "0", "--to", ADDRESS, "--subject", "Cały",
                                 "--body", "b").returncode, 0)
        messages = self.mailbox.wait_for_messages(1)
        self.assertEqual([str(m["Subject"]) for m in messages], ["Cały"])

    def test_an_unknown_contact_is_refused_before_anything_is_sent(self):
        result = self.profile.joxhost("send", "0", "--to", "Nikt", "--subject", "s", "--body", "b")
        self.assertEqual(result.returncode, 2)
        self.assertEqual(self.mailbox.raw_messages(), [])


class OptionsPageTest(unittest.TestCase):
    def setUp(self):
        self.mailbox = Mailbox(ENV)
        self.mailbox.clear()
        self.profile = Profile(ENV, {})

    def tearDown(self):
        self.profile.remove()

    def options(self, *args, password=None):
        extra = ["--password-stdin"] if password is not None else []
        return self.profile.joxhost("options", "0", *args, *extra,
                                    stdin=None if password is None else password + "\n")

    def test_an_account_set_up_from_scratch_sends_and_checks_mail(self):
        shown = {e["id"]: e["value"] for e in self.options("--show").events_named("option")}
        self.assertEqual(shown[1001], "")
        self.assertEqual(shown[1007], "tak")
        self.assertEqual(shown[1008], "1 min")

        result = self.options("--mail", ADDRESS, "--login", ENV["MAIL_USER"], "--smtp",
                              f"localhost:{ENV['SMTP_PORT']}", "--pop3", f"localhost:{ENV['POP3S_PORT']}",
                              "--interval", "5", "--www", "https://poczta.example/", "--show",
                              password=ENV["MAIL_PASSWORD"])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        shown = {e["label"]: e["value"] for e in result.events_named("option")}
        self.assertEqual(shown["Adres e-mail"], ADDRESS)
        self.assertEqual(shown["Hasło"], "********")
        self.assertEqual(shown["Sprawdzanie poczty co"], "5 min")
        with open(os.path.join(self.profile.dir, "postrix.config"), encoding="utf-8") as config:
            text = config.read()
        self.assertIn(f'MAIL/password = text:"{ENV["MAIL_PASSWORD"]}"', text)
        self.assertIn("MAIL/checkInterval = int:5", text)
        self.assertNotIn("MAIL/ssl", text)  # never touched: stays secure by default

        with self.profile.run() as host:
            host.command("check 0")
            host.expect_check_end()
            host.command(f"chat 0 {ADDRESS} Witaj z nowego konta")
            self.assertEqual(host.expect("notify")["text"], "Mail wysłany pomyślnie")
            self.mailbox.wait_for_messages(1)
            host.command("close")
            host.command("check 0")
            notice = host.expect("notify")
            self.assertEqual(notice["text"], f'Ilość nieprzeczytanych: 1\r\n1 - <{ADDRESS}>: ""')

    def test_error_boxes_become_events(self):
        self.options("--mail", ADDRESS, "--login", ENV["MAIL_USER"], "--smtp", f"localhost:{ENV['SMTP_PORT']}",
                     password="wrong")
        result = self.profile.joxhost("chat", "0", ADDRESS, "x")
        self.assertEqual(result.returncode, 1)
        box = result.events_named("error")[0]
        self.assertEqual(box["title"], ADDRESS)
        self.assertTrue(box["text"].startswith("SMTP - Authorization error:\r\n535"), box["text"])
