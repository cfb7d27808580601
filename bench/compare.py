"""Measures postrix beside the tools people would use instead and prints one table of ratios.

Run through bench/compare.sh (it starts and stops the local mail servers).
Each comparison alternates ours and the anchor, `--runs` times each (the
first check at least MIN_CHECK_RUNS times), and reports the median and the
minimum. Nothing here passes or fails: the goal
column says what we aim for, the ratio column where we stand.

Whole-process figures (wall time, user+system CPU, peak RSS) come from
GNU time (/usr/bin/time -f), so they include start-up and TLS for both sides.
"""
import argparse
import glob
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
os.chdir(ROOT)

from harness import HOST_ENV, Mailbox, Profile, RunningHost, mail_env  # noqa: E402
from hostile import ScriptedServer, scripted_profile  # noqa: E402

GNU_TIME = "/usr/bin/time"
MIME_BENCH = os.environ.get("MIME_BENCH", "build/bench/mime_bench")
MIN_CHECK_RUNS = 15  # of the first check, whatever --runs says
MIB = 1 << 20


# --- measuring ------------------------------------------------------------------------------


class Usage:
    """Wall time, CPU (user+sys) in seconds and peak RSS in KiB of one process."""

    def __init__(self, wall, cpu, rss_kib):
        self.wall, self.cpu, self.rss_kib = wall, cpu, rss_kib


class TimeFile:
    """A file for GNU time's figures; `wrap` prefixes a command with /usr/bin/time."""

    def __init__(self):
        handle, self.path = tempfile.mkstemp(prefix="postrix-compare-time-")
        os.close(handle)

    def wrap(self, args):
        return [GNU_TIME, "-f", "%e %U %S %M", "-o", self.path] + list(args)

    def usage(self):
        # A failed command gets a "Command exited with non-zero status" line first.
        with open(self.path, encoding="utf-8") as figures:
            wall, user, system, rss = figures.read().strip().splitlines()[-1].split()
        os.remove(self.path)
        return Usage(float(wall), float(user) + float(system), int(rss))


def timed_run(args, **kwargs):
    """Runs a command to its end under GNU time; returns (CompletedProcess, Usage).

    GNU time gives the peak RSS; its wall and CPU figures count in 10 ms steps, too coarse
    for runs of a few hundred ms, so wall time is taken around the run and CPU from the
    resource usage of the waited-for children (GNU time's own share, the same on both
    sides of a comparison, is below a millisecond)."""
    figures = TimeFile()
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.monotonic()
    completed = subprocess.run(figures.wrap(args), capture_output=True, text=True, **kwargs)
    wall = time.monotonic() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return completed, Usage(wall, cpu, figures.usage().rss_kib)


class TimedHost(RunningHost):
    """`joxhost run` under GNU time, each event stamped with its arrival (`_at`, monotonic)."""

    def __init__(self, profile):
        self.figures = TimeFile()
        super().__init__(self.figures.wrap(profile._base() + ["run"]))

    def _read(self):
        for line in self.process.stdout:
            if line.startswith("{"):
                event = json.loads(line)
                event["_at"] = time.monotonic()
                self._arrived.put(event)
        self._arrived.put(None)

    def check(self, timeout=300):
        """One `check 0`; returns (seconds from the command to the POP3 close, the close event)."""
        started = time.monotonic()
        self.command("check 0")
        end = self.expect_check_end(timeout=timeout)
        return end["_at"] - started, end

    def failures(self):
        """Texts of the plug-in's POP3 failure reports seen so far."""
        texts = []
        for event in self.events_named("notify") + self.events_named("log") + self.events_named("error"):
            for field in ("title", "text"):
                text = event.get(field, "")
                if "POP3 - " in text:
                    text = text[text.index("POP3 - "):].strip()
                    if text not in texts:
                        texts.append(text)
        return texts

    def usage(self):
        return self.figures.usage()


class Series:
    """The figures of one side of a comparison over the runs."""

    def __init__(self):
        self.values = []

    def add(self, value):
        self.values.append(value)

    @property
    def median(self):
        return statistics.median(self.values)

    @property
    def min(self):
        return min(self.values)

    @property
    def max(self):
        return max(self.values)


