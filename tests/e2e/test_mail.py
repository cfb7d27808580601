"""End-to-end tests of postrix in joxhost against local Postfix and Dovecot.

Every test uses its own profile directory; the servers and the mailbox are
shared, so tests empty the mailbox first. Nothing leaves 127.0.0.1.
"""
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Mailbox, MailboxTestCase, Profile, ScratchFiles, mail_env, wait_until  # noqa: E402

ENV = mail_env()
ADDRESS = ENV["MAIL_ADDRESS"]

POLISH = "Zażółć gęślą jaźń — ĄĘŁŃÓŚŹŻ"


class SendingTest(MailboxTestCase):

    def test_chat_message_arrives_with_the_exact_body(self):
        long_line = "x" * 1500
        body = f"{POLISH}\n.\nśrodek\n{long_line}\nkoniec"
        result = self.profile.chat(ADDRESS, body, subject="Próba łączności")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(result.events_named("notify")[0]["text"], "Mail wysłany pomyślnie")
        archived = result.events_named("archive")[0]
        self.assertEqual((archived["contact"], archived["subject"], archived["body"]),
                         (ADDRESS, "Próba łączności", body))

        message = self.mailbox.wait_for_messages(1)[0]
        self.assertEqual(str(message["Subject"]), "Próba łączności")
        self.assertEqual(message["From"].addresses[0].addr_spec, ADDRESS)
        text = message.get_payload(decode=True).decode("utf-8")
        self.assertEqual(text.replace("\r\n", "\n"), body)
        raw = self.mailbox.raw_messages()[0]
        self.assertIn(f"From: <{ADDRESS}>\r\n".encode(), raw)
        self.assertTrue(all(len(line) <= 998 for line in raw.split(b"\r\n")))

    def test_ascii_body_with_a_lone_dot_line_and_a_long_line_arrives_whole(self):
        for body in ["first\n.\n..two dots\nlast", "short\n" + "y" * 1200 + "\n.\nend"]:
            self.mailbox.clear()
            self.assertEqual(self.profile.chat(ADDRESS, body).returncode, 0)
            message = self.mailbox.wait_for_messages(1)[0]
            text = message.get_payload(decode=True).decode("utf-8")
            self.assertEqual(text.replace("\r\n", "\n").rstrip("\n"), body)

    def test_wrong_password_then_the_account_still_sends(self):
        self.profile.config(**{"MAIL/password": "wrong"})
        result = self.profile.chat(ADDRESS, "one")
        self.assertEqual(result.returncode, 1)
        failures = [e["text"] for e in result.events_named("log")]
        self.assertEqual(len(failures), 1, failures)
        self.assertIn("SMTP - Authorization error:\r\n535", failures[0])

        self.profile.config(**{"MAIL/password": ENV["MAIL_PASSWORD"]})
        self.assertEqual(self.profile.chat(ADDRESS, "two").returncode, 0)
        self.assertEqual(len(self.mailbox.wait_for_messages(1)), 1)

    def test_stopped_server_then_the_account_still_sends(self):
        with self.profile.run() as host:
            self.mailbox.stop_smtp()
            try:
                host.command(f"chat 0 {ADDRESS} first")
                failure = host.expect("log", timeout=30)
                self.assertIn("SMTP - Connection error:10061", failure["text"])
            finally:
                self.mailbox.start_smtp()
            host.command(f"chat 0 {ADDRESS} second")
            self.assertEqual(host.expect("notify")["text"], "Mail wysłany pomyślnie")
            self.assertEqual(host.events_named("log"), [failure])
        self.assertEqual(len(self.mailbox.wait_for_messages(1)), 1)

    def test_untrusted_certificate_fails_and_a_trusted_one_works(self):
        result = self.profile.chat(ADDRESS, "hello", ca_file=None)
        self.assertEqual(result.returncode, 1)
        failures = [e["text"] for e in result.events_named("log")]
        self.assertEqual(len(failures), 1, failures)
        self.assertRegex(failures[0], r"SMTP - SSL error \(\d+\): certificate verify failed")
        self.assertEqual(self.mailbox.raw_messages(), [])
        self.assertEqual(self.profile.chat(ADDRESS, "hello").returncode, 0)


