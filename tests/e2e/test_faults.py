"""Nothing lost, nothing twice: runs that meet a broken spool, broken topic
pages, a SIGKILL or another instance, then rerun until the forum is read.

Every case takes the articles out of the spool after each run (as CrossPoint
does) and compares everything that arrived over all runs with the articles
of one clean run of the same forums: each must arrive exactly once, byte for
byte. The counts of every case (posts, delivered, twice, lost) are printed
at the end of the module."""

from __future__ import annotations

import collections
import os
import signal
import subprocess
import time
import unittest
from datetime import datetime, timedelta

from e2e.installation import create_installation, group_list_text, quorix_binary
from e2e.runner import parse_rnews, run_quorix, spool_files
from e2e.support import E2ECase
from forumsim.forumsim import ForumSim

UBB_FORUMS = (("de.test.forum", "General+Talk", 3, 0), ("de.test.other", "Other+Talk", 5, 0))
THREADS_FORUM = ("de.test.php", "PHP+Corner", 7, 0)
UBB_TOPICS = 12       # per UBB forum, three posts each on two pages
THREADS_TOPICS = 8    # three posts each
RUN_LIMIT = 90.0      # seconds one run may take
COUNTS = []           # (case, posts, delivered, twice, lost, foreign) of every case
SHARED = {}           # the simulator and the clean run's articles, for every case


def build_forums(sim):
    start = datetime(2026, 3, 1, 9, 0)
    for number, name in ((3, "General Talk"), (5, "Other Talk")):
        sim.add_forum("ubb", number, name)
        for t in range(UBB_TOPICS):
            when = start + timedelta(hours=t)
            topic = sim.add_topic(number, f"Topic {number}-{t}", "Bob", f"opening {number}/{t}",
                                  date=when)
            sim.add_post(number, topic.id, "Alice", f"answer [b]{t}[/b] :)", date=when)
            sim.add_post(number, topic.id, "Carol", f"[quote]x[/quote]\nthird {t}", date=when)
    sim.add_forum("threads", 7, "PHP Corner")
    for t in range(THREADS_TOPICS):
        when = start + timedelta(hours=t)
        topic = sim.add_topic(7, f"Loop {t}", "Frank", f"how {t}?", date=when)
        sim.add_post(7, topic.id, "Gina", f"like this {t}", date=when)
        sim.add_post(7, topic.id, "Hank", f"or so {t}", date=when)


def tearDownModule():
    if SHARED.get("sim") is not None:
        SHARED.pop("sim").stop()
    if not COUNTS:
        return
    width = max(len(row[0]) for row in COUNTS)
    lines = [f"{'case':<{width}}  posts  delivered  twice  lost  foreign"]
    for case, posts, delivered, twice, lost, foreign in COUNTS:
        lines.append(f"{case:<{width}}  {posts:5}  {delivered:9}  {twice:5}  {lost:4}  {foreign:7}")
    print("\n" + "\n".join(lines), flush=True)


