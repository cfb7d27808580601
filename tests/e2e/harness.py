"""Drives joxhost and the local mail servers for the end-to-end tests."""
import email
import email.policy
import glob
import json
import os
import queue
import shutil
import smtplib
import sqlite3
import ssl
import subprocess
import tempfile
import threading
import time
import unittest

JOXHOST = os.environ.get("JOXHOST", "build/joxhost")
MAILSERVERS = os.environ.get("MAILSERVERS", "scripts/mailservers.sh")
# The reachability probe must never leave this machine.
HOST_ENV = dict(os.environ, POSTRIX_PROBE_HOST="127.0.0.1")


def mail_env():
    run_dir = os.environ.get("POSTRIX_MAIL_DIR", "/tmp/postrix-mail")
    values = {}
    with open(os.path.join(run_dir, "env"), encoding="utf-8") as env_file:
        for line in env_file:
            if "=" in line and not line.startswith("#"):
                key, value = line.strip().split("=", 1)
                values[key] = value
    return values


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out after {timeout} s waiting for {what}")


class Mailbox:
    """The test user's Maildir, filled through Postfix and emptied through Dovecot."""

    def __init__(self, env):
        self.env = env

    def _servers(self, verb):
        subprocess.run(["bash", MAILSERVERS, verb], check=True, stdout=subprocess.DEVNULL)

    def clear(self):
        self._servers("clear")

    def stop_smtp(self):
        self._servers("stop-smtp")

    def start_smtp(self):
        self._servers("start-smtp")

    def _files(self):
        maildir = self.env["MAILDIR"]
        return sorted(glob.glob(os.path.join(maildir, "new", "*")) + glob.glob(os.path.join(maildir, "cur", "*")),
                      key=os.path.getmtime)

    def raw_messages(self):
        messages = []
        for path in self._files():
            with open(path, "rb") as message_file:
                messages.append(message_file.read().replace(b"\n", b"\r\n").replace(b"\r\r\n", b"\r\n"))
        return messages

    def wait_for_messages(self, count, timeout=20):
        wait_until(lambda: len(self._files()) >= count, timeout, f"{count} messages in the mailbox")
        return [email.message_from_bytes(raw, policy=email.policy.default) for raw in self.raw_messages()]

    def deliver(self, from_header, subject_header, body):
        """Sends a message whose headers are written exactly as given."""
        message = (f"From: {from_header}\r\nTo: <{self.env['MAIL_ADDRESS']}>\r\n"
                   f"Subject: {subject_header}\r\nDate: Mon, 5 Nov 2012 10:00:00 +0100\r\n"
                   f"\r\n{body}\r\n").encode("utf-8")
        context = ssl.create_default_context(cafile=self.env["CA_FILE"])
        with smtplib.SMTP(self.env["SMTP_HOST"], int(self.env["SMTP_PORT"]), timeout=20) as smtp:
            smtp.starttls(context=context)
            smtp.login(self.env["MAIL_USER"], self.env["MAIL_PASSWORD"])
            smtp.sendmail("sender@example.com", [self.env["MAIL_ADDRESS"]], message)


class ScratchFiles:
    """A temporary folder for the files a test attaches; remove() deletes it."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="postrix-e2e-files-")

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, content):
        with open(self.path(name), "wb") as out:
            out.write(content)
        return self.path(name)

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class Result:
    def __init__(self, completed):
        self.returncode = completed.returncode
        self.stdout = completed.stdout
        self.stderr = completed.stderr
        self.events = [json.loads(line) for line in completed.stdout.splitlines() if line.startswith("{")]

    def events_named(self, name):
        return [event for event in self.events if event["event"] == name]


class Profile:
    """One joxhost profile directory with the main account set up."""

    def __init__(self, env, settings):
        self.env = env
        self.dir = tempfile.mkdtemp(prefix="postrix-e2e-")
        self.config(**settings)

    @classmethod
    def secure(cls, env):
        return cls(env, {"MAIL/mail": env["MAIL_ADDRESS"], "MAIL/login": env["MAIL_USER"],
                         "MAIL/password": env["MAIL_PASSWORD"],
                         "MAIL/smtpServer": f"localhost:{env['SMTP_PORT']}",
                         "MAIL/pop3Server": f"localhost:{env['POP3S_PORT']}"})

    @classmethod
    def plain(cls, env):
        return cls(env, {"MAIL/mail": env["MAIL_ADDRESS"], "MAIL/login": env["MAIL_USER"],
                         "MAIL/password": env["MAIL_PASSWORD"],
                         "MAIL/smtpServer": f"localhost:{env['SMTP_PORT']}",
                         "MAIL/pop3Server": f"localhost:{env['POP3_PORT']}", "MAIL/ssl": "int:0"})

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def _base(self, ca_file="default"):
        args = [JOXHOST, "--profile", self.dir, "--json"]
        ca_file = self.env["CA_FILE"] if ca_file == "default" else ca_file
        if ca_file:
            args += ["--ca-file", ca_file]
        return args

    def config(self, **settings):
        pairs = [f"{key}={value}" for key, value in settings.items()]
        subprocess.run([JOXHOST, "--profile", self.dir, "config", *pairs], check=True,
                       stdout=subprocess.DEVNULL)

    def joxhost(self, *args, stdin=None, ca_file="default", timeout=120):
        """One joxhost command on this profile, with --json events."""
        return Result(subprocess.run(self._base(ca_file) + list(args), env=HOST_ENV, capture_output=True, text=True,
                                     input=stdin, timeout=timeout))

    def chat(self, address, text, subject=None, ca_file="default"):
        args = ["chat", "0", address, text]
        if subject is not None:
            args += ["--subject", subject]
        return self.joxhost(*args, ca_file=ca_file)

    def run(self, ca_file="default", status=None, stay=False, env=None):
        """`joxhost run` (with --stay when `stay`) on this profile; status: the exit status it must end
        with (by default 0, or 1 for a run where a check or a send failed); env: more environment."""
        return RunningHost(self._base(ca_file) + ["run"] + (["--stay"] if stay else []), status, env)

    def readable(self, *args, stdin=None, ca_file="default", timeout=120):
        """One joxhost command on this profile, printing for people (no --json)."""
        args = [arg for arg in self._base(ca_file) if arg != "--json"] + list(args)
        return subprocess.run(args, env=HOST_ENV, capture_output=True, text=True, input=stdin, timeout=timeout)

    def query(self, sql):
        with sqlite3.connect(os.path.join(self.dir, "archive.db")) as db:
            return db.execute(sql).fetchall()


class MailboxTestCase(unittest.TestCase):
    """A test on the local servers' empty mailbox with a fresh secure profile (`self.profile`)."""

    def setUp(self):
        self.mailbox = Mailbox(mail_env())
        self.mailbox.clear()
        self.profile = Profile.secure(self.mailbox.env)

    def tearDown(self):
        self.profile.remove()