class SizeLimitTest(unittest.TestCase):
    """Sending through the submission port that takes at most SMTP_SMALL_LIMIT bytes."""

    def setUp(self):
        self.mailbox = Mailbox(ENV)
        self.mailbox.clear()
        self.profile = Profile.secure(ENV)
        self.profile.config(**{"MAIL/smtpServer": f"localhost:{ENV['SMTP_SMALL_PORT']}"})
        self.files = ScratchFiles()
        self.log = os.path.join(os.environ.get("POSTRIX_MAIL_DIR", "/tmp/postrix-mail"), "logs", "postfix.log")

    def tearDown(self):
        self.profile.remove()
        self.files.remove()

    def send(self, size):
        """Sends a file of size bytes; returns joxhost's result and Postfix's summary of the session."""
        offset = os.path.getsize(self.log)
        result = self.profile.joxhost("send", "0", "--to", ADDRESS, "--subject", "Duży plik", "--body", "plik",
                                      "--attach", self.files.write("plik.bin", os.urandom(size)))

        def disconnect():
            with open(self.log, encoding="utf-8", errors="replace") as log:
                log.seek(offset)
                return next((line for line in log if "submission-small/smtpd" in line and " disconnect " in line), None)
        return result, wait_until(disconnect, 10, "Postfix's disconnect line")

    def test_over_the_limit_fails_before_mail_from_and_under_it_arrives(self):
        result, session = self.send(2 * 1024 * 1024)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertRegex(result.events_named("error")[0]["text"],
                         rf"^SMTP - Message too large: 28\d{{5}} bytes, the server accepts {ENV['SMTP_SMALL_LIMIT']}$")
        self.assertIn(" quit=1 ", session)
        self.assertNotIn(" mail=", session)

        result, session = self.send(100 * 1024)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(" data=1 ", session)
        message = self.mailbox.wait_for_messages(1)[0]
        self.assertEqual(len(next(p for p in message.walk() if p.get_filename()).get_payload(decode=True)), 102400)


class SubmissionPortTest(unittest.TestCase):
    """Sending over TLS from the first byte (127.0.0.1:465) and to the port that offers AUTH PLAIN only."""

    def setUp(self):
        self.mailbox = Mailbox(ENV)
        self.mailbox.clear()
        self.profile = Profile.secure(ENV)
        self.log = os.path.join(os.environ.get("POSTRIX_MAIL_DIR", "/tmp/postrix-mail"), "logs", "postfix.log")

    def tearDown(self):
        self.profile.remove()

    def chat(self, service, text, **kwargs):
        """Sends a chat message; returns joxhost's result and Postfix's lines of that session up to its end."""
        offset = os.path.getsize(self.log)
        result = self.profile.chat(ADDRESS, text, **kwargs)

        def session():
            with open(self.log, encoding="utf-8", errors="replace") as log:
                log.seek(offset)
                lines = [line for line in log if f"postfix/{service}/smtpd[" in line]
            return lines if any(" disconnect " in line for line in lines) else None
        return result, "".join(wait_until(session, 10, f"the end of a {service} session"))

    def test_port_465_speaks_tls_at_once_with_or_without_the_starttls_setting(self):
        if not ENV.get("SMTPS_PORT"):
            self.skipTest("no 127.0.0.1:465 listener: only the mail server instance with "
                          "POSTRIX_MAIL_PORT_OFFSET=0 has it")
        self.profile.config(**{"MAIL/smtpServer": f"localhost:{ENV['SMTPS_PORT']}"})
        result = self.profile.chat(ADDRESS, "hello", ca_file=None)
        self.assertEqual(result.returncode, 1)
        failures = [e["text"] for e in result.events_named("log")]
        self.assertEqual(len(failures), 1, failures)
        self.assertRegex(failures[0], rf"^{ADDRESS}: SMTP - SSL error \(\d+\): certificate verify failed")
        for ssl_setting in ("int:1", "int:0"):
            with self.subTest(ssl=ssl_setting):
                self.mailbox.clear()
                self.profile.config(**{"MAIL/ssl": ssl_setting})
                result, session = self.chat("smtps", f"przez 465, {POLISH}")
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertEqual(result.events_named("notify")[0]["text"], "Mail wysłany pomyślnie")
                self.assertRegex(session, r" disconnect from .* ehlo=1 auth=1 mail=1 rcpt=1 data=1 quit=1 ")
                self.assertNotIn("starttls", session)
                message = self.mailbox.wait_for_messages(1)[0]
                self.assertEqual(message.get_payload(decode=True).decode("utf-8").rstrip("\r\n"),
                                 f"przez 465, {POLISH}")

    def test_plain_only_port_gets_auth_plain_and_a_wrong_password_is_reported(self):
        self.profile.config(**{"MAIL/smtpServer": f"localhost:{ENV['SMTP_PLAIN_PORT']}"})
        result, session = self.chat("submission-plain", "tylko PLAIN")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("sasl_method=PLAIN, sasl_username=tester", session)
        self.assertRegex(session, r" ehlo=2 starttls=1 auth=1 mail=1 rcpt=1 data=1 quit=1 ")
        self.assertEqual(len(self.mailbox.wait_for_messages(1)), 1)

        self.profile.config(**{"MAIL/password": "wrong"})
        result, session = self.chat("submission-plain", "nie dojdzie")
        self.assertEqual(result.returncode, 1)
        failures = [e["text"] for e in result.events_named("log")]
        self.assertEqual(len(failures), 1, failures)
        self.assertRegex(failures[0], rf"^{ADDRESS}: SMTP - Authorization error:\r\n535 5\.7\.8 .*\r\n$")
        self.assertRegex(session, r" auth=0/1 quit=1 ")


