"""The Windows program's status screen in a real Windows console: wine's own
console window (wineconsole) on a virtual X display (Xvfb). A small Windows
tool, console_probe, attaches to that console: it reads the cell grid with
its attributes (ReadConsoleOutputA) and writes key events
(WriteConsoleInputA), as tmux's capture-pane and send-keys do for the
terminal test. The layout at its cells, XPOINT.COL's colours as attributes,
a digit cutting a stalled connection, Esc and Alt+X, and the user's screen
(cmd's lines before the run) back afterwards."""

from __future__ import annotations

import os
import shutil
import subprocess
import time
import unittest
from pathlib import Path

from e2e.installation import group_list_text, quorix_binary, runs_under_wine
from e2e.runner import log_messages
from e2e.support import E2ECase, problem, progress
from e2e.test_status_screen import CLOCK, SERVER, TITLE, WAIT, wait_until

REPO = Path(__file__).resolve().parents[2]
PROBE = os.environ.get("QUORIX_CONSOLE_PROBE", "")
ARCH = os.environ.get("QUORIX_WINE_ARCH", "")
USER_SCREEN = "USER-SCREEN"
RUN_ENDED = "RUN-ENDED"
# XPOINT.COL's status colours: frame, values, title.
FRAME, VALUE, TITLE_COLOUR = 0x1F, 0x4E, 0x0A


class Screen:
    """One capture: text rows (code page 437 bytes as Latin-1 characters) and
    attribute rows, both counted from 1."""

    def __init__(self, output: str):
        lines = output.replace("\r\n", "\n").split("\n")
        self.text = [l[1:] for l in lines if l.startswith("T")]
        self.attributes = [bytes.fromhex(l[1:]) for l in lines if l.startswith("A")]

    def cell(self, row: int, column: int, length: int) -> str:
        line = self.text[row - 1] if row - 1 < len(self.text) else ""
        return line.ljust(column - 1 + length)[column - 1:column - 1 + length]

    def attribute(self, row: int, column: int) -> int:
        return self.attributes[row - 1][column - 1]

    def __str__(self) -> str:
        return "\n".join(self.text)