class FaultCase(E2ECase):
    """One simulator with the forums above for the whole class, and the
    articles of a clean run as the reference."""

    @classmethod
    def setUpClass(cls):
        if SHARED.get("sim") is None:
            SHARED["sim"] = ForumSim(posts_per_page=2).start()
            build_forums(SHARED["sim"])
        cls.sim = SHARED["sim"]

    def setUp(self):
        super().setUp()
        self.sim.clear_misbehaviour()
        self.sim.release_stalls()
        if SHARED.get("reference") is None:
            inst = self.make_installation("reference")
            result = run_quorix(inst, ["UBB.BFG", "PHP.BFG"], timeout=RUN_LIMIT)
            self.assertEqual(result.returncode, 0, result.console)
            SHARED["reference"] = collections.Counter(self.take_articles(inst))
            self.assertEqual(sum(SHARED["reference"].values()),
                             2 * UBB_TOPICS * 3 + THREADS_TOPICS * 3)
        self.reference = SHARED["reference"]

    def make_installation(self, name, ubb_spool=None, php_spool=None, boxes=None):
        root = self.tmp / name
        root.mkdir()
        inst = create_installation(root, "xp2")
        for box, engine, entries, spool in (("UBB", "ubb", UBB_FORUMS, ubb_spool),
                                            ("PHP", "threads", [THREADS_FORUM], php_spool)):
            if boxes is not None and box not in boxes:
                continue
            inst.add_box(box, port=self.sim.port, template=self.sim.template_text(engine),
                         web=self.sim.web_settings(engine), posting="N", spool=spool,
                         engine=engine).write(group_list_text(entries))
        return inst

    def spool_dirs(self, inst):
        return sorted({box.spool_dir for box in inst.boxes.values()})

    def take_articles(self, inst):
        """The articles of every spool file, whose files are then removed."""
        articles = []
        for directory in self.spool_dirs(inst):
            for path in spool_files(directory):
                articles += parse_rnews(path.read_bytes())
                path.unlink()
        return articles

    def leftovers(self, inst):
        """Files that no run should leave behind: temporary files of the
        bases, of the spool or of the journal."""
        names = [p.name for p in inst.root.iterdir() if ".tmp" in p.name.lower()]
        for directory in self.spool_dirs(inst):
            if directory.is_dir():
                names += [p.name for p in directory.iterdir()
                          if not p.name.lower().endswith(".msg")]
        return names

    def assertExactlyOnce(self, case, arrived):
        got = collections.Counter(arrived)
        want = self.reference
        posts = sum(want.values())
        delivered = sum(1 for a in want if got[a] > 0)
        twice = sum(got[a] - 1 for a in want if got[a] > 1)
        foreign = sum(n for a, n in got.items() if a not in want)
        COUNTS.append((case, posts, delivered, twice, posts - delivered, foreign))
        self.assertEqual((delivered, twice, foreign), (posts, 0, 0),
                         f"{case}: posts {posts}, delivered {delivered}, twice {twice}, "
                         f"foreign {foreign}")

    def run_all(self, inst, args=("UBB.BFG", "PHP.BFG")):
        return run_quorix(inst, list(args), timeout=RUN_LIMIT)

    def rerun_until_quiet(self, inst, arrived, runs=3):
        """Reruns without faults; the last one must deliver nothing new."""
        for _ in range(runs):
            result = self.run_all(inst)
            self.assertEqual(result.returncode, 0, result.console)
            new = self.take_articles(inst)
            arrived += new
            if not new:
                return
        self.fail("reruns kept delivering articles")


class SpoolFaults(FaultCase):
    """A spool that cannot be written fails the run (exit code 1) and leaves
    its topics for the next run."""

    def test_missing_folder_and_a_file_in_its_place(self):
        def missing(directory):
            directory.rmdir()
            return lambda: directory.mkdir()

        def a_file(directory):
            directory.rmdir()
            directory.write_bytes(b"not a folder")
            return lambda: (directory.unlink(), directory.mkdir())

        for name, break_spool in (("spool folder missing", missing),
                                  ("spool folder is a file", a_file)):
            with self.subTest(name):
                inst = self.make_installation(name.replace(" ", "_"))
                repair = break_spool(inst.boxes["UBB"].spool_dir)
                result = self.run_all(inst)
                arrived = self.take_articles(inst)
                repair()
                self.rerun_until_quiet(inst, arrived)
                self.assertExactlyOnce(name, arrived)
                self.assertEqual(result.returncode, 1, "a broken spool must fail the run")
                self.assertEqual(self.leftovers(inst), [])

    def test_disk_full_partway(self):
        inst = self.make_installation("full")
        spool = inst.boxes["UBB"].spool_dir
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", str(spool)],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small tmpfs here: "
                          + mounted.stderr.decode(errors="replace").strip())
        self.addCleanup(subprocess.run, ["umount", "-l", str(spool)], capture_output=True)
        arrived, codes = [], []
        for _ in range(20):
            result = self.run_all(inst)
            codes.append(result.returncode)
            new = self.take_articles(inst)
            arrived += new
            if result.returncode == 0 and not new:
                break
        self.assertExactlyOnce("spool full partway (16 KiB tmpfs)", arrived)
        self.assertIn(1, codes, "a full spool must fail the run")
        self.assertEqual(codes[-1], 0, codes)
        self.assertEqual(self.leftovers(inst), [])