class Table:
    """The one table the script prints."""

    def __init__(self):
        self.rows = []

    def add(self, work, ours, anchor, ratio, goal):
        self.rows.append((work, ours, anchor, ratio, goal))

    def add_pair(self, work, ours, anchor, unit, goal):
        """A row of two Series taken in alternating rounds; the ratio is ours/anchor of the
        medians (the goal says which way is good), and in brackets the median of each round's
        own ratio, which a slow spell of the machine hitting both sides of a round leaves alone."""
        ratio = ours.median / anchor.median if anchor.median else float("inf")
        rounds = [a / b for a, b in zip(ours.values, anchor.values) if b]
        paired = f" ({statistics.median(rounds):.2f})" if rounds else ""
        self.add(work, spread(ours, unit), spread(anchor, unit), f"{ratio:.2f}{paired}", goal)

    def print(self, cpu):
        header = ("work", "postrix (median, min)", "anchor (median, min)", "ratio (paired)", "goal")
        widths = [max(len(str(row[i])) for row in self.rows + [header]) for i in range(len(header))]
        print(f"CPU: {cpu}")
        for row in [header, tuple("-" * w for w in widths)] + self.rows:
            print(" | ".join(str(cell).ljust(width) for cell, width in zip(row, widths)).rstrip())


def spread(series, unit):
    return f"{fmt(series.median, unit)} ({fmt(series.min, unit)})"


def fmt(value, unit):
    if unit == "s":
        return f"{value * 1000:.0f} ms" if value < 10 else f"{value:.1f} s"
    if unit == "ms":
        return f"{value * 1000:.1f} ms"
    if unit == "KiB":
        return f"{value / 1024:.1f} MiB"
    if unit == "B/s":
        return f"{value / 1e9:.2f} GB/s"
    return f"{value}"


def cpu_name():
    for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
        if line.startswith("Model name:"):
            return line.split(":", 1)[1].strip()
    return "unknown"


def say(text):
    print(f"compare: {text}", file=sys.stderr, flush=True)


# --- the mailbox -------------------------------------------------------------------------------


class FastMailbox(Mailbox):
    """The test Maildir filled by writing message files straight into new/ (as a local delivery would)."""

    def __init__(self, env):
        super().__init__(env)
        maildir = env["MAILDIR"]
        owner = os.stat(maildir)
        self.uid, self.gid = owner.st_uid, owner.st_gid
        self.count = 0

    def add(self, count, batch):
        """Writes `count` tiny messages whose names carry `batch`, so they can be removed again."""
        new = os.path.join(self.env["MAILDIR"], "new")
        stamp = int(time.time())
        for index in range(count):
            number = self.count + index
            body = (f"From: Sender {number} <sender{number}@example.com>\n"
                    f"To: <{self.env['MAIL_ADDRESS']}>\n"
                    f"Subject: Message {number}\n"
                    f"Date: Mon, 5 Nov 2012 10:00:00 +0100\n\nBody {number}.\n").encode()
            path = os.path.join(new, f"{stamp}.bench{batch}x{index}.localhost")
            with open(path, "wb") as message:
                message.write(body)
            os.chown(path, self.uid, self.gid)
        self.count += count

    def remove_batch(self, batch, count):
        maildir = self.env["MAILDIR"]
        for path in glob.glob(os.path.join(maildir, "new", f"*.bench{batch}x*")) + \
                glob.glob(os.path.join(maildir, "cur", f"*.bench{batch}x*")):
            os.remove(path)
        self.count -= count

    def clear(self):
        super().clear()
        self.count = 0

    def wait_for_delivery(self, timeout=120):
        """The size in bytes of the first message to arrive in an empty mailbox."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            arrived = glob.glob(os.path.join(self.env["MAILDIR"], "new", "*")) + \
                glob.glob(os.path.join(self.env["MAILDIR"], "cur", "*"))
            if arrived:
                return os.path.getsize(arrived[0])
            time.sleep(0.05)
        raise RuntimeError(f"no message arrived within {timeout} s")


def curl_uidl(env, secure):
    if secure:
        url = f"pop3s://localhost:{env['POP3S_PORT']}/"
    else:
        url = f"pop3://localhost:{env['POP3_PORT']}/"
    # --resolve keeps curl on 127.0.0.1 while the certificate's name (localhost) is checked.
    port = env["POP3S_PORT"] if secure else env["POP3_PORT"]
    return ["curl", "-sS", "--fail", "--resolve", f"localhost:{port}:127.0.0.1", "--cacert", env["CA_FILE"],
            "-u", f"{env['MAIL_USER']}:{env['MAIL_PASSWORD']}", "-X", "UIDL", "-o", "/dev/null", url]


def warm(env, secure):
    subprocess.run(curl_uidl(env, secure), check=True)


def joxhost_first_check(env, secure):
    """`joxhost check 0` on a fresh profile (so that the check is a first one, as curl's listing
    is), run to its end like curl; returns its Usage."""
    profile = Profile.secure(env) if secure else Profile.plain(env)
    try:
        completed, usage = timed_run(profile._base() + ["check", "0"], env=HOST_ENV)
    finally:
        profile.remove()
    if completed.returncode != 0:
        raise RuntimeError(f"the check failed ({completed.returncode}): {completed.stderr.strip()}")
    return usage


# --- the comparisons ---------------------------------------------------------------------------


def compare_base64(table, runs):
    """Our block encoder (76-column CRLF lines, fastest path of this CPU) vs OpenSSL's EVP_EncodeBlock."""
    say("Base64 of 4 MiB")
    path = 0
    for candidate, name in ((2, "AVX2"), (1, "SSSE3")):
        probe = mime_bench(f"BM_Base64EncoderBlocks/path:{candidate}$", min_time="0.01")
        if probe and not probe[0].get("error_occurred"):
            path = candidate
            break
    path_name = {0: "portable", 1: "SSSE3", 2: "AVX2"}[path]
    ours, anchor = Series(), Series()
    for _ in range(runs):
        ours.add(mime_bench(f"BM_Base64EncoderBlocks/path:{path}$")[0]["bytes_per_second"])
        anchor.add(mime_bench("BM_OpenSslEncodeBlock$")[0]["bytes_per_second"])
    ratio = ours.median / anchor.median
    table.add(f"Base64 4 MiB, bytes/s ({path_name}, CRLF lines vs EVP_EncodeBlock)",
              spread(ours, "B/s"), spread(anchor, "B/s"), f"{ratio:.2f}", ">= 1.5")


