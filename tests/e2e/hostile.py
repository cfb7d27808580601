"""Scripted mail servers on 127.0.0.1 that answer the way a test tells them to.

A test builds a `Pop3Script` or `SmtpScript`, changes the replies it wants to be
hostile, serves it with `ScriptedServer` and points a `Profile.scripted(...)`
profile at the port. Every byte the client sent is kept in `server.received`,
one bytes object per connection, so a test can check what went over the wire.
"""
import socket
import threading

from harness import Profile


class Conversation:
    """One accepted connection: read lines, read up to a terminator, send bytes."""

    def __init__(self, sock):
        self.sock = sock
        self.pending = b""
        self.received = bytearray()

    def _fill(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise ConnectionError("client closed")
        self.received += chunk
        self.pending += chunk

    def until(self, terminator):
        """Everything up to and without the terminator; raises ConnectionError when the client closes."""
        while terminator not in self.pending:
            self._fill()
        data, self.pending = self.pending.split(terminator, 1)
        return data

    def line(self):
        return self.until(b"\r\n")

    def send(self, data):
        self.sock.sendall(data)


class ScriptedServer:
    """Accepts connections on a free loopback port and runs `script.serve(conversation)` for each."""

    def __init__(self, script):
        self.script = script
        self.received = []
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.address = f"127.0.0.1:{self.port}"
        self._thread = threading.Thread(target=self._accept, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self.listener.close()
        self._thread.join(timeout=5)
        return False

    def _accept(self):
        while True:
            try:
                sock, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(sock,), daemon=True).start()

    def _serve(self, sock):
        conversation = Conversation(sock)
        self.received.append(conversation.received)
        try:
            self.script.serve(conversation)
        except (ConnectionError, OSError):
            pass
        finally:
            sock.close()

    def commands(self):
        """Every line the clients sent, over all connections, without line ends."""
        return [line for data in self.received for line in bytes(data).split(b"\r\n") if line]


class Pop3Script:
    """A POP3 server with a mailbox given as (uid, header block) pairs, numbered from 1.

    `replies` maps a command word (upper case) to raw bytes sent instead of the
    normal reply; `listing` replaces the whole UIDL reply when set. Change
    `messages` between checks to make mail arrive or vanish.
    """

    def __init__(self, messages=(), replies=None, listing=None):
        self.messages = list(messages)
        self.replies = dict(replies or {})
        self.listing = listing

    def serve(self, talk):
        talk.send(b"+OK scripted POP3 ready\r\n")
        while True:
            command = talk.line()
            word, _, argument = command.partition(b" ")
            word = word.decode("ascii", "replace").upper()
            if word in self.replies:
                talk.send(self.replies[word])
            elif word == "UIDL":
                talk.send(self.listing if self.listing is not None else self.uidl())
            elif word == "TOP":
                talk.send(self.top(int(argument.split(b" ")[0])))
            else:
                talk.send(b"+OK\r\n")
            if word == "QUIT":
                return

    def uidl(self):
        lines = [f"{number} {uid}".encode() for number, (uid, _) in enumerate(self.messages, 1)]
        return b"+OK\r\n" + b"".join(line + b"\r\n" for line in lines) + b".\r\n"

    def top(self, number):
        if not 1 <= number <= len(self.messages):
            return b"-ERR no such message\r\n"
        headers = self.messages[number - 1][1]
        stuffed = b"\r\n".join(b"." + line if line.startswith(b".") else line for line in headers.split(b"\r\n"))
        return b"+OK\r\n" + stuffed + b"\r\n\r\n.\r\n"


class SmtpScript:
    """An SMTP server that accepts everything unless `replies` says otherwise.

    `replies` maps a command word (upper case; "DATA-END" for the reply after
    the message) to raw bytes. `ehlo` lists the EHLO reply's lines. Each
    received message (the DATA content without the final dot line) is kept in
    `messages`.
    """

    def __init__(self, replies=None, ehlo=("scripted", "AUTH LOGIN")):
        self.replies = dict(replies or {})
        self.ehlo = list(ehlo)
        self.messages = []

    def _reply(self, talk, word, normal):
        talk.send(self.replies.get(word, normal))

    def serve(self, talk):
        talk.send(b"220 scripted ESMTP\r\n")
        while True:
            command = talk.line()
            word = command.split(b" ")[0].decode("ascii", "replace").upper()
            if word == "EHLO":
                lines = [f"250{'-' if i < len(self.ehlo) - 1 else ' '}{text}" for i, text in enumerate(self.ehlo)]
                self._reply(talk, word, "".join(line + "\r\n" for line in lines).encode())
            elif word == "AUTH" and word in self.replies:
                talk.send(self.replies[word])
            elif word == "AUTH":
                talk.send(b"334 VXNlcm5hbWU6\r\n")
                talk.line()
                talk.send(b"334 UGFzc3dvcmQ6\r\n")
                talk.line()
                talk.send(b"235 ok\r\n")
            elif word == "DATA":
                self._reply(talk, word, b"354 go on\r\n")
                if word not in self.replies or self.replies[word].startswith(b"3"):
                    self.messages.append(talk.until(b"\r\n.\r\n"))
                    self._reply(talk, "DATA-END", b"250 queued\r\n")
            elif word == "QUIT":
                self._reply(talk, word, b"221 bye\r\n")
                return
            else:
                self._reply(talk, word, b"250 ok\r\n")


def scripted_profile(env, smtp=None, pop3=None, **settings):
    """A profile whose servers are the given scripted ones, without TLS."""
    values = {"MAIL/mail": env["MAIL_ADDRESS"], "MAIL/login": "me", "MAIL/password": "secret",
              "MAIL/smtpServer": smtp.address if smtp else "127.0.0.1:1",
              "MAIL/pop3Server": pop3.address if pop3 else "127.0.0.1:1", "MAIL/ssl": "int:0"}
    values.update(settings)
    return Profile(env, values)