class RunningHost:
    """`joxhost run` fed line by line; its JSON events are read as they come."""

    def __init__(self, args, status=None, env=None):
        self.args = args
        self.status = status
        self.env = dict(HOST_ENV, **(env or {}))
        self.events = []
        self._consumed = set()
        self._arrived = queue.Queue()
        self._since_command = 0  # index of the first event after the latest command

    def __enter__(self):
        # stderr goes to a file, so a sanitizer's report (often longer than a
        # pipe holds) is kept whole and shown when the host fails.
        self._stderr = tempfile.TemporaryFile(mode="w+", encoding="utf-8", errors="replace")
        self.process = subprocess.Popen(self.args, env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=self._stderr, text=True, encoding="utf-8")
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.expect("ready")
        return self

    def __exit__(self, exc_type, *exc):
        try:
            if self.process.poll() is None:
                self.command("quit")
            self.process.wait(timeout=20)
        finally:
            if self.process.poll() is None:
                self.process.kill()
            self._reader.join(timeout=5)
        # A host that crashed, or leaked at exit under the sanitizers, fails the test; so does a status
        # other than the one expected (1 says a check or a send failed).
        if exc_type is None:
            code = self.process.returncode
            allowed = (0, 1) if self.status is None else (self.status,)
            stderr = self.stderr()
            if code not in allowed or "Sanitizer" in stderr or "runtime error" in stderr:
                raise AssertionError(f"joxhost exited with {code}: {stderr}")
        return False

    def stderr(self):
        self._stderr.seek(0)
        return self._stderr.read()[-20000:]

    def _read(self):
        for line in self.process.stdout:
            if line.startswith("{"):
                self._arrived.put(json.loads(line))
        self._arrived.put(None)

    def command(self, line):
        # Whatever came before this command cannot be its outcome.
        while not self._arrived.empty():
            self._drain(0)
        self._since_command = len(self.events)
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def _drain(self, timeout):
        try:
            event = self._arrived.get(timeout=timeout)
        except queue.Empty:
            return
        if event is not None:
            self.events.append(event)

    def expect_matching(self, predicate, what, timeout=30, since=0):
        deadline = time.monotonic() + timeout
        while True:
            for index, event in enumerate(self.events):
                if index >= since and index not in self._consumed and predicate(event):
                    self._consumed.add(index)
                    return event
            remaining = deadline - time.monotonic()
            if remaining <= 0 or self.process.poll() is not None and self._arrived.empty():
                ended = "" if self.process.poll() is None else f"; joxhost exited with {self.process.returncode}"
                raise AssertionError(f"no {what}{ended}; events: {self.events}; stderr: {self.stderr()}")
            self._drain(min(remaining, 0.2))

    def expect(self, name, timeout=30):
        return self.expect_matching(lambda event: event["event"] == name, f"'{name}' event", timeout)

    def expect_check_end(self, account_id=1, timeout=30, protocol="POP3"):
        """Waits until the connection of the check started by the latest command is closed."""
        connection = f"MAIL/Socket/{protocol}/{account_id}"
        return self.expect_matching(
            lambda e: e["event"] == "net" and e.get("connection") == connection and e.get("what") in ("close", "closed"),
            "end of the mail check", timeout, since=self._since_command)

    def events_named(self, name):
        while not self._arrived.empty():
            self._drain(0)
        return [event for event in self.events if event["event"] == name]