def mime_bench(pattern, min_time=None):
    args = [MIME_BENCH, f"--benchmark_filter={pattern}", "--benchmark_format=json"]
    if min_time:
        args.append(f"--benchmark_min_time={min_time}")
    completed = subprocess.run(args, capture_output=True, text=True, check=True)
    return json.loads(completed.stdout)["benchmarks"]


def compare_first_check(table, env, mailbox, runs, small, large, secure):
    """Rows 2 and 3: joxhost's first check vs curl UIDL, and joxhost's memory at two sizes."""
    say(f"filling the mailbox with {small} messages")
    mailbox.clear()
    mailbox.add(small, "base")
    warm(env, secure)
    rss_small = Series()
    for _ in range(runs):
        rss_small.add(joxhost_first_check(env, secure).rss_kib)

    say(f"filling the mailbox up to {large} messages")
    mailbox.add(large - small, "more")
    warm(env, secure)
    ours = {"wall": Series(), "cpu": Series(), "rss": Series()}
    curl = {"wall": Series(), "cpu": Series(), "rss": Series()}

    def run_ours():
        return joxhost_first_check(env, secure)

    def run_curl():
        completed, usage = timed_run(curl_uidl(env, secure))
        if completed.returncode != 0:
            raise RuntimeError(f"curl failed: {completed.stderr}")
        return usage

    # A check takes under a second while runs on a busy machine spread by tens of
    # milliseconds: more runs steady the medians. Each round swaps which side goes
    # first, so that neither always finds the server's caches as the other left them.
    for round_ in range(max(runs, MIN_CHECK_RUNS)):
        sides = [(run_ours, ours), (run_curl, curl)]
        for run, figures in sides if round_ % 2 == 0 else reversed(sides):
            usage = run()
            for key, value in (("wall", usage.wall), ("cpu", usage.cpu), ("rss", usage.rss_kib)):
                figures[key].add(value)

    what = f"first check, {large // 1000}k messages" + (" (POP3S)" if secure else " (POP3)")
    table.add_pair(f"{what}: wall vs curl UIDL", ours["wall"], curl["wall"], "s", "<= 1.0")
    table.add_pair(f"{what}: CPU user+sys", ours["cpu"], curl["cpu"], "s", "<= 1.5")
    table.add_pair(f"{what}: peak RSS", ours["rss"], curl["rss"], "KiB", "-")
    growth = (ours["rss"].median - rss_small.median) / 1024
    table.add(f"joxhost peak RSS, {small // 1000}k -> {large // 1000}k messages",
              f"{fmt(rss_small.median, 'KiB')} -> {fmt(ours['rss'].median, 'KiB')}", "-",
              f"{growth:+.1f} MiB".replace("-0.0", "+0.0"), "growth < 4 MiB")


