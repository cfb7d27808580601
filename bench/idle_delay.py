"""How long a delivered mail takes to be announced: IMAP IDLE against a 1-minute timer.

    python3 bench/idle_delay.py [--idle N] [--polls N]

One `joxhost run --stay` checks the local Dovecot over IMAP and idles; each
of N deliveries (default 10) goes through Postfix and is timed from the
moment Postfix has accepted it to joxhost's news event. Then one over POP3
with MAIL/checkInterval 1 polls; each delivery waits a random part of the
minute first, so that the samples fall anywhere in the timer's period (about
a minute each; default 5). Prints one small table: median, minimum and
maximum of each. Starts the local mail servers when they are not running
(and then stops them), empties their mailbox. Needs build/joxhost and root.
Gates nothing.
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
os.chdir(ROOT)

from harness import MAILSERVERS, Mailbox, Profile, mail_env, wait_until  # noqa: E402


def delays(profile, count, before_each, what):
    """Delivers `count` mails to a running joxhost on the profile; the seconds from each delivery to its news."""
    mailbox = Mailbox(mail_env())
    found = []
    with profile.run(stay=True) as host:
        host.command("check 0")  # the first check only learns the mailbox
        before_each(host, first=True)
        for number in range(count):
            if number:
                before_each(host, first=False)
            subject = f"{what} {number}"
            mailbox.deliver("Bench <bench@example.com>", subject, "x")
            delivered = time.monotonic()
            news = host.expect_matching(lambda e: e["event"] == "news" and e["subject"] == subject,
                                        f"the news of {subject}", timeout=150)
            found.append(time.monotonic() - delivered)
            print(f"  {what} {number + 1}/{count}: {found[-1]:.3f} s", file=sys.stderr)
    return found


def idle_delays(env, count):
    profile = Profile.plain(env)
    try:
        profile.config(**{"MAIL/checkInterval": "int:60"})
        profile.config(**{"MAIL/protocol": "imap", "MAIL/imapServer": f"localhost:{env['IMAP_PORT']}"})
        from test_imap import dovecot_idle_sessions  # reads the servers' env file when imported

        def settle(host, first):
            wait_until(lambda: dovecot_idle_sessions() == 1, 30, "joxhost to idle")
            time.sleep(0.2)

        return delays(profile, count, settle, "IDLE")
    finally:
        profile.remove()


def polling_delays(env, count):
    profile = Profile.plain(env)
    try:
        profile.config(**{"MAIL/checkInterval": "int:1"})

        def wait_part_of_a_minute(host, first):
            if first:
                host.expect_check_end()
            time.sleep(random.uniform(0, 60))

        return delays(profile, count, wait_part_of_a_minute, "poll")
    finally:
        profile.remove()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--idle", type=int, default=10, help="deliveries timed with IDLE (default 10)")
    parser.add_argument("--polls", type=int, default=5, help="deliveries timed with the 1-minute timer (default 5)")
    options = parser.parse_args()

    started_servers = subprocess.run(["bash", MAILSERVERS, "status"], stdout=subprocess.DEVNULL).returncode != 0
    if started_servers:
        subprocess.run(["bash", MAILSERVERS, "up"], check=True, stdout=subprocess.DEVNULL)
    try:
        env = mail_env()
        Mailbox(env).clear()
        rows = [("IMAP IDLE (Dovecot, run --stay)", idle_delays(env, options.idle) if options.idle else []),
                ("POP3, MAIL/checkInterval 1 min", polling_delays(env, options.polls) if options.polls else [])]
        Mailbox(env).clear()
    finally:
        if started_servers:
            subprocess.run(["bash", MAILSERVERS, "down"], stdout=subprocess.DEVNULL)

    print(f"{'delivery to notice':34} {'samples':>7} {'median':>9} {'min':>9} {'max':>9}")
    for name, found in rows:
        if found:
            print(f"{name:34} {len(found):7d} {statistics.median(found):8.3f}s {min(found):8.3f}s {max(found):8.3f}s")


if __name__ == "__main__":
    main()
