"""End-to-end tests of `joxhost run` ending at the end of its input, of
failures printed once on one line, and of a long send's progress.

Every test uses its own profile; the servers and the mailbox are shared, so
tests empty the mailbox first. Nothing leaves 127.0.0.1.
"""
import json
import os
import pty
import re
import signal
import socket
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import HOST_ENV, JOXHOST, MailboxTestCase, ScratchFiles, mail_env  # noqa: E402
from hostile import ScriptedServer, SmtpScript, scripted_profile  # noqa: E402

ENV = mail_env()
ADDRESS = ENV["MAIL_ADDRESS"]


def closed_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def events(stdout):
    return [json.loads(line) for line in stdout.splitlines() if line.startswith("{")]


class RunEndsTest(MailboxTestCase):

    def test_run_finishes_a_send_and_a_check_at_the_end_of_its_input(self):
        started = time.monotonic()
        result = self.profile.joxhost("run", stdin=f"chat 0 {ADDRESS} Koniec wejścia\ncheck 0\n", timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        names = [e["event"] for e in result.events]
        self.assertEqual(names[-1], "stopped")
        self.assertIn("Mail wysłany pomyślnie", [e.get("text") for e in result.events_named("notify")])
        closes = [e["connection"] for e in result.events_named("net") if e["what"] == "close"]
        self.assertIn("MAIL/Socket/POP3/1", closes)
        self.assertIn("MAIL/Socket/SMTP/1", closes)
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(len(self.mailbox.wait_for_messages(1)), 1)

    def test_run_exits_1_when_a_send_failed_and_shows_the_failure_once_on_one_line(self):
        self.profile.config(**{"MAIL/password": "wrong"})
        result = self.profile.readable("run", stdin=f"chat 0 {ADDRESS} raz\n", timeout=60)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        output = result.stdout + result.stderr
        lines = [line for line in output.splitlines() if "Authorization error" in line]
        self.assertEqual(len(lines), 1, output)
        self.assertRegex(lines[0], r"SMTP - Authorization error: 535")
        self.assertNotIn("\n535", output)

        # The same in --json: every event stays, the outcome is the status.
        result = self.profile.joxhost("run", stdin=f"chat 0 {ADDRESS} dwa\n", timeout=60)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertEqual(len(result.events_named("error")), 1)
        self.assertEqual(len([e for e in result.events_named("log") if e["level"] < 0]), 1)

    def test_a_failed_check_fails_the_run(self):
        self.profile.config(**{"MAIL/password": "wrong"})
        result = self.profile.readable("run", stdin="check 0\n", timeout=60)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        lines = [line for line in result.stdout.splitlines() if "Error on PASS" in line]
        self.assertEqual(len(lines), 1, result.stdout)
        self.assertIn("Error on PASS: -ERR", lines[0])

    def test_a_check_the_settings_cannot_start_names_what_they_lack(self):
        self.profile.config(**{"MAIL/login": ""})
        result = self.profile.readable("run", stdin="check 0\n", timeout=60)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("cannot check mail: missing MAIL/login", result.stdout + result.stderr)

    def test_a_refused_connection_shows_what_the_number_means(self):
        self.profile.config(**{"MAIL/smtpServer": f"localhost:{closed_port()}"})
        result = self.profile.readable("chat", "0", ADDRESS, "nikt nie słucha", timeout=60)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        lines = [line for line in result.stdout.splitlines() if "Connection error" in line]
        self.assertEqual(len(lines), 1, result.stdout)
        self.assertIn("Connection error:10061 (connection refused)", lines[0])

    def test_stay_keeps_running_after_the_input_until_sigterm(self):
        args = [JOXHOST, "--profile", self.profile.dir, "--ca-file", ENV["CA_FILE"], "--json", "run", "--stay"]
        process = subprocess.Popen(args, env=HOST_ENV, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        try:
            process.stdin.write("check 0\n")
            process.stdin.close()
            process.stdin = None  # communicate() would flush it
            time.sleep(3)
            self.assertIsNone(process.poll(), "joxhost run --stay ended at the end of its input")
            process.send_signal(signal.SIGTERM)
            stdout, stderr = process.communicate(timeout=20)
        finally:
            if process.poll() is None:
                process.kill()
        self.assertEqual(process.returncode, 0, stderr)
        names = [e["event"] for e in events(stdout)]
        self.assertEqual(names[-2:], ["signal", "stopped"])
        self.assertIn("MAIL/Socket/POP3/1", [e.get("connection") for e in events(stdout)])


class SlowSmtpScript(SmtpScript):
    """Takes what the client sends at about 6 MiB a second, so that a send of some MiB lasts."""

    def serve(self, talk):
        fill = talk._fill

        def slow_fill():
            time.sleep(0.01)
            fill()

        talk._fill = slow_fill
        super().serve(talk)


class ProgressTest(unittest.TestCase):
    SIZE = 6 << 20  # 8.2 MiB in Base64: well over a second to this server

    def setUp(self):
        self.script = SlowSmtpScript()
        self.server = ScriptedServer(self.script).__enter__()
        self.profile = scripted_profile(ENV, smtp=self.server)
        self.files = ScratchFiles()
        self.big = self.files.write("duży.bin", os.urandom(self.SIZE))

    def tearDown(self):
        self.server.__exit__(None, None, None)
        self.profile.remove()
        self.files.remove()

    def send_args(self, *extra):
        return [JOXHOST, "--profile", self.profile.dir, *extra, "send", "0", "--to", ADDRESS, "--subject", "Duży",
                "--body", "w załączniku", "--attach", self.big]

    def test_a_large_send_shows_its_progress_on_a_terminal_and_nowhere_else(self):
        controller, terminal = pty.openpty()
        process = subprocess.Popen(self.send_args(), env=HOST_ENV, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=terminal)
        os.close(terminal)
        shown = bytearray()

        def read_terminal():
            while True:
                try:
                    chunk = os.read(controller, 65536)
                except OSError:  # EIO once joxhost has closed its end
                    return
                if not chunk:
                    return
                shown.extend(chunk)

        reader = threading.Thread(target=read_terminal, daemon=True)
        reader.start()
        stdout, _ = process.communicate(timeout=120)
        reader.join(timeout=10)
        os.close(controller)
        self.assertEqual(process.returncode, 0, stdout)
        text = shown.decode("utf-8", "replace")
        lines = re.findall(r"\rsending ([0-9.]+ [KMG]?i?B) of ~8\.2 MiB \((\d+)%\), [0-9.]+ [KMG]?i?B/s\x1b\[K", text)
        self.assertGreaterEqual(len(lines), 2, repr(text[:400]))
        shares = [int(share) for _, share in lines]
        self.assertEqual(shares, sorted(shares))
        self.assertTrue(text.endswith("\r\x1b[K"), repr(text[-80:]))  # cleared at the end
        self.assertNotIn(b"sending", stdout)
        self.assertEqual(len(self.script.messages), 1)

        # Standard error to a file, and --json: no progress line; --json has its events instead.
        for extra in ([], ["--json"]):
            started = time.monotonic()
            result = subprocess.run(self.send_args(*extra), env=HOST_ENV, capture_output=True, text=True,
                                    timeout=120)
            elapsed = time.monotonic() - started
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertNotIn("sending", result.stderr)
            progress = [e for e in events(result.stdout) if e["event"] == "progress"]
            if not extra:
                self.assertEqual(progress, [])
                continue
            self.assertGreaterEqual(len(progress), 1)
            self.assertLessEqual(len(progress), elapsed * 4 + 1)
            sent = [e["sent"] for e in progress]
            self.assertEqual(sent, sorted(sent))
            self.assertTrue(all(e["expected"] > self.SIZE * 4 // 3 and e["rate"] > 0 for e in progress))


if __name__ == "__main__":
    unittest.main()