def compare_second_check(table, env, mailbox, runs, added, secure):
    """Row 4: in one joxhost run, check, deliver `added` more messages, check again."""
    say(f"second check with {added} new among {mailbox.count + added}")
    notify_to_close, second = Series(), Series()
    profile = Profile.secure(env) if secure else Profile.plain(env)
    try:
        for run in range(runs):
            batch = f"new{run}"
            host = TimedHost(profile)
            with host:
                host.check()
                mailbox.add(added, batch)
                since = len(host.events)
                elapsed, end = host.check()
                notices = [e for e in host.events[since:] if e["event"] == "notify"]
                if not notices:
                    raise RuntimeError(f"the second check announced nothing: {host.failures()}")
                notify_to_close.add(end["_at"] - notices[-1]["_at"])
                second.add(elapsed)
            mailbox.remove_batch(batch, added)
    finally:
        profile.remove()
    table.add(f"second check, {added} new among {mailbox.count + added}: notify -> POP3 close",
              spread(notify_to_close, "ms"), "-", "-", "< 50 ms")
    table.add(f"second check, {added} new among {mailbox.count + added}: whole check (wall)",
              spread(second, "s"), "-", "-", "-")


class HugeListing:
    """A scripted POP3 server whose UIDL listing has `count` lines, streamed as it is sent."""

    def __init__(self, count):
        self.count = count

    def serve(self, talk):
        talk.send(b"+OK scripted POP3 ready\r\n")
        while True:
            word = talk.line().split(b" ")[0].upper()
            if word == b"UIDL":
                talk.send(b"+OK\r\n")
                for start in range(1, self.count + 1, 20000):
                    end = min(start + 20000, self.count + 1)
                    talk.send("".join(f"{n} uid-{n:09d}\r\n" for n in range(start, end)).encode())
                talk.send(b".\r\n")
            elif word == b"TOP":
                talk.send(b"+OK\r\nFrom: <a@example.com>\r\nSubject: s\r\n\r\n.\r\n")
            else:
                talk.send(b"+OK\r\n")
            if word == b"QUIT":
                return


def check_huge_listing(table, env, count):
    """Row 5: a first check of a `count`-line listing from a scripted server."""
    say(f"a {count}-line listing")
    with ScriptedServer(HugeListing(count)) as server:
        profile = scripted_profile(env, pop3=server)
        try:
            host = TimedHost(profile)
            with host:
                elapsed, _ = host.check(timeout=600)
                failures = host.failures()
            usage = host.usage()
        finally:
            profile.remove()
    outcome = "ok" if not failures else "FAILED: " + "; ".join(failures)[:120]
    table.add(f"first check of a {count:,}-line listing (scripted server)",
              f"{outcome}, {fmt(elapsed, 's')}, peak RSS {fmt(usage.rss_kib, 'KiB')}", "-", "-", "no error")


def raise_size_limit(env):
    """Lets Postfix take the 100 MiB attachment (about 137 MiB once in Base64); `up` writes the
    configuration afresh, so the next start has the usual limit again."""
    config = os.path.join(os.environ.get("POSTRIX_MAIL_DIR", "/tmp/postrix-mail"), "postfix")
    subprocess.run(["postconf", "-c", config, "-e", f"message_size_limit={512 * MIB}"], check=True)
    # Postfix programs pause while main.cf is only seconds old; the file is complete.
    subprocess.run(["touch", "-d", "-1 minute", os.path.join(config, "main.cf")], check=True)
    subprocess.run(["postfix", "-c", config, "reload"], check=True, capture_output=True)


