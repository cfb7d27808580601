"""End-to-end tests of sending against scripted SMTP servers and bad local files.

joxhost sends through the plug-in's send dialog (`send`) or as a chat message
to a scripted server on 127.0.0.1, which keeps every line and message it got.
"""
import email
import email.policy
import os
import re
import socket
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import ScratchFiles, mail_env  # noqa: E402
from hostile import ScriptedServer, SmtpScript, scripted_profile  # noqa: E402

ENV = mail_env()
RECIPIENT = "odbiorca@example.com"
# What a line of the body must not begin with: "--" and the boundary.
DELIMITER = "----boundary_postrix"


def is_domain(text):
    labels = text.split(".")
    return len(text) <= 255 and all(re.fullmatch(r"[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?", label)
                                    for label in labels)


class HostileSmtpTest(unittest.TestCase):
    def setUp(self):
        self.script = SmtpScript()
        self.server = ScriptedServer(self.script).__enter__()
        self.profile = scripted_profile(ENV, smtp=self.server)
        self.files = ScratchFiles()

    def tearDown(self):
        self.server.__exit__(None, None, None)
        self.profile.remove()
        self.files.remove()

    def send(self, *args):
        return self.profile.joxhost("send", "0", "--to", RECIPIENT, "--subject", "Raport", *args, ca_file=None, timeout=30)

    def test_a_body_line_cannot_close_the_multipart_early(self):
        forged = (f"Dzień dobry\n{DELIMITER}\nContent-Type: text/plain\n\nzmyślona część\n{DELIMITER}--\n"
                  f"{DELIMITER}  \n")
        body = "Hello\n" + forged.replace("Dzień", "Dzien").replace("zmyślona część", "made up part")
        real = bytes(range(256)) * 40
        result = self.send("--body", body, "--attach", self.files.write("raport.bin", real))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

        self.assertEqual(len(self.script.messages), 1)
        message = email.message_from_bytes(self.script.messages[0], policy=email.policy.default)
        parts = [part for part in message.walk() if not part.is_multipart()]
        self.assertEqual(len(parts), 2)
        self.assertEqual(parts[0].get_payload(decode=True).decode("ascii").replace("\r\n", "\n"), body)
        self.assertEqual((parts[1].get_filename(), parts[1].get_payload(decode=True)), ("raport.bin", real))
        # The opening delimiter, the attachment's and the closing one.
        lines = self.script.messages[0].split(b"\r\n")
        self.assertEqual(sum(line.startswith(DELIMITER.encode()) for line in lines), 3)

    def test_files_that_are_not_regular_are_refused_before_connecting(self):
        fifo = self.files.path("kolejka")
        os.mkfifo(fifo)
        folder = self.files.path("katalog")
        os.mkdir(folder)
        for path, name in [(fifo, "kolejka"), ("/dev/zero", "zero"), (folder, "katalog")]:
            with self.subTest(path=path):
                result = self.send("--body", "b", "--attach", self.files.write("dobry.txt", b"ok"), "--attach", path)
                self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
                self.assertEqual([box["text"] for box in result.events_named("error")],
                                 [f"SMTP - Could not read file {name}"])
                self.assertIn(f"send: the dialog did not take the attachment {path}: "
                              f"SMTP - Could not read file {name}", result.stderr)
        self.assertEqual(self.server.received, [])

    def test_ehlo_names_this_computer_not_the_server(self):
        result = self.profile.chat(RECIPIENT, "b", ca_file=None)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        ehlo = [line for line in self.server.commands() if line.startswith(b"EHLO ")]
        self.assertEqual(len(ehlo), 1)
        argument = ehlo[0][5:].decode("ascii")
        name = socket.gethostname()
        self.assertEqual(argument, name if is_domain(name) else "[127.0.0.1]")
        self.assertNotIn(str(self.server.port), argument)

    def test_a_tiny_size_limit_ends_the_send_before_mail_from(self):
        self.script.ehlo = ["scripted", "SIZE 1000", "AUTH LOGIN"]
        result = self.send("--body", "b", "--attach", self.files.write("duzy.bin", bytes(5000)))
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        boxes = [box["text"] for box in result.events_named("error")]
        self.assertEqual(len(boxes), 1, boxes)
        self.assertRegex(boxes[0], r"^SMTP - Message too large: 7\d\d\d bytes, the server accepts 1000$")
        words = [line.split(b" ")[0] for line in self.server.commands()]
        self.assertEqual(words[-1], b"QUIT")
        self.assertFalse({b"MAIL", b"RCPT", b"DATA"} & set(words), words)

    def test_the_announced_size_is_the_size_received(self):
        self.script.ehlo = ["scripted", "SIZE", "AUTH LOGIN"]
        result = self.send("--body", ".first\n..two\nlast", "--attach", self.files.write("a.bin", bytes(1000)))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        mail_from = [line for line in self.server.commands() if line.startswith(b"MAIL FROM:")]
        # The server counts each line with its CRLF, less a dot doubled at its start.
        lines = (self.script.messages[0] + b"\r\n").split(b"\r\n")[:-1]
        self.assertIn(b"...two", lines)
        self.assertEqual(mail_from, [b"MAIL FROM: <%s> SIZE=%d" % (ENV["MAIL_ADDRESS"].encode(),
                                                                   sum(len(line) + 2 - line.startswith(b".")
                                                                       for line in lines))])

if __name__ == "__main__":
    unittest.main()
