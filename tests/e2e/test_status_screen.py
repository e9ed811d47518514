"""The status screen in a real terminal: the binary runs in a tmux pane of
80x25 or 80x50 against the simulator, the screen is read with capture-pane,
keys are sent with send-keys. Frame, title, server and activity must stand
at their rows and columns; Esc stops the scan between group entries; a digit
cuts one slot's connection and the run goes on; afterwards the terminal
shows the user's screen again and is back in cooked mode.

Needs tmux; the tests are skipped with a message when it is missing."""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import time
import unittest
import uuid

from e2e.installation import group_list_text, runs_under_wine
from e2e.runner import log_messages
from e2e.support import E2ECase, problem, progress

TMUX = shutil.which("tmux")
TITLE = "Korvendale-Webforums v0.23g"
CLOCK = re.compile(r"\d\d:\d\d:\d\d")
SERVER = "127.0.0.1"
RUN_ENDED = "RUN-ENDED"
USER_SCREEN = "USER-SCREEN"
WAIT = 60.0  # seconds for anything to show


def cell(lines: list, row: int, column: int, length: int) -> str:
    """`length` characters of the screen from (row, column), counted from 1."""
    line = lines[row - 1] if row - 1 < len(lines) else ""
    return line.ljust(column - 1 + length)[column - 1:column - 1 + length]


class Terminal:
    """A private tmux server with one pane running sh in `cwd`."""

    def __init__(self, cwd, rows: int, columns: int):
        self.socket = "quorix-" + uuid.uuid4().hex[:12]
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("LC_ALL", "LC_CTYPE", "TMUX", "OMRALOG")}
        self.env["LANG"] = "C.UTF-8"
        self.env["PS1"] = "$ "
        self.tmux("new-session", "-d", "-s", "s", "-x", str(columns), "-y", str(rows),
                  "-c", str(cwd), "sh")
        # A shell that ends (it reads end of file from a terminal the program
        # left in raw mode, after a crash or a sanitizer's exit) leaves its
        # pane, so the screen still shows what the program printed last.
        self.tmux("set-option", "-w", "-t", "s", "remain-on-exit", "on")

    def tmux(self, *args) -> subprocess.CompletedProcess:
        done = subprocess.run([TMUX, "-L", self.socket, "-f", "/dev/null", *args],
                              env=self.env, capture_output=True, timeout=30)
        if done.returncode != 0:
            raise AssertionError(f"tmux {args[0]} failed ({done.returncode}): "
                                 + done.stderr.decode("utf-8", "replace").strip())
        return done

    def shell_ended(self) -> bool:
        out = self.tmux("display-message", "-p", "-t", "s", "#{pane_dead}").stdout
        return out.strip() == b"1"

    def type(self, text: str) -> None:
        self.tmux("send-keys", "-t", "s", "-l", text)

    def key(self, name: str) -> None:
        self.tmux("send-keys", "-t", "s", name)

    def screen(self) -> list:
        out = self.tmux("capture-pane", "-t", "s", "-p").stdout
        return out.decode("utf-8", "replace").split("\n")

    def wait_for(self, test, what: str, timeout: float = WAIT) -> list:
        deadline = time.monotonic() + timeout
        while True:
            lines = self.screen()
            if test(lines):
                return lines
            if self.shell_ended():
                raise AssertionError(f"the shell ended before {what} showed; the screen:\n"
                                     + "\n".join(lines))
            if time.monotonic() > deadline:
                raise AssertionError(f"{what} did not show; the screen:\n" + "\n".join(lines))
            time.sleep(0.05)

    def close(self) -> None:
        subprocess.run([TMUX, "-L", self.socket, "kill-server"], env=self.env,
                       capture_output=True, timeout=30)


def wait_until(test, what: str, timeout: float = WAIT) -> None:
    deadline = time.monotonic() + timeout
    while not test():
        if time.monotonic() > deadline:
            raise AssertionError(f"{what} did not happen")
        time.sleep(0.05)