def compare_send(table, env, mailbox, runs, size_mib):
    """Row 6: one mail with a `size_mib` MiB attachment, joxhost `send` vs curl's SMTP upload."""
    say(f"sending a {size_mib} MiB attachment")
    work = tempfile.mkdtemp(prefix="postrix-compare-")
    attachment = os.path.join(work, f"attachment-{size_mib}mib.bin")
    body = os.path.join(work, "body.txt")
    with open(attachment, "wb") as out:
        for _ in range(size_mib):
            out.write(os.urandom(MIB))
    with open(body, "w", encoding="utf-8") as out:
        out.write("The attachment is below.\n")
    profile = Profile.secure(env)
    address = env["MAIL_ADDRESS"]
    ours = {"wall": Series(), "cpu": Series(), "rss": Series()}
    curl = {"wall": Series(), "cpu": Series(), "rss": Series()}
    ours_cmd = profile._base() + ["send", "0", "--to", address, "--subject", "Attachment",
                                  "--body-file", body, "--attach", attachment]
    curl_cmd = ["curl", "-sS", "--ssl-reqd", "--resolve", f"localhost:{env['SMTP_PORT']}:127.0.0.1",
                "--cacert", env["CA_FILE"], "-u", f"{env['MAIL_USER']}:{env['MAIL_PASSWORD']}",
                "--mail-from", address, "--mail-rcpt", address, f"smtp://localhost:{env['SMTP_PORT']}",
                "-H", "Subject: Attachment", "-H", f"From: <{address}>", "-H", f"To: <{address}>",
                "-F", "=(;type=multipart/mixed", "-F", f"=<{body};type=text/plain",
                "-F", f"file=@{attachment};encoder=base64", "-F", "=)"]
    try:
        for _ in range(runs):
            for side, args in ((ours, ours_cmd), (curl, curl_cmd)):
                mailbox.clear()
                completed, usage = timed_run(args, env=HOST_ENV)
                if completed.returncode != 0:
                    raise RuntimeError(f"{args[0]} failed ({completed.returncode}): "
                                       f"{completed.stdout[-2000:]} {completed.stderr[-2000:]}")
                side["wall"].add(usage.wall)
                side["cpu"].add(usage.cpu)
                side["rss"].add(usage.rss_kib)
                # Both clients are done once the server accepted the message; its delivery is
                # awaited so that the next run starts on an idle server, and its size shows that
                # the whole attachment went.
                delivered = mailbox.wait_for_delivery()
                if delivered < size_mib * MIB * 4 // 3:
                    raise RuntimeError(f"{args[0]} delivered only {delivered} bytes")
        mailbox.clear()
    finally:
        profile.remove()
        for path in (attachment, body):
            os.remove(path)
        os.rmdir(work)
    what = f"send with a {size_mib} MiB attachment (STARTTLS)"
    table.add_pair(f"{what}: wall vs curl", ours["wall"], curl["wall"], "s", "-")
    table.add_pair(f"{what}: CPU user+sys", ours["cpu"], curl["cpu"], "s", "-")
    table.add_pair(f"{what}: peak RSS", ours["rss"], curl["rss"], "KiB", "-")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=3, help="runs of each side (default 3)")
    parser.add_argument("--quick", action="store_true",
                        help="smaller sizes: 1k/10k messages, a 300,000-line listing, 1 and 10 MiB attachments")
    parser.add_argument("--plain", action="store_true", help="POP3 without TLS for both sides (default POP3S)")
    parser.add_argument("--only", default="base64,check,second,listing,send",
                        help="comma-separated subset of: base64, check, second, listing, send")
    options = parser.parse_args()
    only = set(options.only.split(","))
    small, large, added = (1000, 10000, 100) if options.quick else (10000, 100000, 1000)
    listing = 300000 if options.quick else 3000000
    attachments = (1, 10) if options.quick else (10, 100)
    secure = not options.plain

    env = mail_env()
    mailbox = FastMailbox(env)
    table = Table()
    started = time.monotonic()
    if "base64" in only:
        compare_base64(table, options.runs)
    if "check" in only or "second" in only:
        compare_first_check(table, env, mailbox, options.runs, small, large, secure)
    if "second" in only:
        compare_second_check(table, env, mailbox, options.runs, added, secure)
    if "listing" in only:
        check_huge_listing(table, env, listing)
    if "send" in only:
        raise_size_limit(env)
        for size in attachments:
            compare_send(table, env, mailbox, options.runs, size)
    mailbox.clear()
    say(f"done in {time.monotonic() - started:.0f} s")
    table.print(cpu_name())


if __name__ == "__main__":
    main()