class PageFaults(FaultCase):
    """Topic pages that are not whole topic pages leave their topic unread."""

    def test_broken_topic_pages_then_rerun(self):
        cases = (
            ("topic pages 503 error page", "raw",
             {"data": "HTTP/1.0 503 Service Unavailable\r\nContent-Type: text/html\r\n\r\n"
                      "<html><body>Service Unavailable</body></html>"}),
            ("topic pages cut after 300 bytes", "close_after", {"bytes": 300}),
            ("topic pages cut after 1500 bytes", "close_after", {"bytes": 1500}),
            ("topic pages garbage", "garbage", {"bytes": 3000}),
        )
        for name, mode, params in cases:
            with self.subTest(name):
                inst = self.make_installation(name.replace(" ", "_"))
                self.sim.clear_misbehaviour()
                self.sim.misbehave(mode, "/HTML/0", **params)
                self.sim.misbehave(mode, "showflat.php", **params)
                self.run_all(inst)
                arrived = self.take_articles(inst)
                self.sim.clear_misbehaviour()
                self.rerun_until_quiet(inst, arrived)
                self.assertExactlyOnce(name, arrived)


class Kills(FaultCase):
    """A SIGKILL while the run waits for a chosen topic page, then reruns."""

    def start(self, inst, args=("UBB.BFG", "PHP.BFG")):
        return subprocess.Popen(["./quorix"] + list(args), executable=str(inst.root / "quorix"),
                                cwd=str(inst.root), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)

    def wait_stalled(self, count, proc):
        deadline = time.monotonic() + RUN_LIMIT
        while self.sim.faults.stalled < count:
            if proc.poll() is not None:
                self.fail(f"the run ended (code {proc.returncode}) before the stall")
            if time.monotonic() > deadline:
                self.fail("the run never reached the stalled page")
            time.sleep(0.01)

    def test_kill_at_several_moments(self):
        # Topics are listed most recently active first: topic 11 is fetched
        # first, topic 0 last; the UBB topic pages of forum 3 are 000001..000012.
        moments = (("first topic page", "000012.html"), ("middle topic page", "000006.html"),
                   ("continuation page", "000006-2.html"), ("last topic page", "000001.html"))
        for name, page in moments:
            with self.subTest(name):
                inst = self.make_installation("kill_" + page.replace(".", "_"))
                self.sim.clear_misbehaviour()
                self.sim.misbehave("stall", "/Forum3/HTML/" + page, match="contains")
                proc = self.start(inst)
                try:
                    self.wait_stalled(1, proc)
                finally:
                    os.killpg(proc.pid, signal.SIGKILL)
                    proc.wait(timeout=30)
                self.sim.clear_misbehaviour()
                self.sim.release_stalls()
                arrived = self.take_articles(inst)
                self.rerun_until_quiet(inst, arrived)
                self.assertExactlyOnce(f"SIGKILL at the {name}, then rerun", arrived)
                self.assertEqual(self.leftovers(inst), [])


class TwoInstances(FaultCase):
    """Two processes on one installation at the same time: they meet at a
    stalled topic page and go on together."""

    def run_together(self, inst, arg_lists):
        self.sim.clear_misbehaviour()
        self.sim.misbehave("stall", match="any")
        procs = [Kills.start(self, inst, args) for args in arg_lists]
        try:
            Kills.wait_stalled(self, 2, procs[0])
        finally:
            self.sim.clear_misbehaviour()
            self.sim.release_stalls()
        codes = []
        for proc in procs:
            try:
                codes.append(proc.wait(timeout=RUN_LIMIT))
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
                self.fail("an instance did not end")
        return codes

    def test_same_boxes(self):
        inst = self.make_installation("same")
        codes = self.run_together(inst, [("UBB.BFG", "PHP.BFG")] * 2)
        self.assertEqual(codes, [0, 0])
        arrived = self.take_articles(inst)
        self.rerun_until_quiet(inst, arrived)
        self.assertExactlyOnce("two instances, same boxes", arrived)

    def test_two_boxes_one_spool(self):
        inst = self.make_installation("shared", php_spool="SPOOL\\UBB\\")
        codes = self.run_together(inst, [("UBB.BFG",), ("PHP.BFG",)])
        self.assertEqual(codes, [0, 0])
        arrived = self.take_articles(inst)
        self.rerun_until_quiet(inst, arrived)
        self.assertExactlyOnce("two instances, two boxes, one spool", arrived)


if __name__ == "__main__":
    unittest.main()
