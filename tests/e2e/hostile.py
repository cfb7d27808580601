"""Scripted mail servers on 127.0.0.1 that answer the way a test tells them to.

A test builds a `Pop3Script`, `ImapScript` or `SmtpScript`, changes the replies
it wants to be hostile, serves it with `ScriptedServer` and points a
`scripted_profile(...)` profile at the port. Every byte the client sent is kept in `server.received`,
one bytes object per connection, so a test can check what went over the wire.
"""
import base64
import re
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

    def exactly(self, count):
        """The next `count` bytes."""
        while len(self.pending) < count:
            self._fill()
        data, self.pending = self.pending[:count], self.pending[count:]
        return data

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


LITERAL_AT_END = re.compile(rb"\{(\d+)(\+?)\}$")


class ImapScript:
    """An IMAP server with one folder of messages given as (uid, header block) pairs.

    `capabilities` is what CAPABILITY lists (without IDLE the client must poll).
    `replies` maps a command word (upper case; "GREETING" for the first line,
    "FETCH" for UID FETCH, "DONE" for the end of an IDLE) to what is sent
    instead of the normal reply: bytes, where b"$TAG" stands for the command's
    tag, or a callable(talk, tag) that does the talking itself (raising
    ConnectionError to hang up). A reply that holds a "* BYE" line closes the
    connection after it. `password`, when set,
    is the only one a login may give. Each login's (user, password) pair is
    kept in `logins`, each command line (literals filled in) in `commands`.
    `arrive(uid, headers)` adds a message and tells every client in IDLE.
    """

    def __init__(self, messages=(), capabilities=("IMAP4rev1", "IDLE", "AUTH=PLAIN"), replies=None,
                 uidvalidity=1234, password=None):
        self.messages = list(messages)
        self.capabilities = list(capabilities)
        self.replies = dict(replies or {})
        self.uidvalidity = uidvalidity
        self.password = password
        self.logins = []
        self.commands = []
        self._lock = threading.Lock()
        self._idling = {}  # conversation -> tag of its IDLE
        self.idle_started = threading.Semaphore(0)  # released on each IDLE

    # What a test calls

    def arrive(self, uid, headers):
        with self._lock:
            self.messages.append((uid, headers))
            idling = list(self._idling)
        for talk in idling:
            try:
                talk.send(b"* %d EXISTS\r\n" % len(self.messages))
            except OSError:
                pass

    def push(self, data):
        """Sends data to every client in IDLE; one holding a "* BYE" line is hung up on after it."""
        with self._lock:
            idling = list(self._idling)
        for talk in idling:
            try:
                talk.send(data)
                if b"* BYE" in data:
                    talk.sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def wait_idle(self, timeout=30):
        """Waits until a client has started an IDLE (one per call)."""
        if not self.idle_started.acquire(timeout=timeout):
            raise AssertionError(f"no IDLE within {timeout} s; commands: {self.commands}")

    def idling(self):
        with self._lock:
            return len(self._idling)

    # The server

    def _command(self, talk):
        """One command line with its literals read in; b"+ " asks for a synchronising literal."""
        line = talk.line()
        while True:
            literal = LITERAL_AT_END.search(line)
            if not literal:
                return line
            if not literal.group(2):
                talk.send(b"+ go ahead\r\n")
            value = talk.exactly(int(literal.group(1))).replace(b"\\", b"\\\\").replace(b'"', b'\\"')
            line = line[:literal.start()] + b'"' + value + b'"' + talk.line()

    def _reply(self, talk, word, tag, normal):
        reply = self.replies.get(word, normal)
        if callable(reply):
            reply(talk, tag)
            return True
        talk.send(reply.replace(b"$TAG", tag))
        return b"* BYE" not in reply

    def serve(self, talk):
        if not self._reply(talk, "GREETING", b"*", b"* OK scripted IMAP ready\r\n"):
            return
        while True:
            line = self._command(talk)
            self.commands.append(line)
            tag, _, rest = line.partition(b" ")
            word, _, argument = rest.partition(b" ")
            word = word.decode("ascii", "replace").upper()
            if word == "UID":
                word, _, argument = argument.partition(b" ")
                word = word.decode("ascii", "replace").upper()
            handler = getattr(self, "_on_" + word.lower(), None)
            if word in self.replies:
                normal = b""
            elif handler:
                normal = handler(talk, tag, argument)
            else:
                normal = tag + b" BAD unknown command\r\n"
            if normal is None:  # the handler has answered
                continue
            if not self._reply(talk, word, tag, normal) or word == "LOGOUT":
                return

    def _login_reply(self, tag, user, password):
        self.logins.append((user, password))
        if self.password is not None and password != self.password:
            return tag + b" NO [AUTHENTICATIONFAILED] Authentication failed.\r\n"
        return tag + b" OK Logged in\r\n"

    def _on_capability(self, talk, tag, argument):
        return b"* CAPABILITY " + " ".join(self.capabilities).encode() + b"\r\n" + tag + b" OK done\r\n"

    def _on_login(self, talk, tag, argument):
        words = re.findall(rb'"((?:[^"\\]|\\.)*)"|(\S+)', argument)
        values = [re.sub(rb"\\(.)", rb"\1", quoted) if quoted else atom for quoted, atom in words]
        if len(values) != 2:
            return tag + b" BAD two arguments\r\n"
        return self._login_reply(tag, *values)

    def _on_authenticate(self, talk, tag, argument):
        mechanism, _, initial = argument.partition(b" ")
        if mechanism.upper() != b"PLAIN":
            return tag + b" NO unsupported mechanism\r\n"
        if not initial:
            talk.send(b"+ \r\n")
            initial = talk.line()
            self.commands.append(initial)
        try:
            _, user, password = base64.b64decode(initial, validate=True).split(b"\0")
        except ValueError:
            return tag + b" BAD not PLAIN\r\n"
        return self._login_reply(tag, user, password)

    def _on_examine(self, talk, tag, argument):
        with self._lock:
            count = len(self.messages)
            uidnext = max((uid for uid, _ in self.messages), default=0) + 1
        return (b"* FLAGS (\\Seen)\r\n* %d EXISTS\r\n* 0 RECENT\r\n* OK [UIDVALIDITY %d] UIDs valid\r\n"
                b"* OK [UIDNEXT %d] Predicted next UID\r\n%s OK [READ-ONLY] Examine completed\r\n"
                % (count, self.uidvalidity, uidnext, tag))

    _on_select = _on_examine

    def _on_fetch(self, talk, tag, argument):
        """UID FETCH of a uid set (a plain FETCH is taken as one too); each message's headers as a literal."""
        with self._lock:
            messages = list(self.messages)
        highest = max((uid for uid, _ in messages), default=0)
        ranges = []
        for part in argument.split(b" ")[0].split(b","):
            first, _, last = part.partition(b":")
            low = highest if first == b"*" else int(first)
            high = low if not last else highest if last == b"*" else int(last)
            ranges.append((min(low, high), max(low, high)))  # "n:*" with n past the highest names the highest
        out = bytearray()
        for number, (uid, headers) in enumerate(messages, 1):
            if any(low <= uid <= high for low, high in ranges):
                block = headers + b"\r\n\r\n"
                out += b"* %d FETCH (UID %d BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {%d}\r\n%s)\r\n" % (
                    number, uid, len(block), block)
        return bytes(out) + tag + b" OK Fetch completed\r\n"

    def _on_idle(self, talk, tag, argument):
        with self._lock:
            self._idling[talk] = tag
        talk.send(b"+ idling\r\n")
        self.idle_started.release()
        try:
            done = talk.line()
        finally:
            with self._lock:
                self._idling.pop(talk, None)
        self.commands.append(done)
        if done.upper() != b"DONE":
            talk.send(tag + b" BAD expected DONE\r\n")
            return None
        if not self._reply(talk, "DONE", tag, tag + b" OK Idle completed\r\n"):
            raise ConnectionError("closed after BYE")
        return None

    def _on_noop(self, talk, tag, argument):
        return tag + b" OK done\r\n"

    def _on_logout(self, talk, tag, argument):
        return b"* BYE logging out\r\n" + tag + b" OK Logout completed\r\n"


def scripted_profile(env, smtp=None, pop3=None, imap=None, **settings):
    """A profile whose servers are the given scripted ones, without TLS; with `imap` it checks over IMAP."""
    values = {"MAIL/mail": env["MAIL_ADDRESS"], "MAIL/login": "me", "MAIL/password": "secret",
              "MAIL/smtpServer": smtp.address if smtp else "127.0.0.1:1",
              "MAIL/pop3Server": pop3.address if pop3 else "127.0.0.1:1", "MAIL/ssl": "int:0"}
    if imap:
        values.update({"MAIL/protocol": "imap", "MAIL/imapServer": imap.address})
    values.update(settings)
    return Profile(env, values)