@unittest.skipUnless(runs_under_wine(), "the Windows console test runs with the Windows program")
class WindowsConsole(E2ECase):
    def setUp(self):
        super().setUp()
        if not PROBE or not Path(PROBE).is_file() or not ARCH:
            self.fail("QUORIX_CONSOLE_PROBE / QUORIX_WINE_ARCH not set: run it through ctest")
        if shutil.which("Xvfb") is None:
            self.fail("Xvfb is missing: scripts/install-packages installs it")
        self.env = {k: v for k, v in os.environ.items() if k != "OMRALOG"}
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                      "1280x900x24", "-nolisten", "tcp"],
                                     pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.addCleanup(self.stop, self.xvfb)
        with os.fdopen(read_fd) as display:
            number = display.readline().strip()
        self.assertTrue(number, "Xvfb named no display")
        self.env["DISPLAY"] = ":" + number

    @staticmethod
    def stop(proc):
        if proc.poll() is None:
            proc.kill()
        proc.wait(timeout=30)

    def wine(self, *args, timeout=60.0) -> subprocess.CompletedProcess:
        return subprocess.run([str(REPO / "scripts" / "wine-run"), ARCH, *args], env=self.env,
                              capture_output=True, timeout=timeout)

    def start(self, inst, boxes: str):
        """cmd in wine's console window: a line of the user's, the run, a
        line after it, then a pause that keeps the window open."""
        exe = quorix_binary().parent / "quorix.exe"
        link = inst.root / "QUORIX.EXE"
        if not link.exists():
            link.symlink_to(exe)
        proc = subprocess.Popen(
            [str(REPO / "scripts" / "wine-run"), ARCH, "wineconsole", "cmd", "/c",
             f"echo {USER_SCREEN}& QUORIX.EXE {boxes}& echo {RUN_ENDED}& pause"],
            cwd=inst.root, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        self.addCleanup(self.stop, proc)
        return proc

    def capture(self, process: str = "quorix.exe") -> Screen | None:
        result = self.wine(PROBE, "capture", process)
        return Screen(result.stdout.decode("latin-1")) if result.returncode == 0 else None

    def wait_for(self, condition, what: str, process: str = "quorix.exe") -> Screen:
        deadline = time.monotonic() + WAIT
        last = None
        while time.monotonic() < deadline:
            screen = self.capture(process)
            if screen is not None:
                last = screen
                if condition(screen):
                    return screen
            time.sleep(0.2)
        self.fail(f"no {what} within {WAIT} s; the last screen:\n{last}")

    def keys(self, *keys: str):
        result = self.wine(PROBE, "keys", "quorix.exe", *keys)
        self.assertEqual(result.returncode, 0, result.stderr.decode("latin-1"))

    def box(self, inst, sim, name: str, entries):
        box = inst.add_box(name, port=sim.port, template=sim.template_text("ubb"),
                           web=sim.web_settings("ubb"), posting="N")
        return box.write(group_list_text(entries))

    def forums(self, sim, numbers) -> None:
        for number, name in numbers:
            sim.add_forum("ubb", number, name)
            sim.add_topic(number, f"Topic of {name}", "Bob", f"A post in {name}")

    def requested(self, sim, fragment: str) -> bool:
        return any(fragment in r.path for r in sim.requests)

    def assertUserScreenBack(self):
        screen = self.wait_for(lambda s: any(RUN_ENDED in l for l in s.text),
                               "end of the run", process="cmd.exe")
        text = str(screen)
        self.assertIn(USER_SCREEN, text)
        self.assertNotIn(TITLE, text)
        self.assertNotIn("\xda", text)  # no frame corner left

    def test_80x25_layout_colours_and_a_digit_cuts_one_connection(self):
        sim = self.simulator()
        self.forums(sim, [(4, "Second Forum")])
        sim.misbehave("stall", path="number=3&", times=1)
        inst = self.installation("xp2", settings={"SCREENLINES": "25", "SHELL25": "N"})
        inst.write("XPOINT.COL", b"MAILER=$1F $4E $0A\r\n")
        self.box(inst, sim, "BOX", [("de.test.one", "General+Talk", 3, 30),
                                    ("de.test.two", "Second+Forum", 4, 30)])
        self.start(inst, "BOX.BFG")

        screen = self.wait_for(lambda s: s.cell(11, 21, 22) == "Scanning: General Talk"
                               and s.cell(10, 72, 1) == "x", "slot 1 scanning, connected")
        # One fetch thread on 25 lines: frame rows 7 to 19, columns 6 to 75,
        # in code page 437's box characters.
        self.assertEqual(screen.cell(7, 5, 3), " \xda\xc4", screen)
        self.assertEqual(screen.cell(7, 74, 3), "\xc4\xbf ")
        self.assertEqual(screen.cell(9, 6, 1), "\xc3")
        self.assertEqual(screen.cell(9, 75, 1), "\xb4")
        self.assertEqual(screen.cell(19, 6, 1), "\xc0")
        self.assertEqual(screen.cell(19, 75, 1), "\xd9")
        self.assertEqual(screen.cell(8, 8, 49), TITLE + " " * 22)
        self.assertRegex(screen.cell(8, 66, 8), CLOCK)
        self.assertEqual(screen.cell(10, 8, 12), "Webforum   :")
        self.assertEqual(screen.cell(10, 21, len(SERVER)), SERVER)
        self.assertEqual(screen.cell(10, 62, 12), "Connect: [x]")
        self.assertEqual(screen.cell(18, 8, 14), "Threads    : 2")
        # The colours as cell attributes.
        self.assertEqual(screen.attribute(7, 6), FRAME)
        self.assertEqual(screen.attribute(10, 8), FRAME)  # a label
        self.assertEqual(screen.attribute(8, 8), TITLE_COLOUR)
        self.assertEqual(screen.attribute(10, 21), VALUE)
        self.assertEqual(screen.attribute(10, 72), VALUE)  # the connect mark

        wait_until(lambda: sim.faults.stalled >= 1, "the stalled topic list request")
        self.keys("1")
        log = self.log_path(inst)
        wait_until(lambda: log.exists() and problem("WebBBS-Connection  1 killed by User", "#0")
                   in log_messages(log), "the kill line in the log")
        wait_until(lambda: self.requested(sim, "number=4&"), "the scan of the next forum")
        self.assertUserScreenBack()
        self.assertEqual(log_messages(log)[-1], progress("END"))

    def stalled_run(self, name: str):
        sim = self.simulator()
        self.forums(sim, [(4, "Second Forum")])
        sim.misbehave("stall", path="number=3&", times=1)
        inst = self.installation("xp2", name=name, settings={"SCREENLINES": "25", "SHELL25": "N"})
        self.box(inst, sim, "BOX", [("de.test.one", "General+Talk", 3, 30),
                                    ("de.test.two", "Second+Forum", 4, 30)])
        self.start(inst, "BOX.BFG")
        wait_until(lambda: sim.faults.stalled >= 1, "the stalled topic list request")
        self.wait_for(lambda s: s.cell(11, 21, 22) == "Scanning: General Talk"
                      and s.cell(10, 72, 1) == "x", "slot 1 scanning, connected")
        return sim, inst

    def test_esc_stops_between_group_entries(self):
        sim, inst = self.stalled_run("esc")
        self.keys("Escape")
        sim.release_stalls()
        self.assertUserScreenBack()
        self.assertTrue(self.requested(sim, "number=3&"))
        self.assertFalse(self.requested(sim, "number=4&"))
        self.assertEqual(log_messages(self.log_path(inst))[-1], progress("END"))

    def test_alt_x_cuts_every_connection_and_the_run_goes_on(self):
        sim, inst = self.stalled_run("altx")
        self.keys("Alt+X")
        log = self.log_path(inst)
        wait_until(lambda: problem("All Connections killed by User", "#0") in log_messages(log),
                   "the kill line in the log")
        wait_until(lambda: self.requested(sim, "number=4&"), "the scan of the next forum")
        self.assertUserScreenBack()
        lines = log_messages(log)
        self.assertEqual(lines[-1], progress("END"), "\n".join(lines))

if __name__ == "__main__":
    unittest.main()