@unittest.skipIf(TMUX is None, "tmux is not installed: the terminal tests need it")
@unittest.skipIf(runs_under_wine(),
                 "wine's console on a terminal draws the status screen but passes no keys to "
                 "the program and does not keep the user's screen, so the keys and the restore "
                 "cannot be tested there; test_windows_console tests them in wine's console "
                 "window")
class StatusScreen(E2ECase):
    def terminal(self, inst, rows: int, columns: int = 80) -> Terminal:
        term = Terminal(inst.root, rows, columns)
        self.addCleanup(term.close)
        return term

    def start(self, term: Terminal, boxes: str) -> None:
        """Clears the pane, marks the user's screen, then runs the binary and
        records the terminal modes after it ended."""
        term.type(f"clear; echo {USER_SCREEN}; ./quorix {boxes}; "
                  f"stty -a > stty.txt; echo {RUN_ENDED}")
        term.key("Enter")

    def forums(self, sim, numbers) -> None:
        for number, name in numbers:
            sim.add_forum("ubb", number, name)
            sim.add_topic(number, f"Topic of {name}", "Bob", f"A post in {name}")

    def box(self, inst, sim, name: str, entries):
        box = inst.add_box(name, port=sim.port, template=sim.template_text("ubb"),
                           web=sim.web_settings("ubb"), posting="N")
        return box.write(group_list_text(entries))

    def requested(self, sim, fragment: str) -> bool:
        return any(fragment in r.path for r in sim.requests)

    def assertUserScreenBack(self, inst, term: Terminal) -> None:
        lines = term.wait_for(lambda s: any(RUN_ENDED in l for l in s), "the end of the run")
        text = "\n".join(lines)
        self.assertIn(USER_SCREEN, text)
        self.assertIn("Korvendale/WebNews-Client for CrossPoint", text)
        self.assertNotIn(TITLE, text)
        self.assertNotIn("\u250c", text)
        modes = (inst.root / "stty.txt").read_text().split()
        self.assertIn("icanon", modes)
        self.assertIn("echo", modes)
        self.assertNotIn("-icanon", modes)
        self.assertNotIn("-echo", modes)

    def test_80x25_layout_and_a_digit_cuts_one_connection(self):
        sim = self.simulator()
        self.forums(sim, [(4, "Second Forum")])
        sim.misbehave("stall", path="number=3&", times=1)
        inst = self.installation("xp2", settings={"SCREENLINES": "25", "SHELL25": "N"})
        self.box(inst, sim, "BOX", [("de.test.one", "General+Talk", 3, 30),
                                    ("de.test.two", "Second+Forum", 4, 30)])
        term = self.terminal(inst, 25)
        self.start(term, "BOX.BFG")

        lines = term.wait_for(
            lambda s: cell(s, 11, 21, 22) == "Scanning: General Talk"
            and cell(s, 10, 72, 1) == "x", "slot 1 scanning, connected")
        # One fetch thread on 25 lines: frame rows 7 to 19, columns 6 to 75.
        self.assertEqual(cell(lines, 7, 5, 3), " \u250c\u2500")
        self.assertEqual(cell(lines, 7, 74, 3), "\u2500\u2510 ")
        self.assertEqual(cell(lines, 9, 6, 1), "\u251c")
        self.assertEqual(cell(lines, 9, 75, 1), "\u2524")
        self.assertEqual(cell(lines, 19, 6, 1), "\u2514")
        self.assertEqual(cell(lines, 19, 75, 1), "\u2518")
        self.assertEqual(cell(lines, 6, 1, 80).strip(), "")
        self.assertEqual(cell(lines, 8, 8, 49), TITLE + " " * 22)
        self.assertRegex(cell(lines, 8, 66, 8), CLOCK)
        self.assertEqual(cell(lines, 10, 8, 12), "Webforum   :")
        self.assertEqual(cell(lines, 10, 21, len(SERVER) + 1), SERVER + " ")
        self.assertEqual(cell(lines, 10, 62, 12), "Connect: [x]")
        self.assertEqual(cell(lines, 11, 8, 12), "Information:")
        self.assertEqual(cell(lines, 11, 62, 12), "Errors : [ ]")
        self.assertEqual(cell(lines, 12, 8, 12), "Sent/Rcvd  :")
        self.assertEqual(cell(lines, 14, 8, 12), "Webforum   :")  # the posting panel
        self.assertEqual(cell(lines, 18, 8, 14), "Threads    : 2")

        wait_until(lambda: sim.faults.stalled >= 1, "the stalled topic list request")
        term.type("1")
        log = self.log_path(inst)
        wait_until(lambda: log.exists() and problem("WebBBS-Connection  1 killed by User", "#0")
                   in log_messages(log), "the kill line in the log")
        # The run goes on with the next group entry and ends normally.
        wait_until(lambda: self.requested(sim, "number=4&"), "the scan of the next forum")
        self.assertUserScreenBack(inst, term)
        self.assertEqual(log_messages(log)[-1], progress("END"))
        self.assertEqual(sum(1 for l in log_messages(log) if "killed by User" in l), 1)

    def test_80x50_two_boxes_and_esc_stops_between_group_entries(self):
        sim = self.simulator()
        self.forums(sim, [(4, "Second Forum"), (5, "Third Forum"), (6, "Fourth Forum")])
        sim.misbehave("stall", path="number=3&", times=1)
        sim.misbehave("stall", path="number=5&", times=1)
        # The topic pages of the first entries answer late, so the exit request
        # is seen before the second entries are due.
        sim.misbehave("slow", path="Forum3/HTML/", seconds=2)
        sim.misbehave("slow", path="Forum5/HTML/", seconds=2)
        inst = self.installation("openxp", settings={"SCREENLINES": "50", "SHELL25": "N"})
        self.box(inst, sim, "ONE", [("de.test.one", "General+Talk", 3, 30),
                                    ("de.test.two", "Second+Forum", 4, 30)])
        self.box(inst, sim, "TWO", [("de.test.three", "Third+Forum", 5, 30),
                                    ("de.test.four", "Fourth+Forum", 6, 30)])
        term = self.terminal(inst, 50)
        self.start(term, "ONE.BFG TWO.BFG")

        wait_until(lambda: sim.faults.stalled >= 2, "both first topic list requests")
        lines = term.wait_for(
            lambda s: cell(s, 20, 21, 22) == "Scanning: General Talk"
            and cell(s, 24, 21, 21) == "Scanning: Third Forum", "both slots scanning")
        # Two fetch threads on 50 lines: T = 50 \ 2 - 7 - 2 = 16, frame rows 16 to 32.
        self.assertEqual(cell(lines, 16, 6, 1), "\u250c")
        self.assertEqual(cell(lines, 32, 75, 1), "\u2518")
        self.assertEqual(cell(lines, 17, 8, 49), TITLE + "      (OpenXP Support)")
        self.assertRegex(cell(lines, 17, 66, 8), CLOCK)
        self.assertEqual(cell(lines, 19, 21, len(SERVER)), SERVER)
        self.assertEqual(cell(lines, 23, 21, len(SERVER)), SERVER)
        self.assertEqual(cell(lines, 27, 8, 12), "Webforum   :")  # the posting panel
        self.assertEqual(cell(lines, 31, 8, 14), "Threads    : 3")

        term.key("Escape")
        sim.release_stalls()
        # The scan drivers skip the second entries ("Exit requested by User"
        # stands in their status only until the fetch threads end), then both
        # slots show "Quit" while the posting thread waits.
        term.wait_for(lambda s: cell(s, 20, 21, 5) == "Quit " and cell(s, 24, 21, 5) == "Quit ",
                      "both fetch threads ended")
        self.assertUserScreenBack(inst, term)
        self.assertTrue(self.requested(sim, "number=3&"))
        self.assertTrue(self.requested(sim, "number=5&"))
        self.assertFalse(self.requested(sim, "number=4&"))
        self.assertFalse(self.requested(sim, "number=6&"))
        self.assertEqual(log_messages(self.log_path(inst))[-1], progress("END"))


if __name__ == "__main__":
    unittest.main()
