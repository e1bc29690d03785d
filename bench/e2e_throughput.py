#!/usr/bin/env python3
"""End-to-end forwarding throughput: Mailferry, fetchmail and the floor over the same servers.

Starts a private Dovecot (POP3) and Postfix (SMTP, storing what it accepts) on 127.0.0.1 through
scripts/mailservers.sh, builds two corpora and lets every contender forward each corpus from a
fresh mailbox to the SMTP server with the mailbox emptied afterwards (keep off):

  floor      e2e_floor: RETR and DELE of every message over one POP3 conversation, plus the same
             bytes sent over one SMTP connection per message; no parsing, no rewriting
  mailferry  mailferryctl scan with one account (forwarding method 0)
  fetchmail  the established peer, delivering by SMTP to the same server

Each contender is timed as a child process: wall time, CPU time (user + system), peak resident
memory. A run counts only when every message has arrived in the SMTP server's store and the
mailbox is empty. Needs root (the servers run as their own users).
"""

import argparse
import base64
import os
import quopri
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parent.parent
SERVERS_SCRIPT = SOURCE_DIR / "scripts" / "mailservers.sh"

REMOTE_DOMAIN = "remote.example"
PASSWORD = "bench"
LOCAL_USER = "bench"
POLL_SECONDS = 0.02

# One corpus: its name, how many messages, and how long to wait for the store to fill.
SMALL = ("small", 1000, 120)
LARGE = ("large", 10, 300)

LOREM = (
    "the quick brown fox jumps over the lazy dog while seven bright owls keep watch "
    "above an old mill beside the river and the ferry waits at the quay for the mail "
    "sacks to be loaded before the evening tide turns back toward the harbour lights"
).split()


def wrapped_text(rng, size, width=72):
    """Plain ASCII lines of at most `width` characters, about `size` bytes in all."""
    lines, line, total = [], [], 0
    while total < size:
        word = rng.choice(LOREM)
        if line and len(" ".join(line)) + 1 + len(word) > width:
            text = " ".join(line)
            lines.append(text)
            total += len(text) + 2
            line = []
            # A paragraph now and then, and a line starting with a dot to exercise stuffing.
            if rng.random() < 0.08:
                lines.append("")
            elif rng.random() < 0.01:
                lines.append(". a line that starts with a dot")
        line.append(word)
    if line:
        lines.append(" ".join(line))
    return lines


def quoted_printable(lines):
    """Lines with a few non-ASCII words, encoded quoted-printable (UTF-8)."""
    text = "\n".join(lines).replace("ferry", "f\u00e4hre").replace("owls", "\u00e9toiles")
    return quopri.encodestring(text.encode("utf-8")).decode("ascii").split("\n")


def headers(rng, number, subject, extra):
    sender = "sender%d@example.org" % rng.randrange(50)
    lines = [
        "Return-Path: <%s>" % sender,
        "Received: from mx.example.org (mx.example.org [192.0.2.25])",
        "\tby pop.%s with ESMTP id %08X; Tue, 2 Jun 2026 10:%02d:%02d +0200" % (
            REMOTE_DOMAIN, rng.getrandbits(32), number % 60, rng.randrange(60)),
        'From: "Sender %d" <%s>' % (number % 50, sender),
        "To: %s@%s" % (LOCAL_USER, REMOTE_DOMAIN),
        "Subject: %s" % subject,
        "Date: Tue, 2 Jun 2026 10:%02d:%02d +0200" % (number % 60, rng.randrange(60)),
        "Message-ID: <bench.%d.%08x@example.org>" % (number, rng.getrandbits(32)),
        "MIME-Version: 1.0",
    ]
    return lines + extra


