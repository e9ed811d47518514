"""Running the binary in an installation and reading what it left behind:
its console output, its logs, the spool files it wrote."""

from __future__ import annotations

import os
import re
import signal
import subprocess
import threading
import time
from dataclasses import dataclass
from pathlib import Path

# Mark, time, program tag, thread tag ("  " for main, "#" + slot; the status
# display's slot 0 may show as "#" alone), message.
LOG_LINE = re.compile(r"^(.{2})(\d\d:\d\d:\d\d)  QUORIX (  |#\d*): (.*)$", re.DOTALL)
# The program reads these as curl does; a proxy of the developer's must not
# come between a test and its loopback forum.
PROXY_VARIABLES = frozenset({"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                             "no_proxy", "NO_PROXY"})
HEADER = re.compile(r"^-{10}  (.*), Korvendale/News (v\S+)$")


@dataclass
class RunResult:
    returncode: int
    stdout: bytes
    stderr: bytes
    seconds: float

    @property
    def console(self) -> str:
        """Standard output as text with line ends normalised to LF."""
        return self.stdout.decode("latin-1").replace("\r\n", "\n")


def run_quorix(inst, args, *, timeout: float = 120.0, env: dict | None = None,
               argv0: str = "./quorix", cwd=None) -> RunResult:
    """Run the linked binary with the working directory in the installation
    (or `cwd`), argv[0] as given (the program directory comes from it),
    empty standard input, output captured. A run that outlives `timeout` is
    killed with its process group and reported as an AssertionError."""
    args = args.split(" ") if isinstance(args, str) else list(args)
    run_env = {k: v for k, v in os.environ.items() if k != "OMRALOG" and k not in PROXY_VARIABLES}
    run_env.update(env or {})
    # UBB dates carry the machine's zone at their date: UTC unless a test says.
    run_env.setdefault("TZ", "UTC")
    started = time.monotonic()
    proc = subprocess.Popen([argv0] + args, executable=str(inst.root / "quorix"),
                            cwd=str(cwd or inst.root), env=run_env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, start_new_session=True)
    try:
        stdout, stderr = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        stdout, stderr = proc.communicate(timeout=30)
        raise AssertionError(
            f"quorix {args} did not end within {timeout} s; output:\n"
            + stdout.decode("latin-1") + stderr.decode("latin-1"))
    return RunResult(proc.returncode, stdout, stderr, time.monotonic() - started)


def stop_process(proc: subprocess.Popen, grace: float = 10.0) -> None:
    """Ends a helper server: asked to terminate, killed when it has not
    ended within `grace` seconds; waited for either way."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(timeout=grace)


def run_parallel(jobs: dict, timeout: float = 180.0) -> dict:
    """Run several (inst, args, kwargs) jobs at once; {name: RunResult or
    the exception it raised}. For slow refusals that each wait seconds."""
    results = {}

    def work(name, inst, args, kwargs):
        try:
            results[name] = run_quorix(inst, args, **kwargs)
        except BaseException as err:  # reported to the test that asks for it
            results[name] = err

    threads = [threading.Thread(target=work, args=(name, *job)) for name, job in jobs.items()]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout)
    return results


# -- logs -------------------------------------------------------------------------

@dataclass(frozen=True)
class LogLine:
    mark: str | None     # "  ", "! ", "? ", ... ; None for a line of another shape
    time: str
    tag: str             # "  " for main, "#1" ... for a slot
    message: str
    raw: str

    @property
    def untimed(self) -> str:
        """The line without its time column: mark + tag + ": " + message."""
        return self.raw if self.mark is None else f"{self.mark}{self.tag}: {self.message}"


def parse_log_line(raw: str) -> LogLine:
    match = LOG_LINE.match(raw)
    if not match:
        return LogLine(None, "", "", raw, raw)
    mark, clock, tag, message = match.groups()
    return LogLine(mark, clock, tag, message, raw)


def read_log(path) -> list:
    """Every line of a log file (CR LF separated; the file must end with CR LF
    and hold no other line ends)."""
    data = Path(path).read_bytes().decode("latin-1")
    if data and not data.endswith("\r\n"):
        raise AssertionError(f"{path} does not end with CR LF: {data[-40:]!r}")
    lines = data.split("\r\n")[:-1] if data else []
    for line in lines:
        if "\n" in line or "\r" in line:
            raise AssertionError(f"{path} holds a bare line end in {line!r}")
    return [parse_log_line(line) for line in lines]


def log_messages(path, tag: str | None = None) -> list:
    """Untimed lines (mark + tag + ": " + message) of log lines, optionally of
    one thread tag only ("#1", or "  " for main)."""
    return [l.untimed for l in read_log(path)
            if l.mark is not None and (tag is None or l.tag == tag)]


def header_date(now=None, omralog: str = "") -> str:
    """The date a log header shows for the given moment."""
    t = time.localtime(now)
    if omralog.upper() == "XP":
        return f"{t.tm_mday:02d}.{t.tm_mon:02d}.{t.tm_year:04d}"
    days = ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")
    months = ("Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct",
              "Nov", "Dec")
    return f"{days[t.tm_wday]} {t.tm_mday:02d} {months[t.tm_mon - 1]} {t.tm_year % 100:02d}"


# -- spool ------------------------------------------------------------------------

FIELD_NAME = re.compile(r"[!-9;-~]+")  # printable, no blank, no colon
SPOOL_NAME = re.compile(r"^N\d{6}\.msg$", re.IGNORECASE)


def spool_files(directory) -> list:
    """Incoming spool files (N + six digits + .msg, any case), by name."""
    directory = Path(directory)
    if not directory.is_dir():
        return []
    return sorted(p for p in directory.iterdir() if SPOOL_NAME.match(p.name))


def parse_rnews(data: bytes) -> list:
    """The articles of an rnews batch; ValueError when the batch is malformed
    (anything before, between or after the entries, a wrong byte count)."""
    articles, pos = [], 0
    while pos < len(data):
        end = data.find(b"\n", pos)
        line = data[pos:end] if end >= 0 else data[pos:]
        match = re.fullmatch(rb"#! rnews ([1-9]\d*)", line)
        if end < 0 or not match:
            raise ValueError(f"bad batch line at byte {pos}: {line[:40]!r}")
        size = int(match.group(1))
        article = data[end + 1:end + 1 + size]
        if len(article) != size:
            raise ValueError(f"article at byte {pos} is cut short")
        articles.append(article)
        pos = end + 1 + size
    return articles


def parse_article(article: bytes) -> tuple:
    """([(header name, value)], body) of an article with LF line ends. A
    line that begins with a blank or a tab continues the field before it;
    the field is unfolded as RFC 5322 says (the line end goes, the blank
    stays)."""
    head, sep, body = article.partition(b"\n\n")
    if not sep:
        raise ValueError("article without an empty line")
    headers = []
    for line in head.decode("latin-1").split("\n"):
        if line[:1] in (" ", "\t"):
            if not headers or not line.strip():
                raise ValueError(f"bad continuation line {line!r}")
            name, value = headers[-1]
            headers[-1] = (name, value + line)
            continue
        name, colon, value = line.partition(": ")
        if not colon or not FIELD_NAME.fullmatch(name):
            raise ValueError(f"bad header line {line!r}")
        headers.append((name, value))
    return headers, body