class ReceivingTest(unittest.TestCase):
    SENDERS = [
        ("=?UTF-8?Q?Pawe=C5=82_Kowalski?= <pawel@example.com>", "Paweł Kowalski <pawel@example.com>"),
        ("=?ISO-8859-2?Q?=A3ukasz?= <lukasz@example.com>", "Łukasz <lukasz@example.com>"),
    ]
    SUBJECTS = [
        ("Re: =?UTF-8?B?WmHFvMOzxYLEhyBnxJnFm2zEhSBqYcW6xYQ=?=", "Re: Zażółć gęślą jaźń"),
        ("=?iso-8859-2?q?Spotkanie_w_=B3?=\r\n =?iso-8859-2?q?=F3dce?=", "Spotkanie w łódce"),
    ]

    def setUp(self):
        self.mailbox = Mailbox(ENV)
        self.mailbox.clear()

    def check_announces_new_mail(self, profile):
        self.mailbox.deliver("Old <old@example.com>", "Before the first check", "old")
        self.mailbox.wait_for_messages(1)
        with profile.run() as host:
            host.command("check 0")
            host.expect_check_end()
            self.assertEqual(host.events_named("notify"), [])

            for (sender, _), (subject, _) in zip(self.SENDERS, self.SUBJECTS):
                self.mailbox.deliver(sender, subject, "body")
            self.mailbox.wait_for_messages(3)
            host.command("check 0")
            notice = host.expect("notify")
            host.expect_check_end()
            news = host.events_named("news")

        # Newest first.
        expected = list(zip([s for _, s in self.SENDERS], [s for _, s in self.SUBJECTS]))[::-1]
        self.assertEqual(notice["title"], f"Nowa poczta ({ADDRESS})")
        self.assertEqual(notice["icon"], "Image/Mail")
        lines = [f"Ilość nieprzeczytanych: {len(expected)}"]
        lines += [f'{i} - {sender}: "{subject}"' for i, (sender, subject) in enumerate(expected, 1)]
        self.assertEqual(notice["text"], "\r\n".join(lines))
        self.assertEqual([(n["from"], n["subject"]) for n in news],
                         [(s.replace("<", " ").replace(">", " "), subj) for s, subj in expected])
        rows = profile.query("SELECT sender, subject, account_address FROM news ORDER BY id")
        self.assertEqual(rows, [(s.replace("<", " ").replace(">", " "), subj, ADDRESS) for s, subj in expected])

    def test_pop3_over_tls_announces_new_mail(self):
        profile = Profile.secure(ENV)
        try:
            self.check_announces_new_mail(profile)
        finally:
            profile.remove()

    def test_plain_pop3_announces_new_mail(self):
        profile = Profile.plain(ENV)
        try:
            self.check_announces_new_mail(profile)
        finally:
            profile.remove()

    def test_check_failures_warn_once_and_the_next_check_works(self):
        profile = Profile.secure(ENV)
        try:
            with profile.run(ca_file=None) as host:
                host.command("check 0")
                warning = host.expect("notify")
                self.assertEqual(warning["icon"], "Image/Warning32")
                self.assertEqual(warning["title"], ADDRESS)
                self.assertRegex(warning["text"], r"^POP3 - SSL error \(\d+\): certificate verify failed")
            profile.config(**{"MAIL/password": "wrong"})
            with profile.run() as host:
                host.command("check 0")
                warning = host.expect("notify")
                self.assertTrue(warning["text"].startswith("POP3 - "), warning["text"])
                self.assertIn("-ERR", warning["text"])
                host.command("close")
                profile.config(**{"MAIL/password": ENV["MAIL_PASSWORD"]})
                host.command("check 0")
                host.expect_check_end()
                self.mailbox.deliver("New <new@example.com>", "After the failures", "x")
                self.mailbox.wait_for_messages(1)
                host.command("check 0")
                notice = host.expect("notify")
                self.assertEqual(notice["text"], 'Ilość nieprzeczytanych: 1\r\n1 - New <new@example.com>: "After the failures"')
        finally:
            profile.remove()

    def test_sent_mail_is_archived_and_comes_back_as_new_mail(self):
        profile = Profile.secure(ENV)
        try:
            with profile.run() as host:
                host.command("check 0")
                host.expect_check_end()
                host.command(f"chat 0 {ADDRESS} Cześć")
                host.expect("notify")
                self.mailbox.wait_for_messages(1)
                host.command("close")
                host.command("check 0")
                notice = host.expect("notify")
                self.assertEqual(notice["text"], f'Ilość nieprzeczytanych: 1\r\n1 - <{ADDRESS}>: ""')
            rows = profile.query("SELECT contact, net_class, body FROM archive")
            self.assertEqual(rows, [(ADDRESS, "MAIL", "Cześć")])
        finally:
            profile.remove()