def small_message(rng, number):
    """One message of 4 to 10 KB: plain, quoted-printable, or multipart/alternative."""
    size = rng.randrange(4300, 9901)
    kind = rng.random()
    subject = "Bench message %d about the ferry schedule" % number
    if rng.random() < 0.1:
        subject = "=?UTF-8?Q?Fahrplan_der_F=C3=A4hre_Nr=2E_%d?=" % number
    if kind < 0.6:
        head = headers(rng, number, subject, ["Content-Type: text/plain; charset=us-ascii",
                                              "Content-Transfer-Encoding: 7bit"])
        body_size = size - len("\r\n".join(head)) - 4
        body = wrapped_text(rng, body_size)
    elif kind < 0.8:
        head = headers(rng, number, subject, ["Content-Type: text/plain; charset=UTF-8",
                                              "Content-Transfer-Encoding: quoted-printable"])
        body_size = size - len("\r\n".join(head)) - 4
        body = quoted_printable(wrapped_text(rng, body_size * 9 // 10))
    else:
        boundary = "=_alt_%08x" % rng.getrandbits(32)
        head = headers(rng, number, subject,
                       ['Content-Type: multipart/alternative; boundary="%s"' % boundary])
        part_size = (size - len("\r\n".join(head)) - 400) // 2
        text = wrapped_text(rng, part_size)
        html = ["<html><body>"] + ["<p>%s</p>" % line for line in
                                   wrapped_text(rng, part_size - 40, 64)] + ["</body></html>"]
        body = (["This is a multi-part message in MIME format.", "", "--" + boundary,
                 "Content-Type: text/plain; charset=us-ascii",
                 "Content-Transfer-Encoding: 7bit", ""] + text +
                ["", "--" + boundary, "Content-Type: text/html; charset=us-ascii",
                 "Content-Transfer-Encoding: 7bit", ""] + html + ["", "--" + boundary + "--"])
    return ("\r\n".join(head + [""] + body) + "\r\n").encode("ascii")


def large_message(rng, number):
    """A short text and a 5 MB binary attachment in base64."""
    boundary = "=_mixed_%08x" % rng.getrandbits(32)
    head = headers(rng, number, "Bench attachment %d" % number,
                   ['Content-Type: multipart/mixed; boundary="%s"' % boundary])
    payload = base64.encodebytes(rng.randbytes(5 * 1024 * 1024)).decode("ascii")
    body = ["This is a multi-part message in MIME format.", "", "--" + boundary,
            "Content-Type: text/plain; charset=us-ascii", "Content-Transfer-Encoding: 7bit",
            ""] + wrapped_text(rng, 1500) + [
            "", "--" + boundary,
            'Content-Type: application/octet-stream; name="data%d.bin"' % number,
            "Content-Transfer-Encoding: base64",
            'Content-Disposition: attachment; filename="data%d.bin"' % number, ""]
    text = "\r\n".join(head + [""] + body) + "\r\n"
    text += payload.replace("\n", "\r\n") + "\r\n--" + boundary + "--\r\n"
    return text.encode("ascii")


def write_corpus(folder, name, count):
    """Writes the corpus as numbered files (sorted name = delivery order), the same every time."""
    folder.mkdir(parents=True)
    rng = random.Random("mailferry-bench-" + name)
    make = small_message if name == "small" else large_message
    for number in range(1, count + 1):
        (folder / ("%05d.eml" % number)).write_bytes(make(rng, number))


def script(*args):
    """Runs mailservers.sh; returns its name=value lines as a dict."""
    result = subprocess.run(["bash", str(SERVERS_SCRIPT), *map(str, args)],
                            stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("mailservers.sh %s failed:\n%s" % (" ".join(map(str, args)),
                                                                result.stderr))
    return dict(line.split("=", 1) for line in result.stdout.splitlines() if "=" in line)


def maildir_count(maildir):
    return sum(len(os.listdir(maildir / sub)) for sub in ("new", "cur")
               if (maildir / sub).is_dir())


def wait_for(predicate, bound, what):
    deadline = time.monotonic() + bound
    while not predicate():
        if time.monotonic() > deadline:
            raise RuntimeError("gave up after %d s waiting for %s" % (bound, what))
        time.sleep(POLL_SECONDS)


@dataclass
class Measure:
    wall: float = 0.0
    cpu: float = 0.0
    rss_kb: int = 0

    def add(self, other):
        self.wall += other.wall
        self.cpu += other.cpu
        self.rss_kb = max(self.rss_kb, other.rss_kb)


def timed(launcher, argv, log, env=None):
    """Runs argv to its end through the launcher (e2e_floor measure); returns its Measure and its
    exit status. Its standard output and error go to `log`."""
    result = Path(str(log) + ".measure")
    with open(log, "wb") as out:
        subprocess.run([str(launcher), "measure", str(result), *map(str, argv)],
                       stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, env=env,
                       check=True)
    wall, cpu, rss_kb, status = result.read_text().split()
    return Measure(float(wall), float(cpu), int(rss_kb)), int(status)


@dataclass
class Bench:
    top: Path
    build: Path
    pop3_port: int = 0
    smtp_port: int = 0
    homes: Path = None
    store: Path = None
    stored_domain: str = ""
    runs: int = 0

    def fresh_mailbox(self, corpus_dir):
        self.runs += 1
        user = "bench%d" % self.runs
        maildir = Path(script("dovecot-user", self.top, user, PASSWORD)["maildir"])
        files = sorted(corpus_dir.iterdir())
        # A few hundred files per call keeps the command line short.
        for i in range(0, len(files), 200):
            script("dovecot-deliver", self.top, user, *files[i:i + 200])
        return user, maildir

    def clear_store(self):
        for sub in ("new", "cur"):
            folder = self.store / sub
            if folder.is_dir():
                for name in os.listdir(folder):
                    (folder / name).unlink()

    def settle(self, maildir, count, size, bound):
        """Waits until the store holds `count` messages and the mailbox is empty; fails when
        much of the corpus's bytes did not arrive (a contender that drops content wins nothing)."""
        wait_for(lambda: maildir_count(self.store) >= count, bound,
                 "%d messages in the SMTP store (have %d)" % (count, maildir_count(self.store)))
        wait_for(lambda: maildir_count(maildir) == 0, 30, "the mailbox to be emptied")
        stored = maildir_count(self.store)
        if stored != count:
            raise RuntimeError("the SMTP store holds %d messages, expected %d" % (stored, count))
        stored_size = sum(f.stat().st_size for sub in ("new", "cur")
                          for f in (self.store / sub).iterdir())
        if stored_size < 0.9 * size:
            raise RuntimeError("only %d of the corpus's %d bytes arrived" % (stored_size, size))

    def recipient(self):
        return "%s@%s" % (LOCAL_USER, self.stored_domain)

    @property
    def launcher(self):
        return self.build / "bench" / "e2e_floor"

    def run_floor(self, corpus_dir, user, work):
        total = Measure()
        for argv in ([self.launcher, "pop3", self.pop3_port, user, PASSWORD],
                     [self.launcher, "smtp", self.smtp_port, "floor@example.org",
                      self.recipient(), corpus_dir]):
            log = work / ("floor-%s.log" % argv[1])
            measure, status = timed(self.launcher, argv, log)
            if status != 0:
                raise RuntimeError("e2e_floor %s failed: %s" % (argv[1], log.read_text()))
            total.add(measure)
        return total

    def run_mailferry(self, corpus_dir, user, work):
        ctl = str(self.build / "src" / "mailferryctl")
        data = work / "data"
        data.mkdir()

        def ctl_run(*args):
            result = subprocess.run([ctl, "--data-dir", str(data), *map(str, args)],
                                    stdin=subprocess.DEVNULL, capture_output=True, text=True)
            if result.returncode != 0:
                raise RuntimeError("mailferryctl %s failed: %s" % (args[0], result.stderr))
            return result.stdout

        ctl_run("init")
        ctl_run("system", "set", "ExchangeServer=127.0.0.1", "SMTPPort=%d" % self.smtp_port,
                "CheckLog=True")
        ctl_run("account", "add", "AccountName=Bench", "Pop3Server=127.0.0.1",
                "Pop3Port=%d" % self.pop3_port, "Pop3UserName=" + user,
                "Pop3Password=" + PASSWORD, "Pop3DomainName=" + REMOTE_DOMAIN,
                "SMTPDomainName=" + self.stored_domain, "ForwardMethod=0",
                "Pop3KeepMessages=False")
        env = dict(os.environ, TMPDIR=str(work))
        log = work / "mailferry.log"
        measure, status = timed(self.launcher, [ctl, "--data-dir", data, "scan"], log, env)
        if status != 0:
            raise RuntimeError("mailferryctl scan failed (%d): %s" % (status, log.read_text()))
        return measure

    def run_fetchmail(self, corpus_dir, user, work):
        rc = work / "fetchmailrc"
        rc.write_text(
            "set no bouncemail\n"
            "poll 127.0.0.1 with protocol pop3 port %d\n"
            "  user \"%s\" there with password \"%s\" is %s here\n"
            # No TLS: the servers offer none, and fetchmail would otherwise insist on trying.
            "  options no keep fetchall smtphost 127.0.0.1/%d smtpaddress %s sslproto ''\n" % (
                self.pop3_port, user, PASSWORD, LOCAL_USER, self.smtp_port,
                self.stored_domain))
        rc.chmod(0o600)
        argv = ["fetchmail", "--fetchmailrc", str(rc), "--nosyslog", "--nodetach", "--daemon",
                "0", "--pidfile", str(work / "fetchmail.pid"), "--idfile",
                str(work / "fetchmail.ids"), "--silent"]
        env = dict(os.environ, HOME=str(work), FETCHMAILHOME=str(work))
        log = work / "fetchmail.log"
        measure, status = timed(self.launcher, argv, log, env)
        if status != 0:
            raise RuntimeError("fetchmail failed (%d): %s" % (status, log.read_text()))
        return measure


def contenders(build):
    """The contenders that can run here, and a note for each that cannot."""
    found, notes = ["floor"], []
    ctl = build / "src" / "mailferryctl"
    usage = subprocess.run([str(ctl), "--help"], capture_output=True,
                           text=True) if ctl.is_file() else None
    if usage is not None and "\n  scan" in usage.stdout + usage.stderr:
        found.append("mailferry")
    else:
        notes.append("mailferry: %s has no scan command yet" % ctl)
    if shutil.which("fetchmail"):
        found.append("fetchmail")
    else:
        notes.append("fetchmail: not installed (apt-get install fetchmail)")
    return found, notes


@dataclass
class Result:
    corpus: str
    contender: str
    count: int
    size: int
    measures: list = field(default_factory=list)
    error: str = ""


def report(results, notes):
    print()
    print("%-6s %-10s %5s %7s %15s %7s %9s %9s %8s %8s" % (
        "corpus", "contender", "runs", "wall s", "(min-max)", "CPU s", "peak MB",
        "msgs/s", "MB/s", "x floor"))
    floors = {r.corpus: statistics.median(m.wall for m in r.measures)
              for r in results if r.contender == "floor" and r.measures}
    for r in results:
        if not r.measures:
            print("%-6s %-10s   failed: %s" % (r.corpus, r.contender, r.error))
            continue
        walls = [m.wall for m in r.measures]
        wall = statistics.median(walls)
        cpu = statistics.median(m.cpu for m in r.measures)
        rss = max(m.rss_kb for m in r.measures) / 1024
        ratio = ("%8.2f" % (wall / floors[r.corpus])) if r.corpus in floors else "       -"
        print("%-6s %-10s %5d %7.2f %15s %7.2f %9.1f %9.1f %8.1f %s" % (
            r.corpus, r.contender, len(walls), wall,
            "(%.2f-%.2f)" % (min(walls), max(walls)), cpu, rss, r.count / wall,
            r.size / wall / 1e6, ratio))
        if r.error:
            print("       %s: also failed once: %s" % (r.contender, r.error))
    print()
    print("wall and CPU: median of the runs; peak MB: the largest peak resident set of any run;")
    print("msgs/s and MB/s from the median wall time over the corpus as stored in the mailbox.")
    for note in notes:
        print("not measured: " + note)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=str(SOURCE_DIR / "build"),
                        help="the CMake build folder (default: build/)")
    parser.add_argument("--runs", type=int, default=3, help="runs per contender and corpus")
    parser.add_argument("--corpus", choices=("small", "large", "both"), default="both")
    parser.add_argument("--only", action="append", choices=("floor", "mailferry", "fetchmail"),
                        help="measure only this contender (may be repeated)")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--write-corpus", nargs=3, metavar=("FOLDER", "NAME", "COUNT"),
                        help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.write_corpus:
        folder, name, count = args.write_corpus
        write_corpus(Path(folder), name, int(count))
        return 0
    if os.geteuid() != 0:
        sys.exit("e2e_throughput.py: must run as root (the servers switch to their own users)")
    build = Path(args.build).resolve()
    if not (build / "bench" / "e2e_floor").is_file():
        sys.exit("e2e_throughput.py: %s/bench/e2e_floor is not built (it measures every "
                 "contender)" % build)
    names, notes = contenders(build)
    if args.only:
        names = [n for n in names if n in args.only]
    corpora = [c for c in (SMALL, LARGE) if args.corpus in ("both", c[0])]

    # Under /tmp: the servers' own users must be able to reach the folder.
    top = Path(tempfile.mkdtemp(prefix="mailferry-bench-", dir="/tmp"))
    bench = Bench(top, build)
    results = []
    try:
        values = script("start", top)
        bench.pop3_port = int(values["pop3_port"])
        bench.smtp_port = int(values["smtp_port"])
        bench.store = Path(values["smtp_store"])
        bench.stored_domain = values["smtp_stored_domain"]
        print("servers: POP3 127.0.0.1:%d, SMTP 127.0.0.1:%d, folder %s" % (
            bench.pop3_port, bench.smtp_port, top))
        for name, count, bound in corpora:
            corpus_dir = top / "corpus" / name
            # Written by a child process: the corpus would otherwise stay in this process's
            # memory for the whole run.
            subprocess.run([sys.executable, __file__, "--write-corpus", str(corpus_dir), name,
                            str(count)], check=True)
            size = sum(f.stat().st_size for f in corpus_dir.iterdir())
            print("corpus %s: %d messages, %.1f MB" % (name, count, size / 1e6))
            rows = {n: Result(name, n, count, size) for n in names}
            results.extend(rows.values())
            for run in range(args.runs):
                for contender in names:
                    work = top / "work" / ("%s-%s-%d" % (name, contender, run))
                    work.mkdir(parents=True)
                    os.chmod(work, 0o755)
                    try:
                        user, maildir = bench.fresh_mailbox(corpus_dir)
                        bench.clear_store()
                        run_one = getattr(bench, "run_" + contender)
                        measure = run_one(corpus_dir, user, work)
                        bench.settle(maildir, count, size, bound)
                        rows[contender].measures.append(measure)
                        print("  %s run %d: %s %.2f s wall, %.2f s CPU, %.1f MB peak" % (
                            name, run + 1, contender, measure.wall, measure.cpu,
                            measure.rss_kb / 1024), flush=True)
                    except RuntimeError as error:
                        rows[contender].error = str(error).strip()
                        print("  %s run %d: %s failed: %s" % (name, run + 1, contender, error),
                              flush=True)
                    # The next run starts with the SMTP server's queue idle.
                    bench.clear_store()
        report(results, notes)
    finally:
        try:
            script("stop", top)
        finally:
            if args.keep:
                print("work folder kept: %s" % top)
            else:
                shutil.rmtree(top, ignore_errors=True)
    return 0 if all(r.measures and not r.error for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
