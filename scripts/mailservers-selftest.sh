#!/usr/bin/env bash
# Checks scripts/mailservers.sh end to end: up, send over SMTP (STARTTLS and plain, AUTH LOGIN;
# SMTPS on 465 and the AUTH PLAIN only port),
# arrival in the Maildir, fetch over POP3 and POP3 over TLS with certificate checks, IMAP and
# IMAP over TLS with a push during IDLE, fast login
# failures, stop-smtp/start-smtp, clear, down with no process left. Runs the cycle twice.
# Usage (as root): scripts/mailservers-selftest.sh [rounds]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
servers=$here/mailservers.sh
run_dir=${POSTRIX_MAIL_DIR:-/tmp/postrix-mail}
rounds=${1:-2}

if ! command -v python3 >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q python3 >/dev/null ||
        { echo "python3 missing and could not be installed" >&2; exit 1; }
fi

# Any Postfix or Dovecot process on this machine, as "pid exe" lines.
mail_processes() {
    local f exe
    for f in /proc/[0-9]*; do
        exe=$(readlink "$f/exe" 2>/dev/null) || continue
        case $exe in
            /usr/lib/postfix/sbin/* | /usr/sbin/dovecot | /usr/lib/dovecot/*) echo "${f#/proc/} $exe" ;;
        esac
    done
}

check_round() {
    python3 - "$run_dir/env" "$servers" <<'PYEOF'
import email, imaplib, os, poplib, smtplib, socket, ssl, subprocess, sys, time, uuid

env = {}
for line in open(sys.argv[1]):
    line = line.strip()
    if line and not line.startswith("#"):
        k, v = line.split("=", 1)
        env[k] = v
servers = sys.argv[2]
host, ca, maildir = env["SMTP_HOST"], env["CA_FILE"], env["MAILDIR"]
smtp_port, pop3_port, pop3s_port = int(env["SMTP_PORT"]), int(env["POP3_PORT"]), int(env["POP3S_PORT"])
user, password, address = env["MAIL_USER"], env["MAIL_PASSWORD"], env["MAIL_ADDRESS"]
passed = failed = 0

def check(name, cond, detail=""):
    global passed, failed
    if cond:
        passed += 1
        print(f"  ok   {name}")
    else:
        failed += 1
        print(f"  FAIL {name} {detail}")

def tls_context():
    return ssl.create_default_context(cafile=ca)

def message(token, to):
    return (f"From: Tester <{address}>\r\nTo: <{to}>\r\nSubject: selftest {token}\r\n"
            f"Message-ID: <{token}@localhost>\r\n\r\nbody {token}\r\n")

def send(token, to, use_tls=True):
    with smtplib.SMTP(host, smtp_port, timeout=10) as s:
        s.ehlo(f"{host}:{smtp_port}")
        if use_tls:
            s.starttls(context=tls_context())
            s.ehlo(f"{host}:{smtp_port}")
        # AUTH LOGIN, the mechanism the plug-in uses
        s.user, s.password = user, password
        code, _ = s.auth("LOGIN", s.auth_login, initial_response_ok=False)
        s.sendmail(address, [to], message(token, to))
        return code

def files_with(token):
    found = []
    for sub in ("new", "cur"):
        d = os.path.join(maildir, sub)
        for n in os.listdir(d):
            with open(os.path.join(d, n), "rb") as f:
                if token.encode() in f.read():
                    found.append(n)
    return found

def wait_arrival(token, timeout=20.0):
    start = time.monotonic()
    while time.monotonic() - start < timeout:
        if files_with(token):
            return time.monotonic() - start
        time.sleep(0.05)
    return None

def pop_subjects(p):
    p.user(user)
    p.pass_(password)
    count, _ = p.stat()
    uidls = p.uidl()[1]
    subjects = []
    for i in range(1, count + 1):
        _, lines, _ = p.top(i, 0)
        msg = email.message_from_bytes(b"\r\n".join(lines))
        subjects.append(msg["Subject"])
    p.quit()
    return count, uidls, subjects

token1, token2, token3 = (uuid.uuid4().hex for _ in range(3))

# SMTP with STARTTLS, certificate verified against the test CA (IP SAN 127.0.0.1)
t = time.monotonic()
check("smtp starttls + auth login", send(token1, address) == 235)
arrival = wait_arrival(token1)
check("message over STARTTLS arrives in Maildir", arrival is not None)
print(f"       arrival after {arrival if arrival is None else round(arrival, 2)} s")

# SMTP without TLS (the plug-in's plain mode), to a foreign domain: same mailbox
check("smtp plain + auth login", send(token2, "someone@example.com", use_tls=False) == 235)
check("message to another domain arrives too", wait_arrival(token2) is not None)

# Unauthenticated clients may not send
try:
    with smtplib.SMTP(host, smtp_port, timeout=10) as s:
        s.sendmail(address, [address], message(token3, address))
    check("unauthenticated send refused", False)
except smtplib.SMTPRecipientsRefused as e:
    check("unauthenticated send refused", True)
    print(f"       {list(e.recipients.values())[0]}")

# The PLAIN-only submission port names no other mechanism, before STARTTLS or after it
with smtplib.SMTP(host, int(env["SMTP_PLAIN_PORT"]), timeout=10) as s:
    s.ehlo()
    before = s.esmtp_features.get("auth", "").split()
    s.starttls(context=tls_context())
    s.ehlo()
    check("plain-only port offers AUTH PLAIN alone", before == s.esmtp_features.get("auth", "").split() == ["PLAIN"],
          (before, s.esmtp_features.get("auth")))
    s.user, s.password = user, password
    check("plain-only port: auth plain", s.auth("PLAIN", s.auth_plain)[0] == 235)

# SMTP with TLS from the first byte on 465 (only the instance with offset 0 has it)
if env["SMTPS_PORT"]:
    token_s = uuid.uuid4().hex
    with smtplib.SMTP_SSL("localhost", int(env["SMTPS_PORT"]), context=tls_context(), timeout=10) as s:
        s.ehlo()
        check("smtps offers no STARTTLS", not s.has_extn("starttls"))
        s.login(user, password)
        s.sendmail(address, [address], message(token_s, address))
    check("message over smtps arrives", wait_arrival(token_s) is not None)
else:
    print("       no smtps listener in this instance (port offset is not 0)")

# POP3 plain
count, uidls, subjects = pop_subjects(poplib.POP3(host, pop3_port, timeout=10))
check("pop3 plain: both messages listed", any(token1 in s for s in subjects) and any(token2 in s for s in subjects), subjects)
check("pop3 UIDL lists every message", len(uidls) == count)

# POP3 with TLS from the first byte, certificate checked for 127.0.0.1 ...
count_s, _, subjects_s = pop_subjects(poplib.POP3_SSL(host, pop3s_port, context=tls_context(), timeout=10))
check("pop3s: same listing", subjects_s == subjects)
# ... and for the name localhost
with socket.create_connection((host, pop3s_port), timeout=10) as raw:
    with tls_context().wrap_socket(raw, server_hostname="localhost") as tls:
        check("pop3s certificate valid for localhost", tls.recv(100).startswith(b"+OK"))
# A CA that did not sign the certificate must be refused
try:
    poplib.POP3_SSL(host, pop3s_port, context=ssl.create_default_context(), timeout=10)
    check("pop3s rejected without the test CA", False)
except ssl.SSLCertVerificationError:
    check("pop3s rejected without the test CA", True)
# STLS on the plain port
p = poplib.POP3(host, pop3_port, timeout=10)
p.stls(context=tls_context())
p.user(user); p.pass_(password); p.quit()
check("pop3 STLS on the plain port", True)

# IMAP plain and with TLS from the first byte: the same messages; IDLE pushes a new one
def imap_subjects(m):
    m.login(user, password)
    m.select("INBOX", readonly=True)
    _, data = m.uid("FETCH", "1:*", "(BODY.PEEK[HEADER.FIELDS (SUBJECT)])")
    m.logout()
    return [part[1].decode().strip() for part in data if isinstance(part, tuple)]

imap_port, imaps_port = int(env["IMAP_PORT"]), int(env["IMAPS_PORT"])
imap_list = imap_subjects(imaplib.IMAP4(host, imap_port, timeout=10))
check("imap plain: both messages listed", any(token1 in s for s in imap_list) and any(token2 in s for s in imap_list), imap_list)
check("imaps: same listing", imap_subjects(imaplib.IMAP4_SSL("localhost", imaps_port, ssl_context=tls_context(), timeout=10)) == imap_list)
m = imaplib.IMAP4(host, imap_port, timeout=10)
check("imap offers IDLE", "IDLE" in m.capabilities, m.capabilities)
m.login(user, password)
m.select("INBOX", readonly=True)
tag = m._new_tag().decode()
m.send(f"{tag} IDLE\r\n".encode())
check("imap IDLE accepted", m.readline().startswith(b"+"))
token_i = uuid.uuid4().hex
t = time.monotonic()
send(token_i, address)
m.sock.settimeout(5)
line = m.readline()
pushed = time.monotonic() - t
check("imap IDLE pushes a delivery within 2 s", line.endswith(b"EXISTS\r\n") and pushed < 2.0, (line, pushed))
print(f"       pushed after {pushed:.2f} s")
m.send(b"DONE\r\n")
while not m.readline().startswith(tag.encode()):
    pass
m.logout()

# Wrong passwords fail, and quickly (no growing login delay)
durations = []
for _ in range(3):
    p = poplib.POP3(host, pop3_port, timeout=10)
    p.user(user)
    t = time.monotonic()
    try:
        p.pass_("wrong")
        ok = False
    except poplib.error_proto:
        ok = True
    durations.append(time.monotonic() - t)
    p.close()
    check("pop3 wrong password refused", ok)
for _ in range(3):
    with smtplib.SMTP(host, smtp_port, timeout=10) as s:
        s.starttls(context=tls_context())
        t = time.monotonic()
        s.ehlo()
        s.user, s.password = user, "wrong"
        try:
            s.auth("LOGIN", s.auth_login, initial_response_ok=False)
            ok = False
        except smtplib.SMTPAuthenticationError:
            ok = True
        durations.append(time.monotonic() - t)
    check("smtp wrong password refused", ok)
print("       failure times (s): " + " ".join(f"{d:.3f}" for d in durations))
check("failed logins answered within 1 s", max(durations) < 1.0, durations)
# and a right password right after works at once
p = poplib.POP3(host, pop3_port, timeout=10)
t = time.monotonic(); p.user(user); p.pass_(password); p.quit()
check("login right after failures is quick", time.monotonic() - t < 1.0)

# stop-smtp / start-smtp
subprocess.run([servers, "stop-smtp"], check=True)
try:
    socket.create_connection((host, smtp_port), timeout=5).close()
    check("stop-smtp closes the SMTP port", False)
except ConnectionRefusedError:
    check("stop-smtp closes the SMTP port", True)
pop_subjects(poplib.POP3(host, pop3_port, timeout=10))
check("pop3 still up while smtp stopped", True)
subprocess.run([servers, "start-smtp"], check=True)
check("send after start-smtp", send(token3, address) == 235 and wait_arrival(token3) is not None)

# clear
subprocess.run([servers, "clear"], check=True)
count, _, _ = pop_subjects(poplib.POP3(host, pop3_port, timeout=10))
check("clear empties the mailbox", count == 0 and not files_with(token1), count)
# clear right after a delivery that no POP3 session has seen, then a new delivery: the listing
# must hold only the new message, and every listed message must be fetchable
token4, token5 = uuid.uuid4().hex, uuid.uuid4().hex
send(token4, address)
wait_arrival(token4)
subprocess.run([servers, "clear"], check=True)
send(token5, address)
wait_arrival(token5)
try:
    count, _, subjects = pop_subjects(poplib.POP3(host, pop3_port, timeout=10))
    check("clear between deliveries leaves a consistent listing", count == 1 and token5 in subjects[0], subjects)
except poplib.error_proto as e:
    check("clear between deliveries leaves a consistent listing", False, e)
subprocess.run([servers, "clear"], check=True)

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
PYEOF
}

status=0
for ((round = 1; round <= rounds; round++)); do
    echo "== round $round: up"
    start=$EPOCHREALTIME
    "$servers" up
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "   up took %.2f s\n", b - a }'
    "$servers" status
    echo "== round $round: up again while running"
    "$servers" up
    check_round || status=1
    echo "== round $round: down"
    "$servers" down
    left=$(mail_processes)
    if [ -n "$left" ]; then
        echo "FAIL processes left after down:"; echo "$left"; status=1
    else
        echo "  ok   no postfix/dovecot process left"
    fi
    "$servers" down
    if "$servers" status; then echo "FAIL status says running after down"; status=1; fi
done
[ $status -eq 0 ] && echo "selftest passed" || echo "selftest FAILED"
exit $status
