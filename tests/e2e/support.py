"""The test case base of the end-to-end tests: a temporary directory per
test, installations inside it, a forum simulator on demand, and assertions
on logs."""

from __future__ import annotations

import tempfile
import unittest
from pathlib import Path

from e2e.installation import create_installation, quorix_binary
from e2e.runner import log_messages, read_log, run_quorix
from forumsim.forumsim import ForumSim

MAIN = "  "           # thread tag of the main routine
NOT_SUPPORTED = "Not supported CrossPoint Version / Error reading configuration ..."


def progress(message: str, tag: str = MAIN) -> str:
    """An untimed level-0 log line."""
    return f"  {tag}: {message}"


def error(message: str, tag: str) -> str:
    """An untimed level-1 log line."""
    return f"! {tag}: {message}"


def problem(message: str, tag: str) -> str:
    """An untimed level-2 log line."""
    return f"? {tag}: {message}"


class E2ECase(unittest.TestCase):
    def setUp(self):
        binary = quorix_binary()
        if not binary.is_file():
            self.fail(f"no binary at {binary}: build it or set QUORIX_BIN")
        tmp = tempfile.TemporaryDirectory(prefix="quorix-e2e-")
        self.addCleanup(tmp.cleanup)
        self.tmp = Path(tmp.name)

    def installation(self, variant: str, name: str = "xp", **options):
        root = self.tmp / name
        root.mkdir()
        return create_installation(root, variant, **options)

    def simulator(self, **options) -> ForumSim:
        """A running simulator with UBB forum 3 "General Talk" (one topic)
        and UBBThreads board 7 "PHP Corner" (one topic)."""
        sim = ForumSim(**options).start()
        self.addCleanup(sim.stop)
        sim.add_forum("ubb", 3, "General Talk")
        sim.add_topic(3, "Hello", "Bob", "first post")
        sim.add_forum("threads", 7, "PHP Corner")
        sim.add_topic(7, "Loops", "Frank", "how?")
        return sim

    def run_quorix(self, inst, args, **options):
        return run_quorix(inst, args, **options)

    def log_path(self, inst, log_dir: str = "LOG\\"):
        return inst.path(log_dir) / "QUORIX.LOG"

    def assertLinesInOrder(self, lines, expected):
        """`expected` occurs in `lines` as a subsequence (other lines between)."""
        pos = 0
        for want in expected:
            try:
                pos = lines.index(want, pos) + 1
            except ValueError:
                self.fail(f"{want!r} not found in order in:\n" + "\n".join(lines))

    def assertLogged(self, path, line):
        lines = log_messages(path)
        self.assertIn(line, lines, "\n".join(lines))

    def assertNotLogged(self, path, line):
        lines = log_messages(path)
        self.assertNotIn(line, lines, "\n".join(lines))

    def body_lines(self, path) -> list:
        """Untimed lines after the header (the first line, plus a debug line)."""
        lines = read_log(path)
        start = 1
        if len(lines) > 1 and lines[1].message == "Debug-Mode activated":
            start = 2
        return [l.untimed for l in lines[start:]]
